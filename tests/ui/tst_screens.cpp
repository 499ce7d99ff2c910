#include "AppSettings.h"
#include "AppWiring.h"
#include "PipeClient.h"
#include "StatsStore.h"
#include "TrayManager.h"
#include "UiFixture.h"

#include <QFile>
#include <QGuiApplication>
#include <QLocale>
#include <QRegularExpression>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// Day rows: days from today, up, down, protected seconds, speed sum and
// count, ping sum and count; members left out are 0.
using Seeds = QList<QList<double>>;
using Events = QList<QJsonObject>;

QJsonObject serviceEvent(const QString &type, const QString &member = {}, const QJsonValue &value = {})
{
    QJsonObject object {{u"type"_s, type}};
    if (!member.isEmpty())
        object.insert(member, value);
    return object;
}

bool openAt(QQuickWindow *popup, QPoint anchor)
{
    return QMetaObject::invokeMethod(
               popup, "openAt", Q_ARG(QVariant, anchor.x()), Q_ARG(QVariant, anchor.y()))
        && QTest::qWaitForWindowExposed(popup);
}

// Text.PlainText in QML.
constexpr int plainText = 0;

} // namespace

Q_DECLARE_METATYPE(Events)

// The statistics and settings screens and the tray popup, each on its own,
// against the real service objects, a seeded statistics database and a fixed
// clock. Every case starts from a fresh set of objects.
class TestScreens : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QCoreApplication::setApplicationVersion(u"0.5.12"_s); }
    void init()
    {
        QTest::failOnWarning(QRegularExpression(u"^(qrc|file):"_s));
        m_ui = std::make_unique<UiFixture>();
        QVERIFY(m_ui->start());
    }
    void cleanup() { m_ui.reset(); }

    void statistics_data()
    {
        QTest::addColumn<Seeds>("seeds");
        // Value and sub-line of the traffic, hours, speed and ping tiles, and
        // the chart total, joined by '|'.
        QTest::addColumn<QString>("texts");
        QTest::addColumn<bool>("pingInSuccess");
        // The seven bars, today last: the busiest day 96 high, at least 4.
        QTest::addColumn<QList<int>>("bars");

        const QList<int> empty {4, 4, 4, 4, 4, 4, 4};
        const QList<int> today {4, 4, 4, 4, 4, 4, 96};
        QTest::newRow("no history: dashes without sub-lines, no chart total")
            << Seeds {} << u"—||—||—||—||"_s << false << empty;
        QTest::newRow("one day with every kind of sample")
            << Seeds {{0, 512 * 1024, 1536 * 1024, 3599, 2 * 356 * 1024.0, 2, 126, 3}}
            << u"2.00 MB|↓ 1.50 MB · ↑ 512 KB|0 h 59 m|this week|356 KB/s|↓ download|42 ms|to server|2.00 MB"_s
            << true << today;
        QTest::newRow("protected hours beyond a day are not capped")
            << Seeds {{-1, 0, 1024, 50000}, {0, 0, 1024, 40000}}
            << u"2.00 KB|↓ 2.00 KB · ↑ 0 B|25 h 0 m|this week|—||—||2.00 KB"_s << false
            << QList<int> {4, 4, 4, 4, 4, 96, 96};
        QTest::newRow("ping 0 ms is a value, in success")
            << Seeds {{0, 1, 1, 60, 0, 0, 0, 4}}
            << u"2 B|↓ 1 B · ↑ 1 B|0 h 1 m|this week|—||0 ms|to server|2 B"_s << true << today;
        QTest::newRow("ping 59 ms still in success")
            << Seeds {{0, 1, 1, 0, 0, 0, 599, 10}}
            << u"2 B|↓ 1 B · ↑ 1 B|0 h 0 m|this week|—||59 ms|to server|2 B"_s << true << today;
        QTest::newRow("ping 60 ms in the normal colour")
            << Seeds {{0, 1, 1, 0, 0, 0, 60, 1}}
            << u"2 B|↓ 1 B · ↑ 1 B|0 h 0 m|this week|—||60 ms|to server|2 B"_s << false << today;
        QTest::newRow("busiest day mid-week scales the others")
            << Seeds {{-6, 5, 5}, {-3, 400, 600}, {-1, 0, 500}}
            << u"1.47 KB|↓ 1.08 KB · ↑ 405 B|0 h 0 m|this week|—||—||1.47 KB"_s << false
            << QList<int> {4, 4, 4, 96, 4, 48, 4};
        QTest::newRow("history only before the week: zero figures, no empty note")
            << Seeds {{-10, 5000, 5000, 7200, 1000, 1, 30, 1}}
            << u"0 B|↓ 0 B · ↑ 0 B|0 h 0 m|this week|—||—||0 B"_s << false << empty;
    }
    void statistics()
    {
        QFETCH(Seeds, seeds);
        QFETCH(bool, pingInSuccess);
        QFETCH(QList<int>, bars);

        // Seeded after the store's own first refresh: only the screen's
        // refresh on creation can bring these rows in.
        for (const QList<double> &s : seeds) {
            m_ui->seedDay(int(s.value(0)), qint64(s.value(1)), qint64(s.value(2)), int(s.value(3)),
                s.value(4), int(s.value(5)), qint64(s.value(6)), int(s.value(7)));
        }
        QVERIFY(m_ui->loadScreen(u"StatsScreen"_s));
        QCOMPARE(m_ui->item(u"noStatsNote"_s)->isVisible(), seeds.isEmpty());
        QStringList shown;
        for (const QString &tile : {u"tileTraffic"_s, u"tileProtected"_s, u"tileSpeed"_s, u"tilePing"_s})
            shown << m_ui->text(tile, "value") << m_ui->text(tile, "sub");
        QTEST((shown << m_ui->text(u"chartTotal"_s)).join(u'|'), "texts");
        AppSettings *palette = m_ui->wiring()->appSettings();
        QCOMPARE(m_ui->item(u"tilePing"_s)->property("valueColor").value<QColor>(),
            pingInSuccess ? palette->success() : palette->fg());
        for (int i = 0; i < 7; ++i) {
            QQuickItem *bar = m_ui->item(u"dayBar%1"_s.arg(i));
            QCOMPARE(qRound(bar->height()), bars.at(i));
            // Today stands out in the full accent; the other days are tinted.
            const QColor colour = bar->property("color").value<QColor>();
            QCOMPARE(colour.rgb(), palette->accent().rgb());
            QCOMPARE(qRound(colour.alphaF() * 100), i == 6 ? 100 : 55);
        }
    }

    void followsStoreAndLanguage()
    {
        QVERIFY(m_ui->loadScreen(u"StatsScreen"_s));
        QVERIFY(m_ui->item(u"noStatsNote"_s)->isVisible());
        m_ui->seedDay(0, 10, 10, 3599, 0, 0, 42, 1);
        m_ui->wiring()->statsStore()->refresh();
        QVERIFY(!m_ui->item(u"noStatsNote"_s)->isVisible());
        QTRY_COMPARE(qRound(m_ui->item(u"dayBar6"_s)->height()), 96);
        checkDayLabels(QLocale(QLocale::English, QLocale::UnitedStates));
        QCOMPARE(m_ui->text(u"tilePing"_s, "value"), u"42 ms"_s);
        QCOMPARE(m_ui->text(u"tileProtected"_s, "value"), u"0 h 59 m"_s);

        m_ui->wiring()->appSettings()->setLanguage(u"ru"_s);
        checkDayLabels(QLocale(QLocale::Russian, QLocale::Russia));
        QCOMPARE(m_ui->text(u"tilePing"_s, "value"), u"42 мс"_s);
        QCOMPARE(m_ui->text(u"tileProtected"_s, "value"), u"0 ч 59 м"_s);
        QCOMPARE(m_ui->text(u"tilePing"_s, "label"), m_ui->wiring()->appSettings()->t().value(u"avgPing"_s));
    }

    void settingsRows_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("segment");
        // A command row sends this on every click, with the segment's value
        // as its mode. A preference row sends nothing and sets the property:
        // a switch flips it, a segment sets its own value, also when on.
        QTest::addColumn<QString>("command");
        QTest::addColumn<QByteArray>("property");

        // The kill switch starts at "never": a click on the segment already
        // on must still reach the service, which has the last word.
        for (const char *mode : {"never", "on_connect", "always"})
            QTest::addRow("kill switch: %s", mode)
                << u"killSwitchSeg"_s << QString::fromLatin1(mode) << u"set_kill_switch"_s << QByteArray();
        QTest::newRow("support report: save")
            << u"diagButton"_s << QString() << u"get_diag"_s << QByteArray();
        QTest::newRow("account: log out") << u"logoutButton"_s << QString() << u"logout"_s << QByteArray();
        for (const char *name : {"connectOnStart", "whitelist", "games", "autostart", "theme"})
            QTest::addRow("switch: %s", name)
                << QString::fromLatin1(name) + u"Switch"_s << QString() << QString()
                << QByteArray(qstrcmp(name, "theme") == 0 ? "darkTheme" : name);
        QTest::newRow("protocol: Reality")
            << u"transportSeg"_s << u"reality"_s << QString() << QByteArray("transport");
        QTest::newRow("protocol: WireGuard, already on")
            << u"transportSeg"_s << u"tls"_s << QString() << QByteArray("transport");
        QTest::newRow("language: RU") << u"languageSeg"_s << u"ru"_s << QString() << QByteArray("language");
    }
    void settingsRows()
    {
        QFETCH(QString, control);
        QFETCH(QString, segment);
        QFETCH(QString, command);
        QFETCH(QByteArray, property);

        QVERIFY(m_ui->loadScreen(u"SettingsScreen"_s));
        AppSettings *settings = m_ui->wiring()->appSettings();
        for (const bool first : {true, false}) {
            // Looked up each time: a language change rebuilds the segments.
            QQuickItem *target = m_ui->item(control);
            QVERIFY(m_ui->click(segment.isEmpty() ? target : UiFixture::segment(target, segment)));
            if (property.isEmpty())
                continue;
            const QVariant expected = segment.isEmpty() ? QVariant(first) : QVariant(segment);
            QCOMPARE(settings->property(property.constData()), expected);
            if (segment.isEmpty())
                QCOMPARE(m_ui->item(control)->property("checked"), expected);
            else
                QVERIFY(UiFixture::segment(m_ui->item(control), segment)->property("checked").toBool());
        }
        QVERIFY(m_ui->flushCommands());
        QCOMPARE(m_ui->commands(), command.isEmpty() ? QStringList() : QStringList({command, command}));
        for (const QJsonObject &sent : m_ui->commands(u"set_kill_switch"_s))
            QCOMPARE(sent.value(u"payload"_s).toObject(), QJsonObject({{u"mode"_s, segment}}));
    }

    void killSwitchSegment_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("shownOn");

        QTest::newRow("always") << u"always"_s << u"always"_s;
        QTest::newRow("unknown mode: no segment on") << u"strict"_s << QString();
        QTest::newRow("mode in other letter case: no segment on") << u"Always"_s << QString();
    }
    void killSwitchSegment()
    {
        QVERIFY(m_ui->loadScreen(u"SettingsScreen"_s));
        QFETCH(QString, mode);
        QFETCH(QString, shownOn);

        m_ui->sendStatus({{u"kill_switch_mode"_s, mode}});
        QTRY_COMPARE(m_ui->wiring()->pipeClient()->killSwitchMode(), mode);
        for (const QString &value : {u"never"_s, u"on_connect"_s, u"always"_s}) {
            QQuickItem *segment = UiFixture::segment(m_ui->item(u"killSwitchSeg"_s), value);
            QVERIFY(segment);
            QCOMPARE(segment->property("checked").toBool(), value == shownOn);
        }
    }

    void updateCard_data()
    {
        QTest::addColumn<Events>("events");
        // Title, description, button text and variant; empty: no card.
        QTest::addColumn<QString>("texts");
        QTest::addColumn<bool>("enabled");
        // Share of the track the fill covers; negative: no progress bar.
        QTest::addColumn<double>("fill");
        QTest::addColumn<QString>("command");

        const QJsonObject offered = serviceEvent(u"update_available"_s, u"update_version"_s, u"1.4.0"_s);
        const auto progress
            = [](int percent) { return serviceEvent(u"update_progress"_s, u"update_progress"_s, percent); };
        const QString offer = u"Update available 1.4.0|It takes under a minute|Update|ghost"_s;
        const QString loading = u"Update available 1.4.0|Downloading… %1%|Update|ghost"_s;
        const QString ready = u"Ready to install|%1|Restart|primary"_s;

        QTest::newRow("nothing offered: no card") << Events {} << QString() << true << -1.0 << QString();
        QTest::newRow("offered") << Events {offered} << offer << true << -1.0 << u"install_update"_s;
        QTest::newRow("offered without a version: no trailing space")
            << Events {serviceEvent(u"update_available"_s, u"update_version"_s, u""_s)}
            << QString(offer).replace(u" 1.4.0"_s, QString()) << true << -1.0 << u"install_update"_s;
        for (const int percent : {0, 100, 140, -20})
            QTest::addRow("downloading at %d %%: text as sent, bar within the track", percent)
                << Events {offered, progress(percent)} << loading.arg(percent) << false
                << qBound(0, percent, 100) / 100.0 << QString();
        QTest::newRow("downloaded") << Events {offered, progress(60), serviceEvent(u"update_ready"_s)}
                                    << ready.arg(u"The app will restart and update itself"_s) << true << -1.0
                                    << u"apply_update"_s;
        QTest::newRow("applying after the download")
            << Events {offered, serviceEvent(u"update_ready"_s), serviceEvent(u"updating"_s)}
            << ready.arg(u"Downloading… 100%"_s) << false << 1.0 << QString();
        QTest::newRow("failed download: offered again") << Events {offered, progress(30),
            serviceEvent(u"error"_s, u"error"_s, u"update download failed"_s)}
                                                        << offer << true << -1.0 << u"install_update"_s;
    }

    void updateCard()
    {
        QVERIFY(m_ui->loadScreen(u"SettingsScreen"_s));
        QFETCH(Events, events);
        QFETCH(QString, texts);
        QFETCH(double, fill);
        QFETCH(QString, command);

        for (const QJsonObject &e : events)
            m_ui->sendEvent(e);
        QVERIFY(m_ui->sync());
        QQuickItem *card = m_ui->item(u"updateCard"_s);
        QCOMPARE(card && card->isVisible(), !texts.isEmpty());
        if (texts.isEmpty())
            return;
        QCOMPARE(QStringList({m_ui->text(u"updateTitle"_s), m_ui->text(u"updateDesc"_s),
                                 m_ui->text(u"updateButton"_s), m_ui->text(u"updateButton"_s, "variant")})
                     .join(u'|'),
            texts);
        QTEST(m_ui->item(u"updateButton"_s)->isEnabled(), "enabled");

        QQuickItem *track = m_ui->item(u"updateProgressTrack"_s);
        QQuickItem *bar = m_ui->item(u"updateProgressFill"_s);
        QCOMPARE(track->isVisible(), fill >= 0);
        if (fill >= 0) {
            // The card was hidden until now: its width arrives with the next polish.
            QTRY_VERIFY(track->width() > 0);
            QTRY_VERIFY2(qAbs(bar->width() - track->width() * fill) < 0.5,
                qPrintable(u"fill %1 of %2"_s.arg(bar->width()).arg(track->width())));
            // The bar lies inside the card, below the row.
            QVERIFY(track->mapToItem(card, QPointF(0, track->height())).y() <= card->height() - 12 + 0.5);
        }
        QVERIFY(m_ui->click(u"updateButton"_s));
        QVERIFY(m_ui->flushCommands());
        QCOMPARE(m_ui->commands(), command.isEmpty() ? QStringList() : QStringList {command});
    }

    void account_data()
    {
        QTest::addColumn<QString>("username");
        QTest::addColumn<QString>("initials");
        QTest::addColumn<QString>("name");

        QTest::newRow("one letter") << u"z"_s << u"Z"_s << u"z"_s;
        QTest::newRow("empty name: placeholder and the account text") << u""_s << u"•"_s << u"Account"_s;
        QTest::newRow("longer name: first two letters") << u"mila.k"_s << u"MI"_s << u"mila.k"_s;
        QTest::newRow("first letter outside the basic plane stays whole")
            << u"𝒜lex"_s << u"𝒜L"_s << u"𝒜lex"_s;
        QTest::newRow("markup in the name stays text") << u"<b>x</b>"_s << u"<B"_s << u"<b>x</b>"_s;
    }
    void account()
    {
        QVERIFY(m_ui->loadScreen(u"SettingsScreen"_s));
        QFETCH(QString, username);

        // A name first, so that the empty row also shows a change back.
        for (const QString &name : {u"someone"_s, username}) {
            m_ui->sendStatus({{u"username"_s, name}});
            QTRY_COMPARE(m_ui->wiring()->pipeClient()->username(), name);
        }
        QTEST(m_ui->text(u"accountInitials"_s), "initials");
        QTEST(m_ui->text(u"accountName"_s), "name");
        for (const QString &text : {u"accountName"_s, u"accountInitials"_s})
            QCOMPARE(m_ui->item(text)->property("textFormat").toInt(), plainText);
    }

    void rowTextsFollowState()
    {
        QVERIFY(m_ui->loadScreen(u"SettingsScreen"_s));
        AppSettings *settings = m_ui->wiring()->appSettings();
        QCOMPARE(m_ui->text(u"themeDesc"_s), u"Light mode is on"_s);
        QCOMPARE(m_ui->text(u"transportDesc"_s), u"WireGuard — for games and work"_s);
        QCOMPARE(m_ui->text(u"versionLine"_s), u"Daemon v— · client v0.5.12"_s);
        QCOMPARE(m_ui->text(u"diagDesc"_s), u"Logs without personal data"_s);

        settings->setDarkTheme(true);
        settings->setTransport(u"reality"_s);
        QTemporaryDir dir;
        QFile report(dir.filePath(u"vantrel-diag.zip"_s));
        QVERIFY(report.open(QIODevice::WriteOnly) && report.write("zip") == 3);
        report.close();
        m_ui->sendEvent({{u"type"_s, u"ready"_s}, {u"version"_s, u"2.0.1"_s}});
        m_ui->sendEvent({{u"type"_s, u"diag_ready"_s}, {u"diag_path"_s, report.fileName()}});
        QTRY_COMPARE(m_ui->text(u"diagDesc"_s), u"Saved to Desktop"_s);
        QCOMPARE(m_ui->text(u"themeDesc"_s), u"Dark mode is on"_s);
        QCOMPARE(m_ui->text(u"transportDesc"_s), u"Reality — more secure"_s);
        QCOMPARE(m_ui->text(u"versionLine"_s), u"Daemon v2.0.1 · client v0.5.12"_s);

        // The saved note belongs to this visit of the tab only.
        m_ui->reloadScreen();
        QTRY_COMPARE(m_ui->text(u"diagDesc"_s), u"Logs without personal data"_s);
    }

    void placement_data()
    {
        QTest::addColumn<QPoint>("anchor");
        QTest::addColumn<QPoint>("expected");

        const QRect area = QGuiApplication::primaryScreen()->availableVirtualGeometry();
        const int sw = area.width();
        const int sh = area.height();
        QTest::newRow("centred 12 above the anchor")
            << QPoint(sw / 2, 400) << QPoint(sw / 2 - 170, 400 - 224);
        QTest::newRow("left edge: 8 from it") << QPoint(20, 400) << QPoint(8, 176);
        QTest::newRow("right edge: 8 from it") << QPoint(sw - 10, 400) << QPoint(sw - 348, 176);
        QTest::newRow("top edge: 12 below the anchor") << QPoint(300, 30) << QPoint(130, 42);
        QTest::newRow("exactly 8 from the top is too high: below") << QPoint(300, 232) << QPoint(130, 244);
        QTest::newRow("9 from the top fits above") << QPoint(300, 233) << QPoint(130, 9);
        QTest::newRow("tray in a panel below the available area: ends 8 above it")
            << QPoint(sw - 40, sh + 10) << QPoint(sw - 348, sh - 220);
    }
    void placement()
    {
        QQuickWindow *popup = m_ui->loadPopup();
        QVERIFY(popup && !popup->isVisible());
        QFETCH(QPoint, anchor);
        QVERIFY(openAt(popup, anchor));
        QCOMPARE(popup->size(), QSize(340, 212));
        QTEST(popup->position(), "expected");
    }

    void placementAcrossScreens_data()
    {
        QTest::addColumn<QPoint>("anchor");
        QTest::addColumn<QPoint>("expected");

        // Run with a screen left of the primary one (ui_screens_twoscreens):
        // the desktop then starts left of 0.
        const QRect area = QGuiApplication::primaryScreen()->availableVirtualGeometry();
        if (QGuiApplication::screens().size() < 2 || area.left() >= 0)
            QSKIP("needs a screen left of the primary one");
        QTest::newRow("tray near the left edge of the left screen")
            << QPoint(area.left() + 14, 500) << QPoint(area.left() + 8, 276);
        QTest::newRow("tray near the right edge of the desktop")
            << QPoint(area.right() - 10, 500) << QPoint(area.right() + 1 - 348, 276);
        QTest::newRow("tray at the top of the left screen")
            << QPoint(area.left() + 400, area.top() + 20) << QPoint(area.left() + 230, area.top() + 32);
    }
    void placementAcrossScreens() { placement(); }

    void stateAndMainButton_data()
    {
        QTest::addColumn<bool>("signedIn");
        QTest::addColumn<QString>("state");
        // Status text, button text and variant, and the dot's palette colour.
        QTest::addColumn<QString>("look");
        QTest::addColumn<QString>("command");

        const QString idle = u"Not connected|Connect|ghost|fgMuted"_s;
        QTest::newRow("signed out: disabled, sends nothing")
            << false << u"disconnected"_s << idle << QString();
        QTest::newRow("disconnected: connect") << true << u"disconnected"_s << idle << u"connect"_s;
        QTest::newRow("connecting: cancel")
            << true << u"connecting"_s << u"Connecting…|Cancel|ghost|warning"_s << u"disconnect"_s;
        QTest::newRow("reconnecting: cancel")
            << true << u"reconnecting"_s << u"Reconnecting|Cancel|ghost|warning"_s << u"disconnect"_s;
        QTest::newRow("connected: red disconnect")
            << true << u"connected"_s << u"Protected|Disconnect|danger-ghost|success"_s << u"disconnect"_s;
        QTest::newRow("failed: connect again")
            << true << u"failed"_s << u"Connection failed|Connect|ghost|danger"_s << u"connect"_s;
        QTest::newRow("unknown state counts as idle") << true << u"paused"_s << idle << u"connect"_s;
    }
    void stateAndMainButton()
    {
        QFETCH(bool, signedIn);
        QFETCH(QString, state);
        QFETCH(QString, look);
        QFETCH(QString, command);

        AppSettings *settings = m_ui->wiring()->appSettings();
        settings->setWhitelist(true);
        settings->setTransport(u"reality"_s);
        QQuickWindow *popup = m_ui->loadPopup();
        QVERIFY(popup && openAt(popup, {400, 400}));
        QVERIFY(m_ui->setState(state, {{u"authenticated"_s, signedIn}}));
        const QString dot = look.section(u'|', 3);
        QCOMPARE(QStringList({m_ui->text(u"popupStatus"_s), m_ui->text(u"popupMainButton"_s),
                                 m_ui->text(u"popupMainButton"_s, "variant"), dot})
                     .join(u'|'),
            look);
        QTRY_COMPARE(m_ui->item(u"popupDot"_s)->property("color").value<QColor>(),
            settings->property(dot.toLatin1().constData()).value<QColor>());
        QCOMPARE(m_ui->item(u"popupMainButton"_s)->isEnabled(), signedIn);

        QVERIFY(m_ui->click(u"popupMainButton"_s));
        QVERIFY(m_ui->flushCommands());
        QCOMPARE(m_ui->commands(), command.isEmpty() ? QStringList() : QStringList {command});
        if (command == "connect"_L1) {
            const QJsonObject payload {
                {u"whitelist"_s, true}, {u"games"_s, false}, {u"transport"_s, u"reality"_s}};
            QCOMPARE(m_ui->commands(command).constFirst().value(u"payload"_s).toObject(), payload);
        }
    }

    void openQuitAndFocusLoss()
    {
        QQuickWindow *popup = m_ui->loadPopup();
        QVERIFY(popup && !popup->isVisible());
        TrayManager *tray = m_ui->wiring()->trayManager();
        QSignalSpy quitSpy(tray, &TrayManager::quitRequested);
        // The main window rises on this signal; the popup must be out of the
        // way by then. Signed out, both buttons still work.
        int shownAt = 0;
        connect(tray, &TrayManager::showRequested, this, [&] { shownAt = popup->isVisible() ? -1 : 1; });
        QVERIFY(openAt(popup, {400, 400}));
        QVERIFY(m_ui->click(u"popupOpenButton"_s));
        QCOMPARE(shownAt, 1);
        QVERIFY(!popup->isVisible());
        QVERIFY(openAt(popup, {400, 400}));
        QVERIFY(m_ui->click(u"popupQuitButton"_s));
        QCOMPARE(quitSpy.count(), 1);

        // It goes when another window takes the focus, and comes back with it.
        QVERIFY(openAt(popup, {400, 400}));
        QTRY_VERIFY(popup->isActive());
        QWindow other;
        other.resize(100, 100);
        other.show();
        other.requestActivate();
        QTRY_VERIFY(!popup->isVisible());
        QVERIFY(openAt(popup, {400, 400}));
        QTRY_VERIFY(popup->isActive());
        QVERIFY(popup->isVisible());
    }

private:
    // Days are named from local noon: in the test's zone west of UTC a date
    // read as UTC midnight would fall on the day before.
    void checkDayLabels(const QLocale &locale) const
    {
        for (int i = 0; i < 7; ++i) {
            const int weekday = UiFixture::now().date().addDays(i - 6).dayOfWeek();
            QCOMPARE(m_ui->text(u"dayLabel%1"_s.arg(i)), locale.dayName(weekday, QLocale::ShortFormat));
        }
    }

    std::unique_ptr<UiFixture> m_ui;
};

QTEST_MAIN(TestScreens)
#include "tst_screens.moc"
