import QtQuick
import QtQuick.Templates as T

// An on/off switch that shows `checked` as bound by the parent and asks for
// the other state through `toggleRequested`; a click, a key or a screen
// reader's Toggle never flips it by itself. It has no text of its own: users
// name it for screen readers with Accessible.name.
T.CheckBox {
    id: root

    property alias color: track.color
    property alias border: track.border
    property alias radius: track.radius

    signal toggleRequested(bool value)

    implicitWidth: 40
    implicitHeight: 23
    hoverEnabled: true
    // The state stays whatever the parent binds. (Checkable all the same:
    // that makes the template a check box for screen readers.)
    nextCheckState: () => root.checkState

    onClicked: root.toggleRequested(!root.checked)
    Accessible.onToggleAction: pressable.press()

    Rectangle {
        id: track

        anchors.fill: parent
        radius: height / 2
        color: root.checked ? appSettings.success : appSettings.surfaceAlt
        border.width: 1
        border.color: root.checked ? appSettings.success : appSettings.borderStrong

        Behavior on color {
            ColorAnimation {
                duration: 150
            }
        }
    }

    Rectangle {
        id: knob

        objectName: "knob"
        anchors.verticalCenter: parent.verticalCenter
        x: root.checked ? root.width - width - 3 : 3
        width: 17
        height: 17
        radius: 8.5
        color: root.checked ? "#FFFFFF" : appSettings.fg
        opacity: root.checked ? 1.0 : 0.85

        Behavior on x {
            NumberAnimation {
                duration: 180
                easing.type: Easing.OutCubic
            }
        }
    }

    Pressable {
        id: pressable

        control: root
        ringRadius: track.radius
    }
}
