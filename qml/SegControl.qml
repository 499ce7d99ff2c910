pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Layouts

// A segmented choice. The parent binds `value` and answers `changed`; a
// click never moves the selection by itself. Users name the group for screen
// readers with Accessible.name; each segment reads its label.
Rectangle {
    id: root

    // Entries are objects with `label` and `value`.
    property var model: []
    property var value
    property bool stretch: false

    signal changed(var value)

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
            model: root.model

            delegate: Rectangle {
                id: segment

                required property var modelData
                required property int index

                readonly property bool on: root.value === segment.modelData.value
                readonly property bool hovered: mouse.containsMouse

                objectName: "segment" + segment.index

                // The minimum keeps a long label (such as a Russian one) from
                // being squeezed under its neighbours when space is short; in
                // stretch mode only the width left over is shared.
                Layout.fillHeight: true
                Layout.preferredWidth: label.implicitWidth + 24
                Layout.minimumWidth: label.implicitWidth + 10
                Layout.fillWidth: root.stretch
                radius: 7
                clip: true
                color: segment.on ? appSettings.surfaceAlt : segment.hovered ? appSettings.surface : "transparent"
                border.width: segment.on ? 1 : 0
                border.color: appSettings.borderStrong

                Accessible.role: Accessible.RadioButton
                Accessible.name: label.text
                Accessible.checkable: true
                Accessible.checked: segment.on
                Accessible.onPressAction: root.changed(segment.modelData.value)

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

                MouseArea {
                    id: mouse

                    anchors.fill: parent
                    hoverEnabled: true
                    cursorShape: Qt.PointingHandCursor
                    onClicked: root.changed(segment.modelData.value)
                }
            }
        }
    }
}
