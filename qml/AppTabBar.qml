import QtQuick
import QtQuick.Templates as T

// Bottom navigation. It reports clicks and keys; the window decides what is
// current. The current tab is its one Tab stop; Left, Right, Home and End
// select the neighbouring, first and last tab and keep the focus on it.
Item {
    id: root

    property string current: "main"
    property bool updateBadge: false

    readonly property var tabs: [
        { name: "main", glyph: "⏻", labelKey: "tabHome" },
        { name: "stats", glyph: "▤", labelKey: "tabStats" },
        { name: "settings", glyph: "⚙", labelKey: "tabSettings" }
    ]

    signal select(string name)

    function selectAt(index) {
        const tab = tabRepeater.itemAt(Math.max(0, Math.min(index, tabRepeater.count - 1)))
        if (!tab)
            return
        // Focus first: the tab left behind stops being a Tab stop, which Qt
        // refuses while it holds the focus.
        tab.forceActiveFocus(Qt.TabFocusReason)
        root.select(tab.modelData.name)
    }

    implicitHeight: 58

    Accessible.role: Accessible.PageTabList

    Rectangle {
        anchors.top: parent.top
        width: parent.width
        height: 1
        color: appSettings.border
    }

    Row {
        id: row

        anchors.fill: parent
        anchors.topMargin: 6
        anchors.bottomMargin: 6
        anchors.leftMargin: 10
        anchors.rightMargin: 10
        spacing: 4

        Repeater {
            id: tabRepeater

            model: root.tabs

            delegate: T.TabButton {
                id: tab

                required property var modelData
                required property int index
                readonly property bool isCurrent: root.current === tab.modelData.name
                readonly property bool lit: tab.isCurrent || tab.hovered
                readonly property string label: appSettings.t[tab.modelData.labelKey] ?? ""

                objectName: "tab_" + tab.modelData.name
                width: (row.width - 8) / 3
                height: row.height
                text: tab.label
                hoverEnabled: true
                autoExclusive: false
                checked: tab.isCurrent
                focusPolicy: tab.isCurrent ? Qt.StrongFocus : Qt.ClickFocus

                // Only the window moves the selection: a flip by the
                // template is undone at once.
                onToggled: tab.checked = Qt.binding(() => tab.isCurrent)
                onClicked: root.select(tab.modelData.name)
                Accessible.onPressAction: root.select(tab.modelData.name)
                Keys.onReturnPressed: root.select(tab.modelData.name)
                Keys.onEnterPressed: root.select(tab.modelData.name)
                Keys.onLeftPressed: root.selectAt(tab.index - 1)
                Keys.onRightPressed: root.selectAt(tab.index + 1)
                Keys.onPressed: event => {
                    if (event.key === Qt.Key_Home || event.key === Qt.Key_End) {
                        root.selectAt(event.key === Qt.Key_Home ? 0 : tabRepeater.count - 1)
                        event.accepted = true
                    }
                }

                HoverHandler {
                    cursorShape: Qt.PointingHandCursor
                }

                Rectangle {
                    id: fill

                    anchors.fill: parent
                    radius: 10
                    color: tab.isCurrent ? appSettings.surfaceAlt : (tab.hovered ? appSettings.surface : "transparent")
                }

                Column {
                    anchors.centerIn: parent
                    spacing: 2

                    // A fixed line: the glyphs come from different fallback
                    // fonts with different heights, which would set the
                    // labels of neighbouring tabs at different heights.
                    Text {
                        anchors.horizontalCenter: parent.horizontalCenter
                        height: 22
                        verticalAlignment: Text.AlignVCenter
                        text: tab.modelData.glyph
                        color: tab.lit ? appSettings.fg : appSettings.fgMuted
                        font.family: appSettings.symbolFont
                        font.pixelSize: 17
                    }
                    Text {
                        anchors.horizontalCenter: parent.horizontalCenter
                        text: tab.label
                        color: tab.lit ? appSettings.fg : appSettings.fgMuted
                        font.family: appSettings.fontFamily
                        font.pixelSize: 13
                    }
                }

                Rectangle {
                    id: badge

                    objectName: "updateBadge"
                    anchors.top: parent.top
                    anchors.topMargin: 6
                    anchors.right: parent.right
                    anchors.rightMargin: tab.width / 2 - 18
                    width: 8
                    height: 8
                    radius: 4
                    antialiasing: true
                    color: appSettings.accent
                    visible: tab.modelData.name === "settings" && root.updateBadge && !tab.isCurrent

                    Accessible.role: Accessible.Indicator
                    Accessible.name: appSettings.t.updateAvailable
                    Accessible.ignored: !badge.visible

                    // Endless pulse: only while the badge is on a shown window.
                    SequentialAnimation on opacity {
                        running: badge.visible && root.Window.visibility !== Window.Hidden
                                 && root.Window.visibility !== Window.Minimized
                        loops: Animation.Infinite
                        onRunningChanged: if (!running) badge.opacity = 1.0

                        NumberAnimation {
                            from: 1.0
                            to: 0.35
                            duration: 900
                            easing.type: Easing.InOutSine
                        }
                        NumberAnimation {
                            from: 0.35
                            to: 1.0
                            duration: 900
                            easing.type: Easing.InOutSine
                        }
                    }
                }

                FocusRing {
                    shown: tab.visualFocus
                    controlRadius: fill.radius
                    gap: 0
                }
            }
        }
    }
}
