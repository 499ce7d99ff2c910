import QtQuick

// Honours the root-window contract and reports each call on the message log.
Window {
    id: root

    function showAndRaise() {
        console.log("probe: showAndRaise")
        root.show()
    }

    function toggleWindow() {
        console.log("probe: toggleWindow")
    }

    width: 100
    height: 100

    // Fires only once the event loop runs, i.e. after start-up has finished.
    Timer {
        interval: 0
        running: true
        onTriggered: console.log("probe: running" + (root.visibility === Window.Minimized ? " minimised" : ""))
    }
}
