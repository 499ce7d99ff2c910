import QtQuick
import QtQuick.Layouts

// Says that the VPN service cannot be reached: amber while the client is
// still trying, red once it has stopped trying fast, was refused or keeps
// being turned away, with a retry then. Hidden while the link is up.
Rectangle {
    id: root

    // The client's link state: "up", "connecting", "unreachable", "closed" or "refused".
    property string linkState: "up"
    // The file the client reads its access token from, named when the service turns the link down.
    property string tokenPath: ""

    signal retryRequested

    readonly property bool trying: root.linkState === "connecting"
    readonly property color tone: root.trying ? appSettings.warning : appSettings.danger

    implicitHeight: row.implicitHeight + 20
    radius: 12
    color: Qt.rgba(root.tone.r, root.tone.g, root.tone.b, 0.1)
    border.width: 1
    border.color: root.tone
    opacity: root.linkState === "up" ? 0 : 1
    visible: opacity > 0

    Accessible.role: Accessible.AlertMessage
    Accessible.name: message.text
    Accessible.description: root.linkState === "closed"
                            ? appSettings.extraTexts.serviceClosedHelp.arg(root.tokenPath) : ""

    Behavior on opacity {
        NumberAnimation {
            duration: 200
        }
    }

    RowLayout {
        id: row

        anchors.left: parent.left
        anchors.right: parent.right
        anchors.verticalCenter: parent.verticalCenter
        anchors.leftMargin: 14
        anchors.rightMargin: 10
        spacing: 10

        Text {
            id: message

            objectName: "serviceNoticeText"
            Layout.fillWidth: true
            text: root.trying ? appSettings.extraTexts.serviceConnecting
                              : root.linkState === "refused" ? appSettings.extraTexts.serviceNoAccess
                              : root.linkState === "closed" ? appSettings.extraTexts.serviceClosed
                                                            : appSettings.extraTexts.serviceNotRunning
            color: appSettings.fg
            font.family: appSettings.fontFamily
            font.pixelSize: 13
            wrapMode: Text.Wrap
        }

        PrimaryButton {
            objectName: "serviceRetryButton"
            // Not while the notice fades out: a button coming up then would
            // take a Tab meant for the screen.
            visible: !root.trying && root.linkState !== "up"
            small: true
            variant: "ghost"
            text: appSettings.t.tryAgain
            onClicked: root.retryRequested()
        }
    }
}
