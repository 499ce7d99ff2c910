pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Layouts
import QtQuick.Templates as T

// A segmented choice. The parent binds `value` and answers `changed`; a
// click, a key or a screen reader's Toggle never moves the selection by
// itself. It is one Tab stop, the chosen segment; Left, Right, Home and End
// move to another segment and ask for it, like a radio group. Users name the
// group for screen readers with Accessible.name; each segment reads its label.
Rectangle {
    id: root

    // Entries are objects with `label` and `value`.
    property var model: []
    property var value
    property bool stretch: false

    readonly property int chosenIndex: {
        for (let i = 0; i < root.model.length; ++i) {
            if (root.model[i].value === root.value)
                return i
        }
        return -1
    }

    signal changed(var value)

    // Moves the keyboard focus to segment `index` and asks for its value.
    function pick(index) {
        const segment = segments.itemAt(Math.max(0, Math.min(index, segments.count - 1)))
        if (!segment)
            return
        segment.forceActiveFocus(Qt.TabFocusReason)
        root.changed(segment.modelData.value)
    }

    implicitWidth: row.implicitWidth + 6
    implicitHeight: 31
    radius: 10
    color: appSettings.bg
    border.width: 1
    border.color: appSettings.border

    Accessible.role: Accessible.Grouping

    RowLayout {
        id: row

        anchors.fill: parent
        anchors.margins: 3
        spacing: 2

        Repeater {
            id: segments

            model: root.model

            delegate: T.RadioButton {
                id: segment

                required property var modelData
                required property int index

                readonly property bool on: root.value === segment.modelData.value

                objectName: "segment" + segment.index

                // The minimum keeps a long label (such as a Russian one) from
                // being squeezed under its neighbours when space is short; in
                // stretch mode only the width left over is shared.
                Layout.fillHeight: true
                Layout.preferredWidth: label.implicitWidth + 24
                Layout.minimumWidth: label.implicitWidth + 10
                Layout.fillWidth: root.stretch
                text: segment.modelData.label
                clip: true
                hoverEnabled: true
                autoExclusive: false
                checked: segment.on
                // One Tab stop for the group: the chosen segment, or the
                // first while none is.
                focusPolicy: segment.on || (root.chosenIndex < 0 && segment.index === 0) ? Qt.StrongFocus : Qt.ClickFocus

                // Only the parent moves the selection: a flip by the
                // template is undone at once.
                onToggled: segment.checked = Qt.binding(() => segment.on)
                onClicked: root.changed(segment.modelData.value)
                Accessible.onToggleAction: root.changed(segment.modelData.value)
                Accessible.onPressAction: root.changed(segment.modelData.value)
                Keys.onReturnPressed: root.changed(segment.modelData.value)
                Keys.onEnterPressed: root.changed(segment.modelData.value)
                Keys.onLeftPressed: root.pick(segment.index - 1)
                Keys.onRightPressed: root.pick(segment.index + 1)
                Keys.onPressed: event => {
                    if (event.key === Qt.Key_Home || event.key === Qt.Key_End) {
                        root.pick(event.key === Qt.Key_Home ? 0 : segments.count - 1)
                        event.accepted = true
                    }
                }

                HoverHandler {
                    cursorShape: Qt.PointingHandCursor
                }

                Rectangle {
                    id: fill

                    anchors.fill: parent
                    radius: 7
                    color: segment.on ? appSettings.surfaceAlt : segment.hovered ? appSettings.surface : "transparent"
                    border.width: segment.on ? 1 : 0
                    border.color: appSettings.borderStrong
                }

                Text {
                    id: label

                    objectName: "label"
                    anchors.centerIn: parent
                    text: segment.modelData.label
                    textFormat: Text.PlainText
                    color: segment.on || segment.hovered ? appSettings.fg : appSettings.fgMuted
                    font.family: appSettings.fontFamily
                    font.pixelSize: 13
                }

                FocusRing {
                    shown: segment.visualFocus
                    controlRadius: fill.radius
                    gap: -2
                }
            }
        }
    }
}
