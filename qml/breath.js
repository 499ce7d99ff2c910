.pragma library

// The dial's breathing glow: its opacity rises from low to high and falls
// back, each half taking halfMs, eased in and out (a half cosine, as
// Easing.InOutSine). Opacity reaches the screen in 8-bit steps, and over a
// half breath it moves through only some 23 of them, so a timer sets the
// value each time it has moved by one step rather than an animation setting
// it every frame (which has the scene graph draw 60 frames a second).

const low = 0.05
const high = 0.14
const halfMs = 1600
const step = 1 / 255

// Share of the way from low to high once `u` (0..1) of a half breath has
// passed.
function eased(u) {
    return (1 - Math.cos(Math.PI * u)) / 2
}

// Opacity ms after the breath began.
function opacityAt(ms) {
    const phase = (ms % (2 * halfMs)) / halfMs
    return low + (high - low) * eased(phase <= 1 ? phase : 2 - phase)
}

// Milliseconds from ms until the opacity has moved one step from its value
// at ms, or until the turn at either end, whichever comes first.
function nextStepIn(ms) {
    const cycle = ms % (2 * halfMs)
    const rising = cycle < halfMs
    const share = (opacityAt(ms) - low) / (high - low) + (rising ? 1 : -1) * step / (high - low)
    let at
    if (share >= 1)
        at = halfMs
    else if (share <= 0)
        at = 2 * halfMs
    else {
        const u = Math.acos(1 - 2 * share) / Math.PI
        at = (rising ? u : 2 - u) * halfMs
    }
    return Math.max(1, Math.ceil(at - cycle))
}
