import QtQuick
import Qt5Compat.GraphicalEffects

// A drop shadow behind a rectangular item. Fill the source with it and keep it
// under the source (declared before it, or a lower z), with the source itself
// visible: where the effect cannot draw, on the software scene graph, the item
// then simply has no shadow instead of vanishing. Property names follow the
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

    readonly property bool available: GraphicsInfo.shaderType === GraphicsInfo.RhiShader
    readonly property real radius: Math.max(0, Math.min(1, root.shadowBlur)) * root.blurMax

    // The shadow is cast by a copy of the source's outline, not by the source
    // itself: a live panel would re-run the blur on every change of its
    // content, while the outline is blurred once and kept.
    Rectangle {
        id: outline

        anchors.fill: parent
        visible: false
        radius: root.source && root.source.radius !== undefined ? root.source.radius : 0
        color: root.source && root.source.color !== undefined ? root.source.color : root.shadowColor
    }

    // Not even created where it cannot draw.
    Loader {
        anchors.fill: parent
        active: root.available && root.source !== null
        sourceComponent: DropShadow {
            source: outline
            radius: root.radius
            // Fewer samples than 2 * radius + 1 band the blur; the kernel stops at 64.
            samples: Math.min(64, 1 + 2 * Math.ceil(root.radius))
            color: Qt.alpha(root.shadowColor, root.shadowColor.a * root.shadowOpacity)
            horizontalOffset: root.shadowHorizontalOffset
            verticalOffset: root.shadowVerticalOffset
            transparentBorder: true
            cached: true
        }
    }
}
