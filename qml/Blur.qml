import QtQuick
import Qt5Compat.GraphicalEffects

// A blur of a source item drawn in the source's place; the source itself
// stays invisible. `available` is false where the effect draws nothing
// (software scene graph), and users must then show something else. Property
// names follow the multi-effect of later Qt releases so the switch is made
// here alone.
Item {
    id: root

    property Item source: null
    // 0..1, scaled by blurMax into a blur radius in pixels.
    property real blur: 1.0
    property real blurMax: 40

    readonly property bool available: GraphicsInfo.shaderType === GraphicsInfo.RhiShader

    // Not even created where it cannot draw.
    Loader {
        anchors.fill: parent
        active: root.available && root.source !== null
        sourceComponent: FastBlur {
            source: root.source
            radius: Math.max(0, Math.min(1, root.blur)) * root.blurMax
            transparentBorder: true
        }
    }
}
