import QtQuick

// The text button in its "primary", "ghost" and "danger-ghost" variants.
Rectangle {
    id: root

    property string text: ""
    property string variant: "primary"
    property bool small: false
    property int fontSize: root.small ? 12 : 13

    signal clicked

    readonly property bool ghost: root.variant === "ghost" || root.variant === "danger-ghost"
    readonly property color fgCol: root.variant === "danger-ghost" ? appSettings.danger
                                   : root.variant === "ghost" ? appSettings.fg : appSettings.accentText
    // A button disabled under the pointer must not keep its hover look.
    readonly property bool hovered: mouse.containsMouse && root.enabled

    implicitWidth: label.implicitWidth + (root.small ? 24 : 32)
    implicitHeight: root.small ? 29 : 34
    radius: root.small ? 8 : 10
    opacity: root.enabled ? 1.0 : 0.5
    scale: mouse.pressed ? 0.98 : 1.0
    // Never "transparent" here: with a gradient on top, a transparent colour
    // makes Qt 6.4 skip the whole rectangle.
    color: root.hovered ? appSettings.surfaceAlt : appSettings.surface
    gradient: root.ghost ? null : primaryFill
    border.width: root.ghost ? 1 : 0
    border.color: root.variant === "danger-ghost" && root.hovered ? appSettings.danger : appSettings.borderStrong

    Accessible.role: Accessible.Button
    Accessible.name: root.text
    Accessible.onPressAction: {
        if (root.enabled)
            root.clicked();
    }

    Behavior on scale {
        NumberAnimation {
            duration: 80
        }
    }

    Gradient {
        id: primaryFill

        GradientStop {
            position: 0.0
            color: root.hovered ? Qt.lighter(appSettings.accentStrong, 1.05) : appSettings.accentStrong
        }
        GradientStop {
            position: 1.0
            color: root.hovered ? Qt.lighter(appSettings.accent, 1.05) : appSettings.accent
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

    MouseArea {
        id: mouse

        anchors.fill: parent
        enabled: root.enabled
        hoverEnabled: true
        cursorShape: Qt.PointingHandCursor
        onClicked: root.clicked()
    }
}
