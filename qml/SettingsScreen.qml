import QtQuick
import QtQuick.Layouts

// The settings tab. Every control shows a property of the object that owns
// the preference and answers with that object's setter or command; the new
// value comes back through the binding.
//
// Rows with word-wrapped text are positioned by hand with explicit widths:
// a layout that sizes a wrapped text keeps the height of the first pass and
// leaves it overlapping the next row once the width settles.
Item {
    id: root

    // Set when the service has saved a diagnostics report; only switches the
    // diagnostics row's description while this screen lives.
    property string diagPath: ""

    readonly property var t: appSettings.t
    readonly property bool updateShown: pipeClient.updateAvailable || pipeClient.isUpdating || pipeClient.updateReady
    readonly property real cardWidth: flick.width

    // Two characters, not two UTF-16 units: a character outside the basic
    // plane is a surrogate pair and must not be cut in half.
    function initials(name) {
        if (name.length === 0)
            return "•";
        let end = 0;
        for (let i = 0; i < 2 && end < name.length; ++i) {
            const unit = name.charCodeAt(end);
            end += unit >= 0xD800 && unit <= 0xDBFF && end + 1 < name.length ? 2 : 1;
        }
        return name.substring(0, end).toUpperCase();
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
        wrapMode: Text.WordWrap
    }

    component RowDesc: PlainText {
        color: appSettings.fgMuted
        font.pixelSize: 14
        wrapMode: Text.WordWrap
    }

    component Divider: Rectangle {
        implicitHeight: 1
        color: appSettings.border
    }

    // A card as tall as its rows, which are stacked without spacing.
    component GroupCard: Card {
        id: groupCard

        default property alias rows: rowColumn.data

        implicitHeight: rowColumn.height

        Column {
            id: rowColumn

            width: groupCard.width
        }
    }

    // Title and description on the left taking the spare width, a control at
    // its natural size on the right, vertically centred.
    component ControlRow: Item {
        id: controlRow

        property alias title: rowTitle.text
        property alias titleColor: rowTitle.color
        property alias desc: rowDesc.text
        property string namePrefix
        property int topMargin: 12
        property int bottomMargin: 12
        property int sideMargin: 15
        property int gap: 14
        default property alias control: controlSlot.data

        implicitHeight: topMargin + Math.max(textColumn.height, controlSlot.height) + bottomMargin

        Column {
            id: textColumn

            x: controlRow.sideMargin
            y: controlRow.topMargin + Math.max(0, controlSlot.height - height) / 2
            width: controlRow.width - 2 * controlRow.sideMargin - controlRow.gap - controlSlot.width
            spacing: 1

            RowTitle {
                id: rowTitle

                objectName: controlRow.namePrefix + "Title"
                width: textColumn.width
            }
            RowDesc {
                id: rowDesc

                objectName: controlRow.namePrefix + "Desc"
                width: textColumn.width
                visible: text !== ""
            }
        }
        Item {
            id: controlSlot

            x: controlRow.width - controlRow.sideMargin - width
            y: controlRow.topMargin + Math.max(0, textColumn.height - height) / 2
            width: childrenRect.width
            height: childrenRect.height
        }
    }

    component SwitchRow: ControlRow {
        id: switchRow

        property alias checked: toggle.checked

        signal toggled(bool value)

        ToggleSwitch {
            id: toggle

            objectName: switchRow.namePrefix + "Switch"
            Accessible.name: switchRow.title
            onToggleRequested: value => switchRow.toggled(value)
        }
    }

    component ButtonRow: ControlRow {
        id: buttonRow

        property alias buttonText: button.text
        property alias variant: button.variant
        property alias buttonEnabled: button.enabled

        signal clicked

        PrimaryButton {
            id: button

            objectName: buttonRow.namePrefix + "Button"
            small: true
            Accessible.name: buttonRow.title + ": " + text
            onClicked: buttonRow.clicked()
        }
    }

    // Title, description, then a segmented control across the full width.
    component SegRow: Item {
        id: segRow

        property alias title: segTitle.text
        property alias desc: segDesc.text
        property alias model: seg.model
        property alias value: seg.value
        property string namePrefix
        property int topMargin: 12
        property int bottomMargin: 12

        signal picked(var value)

        implicitHeight: topMargin + segColumn.height + bottomMargin

        Column {
            id: segColumn

            x: 15
            y: segRow.topMargin
            width: segRow.width - 30
            spacing: 10

            RowTitle {
                id: segTitle

                width: segColumn.width
            }
            RowDesc {
                id: segDesc

                objectName: segRow.namePrefix + "Desc"
                width: segColumn.width
            }
            SegControl {
                id: seg

                objectName: segRow.namePrefix + "Seg"
                width: segColumn.width
                stretch: true
                Accessible.name: segTitle.text
                onChanged: value => segRow.picked(value)
            }
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
        contentHeight: column.height + 20
        flickableDirection: Flickable.VerticalFlick
        boundsBehavior: Flickable.StopAtBounds

        Column {
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
            Loader {
                width: root.cardWidth
                active: root.updateShown
                visible: active

                sourceComponent: Card {
                    objectName: "updateCard"
                    implicitHeight: updateRow.height + (progressTrack.visible ? progressTrack.height + 12 : 0)
                    border.color: Qt.rgba(appSettings.accent.r, appSettings.accent.g, appSettings.accent.b, 0.35)

                    ButtonRow {
                        id: updateRow

                        width: parent.width
                        namePrefix: "update"
                        topMargin: 14
                        bottomMargin: 14
                        sideMargin: 14
                        gap: 12
                        titleColor: appSettings.accentStrong
                        title: pipeClient.updateReady ? root.t.updReadyTitle : pipeClient.updateVersion !== "" ? root.t.updateAvailable + " " + pipeClient.updateVersion : root.t.updateAvailable
                        // While only offered, nothing is downloaded yet: the card says what installing takes.
                        desc: pipeClient.isUpdating ? root.t.downloading + "… " + pipeClient.updateProgress + "%" : pipeClient.updateReady ? root.t.updReadyDesc : root.t.updInstallingDesc
                        buttonText: pipeClient.updateReady ? root.t.restartNow : root.t.installUpdate
                        variant: pipeClient.updateReady ? "primary" : "ghost"
                        buttonEnabled: !pipeClient.isUpdating
                        onClicked: {
                            if (pipeClient.updateReady)
                                pipeClient.sendApplyUpdate();
                            else
                                pipeClient.sendInstallUpdate();
                        }
                    }

                    Rectangle {
                        id: progressTrack

                        objectName: "updateProgressTrack"
                        visible: pipeClient.isUpdating
                        x: 14
                        y: parent.height - 12 - height
                        width: parent.width - 28
                        height: 4
                        radius: 2
                        color: appSettings.surfaceAlt
                        Accessible.role: Accessible.ProgressBar
                        Accessible.name: root.t.downloading
                        // Qt 6.4 gives a progress bar no value interface, so
                        // screen readers get the value as its description.
                        Accessible.description: Math.max(0, Math.min(100, pipeClient.updateProgress)) + "%"

                        Rectangle {
                            objectName: "updateProgressFill"
                            height: parent.height
                            // The service's value is shown as it comes in the
                            // text; only the drawing is kept inside the track.
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
            }

            GroupLabel {
                text: String(root.t.groupProtection).toUpperCase()
            }
            GroupCard {
                width: root.cardWidth

                SegRow {
                    width: root.cardWidth
                    topMargin: 15
                    namePrefix: "killSwitch"
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
                Divider {
                    width: root.cardWidth
                }
                SwitchRow {
                    width: root.cardWidth
                    namePrefix: "connectOnStart"
                    title: appSettings.extraTexts.connectOnStart
                    checked: appSettings.connectOnStart
                    onToggled: value => appSettings.setConnectOnStart(value)
                }
                Divider {
                    width: root.cardWidth
                }
                SegRow {
                    width: root.cardWidth
                    bottomMargin: 15
                    namePrefix: "transport"
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
                width: root.cardWidth

                SwitchRow {
                    width: root.cardWidth
                    topMargin: 15
                    namePrefix: "whitelist"
                    title: root.t.whitelist
                    desc: root.t.whitelistDesc
                    checked: appSettings.whitelist
                    onToggled: value => appSettings.setWhitelist(value)
                }
                Divider {
                    width: root.cardWidth
                }
                SwitchRow {
                    width: root.cardWidth
                    bottomMargin: 15
                    namePrefix: "games"
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
                width: root.cardWidth

                SwitchRow {
                    width: root.cardWidth
                    topMargin: 15
                    namePrefix: "autostart"
                    title: root.t.startWithWindows
                    desc: root.t.startWithWindowsDesc
                    checked: appSettings.autostart
                    onToggled: value => appSettings.setAutostart(value)
                }
                Divider {
                    width: root.cardWidth
                }
                SwitchRow {
                    width: root.cardWidth
                    namePrefix: "theme"
                    title: root.t.darkTheme
                    desc: appSettings.darkTheme ? root.t.darkOn : root.t.darkOff
                    checked: appSettings.darkTheme
                    onToggled: value => appSettings.setDarkTheme(value)
                }
                Divider {
                    width: root.cardWidth
                }
                Item {
                    width: root.cardWidth
                    implicitHeight: 12 + languageRow.implicitHeight + 15

                    RowLayout {
                        id: languageRow

                        x: 15
                        y: 12
                        width: root.cardWidth - 30
                        spacing: 14

                        RowTitle {
                            id: languageTitle

                            Layout.fillWidth: true
                            wrapMode: Text.NoWrap
                            elide: Text.ElideRight
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
            }

            GroupLabel {
                text: String(root.t.groupMaintenance).toUpperCase()
            }
            GroupCard {
                width: root.cardWidth

                ButtonRow {
                    width: root.cardWidth
                    topMargin: 15
                    namePrefix: "diag"
                    title: root.t.diagTitle
                    desc: root.diagPath !== "" ? root.t.saveDiagDone : root.t.diagSubtitle
                    buttonText: root.t.save
                    variant: "ghost"
                    onClicked: pipeClient.sendGetDiag()
                }
                Divider {
                    width: root.cardWidth
                }
                Item {
                    width: root.cardWidth
                    implicitHeight: 12 + accountRow.implicitHeight + 15

                    RowLayout {
                        id: accountRow

                        x: 15
                        y: 12
                        width: root.cardWidth - 30
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
                            wrapMode: Text.NoWrap
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
            }

            // 6 between the version line and the end of the column.
            Item {
                width: root.cardWidth
                implicitHeight: versionLine.implicitHeight + 6

                PlainText {
                    id: versionLine

                    objectName: "versionLine"
                    anchors.horizontalCenter: parent.horizontalCenter
                    text: root.t.daemon + " v" + (trayManager.version !== "" ? trayManager.version : "—") + " · " + root.t.clientWord + " v" + Qt.application.version
                    color: appSettings.fgMuted
                    font.pixelSize: 13
                }
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
