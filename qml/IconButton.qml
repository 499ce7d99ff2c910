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

    Pressable {
        control: root
        ringRadius: fill.radius
        ringGap: -2
    }
}
