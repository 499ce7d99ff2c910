.pragma library

// Human-readable byte counts, rates and session clocks. Shared by every
// importer, so nothing here may keep state.

const byteUnits = ["B", "KB", "MB", "GB", "TB"];
const speedUnits = ["B/s", "KB/s", "MB/s", "GB/s"];

// Anything that is not a finite number (missing, NaN, Infinity) reads as 0:
// an infinite count would otherwise print as "Infinity TB".
function finiteOrZero(x) {
    const v = Number(x);
    return isFinite(v) ? v : 0;
}

function bytes(n) {
    let v = Math.max(0, finiteOrZero(n));
    let unit = 0;
    while (v >= 1024 && unit < byteUnits.length - 1) {
        v /= 1024;
        ++unit;
    }
    // toFixed rounds an exact tie up, which is the rounding the UI wants.
    const decimals = unit === 0 ? 0 : (v < 10 ? 2 : (v < 100 ? 1 : 0));
    return v.toFixed(decimals) + " " + byteUnits[unit];
}

function speed(bps) {
    let v = finiteOrZero(bps);
    if (!(v >= 1))
        return "0 KB/s";
    let unit = 0;
    while (v >= 1024 && unit < speedUnits.length - 1) {
        v /= 1024;
        ++unit;
    }
    const decimals = unit === 0 ? 0 : (v < 10 ? 1 : 0);
    return v.toFixed(decimals) + " " + speedUnits[unit];
}

function twoDigits(x) {
    return x < 10 ? "0" + x : String(x);
}

// sinceIso is the service's RFC 3339 start time; nowMs comes from the caller
// so the clock can be driven by a timer (and by tests) without a hidden Date.
function duration(sinceIso, nowMs) {
    if (typeof sinceIso !== "string" || sinceIso.length === 0)
        return "00:00";
    const start = Date.parse(sinceIso);
    const now = Number(nowMs);
    if (!isFinite(start) || !isFinite(now))
        return "00:00";
    const s = Math.max(0, Math.floor((now - start) / 1000));
    const h = Math.floor(s / 3600);
    const clock = twoDigits(Math.floor((s % 3600) / 60)) + ":" + twoDigits(s % 60);
    return h === 0 ? clock : h + ":" + clock;
}
