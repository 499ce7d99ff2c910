import QtQuick
import QtTest
import "qrc:/qml/format.js" as Fmt

TestCase {
    name: "Format"

    function test_bytes_data() {
        return [
            { tag: "zero", n: 0, expected: "0 B" },
            { tag: "missing", n: undefined, expected: "0 B" },
            { tag: "null", n: null, expected: "0 B" },
            { tag: "not a number", n: NaN, expected: "0 B" },
            { tag: "negative", n: -5, expected: "0 B" },
            { tag: "infinite", n: Infinity, expected: "0 B" },
            { tag: "fraction of a byte", n: 0.6, expected: "1 B" },
            { tag: "largest plain bytes", n: 1023, expected: "1023 B" },
            { tag: "one kilobyte", n: 1024, expected: "1.00 KB" },
            { tag: "one and a half kilobytes", n: 1536, expected: "1.50 KB" },
            { tag: "just under ten rounds up with two decimals", n: 10239, expected: "10.00 KB" },
            { tag: "ten kilobytes takes one decimal", n: 15360, expected: "15.0 KB" },
            { tag: "hundred kilobytes takes none", n: 153600, expected: "150 KB" },
            { tag: "just under a megabyte stays in kilobytes", n: 1048575, expected: "1024 KB" },
            { tag: "one megabyte", n: 1048576, expected: "1.00 MB" },
            { tag: "gigabytes", n: 5.5 * 1024 * 1024 * 1024, expected: "5.50 GB" },
            { tag: "no unit above terabytes", n: Math.pow(2, 50), expected: "1024 TB" },
            { tag: "numeric string", n: "2048", expected: "2.00 KB" }
        ];
    }

    function test_bytes(data) {
        compare(Fmt.bytes(data.n), data.expected);
    }

    function test_speed_data() {
        return [
            { tag: "zero", bps: 0, expected: "0 KB/s" },
            { tag: "below one", bps: 0.5, expected: "0 KB/s" },
            { tag: "missing", bps: undefined, expected: "0 KB/s" },
            { tag: "not a number", bps: NaN, expected: "0 KB/s" },
            { tag: "negative", bps: -100, expected: "0 KB/s" },
            { tag: "infinite", bps: Infinity, expected: "0 KB/s" },
            { tag: "one byte", bps: 1, expected: "1 B/s" },
            { tag: "bytes", bps: 512, expected: "512 B/s" },
            { tag: "largest plain bytes", bps: 1023, expected: "1023 B/s" },
            { tag: "one kilobyte", bps: 1024, expected: "1.0 KB/s" },
            { tag: "just under ten rounds up with one decimal", bps: 10239, expected: "10.0 KB/s" },
            { tag: "whole kilobytes", bps: 356 * 1024, expected: "356 KB/s" },
            { tag: "megabytes", bps: 1.4 * 1024 * 1024, expected: "1.4 MB/s" },
            { tag: "no unit above gigabytes", bps: Math.pow(2, 40), expected: "1024 GB/s" }
        ];
    }

    function test_speed(data) {
        compare(Fmt.speed(data.bps), data.expected);
    }

    function test_duration_data() {
        const start = "2026-03-01T10:00:00Z";
        const startMs = Date.UTC(2026, 2, 1, 10, 0, 0);
        return [
            { tag: "empty", since: "", now: startMs, expected: "00:00" },
            { tag: "missing", since: undefined, now: startMs, expected: "00:00" },
            { tag: "unparsable", since: "yesterday-ish", now: startMs, expected: "00:00" },
            { tag: "now missing", since: start, now: undefined, expected: "00:00" },
            { tag: "start in the future", since: start, now: startMs - 5000, expected: "00:00" },
            { tag: "just started", since: start, now: startMs, expected: "00:00" },
            { tag: "part of a second is dropped", since: start, now: startMs + 999, expected: "00:00" },
            { tag: "59 s", since: start, now: startMs + 59000, expected: "00:59" },
            { tag: "3599 s", since: start, now: startMs + 3599000, expected: "59:59" },
            { tag: "one hour", since: start, now: startMs + 3600000, expected: "1:00:00" },
            { tag: "3909 s", since: start, now: startMs + 3909000, expected: "1:05:09" },
            { tag: "hours do not roll into days", since: start, now: startMs + 90061000, expected: "25:01:01" },
            { tag: "zone offset", since: "2026-03-01T13:00:00+03:00", now: startMs + 61000, expected: "01:01" },
            { tag: "fractional seconds", since: "2026-03-01T10:00:00.500Z", now: startMs + 2000, expected: "00:01" }
        ];
    }

    function test_duration(data) {
        compare(Fmt.duration(data.since, data.now), data.expected);
    }
}
