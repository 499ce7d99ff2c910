import QtQuick

Window {
    id: root

    function showAndRaise() {
        root.show()
        root.raise()
        root.requestActivate()
    }

    function toggleWindow() {
        if (root.visible)
            root.hide()
        else
            root.showAndRaise()
    }

    width: 400
    height: 660
    title: "VantrelVPN"
}
