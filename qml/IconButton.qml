import QtQuick

// A flat glyph button for the title bar. The glyph is no name for a screen
// reader: users set Accessible.name on the instance.
Rectangle {
    id: root

    property string symbol: ""
    property color glyphColor: appSettings.fgMuted
    property color hoverColor: appSettings.surfaceAlt
    property color baseColor: "transparent"
    property int glyphSize: 14

    signal clicked

    // A red hover fill (the close button) needs a light glyph on it.
    readonly property bool dangerHover: mouse.containsMouse && Qt.colorEqual(root.hoverColor, appSettings.danger)

    implicitWidth: 36
    implicitHeight: 30
    width: 36
    height: 30
    radius: 8
    color: mouse.containsMouse ? root.hoverColor : root.baseColor

    Accessible.role: Accessible.Button
    Accessible.name: root.symbol
    Accessible.onPressAction: root.clicked()

    Text {
        objectName: "glyph"
        anchors.centerIn: parent
        text: root.symbol
        color: root.dangerHover ? appSettings.accentText : root.glyphColor
        font.family: appSettings.symbolFont
        font.pixelSize: root.glyphSize
    }

    MouseArea {
        id: mouse

        anchors.fill: parent
        hoverEnabled: true
        cursorShape: Qt.PointingHandCursor
        onClicked: root.clicked()
    }
}
