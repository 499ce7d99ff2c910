import QtQuick
import QtQuick.Templates as T

// Text kept blurred until clicked (or Space or Enter). The text item only
// feeds the blur while hidden; where blurring is impossible, bullets stand in
// for it. A screen reader hears `hiddenName` and how to reveal it, never the
// bullets.
T.AbstractButton {
    id: root

    property color color: "white"
    property bool revealed: false
    // What a screen reader calls the text while it is hidden.
    property string hiddenName: ""

    // The sharp text is shown only once the blur has fully cleared, so it
    // never shows through while the item counts as hidden.
    readonly property bool showSource: root.revealed && (!blur.available || blur.blur === 0)

    implicitWidth: source.implicitWidth
    implicitHeight: source.implicitHeight

    onClicked: root.revealed = !root.revealed
    Accessible.name: root.revealed ? root.text : root.hiddenName
    Accessible.description: root.revealed ? appSettings.extraTexts.pressToHide : appSettings.extraTexts.pressToShow

    Text {
        id: source

        objectName: "spoilerSource"
        visible: root.showSource
        text: root.text
        textFormat: Text.PlainText
        color: root.color
        font: root.font
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
        Accessible.ignored: true
    }

    Pressable {
        control: root
        ringRadius: 4
        ringGap: 3
    }
}
