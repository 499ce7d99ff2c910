import QtQuick
import QtTest
import "qrc:/qml"
import "qrc:/qml/breath.js" as Breath

Item {
    id: scene

    width: 600
    height: 300

    Component { id: primaryButton; PrimaryButton { text: "Connect" } }
    Component { id: toggleSwitch; ToggleSwitch {} }
    Component { id: spoilerText; SpoilerText { text: "203.0.113.77" } }
    Component { id: segControl; SegControl {} }
    Component { id: serviceNotice; ServiceNotice {} }
    Component { id: signalSpy; SignalSpy {} }
    Component {
        id: shadowedPanel

        Item {
            width: 100
            height: 60
            Shadow { anchors.fill: panel; source: panel; shadowBlur: 0.9; shadowOpacity: 0.45; shadowVerticalOffset: 3 }
            Card { id: panel; anchors.fill: parent; anchors.margins: 10 }
        }
    }

    // The glow as an animation once drew it (left) beside the opacity the
    // stepping timer last set (right), over the panel.
    Component {
        id: glowPair

        Rectangle {
            property alias progress: controller.progress
            property real stepped: Breath.low

            width: 20
            height: 10
            color: appSettings.bg
            Rectangle { id: animated; width: 10; height: 10; color: appSettings.success; opacity: 0.05 }
            Rectangle { x: 10; width: 10; height: 10; color: appSettings.success; opacity: parent.stepped }
            AnimationController {
                id: controller

                animation: SequentialAnimation {
                    NumberAnimation { target: animated; property: "opacity"; from: 0.05; to: 0.14; duration: 1600; easing.type: Easing.InOutSine }
                    NumberAnimation { target: animated; property: "opacity"; from: 0.14; to: 0.05; duration: 1600; easing.type: Easing.InOutSine }
                }
            }
        }
    }

    TestCase {
        name: "Controls"
        when: windowShown

        readonly property var killSwitchModes: [{ label: "Никогда", value: "never" },
            { label: "При подключении", value: "on_connect" }, { label: "Всегда", value: "always" }]

        function make(component, properties, signalName) {
            const item = createTemporaryObject(component, scene, properties);
            return signalName ? [item, createTemporaryObject(signalSpy, scene, { target: item, signalName: signalName })]
                              : [item, null];
        }
        function colorIs(actual, expected, what) {
            verify(Qt.colorEqual(actual, expected), what + ": " + actual + " is not " + expected);
        }

        function test_primaryVariants_data() {
            return [{ tag: "primary", variant: "primary", fg: "accentText" }, { tag: "ghost", variant: "ghost", fg: "fg" },
                    { tag: "danger-ghost", variant: "danger-ghost", fg: "danger" }];
        }
        function test_primaryVariants(data) {
            const [button, spy] = make(primaryButton, { variant: data.variant }, "clicked");
            compare(button.ghost, data.variant !== "primary");
            colorIs(button.fgCol, appSettings[data.fg], "label");
            mouseClick(button);
            compare(spy.count, 1);
            mouseMove(button);
            tryCompare(button, "lit", true);
            colorIs(button.border.color, data.variant === "danger-ghost" ? appSettings.danger : appSettings.borderStrong, "hovered border");

            // Disabled under the pointer: half opacity, no hover look, no clicks.
            button.enabled = false;
            compare(button.opacity, 0.5);
            compare(button.lit, false);
            colorIs(button.border.color, appSettings.borderStrong, "disabled border");
            mouseClick(button);
            button.Accessible.pressAction();
            compare(spy.count, 1);
            // Colours are bound, not copied: a theme change reaches them.
            appSettings.toggleTheme();
            colorIs(button.fgCol, appSettings[data.fg], "label after the theme change");
            appSettings.toggleTheme();
        }

        function test_segMatchesStrictly_data() {
            return [{ tag: "unset", value: undefined, on: [false, false] }, { tag: "string of a number", value: "1", on: [false, false] },
                    { tag: "number", value: 1, on: [true, false] }, { tag: "false is not 0", value: false, on: [false, true] }];
        }
        function test_segMatchesStrictly(data) {
            const [control] = make(segControl, { model: [{ label: "One", value: 1 }, { label: "Off", value: false }], value: data.value });
            compare([0, 1].map(i => findChild(control, "segment" + i).checked), data.on);
        }

        // A click only asks: also for the current segment, and the parent moves the selection.
        function test_segClickAsks_data() {
            return [{ tag: "other segment", index: 2, asked: "always" }, { tag: "current segment", index: 0, asked: "never" }];
        }
        function test_segClickAsks(data) {
            const [control, spy] = make(segControl, { model: killSwitchModes, value: "never" }, "changed");
            mouseClick(findChild(control, "segment" + data.index));
            compare(spy.signalArguments.map(args => args[0]), [data.asked]);
            verify(findChild(control, "segment0").checked);
        }

        // The group is one Tab stop; keys ask for a neighbour and take the focus there.
        function test_segKeys_data() {
            return [{ tag: "right", key: Qt.Key_Right, asked: "on_connect", focus: 1 },
                    { tag: "left stops at the first", key: Qt.Key_Left, asked: "never", focus: 0 },
                    { tag: "end", key: Qt.Key_End, asked: "always", focus: 2 },
                    { tag: "space", key: Qt.Key_Space, asked: "never", focus: 0 }];
        }
        function test_segKeys(data) {
            const [control, spy] = make(segControl, { model: killSwitchModes, value: "never" }, "changed");
            const segments = [0, 1, 2].map(i => findChild(control, "segment" + i));
            compare(segments.map(segment => segment.activeFocusOnTab), [true, false, false]);
            segments[0].forceActiveFocus(Qt.TabFocusReason);
            keyClick(data.key);
            compare(spy.signalArguments.map(args => args[0]), [data.asked]);
            verify(segments[data.focus].activeFocus);
            verify(findChild(segments[data.focus], "focusRing").visible);
            compare(segments.map(segment => segment.checked), [true, false, false]);
        }

        // A selection moved from outside under the focus leaves one Tab stop
        // once the focus goes.
        function test_segOneTabStopAfterOutsideChange() {
            const [control] = make(segControl, { model: killSwitchModes, value: "never" });
            const segments = [0, 1, 2].map(i => findChild(control, "segment" + i));
            segments[0].forceActiveFocus(Qt.TabFocusReason);
            control.value = "always";
            scene.forceActiveFocus();
            compare(segments.map(segment => segment.activeFocusOnTab), [false, false, true]);
        }

        // The ring marks keyboard focus only: a click leaves the look unchanged.
        function test_focusRingFromKeyboardOnly() {
            const [button] = make(primaryButton);
            const ring = findChild(button, "focusRing");
            mouseClick(button);
            verify(button.activeFocus && !ring.visible);
            button.focus = false;
            button.forceActiveFocus(Qt.TabFocusReason);
            verify(ring.visible);
        }

        // Long labels keep their text width, with or without spare width to share.
        function test_segLabelsFit_data() {
            return [{ tag: "natural width", stretch: false, extra: 0 }, { tag: "stretched a little", stretch: true, extra: 12 },
                    { tag: "stretched a lot", stretch: true, extra: 240 }, { tag: "squeezed", stretch: true, extra: -30 }];
        }
        function test_segLabelsFit(data) {
            const [control] = make(segControl, { model: killSwitchModes, stretch: data.stretch });
            control.width = control.implicitWidth + data.extra;
            waitForRendering(control);
            let right = 0;
            for (let i = 0; i < killSwitchModes.length; ++i) {
                const segment = findChild(control, "segment" + i);
                const label = findChild(segment, "label");
                verify(segment.width >= label.implicitWidth + 10, label.text + " is squeezed to " + segment.width);
                verify(segment.x >= right, label.text + " overlaps its neighbour");
                right = segment.x + segment.width;
            }
            if (data.extra > 0)
                fuzzyCompare(right, control.width - 6, 1, "spare width is shared");
        }

        function test_switchWaitsForItsParent_data() {
            return [{ tag: "off", checked: false, x: 3 }, { tag: "on", checked: true, x: 20 }];
        }
        function test_switchWaitsForItsParent(data) {
            const [control, spy] = make(toggleSwitch, { checked: data.checked }, "toggleRequested");
            const knob = findChild(control, "knob");
            mouseClick(control);
            control.Accessible.toggleAction();
            keyClick(Qt.Key_Space);
            keyClick(Qt.Key_Return);
            compare(spy.signalArguments.map(args => args[0]), Array(4).fill(!data.checked));
            compare(knob.x, data.x);
            control.toggleRequested.connect(value => control.checked = value);
            mouseClick(control);
            tryCompare(knob, "x", 23 - data.x);
            tryVerify(() => Qt.colorEqual(control.color, control.checked ? appSettings.success : appSettings.surfaceAlt));
        }

        // Offscreen there is no blur and bullets stand in; either way the text never shows while hidden.
        function test_spoilerFlips() {
            const [spoiler] = make(spoilerText);
            const source = findChild(spoiler, "spoilerSource");
            const mask = findChild(spoiler, "spoilerMask");
            const bullets = !findChild(spoiler, "spoilerBlur").available;
            verify(!spoiler.revealed && !source.visible);
            compare(mask.visible, bullets);
            verify(mask.text.indexOf("203") < 0);
            mouseClick(spoiler);
            verify(spoiler.revealed);
            tryVerify(() => source.visible, 1000, "revealed text shows");
            verify(!mask.visible);
            mouseClick(spoiler);
            verify(!spoiler.revealed && !source.visible);
            compare(mask.visible, bullets);
        }

        // A socket that refuses the user is no missing service.
        function test_noticeSaysAccessIsRefused() {
            const [notice] = make(serviceNotice, { linkState: "refused" });
            compare(findChild(notice, "serviceNoticeText").text, appSettings.extraTexts.serviceNoAccess);
        }

        // On every scene graph (here the software one) the shadow shows below
        // the panel, and the panel itself is drawn over it.
        function test_shadowUnderItsSource() {
            const [item] = make(shadowedPanel);
            waitForRendering(item);
            const image = grabImage(item);
            colorIs(image.pixel(50, 30), appSettings.surface, "panel centre");
            const below = image.pixel(50, 53);
            verify(below.r > 0.2 && below.r < 0.9 && below.r === below.b, "shadow below: " + below);
        }

        // Within a whole breath, the glow stepped once per two on-screen levels is
        // never more than two 8-bit levels away from the animated one in any
        // colour channel, in either theme: one from the stepping, one more
        // where the software scene graph rounds opacity to 8 bits.
        function test_steppedGlowLooksAnimated_data() {
            return [{ tag: "dark", dark: true }, { tag: "light", dark: false }];
        }
        function test_steppedGlowLooksAnimated(data) {
            if (appSettings.darkTheme !== data.dark)
                appSettings.toggleTheme();
            const [pair] = make(glowPair);
            const channel = Breath.widestChannel(appSettings.success, appSettings.bg);
            let tick = 0;
            let next = Breath.nextStepIn(0, channel);
            for (let ms = 0; ms <= 2 * Breath.halfMs; ms += 20) {
                while (next <= ms) {
                    tick = next;
                    next = tick + Breath.nextStepIn(tick, channel);
                }
                pair.stepped = Breath.shownAt(tick, channel);
                pair.progress = ms / (2 * Breath.halfMs);
                waitForRendering(pair);
                const image = grabImage(pair);
                const [a, b] = [image.pixel(5, 5), image.pixel(15, 5)];
                const off = Math.max(Math.abs(a.r - b.r), Math.abs(a.g - b.g), Math.abs(a.b - b.b)) * 255;
                verify(off < 2.5, ms + " ms: " + a + " against " + b);
            }
            if (!data.dark)
                appSettings.toggleTheme();
        }

    }
}
