import QtQuick

// A small pill badge with an optional glyph before its label.
Rectangle {
    id: root

    property string text: ""
    property string glyph: ""
    property bool ok: false

    signal clicked

    readonly property color contentColor: root.ok ? appSettings.success : appSettings.fgMuted

    implicitWidth: content.implicitWidth + 20
    implicitHeight: 25
    radius: height / 2
    color: "transparent"
    border.width: 1
    border.color: mouse.containsMouse ? appSettings.borderStrong
                                      : root.ok ? Qt.alpha(appSettings.success, 0.35) : appSettings.border

    Accessible.role: Accessible.Button
    Accessible.name: root.text
    Accessible.onPressAction: root.clicked()

    Row {
        id: content

        anchors.centerIn: parent
        spacing: 6

        Text {
            objectName: "glyph"
            anchors.verticalCenter: parent.verticalCenter
            visible: root.glyph !== ""
            text: root.glyph
            color: root.contentColor
            font.family: appSettings.symbolFont
            font.pixelSize: 12
        }

        Text {
            anchors.verticalCenter: parent.verticalCenter
            text: root.text
            textFormat: Text.PlainText
            color: root.contentColor
            font.family: appSettings.fontFamily
            font.pixelSize: 12
        }
    }

    MouseArea {
        id: mouse

        anchors.fill: parent
        hoverEnabled: true
        cursorShape: Qt.PointingHandCursor
        onClicked: root.clicked()
    }
}
