import QtQuick
import QtQuick.Layouts

// The compact flyout next to the tray icon: status, one connect/disconnect
// button, and buttons to open the main window or quit. It closes itself as
// soon as it stops being the active window, and on Escape.
Window {
    id: root

    readonly property string vpnState: pipeClient.vpnState
    readonly property bool connected: vpnState === "connected"
    readonly property bool busy: vpnState === "connecting" || vpnState === "reconnecting"
    readonly property var t: appSettings.t

    // Places the popup by the tray anchor (screen coordinates): centred above
    // it, or below it when there is no room above, and kept 8 px inside the
    // available desktop area. That area spans all screens and starts where
    // the leftmost and topmost screens start, which is left of or above 0
    // when a screen is placed left of or above the primary one.
    function openAt(ax, ay) {
        let left = Infinity;
        let top = Infinity;
        const screens = Qt.application.screens;
        for (let i = 0; i < screens.length; ++i) {
            left = Math.min(left, screens[i].virtualX);
            top = Math.min(top, screens[i].virtualY);
        }
        if (!isFinite(left) || !isFinite(top)) {
            left = 0;
            top = 0;
        }
        const right = left + Screen.desktopAvailableWidth;
        const bottom = top + Screen.desktopAvailableHeight;
        const px = Math.min(Math.max(left + 8, ax - width / 2), right - width - 8);
        let py = ay - height - 12;
        if (py <= top + 8)
            py = ay + 12;
        if (py + height > bottom - 8)
            py = bottom - height - 8;
        x = Math.round(px);
        y = Math.round(py);
        show();
        raise();
        requestActivate();
        screenFocus.start();
    }

    width: 340
    height: 212
    minimumWidth: 340
    maximumWidth: 340
    minimumHeight: 212
    maximumHeight: 212
    visible: false
    color: "transparent"
    title: "VantrelVPN"
    flags: Qt.Tool | Qt.FramelessWindowHint | Qt.WindowStaysOnTopHint
    onActiveChanged: {
        if (!active)
            hide();
    }

    Shortcut {
        sequence: "Escape"
        onActivated: root.hide()
    }

    // Keys act at once on the main button, or on "open" while it is off.
    ScreenFocus {
        id: screenFocus

        screen: card
        mainAction: mainButton
    }

    Shadow {
        anchors.fill: card
        source: card
        shadowBlur: 0.8
        shadowOpacity: 0.5
        shadowVerticalOffset: 2
    }

    Rectangle {
        id: card

        objectName: "popupCard"
        anchors.fill: parent
        anchors.margins: 8
        radius: 14
        color: appSettings.bg
        antialiasing: true
        border.width: appSettings.darkTheme ? 0 : 1
        border.color: appSettings.borderStrong

        ColumnLayout {
            anchors.fill: parent
            anchors.margins: 14
            spacing: 10

            RowLayout {
                Layout.fillWidth: true
                spacing: 9

                Image {
                    source: "qrc:/logo.svg"
                    sourceSize.width: 20
                    sourceSize.height: 20
                    Layout.preferredWidth: 20
                    Layout.preferredHeight: 20
                    fillMode: Image.PreserveAspectFit
                    smooth: true
                    mipmap: true
                    Accessible.ignored: true
                }
                Text {
                    Layout.fillWidth: true
                    text: "VantrelVPN"
                    textFormat: Text.PlainText
                    color: appSettings.fg
                    font.family: appSettings.fontFamily
                    font.pixelSize: 13
                    font.bold: true
                    elide: Text.ElideRight
                    Accessible.role: Accessible.Heading
                    Accessible.name: text
                }
                Text {
                    objectName: "popupStatus"
                    text: trayManager.statusText
                    textFormat: Text.PlainText
                    color: appSettings.fgMuted
                    font.family: appSettings.fontFamily
                    font.pixelSize: 13
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                }
                Rectangle {
                    objectName: "popupDot"
                    implicitWidth: 7
                    implicitHeight: 7
                    radius: 3.5
                    color: root.connected ? appSettings.success : root.busy ? appSettings.warning : root.vpnState === "failed" ? appSettings.danger : appSettings.fgMuted

                    Behavior on color {
                        ColorAnimation {
                            duration: 200
                        }
                    }
                }
            }

            // Leftover height is shared above and below the main button, so the
            // footer sits on the card's bottom edge.
            Item {
                Layout.fillHeight: true
            }

            PrimaryButton {
                id: mainButton

                objectName: "popupMainButton"
                Layout.fillWidth: true
                Layout.preferredHeight: 34
                enabled: trayManager.mainActionEnabled
                Accessible.description: pipeClient.linkState === "up" ? "" : appSettings.extraTexts.serviceNeeded
                variant: root.connected ? "danger-ghost" : "ghost"
                text: trayManager.mainActionText
                Accessible.name: text
                onClicked: trayManager.mainActionRequested()
            }

            Item {
                Layout.fillHeight: true
            }

            RowLayout {
                Layout.fillWidth: true
                spacing: 8

                PrimaryButton {
                    id: openButton

                    objectName: "popupOpenButton"
                    Layout.fillWidth: true
                    small: true
                    variant: "ghost"
                    text: root.t.trayOpen
                    Accessible.name: text
                    onClicked: {
                        root.hide();
                        trayManager.showRequested();
                    }
                }
                PrimaryButton {
                    objectName: "popupQuitButton"
                    small: true
                    variant: "danger-ghost"
                    text: root.t.quit
                    Accessible.name: text
                    onClicked: trayManager.quitRequested()
                }
            }
        }
    }
}
