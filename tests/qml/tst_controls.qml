import QtQuick
import QtTest
import "qrc:/qml"

Item {
    id: scene

    width: 400
    height: 300

    Component {
        id: toggleSwitch

        ToggleSwitch {}
    }

    Component {
        id: spoilerText

        SpoilerText {
            text: "203.0.113.77"
            font.pixelSize: 15
        }
    }

    Component {
        id: tile

        Tile {
            width: 120
            label: "Download"
        }
    }

    Component {
        id: signalSpy

        SignalSpy {}
    }

    TestCase {
        name: "Controls"
        when: windowShown

        function test_switchAsksForTheOtherState_data() {
            return [
                { tag: "off", checked: false, knobX: 3 },
                { tag: "on", checked: true, knobX: 20 }
            ];
        }

        // The parent here ignores the request, so nothing may move.
        function test_switchAsksForTheOtherState(data) {
            const control = createTemporaryObject(toggleSwitch, scene, { checked: data.checked });
            const spy = createTemporaryObject(signalSpy, scene, { target: control, signalName: "toggled" });
            const knob = findChild(control, "knob");
            compare(knob.x, data.knobX);
            mouseClick(control);
            control.Accessible.toggleAction();
            compare(spy.count, 2);
            compare(spy.signalArguments[0][0], !data.checked);
            compare(spy.signalArguments[1][0], !data.checked);
            compare(control.checked, data.checked);
            compare(knob.x, data.knobX);
        }

        function test_switchFollowsItsParent() {
            const control = createTemporaryObject(toggleSwitch, scene);
            control.toggled.connect(value => control.checked = value);
            const knob = findChild(control, "knob");
            mouseClick(control);
            verify(control.checked);
            tryCompare(knob, "x", 20);
            verify(Qt.colorEqual(knob.color, "#FFFFFF"));
            tryVerify(() => Qt.colorEqual(control.color, appSettings.success), 1000, "track turns green");
            mouseClick(control);
            verify(!control.checked);
            tryCompare(knob, "x", 3);
            compare(knob.opacity, 0.85);
        }

        // Offscreen the software scene graph draws no blur, and bullets stand
        // in for it; either way the text itself never shows while hidden.
        function test_spoilerStartsHiddenAndFlips() {
            const spoiler = createTemporaryObject(spoilerText, scene);
            const source = findChild(spoiler, "spoilerSource");
            const mask = findChild(spoiler, "spoilerMask");
            const blurred = findChild(spoiler, "spoilerBlur").available;
            verify(!spoiler.revealed);
            verify(!source.visible);
            compare(mask.visible, !blurred);
            verify(mask.text.indexOf("203") < 0);
            compare(mask.font.pixelSize, 15);
            compare(spoiler.implicitWidth, source.implicitWidth);

            mouseClick(spoiler);
            verify(spoiler.revealed);
            tryVerify(() => source.visible, 1000, "the revealed text shows");
            verify(!mask.visible);

            mouseClick(spoiler);
            verify(!spoiler.revealed);
            verify(!source.visible);
            compare(mask.visible, !blurred);
        }

        function test_spoilerMaskFollowsTextLength_data() {
            return [
                { tag: "empty", text: "", bullets: 3 },
                { tag: "address", text: "203.0.113.77", bullets: 12 },
                { tag: "very long", text: "x".repeat(500), bullets: 64 }
            ];
        }

        function test_spoilerMaskFollowsTextLength(data) {
            const spoiler = createTemporaryObject(spoilerText, scene, { text: data.text });
            compare(findChild(spoiler, "spoilerMask").text, "\u2022".repeat(data.bullets));
        }

        function test_tileLines_data() {
            return [
                { tag: "without sub-line", sub: "", subVisible: false },
                { tag: "with sub-line", sub: "since 10:00", subVisible: true }
            ];
        }

        function test_tileLines(data) {
            const item = createTemporaryObject(tile, scene, { sub: data.sub });
            const plain = createTemporaryObject(tile, scene);
            compare(findChild(item, "value").text, "\u2014");
            compare(findChild(item, "sub").visible, data.subVisible);
            tryVerify(() => item.implicitHeight > 22, 1000, "tile takes its column's height");
            compare(item.implicitHeight > plain.implicitHeight, data.subVisible);
        }

        function test_tileDimmedAndElided() {
            const item = createTemporaryObject(tile, scene, { value: "a value far too long for a narrow tile", dimmed: true });
            tryCompare(item, "opacity", 0.55);
            const value = findChild(item, "value");
            tryVerify(() => value.truncated, 1000, "the value is elided");
            verify(value.width <= item.width - 28);
        }

        // Colours are bindings to the palette, so a theme change recolours at once.
        function test_themeChangeRecolours() {
            const card = createTemporaryObject(tile, scene);
            const dark = appSettings.darkTheme;
            verify(Qt.colorEqual(card.color, appSettings.surface));
            appSettings.toggleTheme();
            verify(appSettings.darkTheme !== dark);
            verify(Qt.colorEqual(card.color, appSettings.surface));
            verify(Qt.colorEqual(findChild(card, "value").color, appSettings.fg));
            appSettings.setDarkTheme(dark);
        }
    }
}
