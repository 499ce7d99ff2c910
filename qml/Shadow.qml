import QtQuick
import Qt5Compat.GraphicalEffects

// A drop shadow behind a rounded rectangle. Fill the source with it and keep
// it under the source (declared before it, or a lower z), with the source
// itself visible: where the effect cannot draw, on the software scene graph,
// the item then simply has no shadow instead of vanishing. Property names
// follow the multi-effect of later Qt releases so the switch is made here
// alone.
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
    readonly property real sourceRadius: root.source && root.source.radius !== undefined ? root.source.radius : 0

    // The shadow of a rounded rectangle is drawn in one pass from its shape.
    // Blurring a copy of the outline instead cost a run-time shader build,
    // three window-sized offscreen textures and a 59-tap blur over them: on a
    // software GL driver about a third of a second before the first frame and
    // some 45 MiB of memory, for a shadow whose visible part is the 10 px
    // margin around the panel.
    Loader {
        anchors.fill: parent
        anchors.leftMargin: root.shadowHorizontalOffset
        anchors.rightMargin: -root.shadowHorizontalOffset
        anchors.topMargin: root.shadowVerticalOffset
        anchors.bottomMargin: -root.shadowVerticalOffset
        active: root.available && root.source !== null
        sourceComponent: RectangularGlow {
            // The deviation of a Gaussian blur of that radius; within the
            // window margins the two falloffs are alike.
            glowRadius: (root.radius + 1) / 3.3333
            spread: 0.1
            cornerRadius: root.sourceRadius + glowRadius
            color: Qt.alpha(root.shadowColor, root.shadowColor.a * root.shadowOpacity)
        }
    }
}
