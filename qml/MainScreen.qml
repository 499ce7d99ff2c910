import QtQuick

Item {
    id: root
}
