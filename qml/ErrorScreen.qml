import QtQuick
import QtQuick.Layouts

// Shown in place of the home screen while the tunnel is "failed"; it leaves
// only when the state moves on.
Item {
    id: root

    readonly property Item mainAction: tryAgain

    ColumnLayout {
        anchors.centerIn: parent
        width: root.width - 56
        spacing: 16

        Rectangle {
            Layout.alignment: Qt.AlignHCenter
            implicitWidth: 72
            implicitHeight: 72
            radius: 36
            antialiasing: true
            color: Qt.rgba(appSettings.danger.r, appSettings.danger.g, appSettings.danger.b, 0.12)
            border.width: 1
            border.color: Qt.rgba(appSettings.danger.r, appSettings.danger.g, appSettings.danger.b, 0.4)

            Text {
                anchors.centerIn: parent
                text: "!"
                color: appSettings.danger
                font.family: appSettings.fontFamily
                font.pixelSize: 34
                font.bold: true
            }
        }

        Text {
            objectName: "errorTitle"
            Layout.alignment: Qt.AlignHCenter
            text: appSettings.t.connectionFailed
            color: appSettings.fg
            font.family: appSettings.fontFamily
            font.pixelSize: 18
            font.bold: true
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }

        Text {
            objectName: "errorReason"
            Layout.fillWidth: true
            text: pipeClient.errorText !== "" ? pipeClient.errorText : appSettings.t.errorDefault
            textFormat: Text.PlainText
            color: appSettings.fgMuted
            font.family: appSettings.fontFamily
            font.pixelSize: 13
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.Wrap
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }

        PrimaryButton {
            id: tryAgain

            objectName: "tryAgainButton"
            Layout.fillWidth: true
            Layout.topMargin: 6
            variant: "primary"
            text: appSettings.t.tryAgain
            onClicked: pipeClient.sendConnect(appSettings.whitelist, appSettings.games, appSettings.transport)
        }

        PrimaryButton {
            objectName: "errorCancelButton"
            Layout.fillWidth: true
            variant: "ghost"
            text: appSettings.t.cancel
            onClicked: pipeClient.sendDisconnect()
        }
    }
}
