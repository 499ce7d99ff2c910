import QtQuick
import QtQuick.Layouts

// The settings tab. Every control shows a property of the object that owns
// the preference and answers with that object's setter or command; the new
// value comes back through the binding.
Item {
    id: root

    // Set when the service has saved a diagnostics report; only switches the
    // diagnostics row's description while this screen lives.
    property string diagPath: ""

    readonly property var t: appSettings.t
    readonly property bool updateShown: pipeClient.updateAvailable || pipeClient.isUpdating || pipeClient.updateReady

    function initials(name) {
        return name.length > 0 ? name.substring(0, 2).toUpperCase() : "•";
    }

    component PlainText: Text {
        font.family: appSettings.fontFamily
        textFormat: Text.PlainText
        Accessible.role: Accessible.StaticText
        Accessible.name: text
    }

    component GroupLabel: PlainText {
        color: appSettings.fgMuted
        font.pixelSize: 13
        font.letterSpacing: 1
    }

    component RowTitle: PlainText {
        color: appSettings.fg
        font.pixelSize: 14
        font.bold: true
    }

    component RowDesc: PlainText {
        Layout.fillWidth: true
        color: appSettings.fgMuted
        font.pixelSize: 14
        wrapMode: Text.WordWrap
    }

    component Divider: Rectangle {
        Layout.fillWidth: true
        implicitHeight: 1
        color: appSettings.border
    }

    // A card as tall as its rows, which are stacked without spacing.
    component GroupCard: Card {
        default property alias rows: rowColumn.data

        Layout.fillWidth: true
        implicitHeight: rowColumn.implicitHeight

        ColumnLayout {
            id: rowColumn

            anchors.left: parent.left
            anchors.right: parent.right
            anchors.top: parent.top
            spacing: 0
        }
    }

    // Title and description on the left, a switch at its natural size on the right.
    component SwitchRow: RowLayout {
        id: switchRow

        property alias title: switchTitle.text
        property alias desc: switchDesc.text
        property alias checked: toggle.checked
        property string switchName

        signal toggled(bool value)

        Layout.fillWidth: true
        Layout.leftMargin: 15
        Layout.rightMargin: 15
        spacing: 14

        ColumnLayout {
            Layout.fillWidth: true
            spacing: 1

            RowTitle {
                id: switchTitle

                Layout.fillWidth: true
                wrapMode: Text.WordWrap
            }
            RowDesc {
                id: switchDesc
            }
        }
        ToggleSwitch {
            id: toggle

            objectName: switchRow.switchName
            Accessible.name: switchTitle.text
            onToggled: value => switchRow.toggled(value)
        }
    }

    // Title, description, then a segmented control across the full width.
    component SegRow: ColumnLayout {
        id: segRow

        property alias title: segTitle.text
        property alias desc: segDesc.text
        property alias model: seg.model
        property alias value: seg.value
        property string segName

        signal picked(var value)

        Layout.fillWidth: true
        Layout.leftMargin: 15
        Layout.rightMargin: 15
        spacing: 10

        RowTitle {
            id: segTitle

            Layout.fillWidth: true
            wrapMode: Text.WordWrap
        }
        RowDesc {
            id: segDesc
        }
        SegControl {
            id: seg

            objectName: segRow.segName
            Layout.fillWidth: true
            stretch: true
            Accessible.name: segTitle.text
            onChanged: value => segRow.picked(value)
        }
    }

    Flickable {
        id: flick

        objectName: "settingsFlick"
        anchors.fill: parent
        anchors.leftMargin: 20
        anchors.rightMargin: 20
        anchors.topMargin: 14
        clip: true
        contentWidth: width
        contentHeight: column.implicitHeight + 20
        flickableDirection: Flickable.VerticalFlick
        boundsBehavior: Flickable.StopAtBounds

        ColumnLayout {
            id: column

            width: flick.width
            spacing: 14

            PlainText {
                text: root.t.settings
                color: appSettings.fg
                font.pixelSize: 20
                font.bold: true
                Accessible.role: Accessible.Heading
            }

            // Above the groups: an offered update is the one thing here the
            // user is expected to act on.
            Card {
                id: updateCard

                objectName: "updateCard"
                Layout.fillWidth: true
                visible: root.updateShown
                implicitHeight: updateRow.implicitHeight + 28 + (progressTrack.visible ? progressTrack.height + 12 : 0)
                border.color: Qt.rgba(appSettings.accent.r, appSettings.accent.g, appSettings.accent.b, 0.35)

                RowLayout {
                    id: updateRow

                    anchors.left: parent.left
                    anchors.right: parent.right
                    anchors.top: parent.top
                    anchors.margins: 14
                    spacing: 12

                    ColumnLayout {
                        Layout.fillWidth: true
                        spacing: 1

                        RowTitle {
                            objectName: "updateTitle"
                            Layout.fillWidth: true
                            wrapMode: Text.WordWrap
                            color: appSettings.accentStrong
                            text: pipeClient.updateReady ? root.t.updReadyTitle : pipeClient.updateVersion !== "" ? root.t.updateAvailable + " " + pipeClient.updateVersion : root.t.updateAvailable
                        }
                        RowDesc {
                            objectName: "updateDesc"
                            text: pipeClient.isUpdating ? root.t.downloading + "… " + pipeClient.updateProgress + "%" : pipeClient.updateReady ? root.t.updReadyDesc : root.t.updateReadyText
                        }
                    }
                    PrimaryButton {
                        objectName: "updateButton"
                        small: true
                        variant: pipeClient.updateReady ? "primary" : "ghost"
                        enabled: !pipeClient.isUpdating
                        text: pipeClient.updateReady ? root.t.restartNow : root.t.installUpdate
                        Accessible.name: text
                        onClicked: {
                            if (pipeClient.updateReady)
                                pipeClient.sendApplyUpdate();
                            else
                                pipeClient.sendInstallUpdate();
                        }
                    }
                }

                Rectangle {
                    id: progressTrack

                    objectName: "updateProgressTrack"
                    visible: pipeClient.isUpdating
                    anchors.left: parent.left
                    anchors.right: parent.right
                    anchors.bottom: parent.bottom
                    anchors.leftMargin: 14
                    anchors.rightMargin: 14
                    anchors.bottomMargin: 12
                    height: 4
                    radius: 2
                    color: appSettings.surfaceAlt
                    Accessible.role: Accessible.ProgressBar
                    Accessible.name: root.t.downloading

                    Rectangle {
                        objectName: "updateProgressFill"
                        anchors.left: parent.left
                        anchors.top: parent.top
                        anchors.bottom: parent.bottom
                        // The service's value is shown as it comes in the text;
                        // only the drawing is kept inside the track.
                        width: progressTrack.width * Math.max(0, Math.min(100, pipeClient.updateProgress)) / 100
                        radius: 2
                        color: appSettings.accent

                        Behavior on width {
                            NumberAnimation {
                                duration: 200
                            }
                        }
                    }
                }
            }

            GroupLabel {
                text: String(root.t.groupProtection).toUpperCase()
            }
            GroupCard {
                SegRow {
                    Layout.topMargin: 15
                    Layout.bottomMargin: 12
                    segName: "killSwitchSeg"
                    title: root.t.killSwitch
                    desc: root.t.killSwitchDesc
                    model: [
                        {
                            "label": root.t.ksOff,
                            "value": "never"
                        },
                        {
                            "label": root.t.ksOnConnect,
                            "value": "on_connect"
                        },
                        {
                            "label": root.t.ksAlways,
                            "value": "always"
                        }
                    ]
                    value: pipeClient.killSwitchMode
                    onPicked: value => pipeClient.sendSetKillSwitchMode(value)
                }
                Divider {}
                SegRow {
                    Layout.topMargin: 12
                    Layout.bottomMargin: 15
                    segName: "transportSeg"
                    title: root.t.transport
                    desc: appSettings.transport === "reality" ? root.t.protoDescReality : root.t.protoDescWg
                    model: [
                        {
                            "label": root.t.transportWireguard,
                            "value": "tls"
                        },
                        {
                            "label": root.t.transportReality,
                            "value": "reality"
                        }
                    ]
                    value: appSettings.transport
                    onPicked: value => appSettings.setTransport(value)
                }
            }

            GroupLabel {
                text: String(root.t.groupTraffic).toUpperCase()
            }
            GroupCard {
                SwitchRow {
                    Layout.topMargin: 15
                    Layout.bottomMargin: 12
                    switchName: "whitelistSwitch"
                    title: root.t.whitelist
                    desc: root.t.whitelistDesc
                    checked: appSettings.whitelist
                    onToggled: value => appSettings.setWhitelist(value)
                }
                Divider {}
                SwitchRow {
                    Layout.topMargin: 12
                    Layout.bottomMargin: 15
                    switchName: "gamesSwitch"
                    title: root.t.games
                    desc: root.t.gamesDesc
                    checked: appSettings.games
                    onToggled: value => appSettings.setGames(value)
                }
            }

            GroupLabel {
                text: String(root.t.groupApp).toUpperCase()
            }
            GroupCard {
                SwitchRow {
                    Layout.topMargin: 15
                    Layout.bottomMargin: 12
                    switchName: "autostartSwitch"
                    title: root.t.startWithWindows
                    desc: root.t.startWithWindowsDesc
                    checked: appSettings.autostart
                    onToggled: value => appSettings.setAutostart(value)
                }
                Divider {}
                SwitchRow {
                    objectName: "themeRow"
                    Layout.topMargin: 12
                    Layout.bottomMargin: 12
                    switchName: "themeSwitch"
                    title: root.t.darkTheme
                    desc: appSettings.darkTheme ? root.t.darkOn : root.t.darkOff
                    checked: appSettings.darkTheme
                    onToggled: value => appSettings.setDarkTheme(value)
                }
                Divider {}
                RowLayout {
                    Layout.fillWidth: true
                    Layout.leftMargin: 15
                    Layout.rightMargin: 15
                    Layout.topMargin: 12
                    Layout.bottomMargin: 15
                    spacing: 14

                    RowTitle {
                        id: languageTitle

                        Layout.fillWidth: true
                        text: root.t.language
                    }
                    SegControl {
                        objectName: "languageSeg"
                        model: [
                            {
                                "label": "RU",
                                "value": "ru"
                            },
                            {
                                "label": "EN",
                                "value": "en"
                            }
                        ]
                        value: appSettings.language
                        Accessible.name: languageTitle.text
                        onChanged: value => appSettings.setLanguage(value)
                    }
                }
            }

            GroupLabel {
                text: String(root.t.groupMaintenance).toUpperCase()
            }
            GroupCard {
                RowLayout {
                    Layout.fillWidth: true
                    Layout.leftMargin: 15
                    Layout.rightMargin: 15
                    Layout.topMargin: 15
                    Layout.bottomMargin: 12
                    spacing: 14

                    ColumnLayout {
                        Layout.fillWidth: true
                        spacing: 1

                        RowTitle {
                            id: diagTitle

                            Layout.fillWidth: true
                            wrapMode: Text.WordWrap
                            text: root.t.diagTitle
                        }
                        RowDesc {
                            objectName: "diagDesc"
                            text: root.diagPath !== "" ? root.t.saveDiagDone : root.t.diagSubtitle
                        }
                    }
                    PrimaryButton {
                        objectName: "diagButton"
                        small: true
                        variant: "ghost"
                        text: root.t.save
                        Accessible.name: diagTitle.text + ": " + text
                        onClicked: pipeClient.sendGetDiag()
                    }
                }
                Divider {}
                RowLayout {
                    Layout.fillWidth: true
                    Layout.leftMargin: 15
                    Layout.rightMargin: 15
                    Layout.topMargin: 12
                    Layout.bottomMargin: 15
                    spacing: 11

                    Rectangle {
                        implicitWidth: 32
                        implicitHeight: 32
                        radius: 16
                        color: appSettings.surfaceAlt
                        border.width: 1
                        border.color: appSettings.borderStrong

                        PlainText {
                            objectName: "accountInitials"
                            anchors.centerIn: parent
                            text: root.initials(pipeClient.username)
                            color: appSettings.fg
                            font.pixelSize: 13
                            font.bold: true
                        }
                    }
                    RowTitle {
                        objectName: "accountName"
                        Layout.fillWidth: true
                        elide: Text.ElideRight
                        text: pipeClient.username !== "" ? pipeClient.username : root.t.account
                    }
                    PrimaryButton {
                        objectName: "logoutButton"
                        small: true
                        variant: "danger-ghost"
                        text: root.t.logOut
                        Accessible.name: text
                        onClicked: pipeClient.sendLogout()
                    }
                }
            }

            PlainText {
                objectName: "versionLine"
                Layout.alignment: Qt.AlignHCenter
                Layout.bottomMargin: 6
                text: root.t.daemon + " v" + (trayManager.version !== "" ? trayManager.version : "—") + " · " + root.t.clientWord + " v" + Qt.application.version
                color: appSettings.fgMuted
                font.pixelSize: 13
            }
        }
    }

    Connections {
        function onDiagReady(destPath) {
            root.diagPath = destPath;
        }

        target: pipeClient
    }
}
