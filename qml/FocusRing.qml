import QtQuick

// The keyboard focus indicator of every control: a 2 px ring in the accent
// colour around its parent, following the parent's corner radius. Pressable
// binds `shown` to its control's `visualFocus`, which holds only for focus
// that came from the keyboard, so a mouse user never sees it.
Rectangle {
    id: root

    property bool shown: false
    // The corner radius of the control the ring goes round.
    property real controlRadius: 0
    // Space between the control's edge and the ring; negative draws inside.
    property real gap: 2

    objectName: "focusRing"
    anchors.fill: parent
    anchors.margins: -(root.gap + border.width)
    radius: root.controlRadius > 0 ? root.controlRadius + root.gap + border.width : 0
    antialiasing: true
    color: "transparent"
    border.width: 2
    border.color: appSettings.accent
    visible: root.shown
}
