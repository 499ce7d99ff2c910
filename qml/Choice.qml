import QtQuick

// What a choice of a ChoiceGroup (a segment, a tab) holds in place of
// Pressable: the control shows whether it is chosen, asks the group for
// itself when pressed, and moves along the group with Left, Right, Home and
// End.
Pressable {
    id: root

    required property ChoiceGroup group
    required property int index

    readonly property bool chosen: root.index === root.group.chosenIndex

    // The group owns the selection: a press never flips the control.
    Binding {
        target: root.control
        property: "checkable"
        value: false
    }
    Binding {
        target: root.control
        property: "checked"
        value: root.chosen
    }
    // One Tab stop for the group: the chosen choice, or the first while
    // none is. A choice that holds the focus stays one until the focus
    // leaves it (Qt refuses the change before), so a selection moved from
    // outside leaves no second stop behind.
    Binding {
        target: root.control
        property: "focusPolicy"
        value: root.chosen || root.control.activeFocus || (root.group.chosenIndex < 0 && root.index === 0)
               ? Qt.StrongFocus : Qt.ClickFocus
    }

    Connections {
        function onClicked() {
            root.group.asked(root.index)
        }

        target: root.control
    }

    Connections {
        function onLeftPressed() {
            root.group.pick(root.index - 1)
        }
        function onRightPressed() {
            root.group.pick(root.index + 1)
        }
        function onPressed(event) {
            if (event.key === Qt.Key_Home || event.key === Qt.Key_End) {
                root.group.pick(event.key === Qt.Key_Home ? 0 : root.group.count - 1)
                event.accepted = true
            }
        }

        target: root.control.Keys
    }
}
