import QtQuick

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

    // Loaded only while shown, and never where it cannot draw.
    Loader {
        id: effect

        anchors.fill: parent
        active: root.available && root.source !== null && root.visible
        source: "BlurEffect.qml"
    }
    Binding {
        target: effect.item
        property: "source"
        value: root.source
        when: effect.status === Loader.Ready
    }
    Binding {
        target: effect.item
        property: "radius"
        value: Math.max(0, Math.min(1, root.blur)) * root.blurMax
        when: effect.status === Loader.Ready
    }
}
