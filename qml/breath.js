.pragma library

// The dial's breathing glow: its opacity rises from low to high and falls
// back, each half taking halfMs, eased in and out (a half cosine, as
// Easing.InOutSine). What reaches the screen is, per channel, the backdrop
// plus opacity times (glow colour - backdrop) in 8-bit levels, so over a
// half breath the channel where the two differ most moves through only
// (high - low) times that gap of levels, some 17 to 20 with our palettes, and
// the other channels through fewer. A timer sets the glow each time that
// channel moves into the next pair of levels, showing the pair's middle, so
// the glow is never more than one level from the eased curve, rather than an
// animation setting it every frame (which has the scene graph draw 60 frames
// a second). Each step redraws the whole window, which on a CPU-rendered
// OpenGL scene graph costs several milliseconds: steps of two levels halve
// that cost and stay within the one level nobody sees.

const low = 0.05
const high = 0.14
const halfMs = 1600
// Levels of the widest channel one step spans.
const span = 2

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

// The channel in which `color` drawn over `backdrop` changes most with
// opacity: its backdrop value and its gap to the colour, in 8-bit levels.
function widestChannel(color, backdrop) {
    const gaps = [color.r - backdrop.r, color.g - backdrop.g, color.b - backdrop.b]
    const bases = [backdrop.r, backdrop.g, backdrop.b]
    let widest = 0
    for (let i = 1; i < 3; ++i) {
        if (Math.abs(gaps[i]) > Math.abs(gaps[widest]))
            widest = i
    }
    return { base: 255 * bases[widest], gap: 255 * gaps[widest] }
}

// The level the channel shows at opacity a, and the opacity showing level v.
function levelAt(channel, a) {
    return channel.base + a * channel.gap
}
function opacityFor(channel, v) {
    return (v - channel.base) / channel.gap
}

// The middle of the step the widest channel is in at opacity a.
function stepAt(channel, a) {
    return span * Math.round(levelAt(channel, a) / span)
}

// The opacity to draw ms after the breath began: the middle of the step the
// widest channel of the animated glow is in then.
function shownAt(ms, channel) {
    const a = opacityAt(ms)
    if (Math.abs(channel.gap) < 1)
        return a
    const middle = opacityFor(channel, stepAt(channel, a))
    return Math.min(high, Math.max(low, middle))
}

// Milliseconds from ms until the widest channel of the animated glow leaves
// the step it is in at ms.
function nextStepIn(ms, channel) {
    const cycle = ms % (2 * halfMs)
    const rising = cycle < halfMs
    if (Math.abs(channel.gap) < 1)
        return Math.ceil((rising ? halfMs : 2 * halfMs) - cycle)
    const level = stepAt(channel, opacityAt(ms))
    const edges = [opacityFor(channel, level - span / 2), opacityFor(channel, level + span / 2)]
    const bottom = Math.min(edges[0], edges[1])
    const top = Math.max(edges[0], edges[1])
    // Where the opacity next crosses an edge: ahead in this half, or else on
    // the way back.
    let upwards = rising
    if (rising && top >= high)
        upwards = false
    else if (!rising && bottom <= low)
        upwards = true
    if (upwards ? top >= high : bottom <= low)
        return 2 * halfMs // The whole breath stays in one step.
    const u = Math.acos(1 - 2 * ((upwards ? top : bottom) - low) / (high - low)) / Math.PI
    let at = upwards ? u * halfMs : (2 - u) * halfMs
    if (at <= cycle)
        at += 2 * halfMs
    return Math.max(1, Math.ceil(at - cycle))
}
