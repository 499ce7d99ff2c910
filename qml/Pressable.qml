import QtQuick
import QtQuick.Templates as T

// What makes a control of the kit pressable, held by every one of them as
// its last child: Return, Enter and a screen reader's Press press it (Space
// is the template's own), the pointer is a hand over it, and the focus ring
// shows while the focus came from the keyboard. A press emits the control's
// clicked(), only while it is enabled. A child rather than a base type: the
// switch, the segments and the tabs stay on their own templates, whose class
// gives screen readers their role (Qt 6.4 resets Accessible.role to it).
Item {
    id: root

    required property T.AbstractButton control
    // The corner radius of what the ring goes round, and the space between
    // them (see FocusRing).
    property real ringRadius: 0
    property real ringGap: 2

    function press() {
        if (root.control.enabled)
            root.control.clicked()
    }

    anchors.fill: parent

    Connections {
        function onReturnPressed() {
            root.press()
        }
        function onEnterPressed() {
            root.press()
        }

        target: root.control.Keys
    }

    Connections {
        function onPressAction() {
            root.press()
        }

        target: root.control.Accessible
    }

    HoverHandler {
        cursorShape: Qt.PointingHandCursor
    }

    FocusRing {
        shown: root.control.visualFocus
        controlRadius: root.ringRadius
        gap: root.ringGap
    }
}
