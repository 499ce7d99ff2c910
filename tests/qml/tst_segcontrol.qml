import QtQuick
import QtTest
import "qrc:/qml"

Item {
    id: scene

    width: 600
    height: 200

    Component {
        id: segControl

        SegControl {
            model: [{ label: "Never", value: "never" }, { label: "On connect", value: "on_connect" },
                    { label: "Always", value: "always" }]
        }
    }

    Component {
        id: signalSpy

        SignalSpy {}
    }

    TestCase {
        name: "SegControl"
        when: windowShown

        function segments(control) {
            const found = [];
            for (let i = 0; i < control.model.length; ++i)
                found.push(findChild(control, "segment" + i));
            return found;
        }

        function onStates(control) {
            return segments(control).map(segment => segment.on);
        }

        function test_strictMatch_data() {
            return [
                { tag: "unset", model: null, value: undefined, on: [false, false, false] },
                { tag: "matching string", model: null, value: "on_connect", on: [false, true, false] },
                { tag: "no such value", model: null, value: "sometimes", on: [false, false, false] },
                { tag: "number does not match its string", value: "1",
                  model: [{ label: "One", value: 1 }, { label: "Two", value: 2 }], on: [false, false] },
                { tag: "false does not match zero", value: false,
                  model: [{ label: "Zero", value: 0 }, { label: "Off", value: false }], on: [false, true] },
                { tag: "null does not match unset", value: null,
                  model: [{ label: "Unset", value: undefined }, { label: "Null", value: null }], on: [false, true] }
            ];
        }

        function test_strictMatch(data) {
            const properties = { value: data.value };
            if (data.model)
                properties.model = data.model;
            const control = createTemporaryObject(segControl, scene, properties);
            compare(onStates(control), data.on);
            segments(control).forEach(segment => {
                compare(segment.border.width, segment.on ? 1 : 0);
                verify(Qt.colorEqual(segment.color, segment.on ? appSettings.surfaceAlt : "transparent"));
                verify(Qt.colorEqual(findChild(segment, "label").color, segment.on ? appSettings.fg : appSettings.fgMuted));
            });
        }

        // The parent owns the value: a click only asks, also for the segment
        // that is already on.
        function test_clickAsksWithoutSelecting_data() {
            return [
                { tag: "another segment", index: 2, expected: "always" },
                { tag: "the current segment", index: 0, expected: "never" }
            ];
        }

        function test_clickAsksWithoutSelecting(data) {
            const control = createTemporaryObject(segControl, scene, { value: "never" });
            const spy = createTemporaryObject(signalSpy, scene, { target: control, signalName: "changed" });
            mouseClick(segments(control)[data.index]);
            compare(spy.count, 1);
            compare(spy.signalArguments[0][0], data.expected);
            compare(control.value, "never");
            compare(onStates(control), [true, false, false]);
        }

        function test_parentBindingSelects() {
            const control = createTemporaryObject(segControl, scene, { value: "never" });
            control.changed.connect(value => control.value = value);
            mouseClick(segments(control)[1]);
            compare(onStates(control), [false, true, false]);
        }

        // Long labels (the Russian texts of the kill-switch row) keep at least
        // their text width whatever the spare width.
        function test_segmentsFitTheirText_data() {
            const ru = [{ label: "Никогда", value: "never" }, { label: "При подключении", value: "on_connect" },
                        { label: "Всегда", value: "always" }];
            return [
                { tag: "implicit width", model: ru, stretch: false, extra: 0 },
                { tag: "stretched, little spare width", model: ru, stretch: true, extra: 12 },
                { tag: "stretched, much spare width", model: ru, stretch: true, extra: 240 },
                { tag: "stretched, squeezed below the implicit width", model: ru, stretch: true, extra: -30 }
            ];
        }

        function test_segmentsFitTheirText(data) {
            const control = createTemporaryObject(segControl, scene, { model: data.model, stretch: data.stretch });
            control.width = control.implicitWidth + data.extra;
            waitForRendering(control);
            let right = 0;
            segments(control).forEach(segment => {
                const label = findChild(segment, "label");
                verify(segment.width >= label.implicitWidth + 10,
                       label.text + ": " + segment.width + " < " + label.implicitWidth + " + 10");
                verify(segment.x >= right, label.text + " overlaps the segment before it");
                right = segment.x + segment.width;
            });
            if (data.stretch && data.extra > 0)
                fuzzyCompare(right, control.width - 6, 1, "the segments share the whole row");
        }
    }
}
