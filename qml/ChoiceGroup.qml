import QtQuick

// Makes one choice per model entry and keeps them a group of exclusive
// choices, like a radio group; each choice holds a Choice. The group is one
// Tab stop (the chosen choice, or the first while none is); Left, Right,
// Home and End move the focus to another choice and ask for it, stopping at
// the ends. The parent owns the selection: it binds `chosenIndex` and
// answers `asked`, which clicks, keys and screen readers only send.
Repeater {
    id: group

    // The chosen entry; -1 while none is.
    property int chosenIndex: -1

    signal asked(int index)

    // Moves the keyboard focus to the choice at `index` and asks for it.
    function pick(index) {
        const at = Math.max(0, Math.min(index, group.count - 1))
        const choice = group.itemAt(at)
        if (!choice)
            return
        // Focus first: the choice left behind stops being a Tab stop, which
        // Qt refuses while it holds the focus.
        choice.forceActiveFocus(Qt.TabFocusReason)
        group.asked(at)
    }
}
