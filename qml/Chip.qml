import QtQuick
import QtQuick.Templates as T

// A small pill badge with an optional glyph before its label.
T.AbstractButton {
    id: root

    property string glyph: ""
    property bool ok: false

    readonly property color contentColor: root.ok ? appSettings.success : appSettings.fgMuted

    implicitWidth: content.implicitWidth + 20
    implicitHeight: 25
    hoverEnabled: true

    Accessible.name: root.text
    Accessible.onPressAction: root.clicked()
    Keys.onReturnPressed: root.clicked()
    Keys.onEnterPressed: root.clicked()

    HoverHandler {
        cursorShape: Qt.PointingHandCursor
    }

    Rectangle {
        id: pill

        anchors.fill: parent
        radius: height / 2
        color: "transparent"
        border.width: 1
        border.color: root.hovered ? appSettings.borderStrong
                                   : root.ok ? Qt.alpha(appSettings.success, 0.35) : appSettings.border
    }

    Row {
        id: content

        anchors.centerIn: parent
        spacing: 6

        Text {
            objectName: "glyph"
            anchors.verticalCenter: parent.verticalCenter
            visible: root.glyph !== ""
            text: root.glyph
            color: root.contentColor
            font.family: appSettings.symbolFont
            font.pixelSize: 12
        }

        Text {
            anchors.verticalCenter: parent.verticalCenter
            text: root.text
            textFormat: Text.PlainText
            color: root.contentColor
            font.family: appSettings.fontFamily
            font.pixelSize: 12
        }
    }

    FocusRing {
        shown: root.visualFocus
        controlRadius: pill.radius
    }
}
