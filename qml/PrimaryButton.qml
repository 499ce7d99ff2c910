import QtQuick
import QtQuick.Templates as T

// The text button in its "primary", "ghost" and "danger-ghost" variants.
T.AbstractButton {
    id: root

    property string variant: "primary"
    property bool small: false
    property int fontSize: root.small ? 12 : 13
    property alias radius: fill.radius
    property alias border: fill.border

    readonly property bool ghost: root.variant === "ghost" || root.variant === "danger-ghost"
    readonly property color fgCol: root.variant === "danger-ghost" ? appSettings.danger
                                   : root.variant === "ghost" ? appSettings.fg : appSettings.accentText
    // A button disabled under the pointer must not keep its hover look.
    readonly property bool lit: root.hovered && root.enabled

    implicitWidth: label.implicitWidth + (root.small ? 24 : 32)
    implicitHeight: root.small ? 29 : 34
    hoverEnabled: true
    opacity: root.enabled ? 1.0 : 0.5
    scale: root.pressed ? 0.98 : 1.0

    Behavior on scale {
        NumberAnimation {
            duration: 80
        }
    }

    Rectangle {
        id: fill

        anchors.fill: parent
        radius: root.small ? 8 : 10
        // Never "transparent" here: with a gradient on top, a transparent
        // colour makes Qt 6.4 skip the whole rectangle.
        color: root.lit ? appSettings.surfaceAlt : appSettings.surface
        gradient: root.ghost ? null : primaryFill
        border.width: root.ghost ? 1 : 0
        border.color: root.variant === "danger-ghost" && root.lit ? appSettings.danger : appSettings.borderStrong
    }

    Gradient {
        id: primaryFill

        GradientStop {
            position: 0.0
            color: root.lit ? Qt.lighter(appSettings.accentStrong, 1.05) : appSettings.accentStrong
        }
        GradientStop {
            position: 1.0
            color: root.lit ? Qt.lighter(appSettings.accent, 1.05) : appSettings.accent
        }
    }

    Text {
        id: label

        objectName: "label"
        anchors.centerIn: parent
        width: Math.min(implicitWidth, root.width - 24)
        text: root.text
        textFormat: Text.PlainText
        color: root.fgCol
        elide: Text.ElideRight
        font.family: appSettings.fontFamily
        font.pixelSize: root.fontSize
        font.bold: true
    }

    Pressable {
        control: root
        ringRadius: fill.radius
    }
}
