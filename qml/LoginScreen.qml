import QtQuick
import QtQuick.Layouts
import QtQuick.Templates as T

// Browser sign-in. The screen shows the steps and the waiting state; what
// its signals send and which client signals change it is wired on the
// instance in main.qml.
Item {
    id: root

    property string loginUrl: ""
    property bool waitingForBrowser: false
    // Arrives with the URL; kept and cleared with it, never shown.
    property string expiresAt: ""
    property bool justCopied: false
    // The client's link state; sign-in needs the service.
    property string linkState: "up"
    // The client's token file, for the service notice to name.
    property string tokenPath: ""
    readonly property Item mainAction: signIn

    signal retryRequested
    signal cancelRequested
    signal reconnectRequested

    function reopenPage() {
        if (root.loginUrl !== "")
            urlOpener.open(root.loginUrl)
    }

    function copyLink() {
        // Without a URL there is nothing to copy, so "copied" must not show.
        if (root.loginUrl === "")
            return
        // QML has no clipboard API of its own; an off-screen editor has.
        clipboardEditor.text = root.loginUrl
        clipboardEditor.selectAll()
        clipboardEditor.copy()
        clipboardEditor.text = ""
        root.justCopied = true
        copiedTimer.restart()
    }

    component StepRow: RowLayout {
        id: step

        property int num: 1
        property string label: ""
        property string stepState: "todo"

        readonly property bool done: step.stepState === "done"
        readonly property bool lit: step.stepState === "active" || step.stepState === "waiting"

        Layout.fillWidth: true
        Layout.topMargin: 11
        Layout.bottomMargin: 11
        spacing: 12

        Accessible.role: Accessible.StaticText
        Accessible.name: step.num + ". " + step.label

        Item {
            Layout.alignment: Qt.AlignTop
            implicitWidth: 22
            implicitHeight: 22

            Rectangle {
                objectName: "stepRing"
                anchors.centerIn: parent
                width: 26
                height: 26
                radius: 13
                antialiasing: true
                color: "transparent"
                border.width: 1.5
                border.color: appSettings.fg
                opacity: 0.35
                visible: step.stepState === "waiting"
            }

            Rectangle {
                anchors.fill: parent
                radius: 11
                antialiasing: true
                color: step.done ? Qt.rgba(appSettings.success.r, appSettings.success.g, appSettings.success.b, 0.14)
                                 : "transparent"
                border.width: 1.5
                border.color: step.done ? appSettings.success : (step.lit ? appSettings.fg : appSettings.borderStrong)

                Text {
                    anchors.centerIn: parent
                    text: step.done ? "✓" : String(step.num)
                    color: step.done ? appSettings.success : (step.lit ? appSettings.fg : appSettings.fgMuted)
                    font.family: step.done ? appSettings.symbolFont : appSettings.fontFamily
                    font.pixelSize: 11
                    font.bold: true
                }
            }
        }

        Text {
            Layout.fillWidth: true
            Layout.alignment: Qt.AlignVCenter
            text: step.label
            color: step.lit ? appSettings.fg : appSettings.fgMuted
            font.family: appSettings.fontFamily
            font.pixelSize: 13
            wrapMode: Text.Wrap
        }
    }

    // Drawn as a link but an action, so screen readers hear a button (the
    // template's role).
    component LinkText: T.AbstractButton {
        id: link

        implicitWidth: linkLabel.implicitWidth
        implicitHeight: linkLabel.implicitHeight
        hoverEnabled: true

        Text {
            id: linkLabel

            text: link.text
            color: link.hovered ? appSettings.accent : appSettings.fg
            font.family: appSettings.fontFamily
            font.pixelSize: 13
            font.underline: true
        }

        Pressable {
            control: link
            ringRadius: 4
            ringGap: 3
        }
    }

    Timer {
        id: copiedTimer

        interval: 1400
        onTriggered: root.justCopied = false
    }

    TextEdit {
        id: clipboardEditor

        visible: false
        textFormat: TextEdit.PlainText
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.leftMargin: 28
        anchors.rightMargin: 28
        anchors.bottomMargin: 20
        spacing: 0

        ColumnLayout {
            Layout.alignment: Qt.AlignHCenter
            Layout.topMargin: 34
            Layout.bottomMargin: 26
            spacing: 12

            Text {
                Layout.alignment: Qt.AlignHCenter
                text: appSettings.t.loginWelcome
                color: appSettings.fg
                font.family: appSettings.fontFamily
                font.pixelSize: 22
                font.bold: true
                horizontalAlignment: Text.AlignHCenter
                Accessible.role: Accessible.Heading
                Accessible.name: text
            }

            Text {
                Layout.alignment: Qt.AlignHCenter
                Layout.maximumWidth: 280
                text: appSettings.t.loginSub
                color: appSettings.fgMuted
                font.family: appSettings.fontFamily
                font.pixelSize: 13
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.Wrap
            }
        }

        Card {
            Layout.fillWidth: true
            Layout.topMargin: 8
            Layout.bottomMargin: 18
            radius: 14
            implicitHeight: steps.implicitHeight + 12

            ColumnLayout {
                id: steps

                anchors.centerIn: parent
                width: parent.width - 32
                spacing: 0

                StepRow {
                    objectName: "step1"
                    num: 1
                    label: appSettings.t.loginStep1
                    stepState: root.waitingForBrowser ? "done" : "active"
                }
                Rectangle {
                    Layout.fillWidth: true
                    implicitHeight: 1
                    color: appSettings.border
                }
                StepRow {
                    objectName: "step2"
                    num: 2
                    label: appSettings.t.loginStep2
                    stepState: root.waitingForBrowser ? "waiting" : "todo"
                }
                Rectangle {
                    Layout.fillWidth: true
                    implicitHeight: 1
                    color: appSettings.border
                }
                StepRow {
                    objectName: "step3"
                    num: 3
                    label: appSettings.t.loginStep3
                    stepState: "todo"
                }
            }
        }

        PrimaryButton {
            id: signIn

            objectName: "signInButton"
            Layout.fillWidth: true
            Layout.topMargin: 10
            Layout.preferredHeight: 44
            visible: !root.waitingForBrowser
            variant: "primary"
            fontSize: 14
            text: appSettings.t.signInBrowser
            enabled: root.linkState === "up"
            Accessible.description: enabled ? "" : appSettings.extraTexts.serviceNeeded
            onClicked: root.retryRequested()
        }

        ColumnLayout {
            objectName: "waitingBlock"
            Layout.fillWidth: true
            visible: root.waitingForBrowser
            spacing: 12

            Row {
                Layout.alignment: Qt.AlignHCenter
                spacing: 10

                Item {
                    id: spinner

                    objectName: "spinner"
                    anchors.verticalCenter: parent.verticalCenter
                    width: 15
                    height: 15

                    Rectangle {
                        anchors.fill: parent
                        radius: 7.5
                        antialiasing: true
                        color: "transparent"
                        border.width: 2
                        border.color: appSettings.borderStrong
                    }
                    Rectangle {
                        anchors.right: parent.right
                        anchors.top: parent.top
                        width: 7
                        height: 2
                        radius: 1
                        color: appSettings.fg
                    }

                    RotationAnimator on rotation {
                        from: 0
                        to: 360
                        duration: 800
                        loops: Animation.Infinite
                        running: root.waitingForBrowser && root.visible
                                 && root.Window.visibility !== Window.Hidden
                                 && root.Window.visibility !== Window.Minimized
                    }
                }

                Text {
                    anchors.verticalCenter: parent.verticalCenter
                    text: appSettings.t.waitingConfirm
                    color: appSettings.fg
                    font.family: appSettings.fontFamily
                    font.pixelSize: 13
                    font.bold: true
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                }
            }

            Text {
                Layout.fillWidth: true
                text: appSettings.t.finishOnPage
                color: appSettings.fgMuted
                font.family: appSettings.fontFamily
                font.pixelSize: 13
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.Wrap
            }

            Row {
                Layout.alignment: Qt.AlignHCenter
                spacing: 14

                LinkText {
                    objectName: "reopenLink"
                    anchors.verticalCenter: parent.verticalCenter
                    text: appSettings.t.reopenPage
                    onClicked: root.reopenPage()
                }
                Rectangle {
                    anchors.verticalCenter: parent.verticalCenter
                    width: 3
                    height: 3
                    radius: 1.5
                    color: appSettings.borderStrong
                }
                LinkText {
                    objectName: "copyLink"
                    anchors.verticalCenter: parent.verticalCenter
                    text: root.justCopied ? appSettings.t.copied : appSettings.t.copyLink
                    onClicked: root.copyLink()
                }
            }

            PrimaryButton {
                objectName: "cancelButton"
                Layout.fillWidth: true
                variant: "ghost"
                text: appSettings.t.cancel
                onClicked: root.cancelRequested()
            }
        }

        ServiceNotice {
            objectName: "serviceNotice"
            Layout.fillWidth: true
            Layout.topMargin: 16
            linkState: root.linkState
            tokenPath: root.tokenPath
            onRetryRequested: root.reconnectRequested()
        }

        Item {
            Layout.fillHeight: true
        }
        Item {
            Layout.preferredHeight: 4
        }
    }
}
