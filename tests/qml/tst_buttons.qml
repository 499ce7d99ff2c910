import QtQuick
import QtTest
import "qrc:/qml"

Item {
    id: scene

    width: 400
    height: 300

    Component {
        id: primaryButton

        PrimaryButton {
            text: "Connect"
        }
    }

    Component {
        id: iconButton

        IconButton {
            symbol: "\u2715"
        }
    }

    Component {
        id: chip

        Chip {
            text: "Status"
        }
    }

    TestCase {
        name: "Buttons"
        when: windowShown

        function colorIs(actual, expected, what) {
            verify(Qt.colorEqual(actual, expected), what + ": " + actual + " is not " + expected);
        }

        function create(component, properties) {
            const item = createTemporaryObject(component, scene, properties);
            verify(item);
            return item;
        }

        function test_primaryVariants_data() {
            return [
                { tag: "primary", variant: "primary", ghost: false, fg: "accentText", border: 0 },
                { tag: "ghost", variant: "ghost", ghost: true, fg: "fg", border: 1 },
                { tag: "danger-ghost", variant: "danger-ghost", ghost: true, fg: "danger", border: 1 }
            ];
        }

        function test_primaryVariants(data) {
            const button = create(primaryButton, { variant: data.variant });
            compare(button.ghost, data.ghost);
            colorIs(button.fgCol, appSettings[data.fg], "label colour");
            compare(button.border.width, data.border);
            compare(!button.gradient, data.ghost, "only the primary variant has a gradient");
        }

        function test_primaryHover_data() {
            return [
                { tag: "primary", variant: "primary" },
                { tag: "ghost", variant: "ghost" },
                { tag: "danger-ghost", variant: "danger-ghost" }
            ];
        }

        // Hover brightens the gradient or the ghost fill; for "danger-ghost" the
        // outline turns red as well.
        function test_primaryHover(data) {
            const button = create(primaryButton, { variant: data.variant });
            mouseMove(button, button.width / 2, button.height / 2);
            tryCompare(button, "hovered", true);
            if (button.ghost)
                colorIs(button.color, appSettings.surfaceAlt, "hovered fill");
            else
                colorIs(button.gradient.stops[0].color, Qt.lighter(appSettings.accentStrong, 1.05), "hovered top");
            colorIs(button.border.color, data.variant === "danger-ghost" ? appSettings.danger : appSettings.borderStrong,
                    "hovered border");
            mouseMove(scene, scene.width - 1, scene.height - 1);
            tryCompare(button, "hovered", false);
        }

        function test_primaryClick() {
            const button = create(primaryButton);
            const spy = createTemporaryObject(signalSpy, scene, { target: button, signalName: "clicked" });
            mouseClick(button);
            compare(spy.count, 1);
            compare(button.scale, 1.0);
        }

        function test_primaryDisabled_data() {
            return [
                { tag: "primary", variant: "primary" },
                { tag: "danger-ghost", variant: "danger-ghost" }
            ];
        }

        function test_primaryDisabled(data) {
            const button = create(primaryButton, { variant: data.variant, enabled: false });
            const spy = createTemporaryObject(signalSpy, scene, { target: button, signalName: "clicked" });
            compare(button.opacity, 0.5);
            const top = button.gradient ? button.gradient.stops[0].color : button.color;
            mouseMove(button, button.width / 2, button.height / 2);
            mouseClick(button);
            button.Accessible.pressAction();
            compare(spy.count, 0);
            compare(button.hovered, false);
            colorIs(button.gradient ? button.gradient.stops[0].color : button.color, top, "fill under the pointer");
            colorIs(button.border.color, appSettings.borderStrong, "border under the pointer");
        }

        // A button disabled while the pointer rests on it drops its hover look.
        function test_primaryDisabledUnderPointer() {
            const button = create(primaryButton, { variant: "ghost" });
            mouseMove(button, button.width / 2, button.height / 2);
            tryCompare(button, "hovered", true);
            button.enabled = false;
            compare(button.hovered, false);
            colorIs(button.color, appSettings.surface, "fill");
        }

        function test_primaryLongLabelIsElided() {
            const button = create(primaryButton, { text: "A label much too long for the space it gets", width: 120 });
            const label = findChild(button, "label");
            verify(label.width <= button.width - 24);
            verify(label.truncated);
        }

        function test_iconGlyphColour_data() {
            return [
                { tag: "danger hover fill", hoverColor: "danger", idle: "fgMuted", hovered: "accentText" },
                { tag: "plain hover fill", hoverColor: "surfaceAlt", idle: "fgMuted", hovered: "fgMuted" }
            ];
        }

        function test_iconGlyphColour(data) {
            const button = create(iconButton, { hoverColor: appSettings[data.hoverColor] });
            const glyph = findChild(button, "glyph");
            colorIs(glyph.color, appSettings[data.idle], "idle glyph");
            colorIs(button.color, "transparent", "idle fill");
            mouseMove(button, 10, 10);
            tryVerify(() => Qt.colorEqual(button.color, appSettings[data.hoverColor]), 1000, "hover fill");
            colorIs(glyph.color, appSettings[data.hovered], "hovered glyph");
            mouseMove(scene, scene.width - 1, scene.height - 1);
            tryVerify(() => Qt.colorEqual(glyph.color, appSettings[data.idle]), 1000, "glyph after leaving");
        }

        function test_iconClick() {
            const button = create(iconButton);
            const spy = createTemporaryObject(signalSpy, scene, { target: button, signalName: "clicked" });
            compare(button.width, 36);
            compare(button.height, 30);
            mouseClick(button);
            compare(spy.count, 1);
        }

        function test_chipBorder_data() {
            return [
                { tag: "plain", ok: false, hover: false, border: "border", content: "fgMuted" },
                { tag: "hovered", ok: false, hover: true, border: "borderStrong", content: "fgMuted" },
                { tag: "ok", ok: true, hover: false, border: "", content: "success" },
                { tag: "ok and hovered", ok: true, hover: true, border: "borderStrong", content: "success" }
            ];
        }

        function test_chipBorder(data) {
            const item = create(chip, { ok: data.ok, glyph: "\u2713" });
            if (data.hover) {
                mouseMove(item, 5, 5);
                tryVerify(() => Qt.colorEqual(item.border.color, appSettings.borderStrong), 1000, "hover border");
            }
            const success = appSettings.success;
            colorIs(item.border.color, data.border === "" ? Qt.rgba(success.r, success.g, success.b, 0.35)
                                                          : appSettings[data.border], "border");
            colorIs(findChild(item, "glyph").color, appSettings[data.content], "glyph");
            mouseMove(scene, scene.width - 1, scene.height - 1);
        }

        function test_chipGlyphOptional() {
            const item = create(chip);
            const withoutGlyph = item.implicitWidth;
            verify(!findChild(item, "glyph").visible);
            item.glyph = "\u2713";
            verify(findChild(item, "glyph").visible);
            tryVerify(() => item.implicitWidth > withoutGlyph + 6, 1000, "room for the glyph");
            const spy = createTemporaryObject(signalSpy, scene, { target: item, signalName: "clicked" });
            mouseClick(item);
            compare(spy.count, 1);
        }
    }

    Component {
        id: signalSpy

        SignalSpy {}
    }
}
