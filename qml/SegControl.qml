pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Layouts
import QtQuick.Templates as T

// A segmented choice: a ChoiceGroup of segments. The parent binds `value`
// and answers `changed`. Users name the group for screen readers with
// Accessible.name; each segment reads its label.
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

        ChoiceGroup {
            id: segments

            model: root.model
            chosenIndex: root.model.findIndex(entry => entry.value === root.value)
            onAsked: index => root.changed(root.model[index].value)

            delegate: T.RadioButton {
                id: segment

                required property var modelData
                required property int index

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

                Accessible.onToggleAction: choice.press()

                Rectangle {
                    id: fill

                    anchors.fill: parent
                    radius: 7
                    color: segment.checked ? appSettings.surfaceAlt : segment.hovered ? appSettings.surface : "transparent"
                    border.width: segment.checked ? 1 : 0
                    border.color: appSettings.borderStrong
                }

                Text {
                    id: label

                    objectName: "label"
                    anchors.centerIn: parent
                    text: segment.modelData.label
                    textFormat: Text.PlainText
                    color: segment.checked || segment.hovered ? appSettings.fg : appSettings.fgMuted
                    font.family: appSettings.fontFamily
                    font.pixelSize: 13
                }

                Choice {
                    id: choice

                    control: segment
                    group: segments
                    index: segment.index
                    ringRadius: fill.radius
                    ringGap: -2
                }
            }
        }
    }
}
