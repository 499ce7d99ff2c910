import QtQuick
import QtQuick.Templates as T

// A flat glyph button for the title bar. The glyph is no name for a screen
// reader: users set Accessible.name on the instance.
T.AbstractButton {
    id: root

    property string symbol: ""
    property color glyphColor: appSettings.fgMuted
    property color hoverColor: appSettings.surfaceAlt
    property color baseColor: "transparent"
    property int glyphSize: 14

    // A red hover fill (the close button) needs a light glyph on it.
    readonly property bool dangerHover: root.hovered && Qt.colorEqual(root.hoverColor, appSettings.danger)

    implicitWidth: 36
    implicitHeight: 30
    width: 36
    height: 30
    hoverEnabled: true

    Accessible.onPressAction: root.clicked()
    Keys.onReturnPressed: root.clicked()
    Keys.onEnterPressed: root.clicked()

    HoverHandler {
        cursorShape: Qt.PointingHandCursor
    }

    Rectangle {
        id: fill

        anchors.fill: parent
        radius: 8
        color: root.hovered ? root.hoverColor : root.baseColor
    }

    Text {
        objectName: "glyph"
        anchors.centerIn: parent
        text: root.symbol
        color: root.dangerHover ? appSettings.accentText : root.glyphColor
        font.family: appSettings.symbolFont
        font.pixelSize: root.glyphSize
    }

    FocusRing {
        shown: root.visualFocus
        controlRadius: fill.radius
        gap: -2
    }
}
