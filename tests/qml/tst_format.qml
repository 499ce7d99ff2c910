import QtQuick
import QtTest
import "qrc:/qml/format.js" as Fmt

TestCase {
    name: "Format"

    function test_bytes_data() {
        return [
            { tag: "zero", n: 0, out: "0 B" }, { tag: "missing", n: undefined, out: "0 B" },
            { tag: "not a number", n: NaN, out: "0 B" }, { tag: "negative", n: -5, out: "0 B" },
            { tag: "infinite", n: Infinity, out: "0 B" }, { tag: "largest plain bytes", n: 1023, out: "1023 B" },
            { tag: "one kilobyte", n: 1024, out: "1.00 KB" }, { tag: "two decimals", n: 1536, out: "1.50 KB" },
            { tag: "9.999 rounds to 10.00", n: 10239, out: "10.00 KB" }, { tag: "one decimal", n: 15360, out: "15.0 KB" },
            { tag: "no decimals", n: 153600, out: "150 KB" }, { tag: "1048575 stays in KB", n: 1048575, out: "1024 KB" },
            { tag: "one megabyte", n: 1048576, out: "1.00 MB" }, { tag: "nothing above TB", n: Math.pow(2, 50), out: "1024 TB" }
        ];
    }

    function test_bytes(data) {
        compare(Fmt.bytes(data.n), data.out);
    }

    function test_speed_data() {
        return [
            { tag: "zero", bps: 0, out: "0 KB/s" }, { tag: "below one", bps: 0.5, out: "0 KB/s" },
            { tag: "missing", bps: undefined, out: "0 KB/s" }, { tag: "not a number", bps: NaN, out: "0 KB/s" },
            { tag: "infinite", bps: Infinity, out: "0 KB/s" }, { tag: "one byte", bps: 1, out: "1 B/s" },
            { tag: "largest plain bytes", bps: 1023, out: "1023 B/s" }, { tag: "one kilobyte", bps: 1024, out: "1.0 KB/s" },
            { tag: "9.999 rounds to 10.0", bps: 10239, out: "10.0 KB/s" }, { tag: "whole KB", bps: 356 * 1024, out: "356 KB/s" },
            { tag: "megabytes", bps: 1.4 * 1024 * 1024, out: "1.4 MB/s" }, { tag: "nothing above GB/s", bps: Math.pow(2, 40), out: "1024 GB/s" }
        ];
    }

    function test_speed(data) {
        compare(Fmt.speed(data.bps), data.out);
    }

    function test_duration_data() {
        const t0 = Date.UTC(2026, 2, 1, 10, 0, 0);
        const since = "2026-03-01T10:00:00Z";
        return [
            { tag: "empty", since: "", now: t0, out: "00:00" }, { tag: "missing", since: undefined, now: t0, out: "00:00" },
            { tag: "unparsable", since: "soon", now: t0, out: "00:00" }, { tag: "no clock", since: since, now: NaN, out: "00:00" },
            { tag: "start in the future", since: since, now: t0 - 5000, out: "00:00" },
            { tag: "part of a second", since: since, now: t0 + 999, out: "00:00" },
            { tag: "59 s", since: since, now: t0 + 59000, out: "00:59" },
            { tag: "3599 s", since: since, now: t0 + 3599000, out: "59:59" },
            { tag: "3600 s", since: since, now: t0 + 3600000, out: "1:00:00" },
            { tag: "3909 s", since: since, now: t0 + 3909000, out: "1:05:09" },
            { tag: "no days", since: since, now: t0 + 90061000, out: "25:01:01" },
            { tag: "zone offset", since: "2026-03-01T13:00:00+03:00", now: t0 + 61000, out: "01:01" },
            { tag: "nanoseconds", since: "2026-03-01T10:00:00.500000000Z", now: t0 + 2000, out: "00:01" }
        ];
    }

    function test_duration(data) {
        compare(Fmt.duration(data.since, data.now), data.out);
    }
}
