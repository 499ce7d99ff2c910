import QtQuick
import QtQuick.Layouts
import "format.js" as Fmt
import "Geo.js" as Geo

// Home tab: the connect dial, the live tiles and the service's last error.
Item {
    id: root

    readonly property string vpnState: pipeClient.vpnState
    readonly property bool connected: root.vpnState === "connected"
    readonly property bool busy: root.vpnState === "connecting" || root.vpnState === "reconnecting"
    readonly property bool onScreen: root.visible && root.Window.visibility !== Window.Hidden
                                     && root.Window.visibility !== Window.Minimized
    // The time the session figures are computed against.
    property double nowMs: Date.now()
    readonly property Item mainAction: dial

    readonly property string sessionText: Fmt.duration(pipeClient.connectedSince, root.nowMs)
    readonly property string statusText: {
        switch (root.vpnState) {
        case "connected":
            return appSettings.t.statusProtected
        case "connecting":
            return appSettings.t.statusConnecting
        case "reconnecting":
            return appSettings.t.statusReconnecting + " · #" + pipeClient.attempt
        default:
            return appSettings.t.statusNotConnected
        }
    }

    function toggleConnection() {
        if (root.busy || root.connected)
            pipeClient.sendDisconnect()
        else
            pipeClient.sendConnect(appSettings.whitelist, appSettings.games, appSettings.transport)
    }

    // Starting fires at once, so the clock is current as soon as the tunnel
    // comes up or the window is shown again.
    Timer {
        interval: 1000
        repeat: true
        triggeredOnStart: true
        running: root.connected && root.onScreen
        onTriggered: root.nowMs = Date.now()
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 20
        anchors.topMargin: 14
        spacing: 14

        Item {
            Layout.preferredHeight: 40
        }

        Dial {
            id: dial

            objectName: "dial"
            Layout.alignment: Qt.AlignHCenter
            dialState: root.connected ? "connected" : (root.busy ? "connecting" : "idle")
            statusText: root.statusText
            hintMode: !root.connected
            timerText: root.connected ? root.sessionText
                                      : (root.busy ? appSettings.t.clickToCancel : appSettings.t.clickToConnect)
            actionText: root.connected ? appSettings.extraTexts.pressToDisconnect
                                       : (root.busy ? appSettings.extraTexts.pressToCancel
                                                    : appSettings.extraTexts.pressToConnect)
            onClicked: root.toggleConnection()
        }

        Text {
            objectName: "transportLine"
            Layout.alignment: Qt.AlignHCenter
            text: pipeClient.transport.startsWith("tls") ? appSettings.t.transportTls : ""
            visible: root.connected && text !== ""
            color: appSettings.success
            font.family: appSettings.fontFamily
            font.pixelSize: 12
            font.bold: true
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }

        Item {
            Layout.preferredHeight: 28
        }

        GridLayout {
            Layout.fillWidth: true
            columns: 2
            columnSpacing: 10
            rowSpacing: 10

            Tile {
                objectName: "sessionTile"
                Layout.fillWidth: true
                Layout.preferredWidth: 1
                label: appSettings.t.session
                value: root.connected ? root.sessionText : "—"
                dimmed: !root.connected
            }

            Tile {
                id: addressTile

                objectName: "addressTile"
                Layout.fillWidth: true
                Layout.preferredWidth: 1
                label: appSettings.t.ipAddress
                value: ""
                dimmed: !root.connected

                // Revealed state lives in the spoiler and survives
                // disconnects while this screen lives.
                SpoilerText {
                    id: spoiler

                    objectName: "addressSpoiler"
                    anchors.left: parent.left
                    anchors.leftMargin: 14
                    anchors.bottom: parent.bottom
                    anchors.bottomMargin: 12
                    visible: root.connected
                    text: Geo.host(pipeClient.endpoint) || "—"
                    hiddenName: appSettings.extraTexts.addressHidden
                    color: appSettings.fg
                    font.family: appSettings.fontFamily
                    font.pixelSize: 13
                    font.bold: true
                }

                Text {
                    objectName: "addressPlaceholder"
                    anchors.left: parent.left
                    anchors.leftMargin: 14
                    anchors.bottom: parent.bottom
                    anchors.bottomMargin: 12
                    visible: !root.connected
                    text: "—"
                    color: appSettings.fg
                    font.family: appSettings.fontFamily
                    font.pixelSize: 13
                    font.bold: true
                }
            }

            Tile {
                objectName: "speedTile"
                Layout.fillWidth: true
                Layout.preferredWidth: 1
                label: appSettings.t.speed
                value: root.connected
                       ? "↓" + Fmt.speed(pipeClient.downSpeed) + " ↑" + Fmt.speed(pipeClient.upSpeed) : "—"
                valueColor: root.connected ? appSettings.success : appSettings.fg
                dimmed: !root.connected
            }

            Tile {
                objectName: "trafficTile"
                Layout.fillWidth: true
                Layout.preferredWidth: 1
                label: appSettings.t.traffic
                value: root.connected ? "↓" + Fmt.bytes(pipeClient.down) + " ↑" + Fmt.bytes(pipeClient.up) : "—"
                dimmed: !root.connected
            }
        }

        Text {
            objectName: "errorLine"
            Layout.fillWidth: true
            text: pipeClient.errorText
            textFormat: Text.PlainText
            visible: !root.connected && !root.busy && text !== ""
            color: appSettings.danger
            font.family: appSettings.fontFamily
            font.pixelSize: 12
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.Wrap
            Accessible.role: Accessible.AlertMessage
            Accessible.name: text
        }

        Item {
            Layout.fillHeight: true
        }
    }
}
