import QtQuick

// An on/off switch that shows `checked` as bound by the parent and asks for
// the other state through `toggled`. It has no text of its own: users name it
// for screen readers with Accessible.name.
Rectangle {
    id: root

    property bool checked: false

    signal toggled(bool value)

    implicitWidth: 40
    implicitHeight: 23
    radius: height / 2
    color: root.checked ? appSettings.success : appSettings.surfaceAlt
    border.width: 1
    border.color: root.checked ? appSettings.success : appSettings.borderStrong

    Accessible.role: Accessible.CheckBox
    Accessible.checkable: true
    Accessible.checked: root.checked
    Accessible.onPressAction: root.toggled(!root.checked)
    Accessible.onToggleAction: root.toggled(!root.checked)

    Behavior on color {
        ColorAnimation {
            duration: 150
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

    MouseArea {
        anchors.fill: parent
        cursorShape: Qt.PointingHandCursor
        onClicked: root.toggled(!root.checked)
    }
}
