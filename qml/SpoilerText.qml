import QtQuick

// Text kept blurred until clicked. The text item only feeds the blur while
// hidden; where blurring is impossible, bullets stand in for it.
Item {
    id: root

    property string text: ""
    property color color: "white"
    property alias font: source.font
    property bool revealed: false

    // The sharp text is shown only once the blur has fully cleared, so it
    // never shows through while the item counts as hidden.
    readonly property bool showSource: root.revealed && (!blur.available || blur.blur === 0)

    implicitWidth: source.implicitWidth
    implicitHeight: source.implicitHeight

    Accessible.role: Accessible.Button
    Accessible.name: root.revealed ? root.text : mask.text
    Accessible.checkable: true
    Accessible.checked: root.revealed
    Accessible.onPressAction: root.revealed = !root.revealed
    Accessible.onToggleAction: root.revealed = !root.revealed

    Text {
        id: source

        objectName: "spoilerSource"
        visible: root.showSource
        text: root.text
        textFormat: Text.PlainText
        color: root.color
    }

    Blur {
        id: blur

        objectName: "spoilerBlur"
        anchors.fill: source
        visible: !root.showSource
        source: source
        blur: root.revealed ? 0 : 1
        blurMax: 40

        Behavior on blur {
            NumberAnimation {
                duration: 250
                easing.type: Easing.InOutQuad
            }
        }
    }

    Text {
        id: mask

        objectName: "spoilerMask"
        width: root.width
        visible: !blur.available && !root.revealed
        clip: true
        text: "\u2022".repeat(Math.min(Math.max(root.text.length, 3), 64))
        textFormat: Text.PlainText
        color: root.color
        font: source.font
    }

    MouseArea {
        anchors.fill: parent
        cursorShape: Qt.PointingHandCursor
        onClicked: root.revealed = !root.revealed
    }
}
