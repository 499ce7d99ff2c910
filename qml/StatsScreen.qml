import QtQuick
import QtQuick.Layouts
import "format.js" as Fmt

// The statistics tab: the last seven days from the statistics store as four
// tiles and a per-day traffic chart. Read-only; it asks the store to
// recompute each time it is created so that the figures are fresh.
Item {
    id: root

    readonly property string lang: appSettings.language
    readonly property bool ru: lang === "ru"
    readonly property bool hasData: statsStore.hasData
    readonly property real weekTotal: statsStore.weekDown + statsStore.weekUp
    readonly property var days: statsStore.days
    readonly property real chartScale: {
        let top = 1;
        for (let i = 0; i < days.length; ++i)
            top = Math.max(top, Number(days[i].down) + Number(days[i].up));
        return top;
    }

    function hours(seconds) {
        const s = Math.max(0, Math.floor(seconds));
        const h = Math.floor(s / 3600);
        const m = Math.floor((s % 3600) / 60);
        return ru ? h + " ч " + m + " м" : h + " h " + m + " m";
    }

    function weekday(isoDate) {
        // Noon keeps the day stable whatever the zone offset or DST shift.
        const d = new Date(isoDate + "T12:00:00");
        if (isNaN(d.getTime()))
            return "";
        return Qt.locale(ru ? "ru_RU" : "en_US").dayName(d.getDay(), Locale.ShortFormat);
    }

    component Caption: Text {
        font.family: appSettings.fontFamily
        textFormat: Text.PlainText
        Accessible.role: Accessible.StaticText
        Accessible.name: text
    }

    Component.onCompleted: statsStore.refresh()

    Flickable {
        id: flick

        objectName: "statsFlick"
        anchors.fill: parent
        anchors.leftMargin: 20
        anchors.rightMargin: 20
        anchors.topMargin: 14
        clip: true
        contentWidth: width
        contentHeight: column.height + 20
        flickableDirection: Flickable.VerticalFlick

        // A positioner with explicit widths: the empty note wraps, and a
        // layout would keep the height of its first, narrower pass.
        Column {
            id: column

            width: flick.width
            spacing: 12

            Column {
                spacing: 2

                Caption {
                    objectName: "statsTitle"
                    text: appSettings.t.tabStats
                    color: appSettings.fg
                    font.pixelSize: 20
                    font.bold: true
                    Accessible.role: Accessible.Heading
                }
                Caption {
                    text: appSettings.t.statsSubtitle
                    color: appSettings.fgMuted
                    font.pixelSize: 14
                }
            }

            Caption {
                objectName: "noStatsNote"
                width: column.width
                visible: !root.hasData
                text: appSettings.t.noStats
                color: appSettings.fgMuted
                font.pixelSize: 14
                wrapMode: Text.WordWrap
            }

            GridLayout {
                width: column.width
                columns: 2
                columnSpacing: 10
                rowSpacing: 10

                Tile {
                    objectName: "tileTraffic"
                    Layout.fillWidth: true
                    Layout.preferredWidth: 1
                    label: appSettings.t.weekTraffic
                    value: root.hasData ? Fmt.bytes(root.weekTotal) : "—"
                    sub: root.hasData ? "↓ " + Fmt.bytes(statsStore.weekDown) + " · ↑ " + Fmt.bytes(statsStore.weekUp) : ""
                }
                Tile {
                    objectName: "tileProtected"
                    Layout.fillWidth: true
                    Layout.preferredWidth: 1
                    label: appSettings.t.protectedTime
                    value: root.hasData ? root.hours(statsStore.protectedSecondsWeek) : "—"
                    sub: root.hasData ? appSettings.t.perWeek : ""
                }
                Tile {
                    readonly property bool known: statsStore.avgDownSpeed > 0

                    objectName: "tileSpeed"
                    Layout.fillWidth: true
                    Layout.preferredWidth: 1
                    label: appSettings.t.avgSpeed
                    value: known ? Fmt.speed(statsStore.avgDownSpeed) : "—"
                    sub: known ? appSettings.t.downloadDir : ""
                }
                Tile {
                    readonly property int ping: statsStore.avgPingMs
                    readonly property bool known: ping >= 0

                    objectName: "tilePing"
                    Layout.fillWidth: true
                    Layout.preferredWidth: 1
                    label: appSettings.t.avgPing
                    value: known ? ping + (root.ru ? " мс" : " ms") : "—"
                    sub: known ? appSettings.t.toServer : ""
                    valueColor: known && ping < 60 ? appSettings.success : appSettings.fg
                }
            }

            Item {
                width: column.width
                implicitHeight: 12
            }

            Card {
                objectName: "chartCard"
                width: column.width
                implicitHeight: 178

                ColumnLayout {
                    anchors.fill: parent
                    anchors.margins: 14
                    anchors.bottomMargin: 10
                    spacing: 10

                    RowLayout {
                        Layout.fillWidth: true

                        Caption {
                            Layout.fillWidth: true
                            text: String(appSettings.t.trafficByDay).toUpperCase()
                            color: appSettings.fgMuted
                            font.pixelSize: 13
                            font.letterSpacing: 1
                            elide: Text.ElideRight
                        }
                        Caption {
                            objectName: "chartTotal"
                            text: root.hasData ? Fmt.bytes(root.weekTotal) : ""
                            color: appSettings.fg
                            font.pixelSize: 14
                            font.bold: true
                        }
                    }

                    RowLayout {
                        Layout.fillWidth: true
                        Layout.fillHeight: true
                        spacing: 8

                        Repeater {
                            model: root.days

                            delegate: ColumnLayout {
                                id: dayColumn

                                required property var modelData
                                required property int index
                                readonly property real total: Number(modelData.down) + Number(modelData.up)

                                objectName: "dayColumn" + index
                                Layout.fillWidth: true
                                Layout.fillHeight: true
                                Layout.preferredWidth: 1
                                spacing: 6

                                Item {
                                    Layout.fillHeight: true
                                }
                                Rectangle {
                                    objectName: "dayBar" + dayColumn.index
                                    Layout.alignment: Qt.AlignHCenter
                                    Layout.fillWidth: true
                                    Layout.maximumWidth: 34
                                    implicitHeight: Math.max(4, 96 * dayColumn.total / root.chartScale)
                                    radius: 5
                                    color: dayColumn.index === 6 ? appSettings.accent : Qt.rgba(appSettings.accent.r, appSettings.accent.g, appSettings.accent.b, 0.55)
                                    Accessible.role: Accessible.Graphic
                                    Accessible.name: dayLabel.text + ": " + Fmt.bytes(dayColumn.total)
                                }
                                Caption {
                                    id: dayLabel

                                    objectName: "dayLabel" + dayColumn.index
                                    Layout.alignment: Qt.AlignHCenter
                                    text: root.weekday(dayColumn.modelData.date)
                                    color: appSettings.fgMuted
                                    font.pixelSize: 13
                                }
                            }
                        }
                    }
                }
            }
        }
    }
}
