import QtQuick
import QtQuick.Controls

// The dialog shown when the service refuses this user, in Qt's own control
// style.
Dialog {
    id: accessDialog

    objectName: "accessDialog"
    anchors.centerIn: Overlay.overlay
    width: Math.min(implicitWidth, parent.width - 40)
    modal: true
    // Escape closes it only while it holds the focus.
    focus: true
    title: qsTr("Нет доступа к демону")
    standardButtons: Dialog.Ok

    Label {
        width: accessDialog.availableWidth
        wrapMode: Text.Wrap
        text: qsTr("Добавьте пользователя в группу vantrelvpn:\n\n  sudo usermod -aG vantrelvpn $USER\n\nЗатем перезайдите в систему.")
    }
}
