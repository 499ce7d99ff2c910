import QtQuick
import Qt5Compat.GraphicalEffects

// The blur itself, in a document of its own: its effects module is loaded
// the first time a blur is shown, not with the window.
FastBlur {
    transparentBorder: true
}
