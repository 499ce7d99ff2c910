import QtQuick
import QtQuick.Templates as T

// The only application window: a frameless panel with its own title bar,
// the routed screen and the tab bar. Closing hides it to the tray, or
// minimises it where there is no tray.
Window {
    id: root

    // The tab chosen while signed in; kept across sign-outs.
    property string screen: "main"

    // First match wins; a failed tunnel replaces only the home tab.
    readonly property string route: !pipeClient.authenticated ? "login"
                                    : root.screen === "settings" ? "settings"
                                    : root.screen === "stats" ? "stats"
                                    : pipeClient.vpnState === "failed" ? "error" : "main"

    readonly property var statusLook: {
        switch (pipeClient.vpnState) {
        case "connected":
            return { dot: appSettings.success, key: "statusProtected" }
        case "connecting":
            return { dot: appSettings.warning, key: "statusConnecting" }
        case "reconnecting":
            return { dot: appSettings.warning, key: "statusReconnecting" }
        case "failed":
            return { dot: appSettings.danger, key: "connectionFailed" }
        default:
            return { dot: appSettings.fgMuted, key: "statusNotConnected" }
        }
    }

    function showAndRaise() {
        // show() alone leaves a minimised window minimised.
        root.showNormal()
        root.raise()
        root.requestActivate()
    }

    // Without a tray the window could not be found again once hidden, so it
    // goes to the taskbar instead. Asked at every close: a tray host may have
    // come or gone since the start.
    function dismiss() {
        if (trayManager.isTrayAvailable())
            root.hide()
        else
            root.showMinimized()
    }

    function toggleWindow() {
        // A minimised window may still report itself active; it comes up.
        if (root.visible && root.active && root.visibility !== Window.Minimized)
            root.hide()
        else
            root.showAndRaise()
    }

    visible: false
    width: 400
    height: 660
    minimumWidth: 380
    minimumHeight: 580
    flags: Qt.Window | Qt.FramelessWindowHint
    color: "transparent"
    title: "VantrelVPN"

    onClosing: close => {
        close.accepted = false
        root.dismiss()
    }
    onRouteChanged: fadeIn.restart()

    Binding {
        target: pingProber
        property: "target"
        value: pipeClient.endpoint
    }
    // A minimised window still counts as visible, so probing goes on.
    Binding {
        target: pingProber
        property: "active"
        value: root.visible || (root.trayPopup?.visible ?? false)
    }

    // The announcer's way to a screen reader before Qt 6.8: a notification
    // that shows anew for each message. It has no size, so it is never seen.
    Item {
        objectName: "announcement"
        visible: announcer.shown
        Accessible.role: Accessible.Notification
        Accessible.name: announcer.message
    }
    // Where the screen reader hears the focused control's name changes, the
    // focused dial says a new tunnel state itself.
    Binding {
        target: announcer
        property: "focusNamesState"
        value: root.active && root.activeFocusItem?.objectName === "dial"
    }

    // Quits from either window, through the tray popup's own quit path.
    Shortcut {
        sequence: "Ctrl+Q"
        context: Qt.ApplicationShortcut
        onActivated: trayManager.quitRequested()
    }

    property var accessDialog: null

    Connections {
        target: pipeClient

        function onAccessDenied() {
            // Made on first use: it alone is drawn by Qt's own control
            // style, which is not loaded before then.
            if (!root.accessDialog)
                root.accessDialog = Qt.createComponent("AccessDialog.qml").createObject(root.contentItem)
            root.accessDialog.open()
        }
    }

    Connections {
        target: trayManager

        function onPopupRequested(anchorX, anchorY) {
            if (!root.trayPopup)
                root.trayPopup = trayPopupComponent.createObject(trayPopupOwner)
            if (root.trayPopup.visible)
                root.trayPopup.hide()
            else
                root.trayPopup.openAt(anchorX, anchorY)
        }
        function onShowRequested() {
            root.trayPopup?.hide()
        }
    }

    // Made on first use: most starts never open it, and a window costs its
    // document, its scene graph and its surface before the first frame.
    // A separate top-level window, owned by a plain object: Qt makes a window
    // made by an item (a Loader) or the main window the transient child of
    // the main window, also over `transientParent: null`. Tied to it, the
    // popup would be managed (and hidden) along with the main window and
    // would count as active while the main window has the focus, so a click
    // into the main window would not close it.
    property TrayPopup trayPopup: null

    QtObject {
        id: trayPopupOwner
    }

    Component {
        id: trayPopupComponent

        TrayPopup {
            objectName: "trayPopup"
        }
    }

    ScreenFocus {
        id: screenFocus

        screen: screenLoader.item
        mainAction: screenLoader.item?.mainAction ?? null
        navigation: tabBar
    }

    Shadow {
        anchors.fill: panel
        source: panel
        shadowBlur: 0.9
        shadowOpacity: 0.45
        shadowVerticalOffset: 3
    }

    Rectangle {
        id: panel

        objectName: "panel"
        anchors.fill: parent
        anchors.margins: 10
        radius: 16
        antialiasing: true
        color: appSettings.bg
        // A light hairline reads as a jagged outline on dark wallpapers, and
        // the shadow separates the dark panel anyway.
        border.width: appSettings.darkTheme ? 0 : 1
        border.color: appSettings.borderStrong

        Column {
            anchors.fill: parent

            Item {
                id: titleBar

                objectName: "titleBar"
                width: parent.width
                height: 46

                // Double clicks do nothing: a fixed panel is not maximised.
                MouseArea {
                    anchors.fill: parent
                    onPressed: root.startSystemMove()
                }

                Row {
                    id: leftGroup

                    anchors.left: parent.left
                    anchors.leftMargin: 14
                    anchors.verticalCenter: parent.verticalCenter
                    spacing: 9

                    Image {
                        anchors.verticalCenter: parent.verticalCenter
                        width: 22
                        height: 22
                        // Drawn from the vector source at the screen's pixel ratio.
                        source: "qrc:/logo.svg"
                        sourceSize.width: 22
                        sourceSize.height: 22
                        fillMode: Image.PreserveAspectFit
                        smooth: true
                        mipmap: true
                    }
                    Text {
                        anchors.verticalCenter: parent.verticalCenter
                        text: "VantrelVPN"
                        color: appSettings.fg
                        font.family: appSettings.fontFamily
                        font.pixelSize: 14
                        font.bold: true
                    }
                    Rectangle {
                        objectName: "statusDot"
                        anchors.verticalCenter: parent.verticalCenter
                        width: 7
                        height: 7
                        radius: 3.5
                        antialiasing: true
                        color: root.statusLook.dot

                        Behavior on color {
                            ColorAnimation {
                                duration: 300
                            }
                        }
                    }
                    Text {
                        id: statusText

                        objectName: "statusText"
                        anchors.verticalCenter: parent.verticalCenter
                        // The room up to the buttons; only what does not fit
                        // there is elided.
                        width: Math.max(0, Math.min(implicitWidth, rightGroup.x - leftGroup.x - statusText.x))
                        elide: Text.ElideRight
                        text: appSettings.t[root.statusLook.key] ?? ""
                        color: appSettings.fgMuted
                        font.family: appSettings.fontFamily
                        font.pixelSize: 13
                        Accessible.role: Accessible.StatusBar
                        Accessible.name: text
                    }
                }

                Row {
                    id: rightGroup

                    anchors.right: parent.right
                    anchors.rightMargin: 6
                    anchors.verticalCenter: parent.verticalCenter
                    spacing: 2

                    IconButton {
                        objectName: "themeButton"
                        symbol: appSettings.darkTheme ? "☀" : "☽"
                        Accessible.name: appSettings.darkTheme ? appSettings.extraTexts.themeToLight
                                                               : appSettings.extraTexts.themeToDark
                        onClicked: appSettings.toggleTheme()
                    }
                    IconButton {
                        objectName: "minimizeButton"
                        symbol: "—"
                        Accessible.name: appSettings.extraTexts.minimize
                        onClicked: root.showMinimized()
                    }
                    IconButton {
                        id: closeButton

                        objectName: "closeButton"
                        symbol: "✕"
                        hoverColor: appSettings.danger
                        Accessible.name: appSettings.extraTexts.close
                        Accessible.description: appSettings.extraTexts.quitShortcut
                        onClicked: root.dismiss()

                        T.ToolTip {
                            id: closeTip

                            objectName: "closeTip"
                            x: (parent.width - implicitWidth) / 2
                            y: -implicitHeight - 3
                            implicitWidth: Math.max(implicitBackgroundWidth + leftInset + rightInset,
                                                    contentWidth + leftPadding + rightPadding)
                            implicitHeight: Math.max(implicitBackgroundHeight + topInset + bottomInset,
                                                     contentHeight + topPadding + bottomPadding)
                            margins: 6
                            padding: 6
                            closePolicy: T.Popup.CloseOnEscape | T.Popup.CloseOnPressOutsideParent
                                         | T.Popup.CloseOnReleaseOutsideParent
                            visible: closeButton.hovered || closeButton.visualFocus
                            delay: 600
                            text: appSettings.extraTexts.closeTip
                            contentItem: Text {
                                text: closeTip.text
                                color: appSettings.fg
                                font.family: appSettings.fontFamily
                                font.pixelSize: 12
                            }
                            background: Rectangle {
                                radius: 6
                                color: appSettings.surface
                                border.width: 1
                                border.color: appSettings.borderStrong
                            }
                        }
                    }
                }

                Rectangle {
                    anchors.bottom: parent.bottom
                    width: parent.width
                    height: 1
                    color: appSettings.border
                }
            }

            Item {
                id: content

                objectName: "content"
                width: parent.width
                height: panel.height - titleBar.height - (tabBar.visible ? tabBar.height : 0)

                NumberAnimation {
                    id: fadeIn

                    target: content
                    property: "opacity"
                    from: 0.0
                    to: 1.0
                    duration: 180
                    easing.type: Easing.OutQuad
                }

                Loader {
                    id: screenLoader

                    objectName: "screenLoader"
                    anchors.fill: parent
                    onLoaded: screenFocus.start()
                    sourceComponent: {
                        switch (root.route) {
                        case "login":
                            return loginScreen
                        case "settings":
                            return settingsScreen
                        case "stats":
                            return statsScreen
                        case "error":
                            return errorScreen
                        default:
                            return mainScreen
                        }
                    }
                }
            }

            AppTabBar {
                id: tabBar

                objectName: "tabBar"
                width: parent.width
                height: 58
                visible: pipeClient.authenticated
                current: root.screen
                updateBadge: pipeClient.updateAvailable
                onSelect: name => root.screen = name
            }
        }
    }

    Component {
        id: loginScreen

        LoginScreen {
            id: login

            objectName: "loginScreen"
            linkState: pipeClient.linkState
            tokenPath: pipeClient.tokenPath
            onReconnectRequested: pipeClient.connectToPipe()
            onRetryRequested: {
                login.loginUrl = ""
                login.expiresAt = ""
                pipeClient.sendLoginStart()
            }
            onCancelRequested: {
                pipeClient.sendLoginCancel()
                login.loginUrl = ""
                login.expiresAt = ""
                login.waitingForBrowser = false
            }

            Connections {
                target: pipeClient

                function onBrowserOpened(loginUrl, expiresAt) {
                    login.loginUrl = loginUrl
                    login.expiresAt = expiresAt
                    login.waitingForBrowser = true
                    urlOpener.open(loginUrl)
                }
                function onLoginFailed(error) {
                    login.waitingForBrowser = false
                }
            }
        }
    }

    Component {
        id: mainScreen

        MainScreen {
            objectName: "mainScreen"
        }
    }

    Component {
        id: statsScreen

        StatsScreen {
            objectName: "statsScreen"
        }
    }

    Component {
        id: settingsScreen

        SettingsScreen {
            objectName: "settingsScreen"
        }
    }

    Component {
        id: errorScreen

        ErrorScreen {
            objectName: "errorScreen"
        }
    }
}
