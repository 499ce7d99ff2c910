import QtQuick

// Where the keyboard focus goes in a window of screens, in one place. A new
// screen owes the focus to its main action, which takes it as soon as it can
// (until then the screen's first control that can), unless the user moves
// the focus meanwhile; focus on the navigation between screens stays there.
// When the focused control hides, is disabled or goes away, the focus moves
// to the nearest control of the same screen, else back to the main action
// once it can take it. A control that takes the focus inside a scrolled view
// is scrolled into view. Focus given here shows its ring only when the focus
// before came from the keyboard.
Item {
    id: root

    // The screen whose controls share the focus, and its main action; a
    // screen without one owes the focus to its first control.
    property Item screen: null
    property Item mainAction: null
    // Where the user moves between screens (the tab bar).
    property Item navigation: null
    // Whether the last control to take the focus took it from the keyboard.
    property bool fromKeyboard: false

    // The main action is owed the focus.
    property bool owed: false
    // The control that had the focus last, and the one last given it here.
    property Item last: null
    property Item given: null
    readonly property bool lastShown: root.last !== null && root.last.visible && root.last.enabled
    readonly property bool mainShown: root.mainAction !== null && root.mainAction.visible && root.mainAction.enabled

    // A new screen shows.
    function start() {
        root.owed = !root.holds(root.navigation, root.Window.activeFocusItem)
        Qt.callLater(root.settle)
    }

    function holds(ancestor, item) {
        for (let p = item; p && ancestor; p = p.parent) {
            if (p === ancestor)
                return true
        }
        return false
    }

    // Controls know whether their focus came from the keyboard; screens and
    // the window's own items not (since Qt 6.7 every item has a focus
    // policy, so that tells nothing).
    function isControl(item) {
        return item !== null && item.visualFocus !== undefined
    }

    // Whether the item is a control inside `within` that can take the focus.
    function canTake(item, within) {
        return root.isControl(item) && item.visible && item.enabled && root.holds(within, item)
    }

    function give(item) {
        root.given = item
        item.forceActiveFocus(root.fromKeyboard ? Qt.TabFocusReason : Qt.OtherFocusReason)
    }

    function settle() {
        if (!root.owed || !root.screen)
            return
        // The first control after the screen's start: its own, or on a
        // screen without any the next one round (the current tab).
        const first = root.screen.nextItemInFocusChain(true)
        const target = root.mainAction ?? first
        if (target.visible && target.enabled) {
            root.owed = false
            root.give(target)
        } else if (!root.canTake(root.Window.activeFocusItem, root.screen) && root.canTake(first, root.screen)) {
            root.give(first)
        }
    }

    function recover() {
        const focused = root.Window.activeFocusItem
        if (root.canTake(focused, root.Window.contentItem))
            return
        const lost = root.last
        // Focus that left a control still there (for a dialog) goes back.
        if (root.canTake(lost, root.Window.contentItem)) {
            root.give(lost)
            return
        }
        if (root.holds(root.screen, lost)) {
            for (const forward of [true, false]) {
                const near = lost.nextItemInFocusChain(forward)
                if (root.canTake(near, root.screen)) {
                    root.give(near)
                    return
                }
            }
        }
        root.owed = true
        root.settle()
        // A hidden control keeps the focus, and its keys, until moved off.
        if (root.Window.activeFocusItem === focused && root.isControl(focused) && root.screen)
            root.screen.forceActiveFocus(Qt.OtherFocusReason)
    }

    function scrollIntoView(item) {
        for (let view = item.parent; view; view = view.parent) {
            if (view instanceof Flickable) {
                const r = item.mapToItem(view.contentItem, 0, 0, item.width, item.height)
                if (r.y - 8 < view.contentY)
                    view.contentY = Math.max(0, r.y - 8)
                else if (r.y + r.height + 8 > view.contentY + view.height)
                    view.contentY = Math.min(view.contentHeight - view.height, r.y + r.height + 8 - view.height)
                return
            }
        }
    }

    onLastShownChanged: {
        if (!root.lastShown)
            Qt.callLater(root.recover)
    }
    onMainShownChanged: {
        if (root.mainShown)
            Qt.callLater(root.settle)
    }

    Connections {
        function onActiveFocusItemChanged() {
            const item = root.Window.activeFocusItem
            if (!item)
                return
            // The window or a screen holds the focus when the control that
            // had it was disabled or went away.
            if (!root.isControl(item)) {
                Qt.callLater(root.recover)
                return
            }
            root.fromKeyboard = item.visualFocus
            if (item !== root.given)
                root.owed = false
            root.last = item
            root.scrollIntoView(item)
        }

        target: root.Window
    }
}
