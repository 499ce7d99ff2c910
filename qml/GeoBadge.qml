import QtQuick

// Round badge with a country code, for a location display.
Rectangle {
    id: root

    property string code: "•"
    property int size: 32

    implicitWidth: root.size
    implicitHeight: root.size
    width: root.size
    height: root.size
    radius: root.size / 2
    color: appSettings.surfaceAlt
    border.width: 1
    border.color: appSettings.borderStrong
    antialiasing: true

    Accessible.role: Accessible.StaticText
    Accessible.name: root.code

    Text {
        anchors.centerIn: parent
        text: root.code
        textFormat: Text.PlainText
        color: appSettings.fg
        font.family: appSettings.fontFamily
        font.pixelSize: 12
        font.bold: true
        font.letterSpacing: 1
    }
}
