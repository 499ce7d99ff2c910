import QtQuick
import QtQuick.Layouts

// A metric tile: caption, big value and an optional second line.
Card {
    id: root

    property string label: ""
    property string value: "—"
    property string sub: ""
    property color valueColor: appSettings.fg
    property bool dimmed: false

    implicitHeight: column.implicitHeight + 22
    opacity: root.dimmed ? 0.55 : 1.0

    Accessible.role: Accessible.StaticText
    Accessible.name: root.sub === "" ? root.label + ": " + root.value : root.label + ": " + root.value + ", " + root.sub

    Behavior on opacity {
        NumberAnimation {
            duration: 300
        }
    }

    ColumnLayout {
        id: column

        anchors.fill: parent
        anchors.leftMargin: 14
        anchors.rightMargin: 14
        anchors.topMargin: 11
        anchors.bottomMargin: 11
        spacing: 4

        // Long captions ("СРЕДНЯЯ СКОРОСТЬ") shrink a little rather than run
        // into the padding.
        Text {
            Layout.fillWidth: true
            text: root.label.toUpperCase()
            textFormat: Text.PlainText
            color: appSettings.fgMuted
            elide: Text.ElideRight
            font.family: appSettings.fontFamily
            font.pixelSize: 12
            font.letterSpacing: 1
            fontSizeMode: Text.HorizontalFit
            minimumPixelSize: 10
        }

        Text {
            objectName: "value"
            Layout.fillWidth: true
            text: root.value
            textFormat: Text.PlainText
            color: root.valueColor
            elide: Text.ElideRight
            font.family: appSettings.fontFamily
            font.pixelSize: 13
            font.bold: true
        }

        Text {
            objectName: "sub"
            Layout.fillWidth: true
            visible: root.sub !== ""
            text: root.sub
            textFormat: Text.PlainText
            color: appSettings.fgMuted
            elide: Text.ElideRight
            font.family: appSettings.fontFamily
            font.pixelSize: 12
        }
    }
}
