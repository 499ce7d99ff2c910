import QtQuick

// The rounded panel behind grouped content. Users override radius,
// border colour and implicit height.
Rectangle {
    id: root

    radius: 12
    color: appSettings.surface
    border.width: 1
    border.color: appSettings.border
}
