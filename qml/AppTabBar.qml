import QtQuick
import QtQuick.Templates as T

// Bottom navigation: a ChoiceGroup of tabs. It reports clicks and keys; the
// window decides what is current.
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

        ChoiceGroup {
            id: tabGroup

            model: root.tabs
            chosenIndex: root.tabs.findIndex(tab => tab.name === root.current)
            onAsked: index => root.select(root.tabs[index].name)

            delegate: T.TabButton {
                id: tab

                required property var modelData
                required property int index
                readonly property bool lit: tab.checked || tab.hovered
                readonly property string label: appSettings.t[tab.modelData.labelKey] ?? ""

                objectName: "tab_" + tab.modelData.name
                width: (row.width - 8) / 3
                height: row.height
                text: tab.label
                hoverEnabled: true

                Rectangle {
                    id: fill

                    anchors.fill: parent
                    radius: 10
                    color: tab.checked ? appSettings.surfaceAlt : (tab.hovered ? appSettings.surface : "transparent")
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
                    visible: tab.modelData.name === "settings" && root.updateBadge && !tab.checked

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

                Choice {
                    control: tab
                    group: tabGroup
                    index: tab.index
                    ringRadius: fill.radius
                    ringGap: 0
                }
            }
        }
    }
}
