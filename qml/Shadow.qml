import QtQuick

// A drop shadow behind a rounded rectangle. Fill the source with it and keep
// it under the source (declared before it, or a lower z). Property names
// follow the multi-effect of later Qt releases.
//
// The shadow is a nine-patch: an image of its corners and edges drawn once on
// the CPU with the falloff of a rectangular glow (a smooth ramp from each
// edge, corners rounded by their product), stretched along the sides. It thus
// looks the same on every scene graph, and costs neither a shader nor an
// offscreen texture; a 59-tap blur of the outline once cost a third of a
// second and 45 MiB before the first frame on a software GL driver. The
// source must be larger than twice its corner radius plus the blur.
Item {
    id: root

    property Item source: null
    // 0..1, scaled by blurMax into a blur radius in pixels.
    property real shadowBlur: 1.0
    property real blurMax: 32
    property real shadowOpacity: 1.0
    property real shadowHorizontalOffset: 0
    property real shadowVerticalOffset: 0

    readonly property real radius: Math.max(0, Math.min(1, root.shadowBlur)) * root.blurMax
    readonly property real sourceRadius: root.source && root.source.radius !== undefined ? root.source.radius : 0
    // The deviation of a Gaussian blur of that radius, which the glow's
    // falloff matches within a window margin.
    readonly property real glowRadius: (root.radius + 1) / 3.3333
    readonly property real spread: 0.1
    readonly property real cornerRadius: root.sourceRadius + root.glowRadius
    // Whole pixels the image reaches beyond the source: all of the falloff.
    readonly property int extent: Math.ceil(root.glowRadius + root.cornerRadius)

    BorderImage {
        readonly property int patch: (sourceSize.width - 1) / 2

        anchors.fill: parent
        anchors.leftMargin: root.shadowHorizontalOffset - root.extent
        anchors.rightMargin: -root.shadowHorizontalOffset - root.extent
        anchors.topMargin: root.shadowVerticalOffset - root.extent
        anchors.bottomMargin: -root.shadowVerticalOffset - root.extent
        visible: root.source !== null
        opacity: root.shadowOpacity
        source: "image://shadow/%1/%2/%3/%4".arg(root.glowRadius.toFixed(3)).arg(root.spread)
                .arg(root.cornerRadius.toFixed(3)).arg(root.extent)
        border.left: patch
        border.right: patch
        border.top: patch
        border.bottom: patch
        // The middle is flat: stretching it is exact.
        horizontalTileMode: BorderImage.Stretch
        verticalTileMode: BorderImage.Stretch
        smooth: false
        cache: true
    }
}
