import QtQuick
import QtQuick.Templates as T
import "breath.js" as Breath

// The big connect dial of the home screen. It only shows what the screen
// binds and reports presses; it never decides what a press means.
T.AbstractButton {
    id: root

    property string dialState: "idle"
    property string statusText: ""
    property string timerText: ""
    // What a press does now, for screen readers: steady while the state
    // holds, unlike the clock under the status.
    property string actionText: ""
    property bool hintMode: true
    // What the dial is drawn on: the glow's on-screen steps depend on it.
    property color backdrop: appSettings.bg

    // Endless motion costs CPU even with nothing on screen, so it runs only
    // while the window is actually shown.
    readonly property bool onScreen: root.visible && root.Window.visibility !== Window.Hidden
                                     && root.Window.visibility !== Window.Minimized
    readonly property bool isConnected: root.dialState === "connected"
    readonly property bool isConnecting: root.dialState === "connecting"

    implicitWidth: 212
    implicitHeight: 212
    opacity: root.isConnected || root.isConnecting ? 1.0 : 0.62
    hoverEnabled: true
    scale: root.pressed ? 0.98 : (root.hovered ? 1.02 : 1.0)

    Behavior on opacity {
        NumberAnimation {
            duration: 250
            easing.type: Easing.OutQuad
        }
    }
    Behavior on scale {
        NumberAnimation {
            duration: 150
            easing.type: Easing.OutQuad
        }
    }

    Accessible.name: root.statusText
    Accessible.description: root.actionText

    Rectangle {
        id: glow

        objectName: "dialGlow"
        anchors.centerIn: parent
        width: root.width + 42
        height: root.height + 42
        radius: width / 2
        antialiasing: true
        color: appSettings.success
        visible: root.isConnected
        opacity: Breath.low

        // Stepped at the rate its pixels change; see breath.js.
        Timer {
            id: breath

            // When the running breath began, on Date.now()'s clock.
            property double origin: 0
            // The channel whose levels set the pace.
            readonly property var channel: Breath.widestChannel(glow.color, root.backdrop)

            function advance() {
                const ms = Date.now() - breath.origin
                glow.opacity = Breath.shownAt(ms, breath.channel)
                breath.interval = Breath.nextStepIn(ms, breath.channel)
            }

            running: glow.visible && root.onScreen
            repeat: true
            onRunningChanged: {
                breath.origin = Date.now()
                breath.advance()
            }
            onTriggered: breath.advance()
        }
    }

    Rectangle {
        id: track

        anchors.fill: parent
        radius: width / 2
        antialiasing: true
        color: "transparent"
        border.width: 9
        border.color: root.isConnected ? appSettings.success : appSettings.surfaceAlt

        Behavior on border.color {
            ColorAnimation {
                duration: 300
            }
        }
    }

    // Painted once per theme and only turned afterwards.
    Canvas {
        id: arc

        objectName: "dialArc"
        anchors.fill: parent
        visible: root.isConnecting
        antialiasing: true
        layer.enabled: true
        layer.smooth: true

        onPaint: {
            const ctx = getContext("2d")
            ctx.reset()
            ctx.lineWidth = 9
            ctx.lineCap = "round"
            ctx.strokeStyle = appSettings.warning
            ctx.beginPath()
            ctx.arc(width / 2, height / 2, width / 2 - 4.5, 0, Math.PI / 2, false)
            ctx.stroke()
        }

        RotationAnimator on rotation {
            from: 0
            to: 360
            duration: 1100
            loops: Animation.Infinite
            running: arc.visible && root.onScreen
        }

        Connections {
            target: appSettings

            function onThemeChanged() {
                arc.requestPaint()
            }
        }
    }

    Rectangle {
        id: core

        anchors.fill: parent
        anchors.margins: 22
        radius: width / 2
        antialiasing: true
        color: root.dialState === "idle" ? appSettings.surfaceAlt : appSettings.surface
        border.width: 1
        border.color: root.isConnected
                      ? Qt.rgba(appSettings.success.r, appSettings.success.g, appSettings.success.b, 0.3)
                      : appSettings.border

        Behavior on color {
            ColorAnimation {
                duration: 300
            }
        }
        Behavior on border.color {
            ColorAnimation {
                duration: 300
            }
        }

        Column {
            // The power glyph's tall ascent makes a truly centred column
            // look too high.
            anchors.centerIn: parent
            anchors.verticalCenterOffset: 5
            spacing: 5

            Text {
                anchors.horizontalCenter: parent.horizontalCenter
                text: "⏻"
                font.family: appSettings.symbolFont
                font.pixelSize: 34
                color: root.isConnected ? appSettings.success
                                        : root.isConnecting ? appSettings.warning : appSettings.fgMuted

                Behavior on color {
                    ColorAnimation {
                        duration: 300
                    }
                }
            }

            Text {
                objectName: "dialStatus"
                anchors.horizontalCenter: parent.horizontalCenter
                // Long translations ("Переподключение · #2") would spill over
                // the ring at full size, so they shrink to the core's width.
                width: Math.min(implicitWidth, core.width - 24)
                horizontalAlignment: Text.AlignHCenter
                text: root.statusText
                textFormat: Text.PlainText
                color: appSettings.fg
                font.family: appSettings.fontFamily
                font.pixelSize: 18
                font.bold: true
                fontSizeMode: Text.HorizontalFit
                minimumPixelSize: 11
            }

            Text {
                objectName: "dialTimer"
                anchors.horizontalCenter: parent.horizontalCenter
                // A long hint ("нажмите, чтобы подключиться") breaks into
                // two lines inside the circle rather than hang over its edge.
                width: Math.min(implicitWidth, core.width - 48)
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.WordWrap
                text: root.timerText
                textFormat: Text.PlainText
                color: root.hintMode && root.hovered ? appSettings.fg : appSettings.fgMuted
                font.family: appSettings.fontFamily
                font.pixelSize: root.hintMode ? 11 : 13
            }
        }
    }

    Pressable {
        control: root
        ringRadius: root.width / 2
    }
}
