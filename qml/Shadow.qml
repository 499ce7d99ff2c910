import QtQuick
import Qt5Compat.GraphicalEffects

// A drop shadow behind an item. Fill the source with it and keep it under the
// source (declared before it, or a lower z), with the source itself visible:
// where the effect cannot draw, on the software scene graph, the item then
// simply has no shadow instead of vanishing. Property names follow the
// multi-effect of later Qt releases so the switch is made here alone.
Item {
    id: root

    property Item source: null
    // 0..1, scaled by blurMax into a blur radius in pixels.
    property real shadowBlur: 1.0
    property real blurMax: 32
    property real shadowOpacity: 1.0
    property real shadowHorizontalOffset: 0
    property real shadowVerticalOffset: 0
    property color shadowColor: "#000000"
    // Worth turning on when the source is a plain shape that rarely changes.
    property bool cached: false

    readonly property bool available: GraphicsInfo.shaderType === GraphicsInfo.RhiShader
    readonly property real radius: Math.max(0, Math.min(1, root.shadowBlur)) * root.blurMax

    // Not even created where it cannot draw.
    Loader {
        anchors.fill: parent
        active: root.available && root.source !== null
        sourceComponent: DropShadow {
            source: root.source
            radius: root.radius
            // Fewer samples than 2 * radius + 1 band the blur; the kernel stops at 64.
            samples: Math.min(64, 1 + 2 * Math.ceil(root.radius))
            color: Qt.alpha(root.shadowColor, root.shadowColor.a * root.shadowOpacity)
            horizontalOffset: root.shadowHorizontalOffset
            verticalOffset: root.shadowVerticalOffset
            transparentBorder: true
            cached: root.cached
        }
    }
}
