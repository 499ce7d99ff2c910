#include "AppSettings.h"
#include "AppWiring.h"
#include "FakeService.h"
#include "PipeClient.h"
#include "TrayManager.h"
#include "Ui2Fixture.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonObject>
#include <QQuickItem>
#include <QQuickWindow>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

using namespace Qt::StringLiterals;

using Events = QList<QJsonObject>;
Q_DECLARE_METATYPE(Events)

namespace {

QString text(QQuickItem *item, const char *property = "text")
{
    return item ? item->property(property).toString() : u"<missing>"_s;
}

QJsonObject serviceEvent(const QString &type, const QJsonObject &members = {})
{
    QJsonObject object = members;
    object.insert(u"type"_s, type);
    return object;
}

// Text.PlainText in QML.
constexpr int plainText = 0;

} // namespace

class TestSettingsScreen : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void commandRows_data();
    void commandRows();
    void preferenceRows_data();
    void preferenceRows();
    void descriptionsFollowValues();
    void killSwitchSegment_data();
    void killSwitchSegment();
    void updateCard_data();
    void updateCard();
    void account_data();
    void account();
    void versionLine();
    void diagnosticsRow();
};

void TestSettingsScreen::init()
{
    // QML errors (bindings, types, layouts) are warnings naming their document.
    QTest::failOnWarning(QRegularExpression(u"^(qrc|file):"_s));
}

void TestSettingsScreen::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setApplicationVersion(u"0.5.12"_s);
}

void TestSettingsScreen::commandRows_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("segmentValue");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QJsonObject>("payload");

    // The kill switch starts at "never": that row also covers clicking the
    // segment that is already on.
    QTest::newRow("kill switch: off, the segment already on")
        << u"killSwitchSeg"_s << u"never"_s << u"set_kill_switch"_s << QJsonObject {{u"mode"_s, u"never"_s}};
    QTest::newRow("kill switch: on connect") << u"killSwitchSeg"_s << u"on_connect"_s << u"set_kill_switch"_s
                                             << QJsonObject {{u"mode"_s, u"on_connect"_s}};
    QTest::newRow("kill switch: always") << u"killSwitchSeg"_s << u"always"_s << u"set_kill_switch"_s
                                         << QJsonObject {{u"mode"_s, u"always"_s}};
    QTest::newRow("support report: save") << u"diagButton"_s << QString() << u"get_diag"_s << QJsonObject {};
    QTest::newRow("account: log out") << u"logoutButton"_s << QString() << u"logout"_s << QJsonObject {};
}

void TestSettingsScreen::commandRows()
{
    QFETCH(QString, control);
    QFETCH(QString, segmentValue);
    QFETCH(QString, command);
    QFETCH(QJsonObject, payload);

    Ui2Fixture fixture;
    QVERIFY(fixture.start());
    QVERIFY(fixture.loadScreen(u"SettingsScreen"_s));

    QQuickItem *target = fixture.item(control);
    if (!segmentValue.isEmpty())
        target = Ui2Fixture::segment(target, segmentValue);
    QVERIFY(target);

    // The service does not answer here, so the control keeps showing the old
    // value: every click must still reach the service.
    fixture.click(target);
    fixture.click(target);
    QVERIFY(fixture.flushCommands());

    QCOMPARE(fixture.commands(), QStringList({command, command}));
    if (!payload.isEmpty()) {
        for (const QJsonObject &sent : fixture.commandObjects())
            QCOMPARE(sent.value(u"payload"_s).toObject(), payload);
    }
}

void TestSettingsScreen::preferenceRows_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("segmentValue");
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QVariant>("afterFirst");
    QTest::addColumn<QVariant>("afterSecond");

    QTest::newRow("split tunnel switch")
        << u"whitelistSwitch"_s << QString() << QByteArray("whitelist") << QVariant(true) << QVariant(false);
    QTest::newRow("gaming mode switch")
        << u"gamesSwitch"_s << QString() << QByteArray("games") << QVariant(true) << QVariant(false);
    QTest::newRow("start with the system switch")
        << u"autostartSwitch"_s << QString() << QByteArray("autostart") << QVariant(true) << QVariant(false);
    QTest::newRow("dark theme switch")
        << u"themeSwitch"_s << QString() << QByteArray("darkTheme") << QVariant(true) << QVariant(false);
    QTest::newRow("protocol: Reality") << u"transportSeg"_s << u"reality"_s << QByteArray("transport")
                                       << QVariant(u"reality"_s) << QVariant(u"reality"_s);
    QTest::newRow("protocol: WireGuard, already on")
        << u"transportSeg"_s << u"tls"_s << QByteArray("transport") << QVariant(u"tls"_s)
        << QVariant(u"tls"_s);
    QTest::newRow("language: RU") << u"languageSeg"_s << u"ru"_s << QByteArray("language")
                                  << QVariant(u"ru"_s) << QVariant(u"ru"_s);
}

void TestSettingsScreen::preferenceRows()
{
    QFETCH(QString, control);
    QFETCH(QString, segmentValue);
    QFETCH(QByteArray, property);

    Ui2Fixture fixture;
    QVERIFY(fixture.start());
    QVERIFY(fixture.loadScreen(u"SettingsScreen"_s));
    AppSettings *settings = fixture.wiring().appSettings();

    // Look the control up before each click: a language change rebuilds the
    // segments from the new texts.
    const auto target = [&] {
        QQuickItem *item = fixture.item(control);
        return segmentValue.isEmpty() ? item : Ui2Fixture::segment(item, segmentValue);
    };

    fixture.click(target());
    QTEST(settings->property(property.constData()), "afterFirst");
    if (segmentValue.isEmpty())
        QCOMPARE(fixture.item(control)->property("checked"), settings->property(property.constData()));
    else
        QCOMPARE(target()->property("on").toBool(), true);

    fixture.click(target());
    QTEST(settings->property(property.constData()), "afterSecond");
    if (segmentValue.isEmpty())
        QCOMPARE(fixture.item(control)->property("checked"), settings->property(property.constData()));

    // Preferences stay on this side: nothing goes to the service.
    QVERIFY(fixture.flushCommands());
    QCOMPARE(fixture.commands(), QStringList());
}

void TestSettingsScreen::descriptionsFollowValues()
{
    Ui2Fixture fixture;
    QVERIFY(fixture.start());
    QVERIFY(fixture.loadScreen(u"SettingsScreen"_s));
    AppSettings *settings = fixture.wiring().appSettings();

    QCOMPARE(text(fixture.item(u"themeDesc"_s)), u"Light mode is on"_s);
    QCOMPARE(text(fixture.item(u"transportDesc"_s)), u"WireGuard — for games and work"_s);

    settings->setDarkTheme(true);
    settings->setTransport(u"reality"_s);
    QCOMPARE(text(fixture.item(u"themeDesc"_s)), u"Dark mode is on"_s);
    QCOMPARE(text(fixture.item(u"transportDesc"_s)), u"Reality — more secure"_s);

    settings->setLanguage(u"ru"_s);
    QCOMPARE(text(fixture.item(u"themeTitle"_s)), settings->t().value(u"darkTheme"_s).toString());
    QQuickItem *onConnect = Ui2Fixture::segment(fixture.item(u"killSwitchSeg"_s), u"on_connect"_s);
    QVERIFY(onConnect);
    QCOMPARE(text(onConnect->findChild<QQuickItem *>(u"label"_s)), u"При подключении"_s);
}

void TestSettingsScreen::killSwitchSegment_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("shownOn");

    QTest::newRow("always") << u"always"_s << u"always"_s;
    QTest::newRow("unknown mode: no segment on") << u"strict"_s << QString();
    QTest::newRow("mode in other letter case: no segment on") << u"Always"_s << QString();
}

void TestSettingsScreen::killSwitchSegment()
{
    QFETCH(QString, mode);
    QFETCH(QString, shownOn);

    Ui2Fixture fixture;
    QVERIFY(fixture.start());
    QVERIFY(fixture.loadScreen(u"SettingsScreen"_s));
    fixture.sendStatus({{u"kill_switch_mode"_s, mode}});
    QTRY_COMPARE(fixture.wiring().pipeClient()->killSwitchMode(), mode);

    QQuickItem *control = fixture.item(u"killSwitchSeg"_s);
    for (const QString &value : {u"never"_s, u"on_connect"_s, u"always"_s}) {
        QQuickItem *segment = Ui2Fixture::segment(control, value);
        QVERIFY(segment);
        QCOMPARE(segment->property("on").toBool(), value == shownOn);
    }
}

void TestSettingsScreen::updateCard_data()
{
    QTest::addColumn<Events>("events");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("desc");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("variant");
    QTest::addColumn<bool>("enabled");
    // Share of the track the fill covers; negative: no progress bar.
    QTest::addColumn<double>("fill");
    QTest::addColumn<QString>("command");

    const QJsonObject offered = serviceEvent(u"update_available"_s, {{u"update_version"_s, u"1.4.0"_s}});
    const auto progress = [](int percent) {
        return serviceEvent(u"update_progress"_s, {{u"update_progress"_s, percent}});
    };

    QTest::newRow("nothing offered: no card") << Events {} << false << QString() << QString() << QString()
                                              << QString() << true << -1.0 << QString();
    QTest::newRow("offered") << Events {offered} << true << u"Update available 1.4.0"_s
                             << u"Update downloaded — restart to apply"_s << u"Update"_s << u"ghost"_s << true
                             << -1.0 << u"install_update"_s;
    QTest::newRow("offered without a version: no trailing space")
        << Events {serviceEvent(u"update_available"_s, {{u"update_version"_s, u""_s}})} << true
        << u"Update available"_s << u"Update downloaded — restart to apply"_s << u"Update"_s << u"ghost"_s
        << true << -1.0 << u"install_update"_s;
    QTest::newRow("downloading at 0 %")
        << Events {offered, progress(0)} << true << u"Update available 1.4.0"_s << u"Downloading… 0%"_s
        << u"Update"_s << u"ghost"_s << false << 0.0 << QString();
    QTest::newRow("downloading at 100 %")
        << Events {offered, progress(100)} << true << u"Update available 1.4.0"_s << u"Downloading… 100%"_s
        << u"Update"_s << u"ghost"_s << false << 1.0 << QString();
    QTest::newRow("service reports above 100 %: text as sent, bar full")
        << Events {offered, progress(140)} << true << u"Update available 1.4.0"_s << u"Downloading… 140%"_s
        << u"Update"_s << u"ghost"_s << false << 1.0 << QString();
    QTest::newRow("service reports below 0 %: text as sent, bar empty")
        << Events {offered, progress(-20)} << true << u"Update available 1.4.0"_s << u"Downloading… -20%"_s
        << u"Update"_s << u"ghost"_s << false << 0.0 << QString();
    QTest::newRow("downloaded") << Events {offered, progress(60), serviceEvent(u"update_ready"_s)} << true
                                << u"Ready to install"_s << u"The app will restart and update itself"_s
                                << u"Restart"_s << u"primary"_s << true << -1.0 << u"apply_update"_s;
    QTest::newRow("applying after the download")
        << Events {offered, serviceEvent(u"update_ready"_s), serviceEvent(u"updating"_s)} << true
        << u"Ready to install"_s << u"Downloading… 100%"_s << u"Restart"_s << u"primary"_s << false << 1.0
        << QString();
    QTest::newRow("failed download: offered again")
        << Events {offered, progress(30),
               serviceEvent(u"error"_s, {{u"error"_s, u"update download failed"_s}})}
        << true << u"Update available 1.4.0"_s << u"Update downloaded — restart to apply"_s << u"Update"_s
        << u"ghost"_s << true << -1.0 << u"install_update"_s;
}

void TestSettingsScreen::updateCard()
{
    QFETCH(Events, events);
    QFETCH(bool, shown);
    QFETCH(QString, desc);
    QFETCH(double, fill);
    QFETCH(QString, command);

    Ui2Fixture fixture;
    QVERIFY(fixture.start());
    QVERIFY(fixture.loadScreen(u"SettingsScreen"_s));
    for (const QJsonObject &e : events)
        fixture.sendEvent(e);

    QVERIFY(fixture.sync());

    QQuickItem *card = fixture.item(u"updateCard"_s);
    QCOMPARE(card && card->isVisible(), shown);
    if (!shown)
        return;
    QCOMPARE(text(fixture.item(u"updateDesc"_s)), desc);
    QTEST(text(fixture.item(u"updateTitle"_s)), "title");

    QQuickItem *button = fixture.item(u"updateButton"_s);
    QTEST(text(button), "button");
    QTEST(text(button, "variant"), "variant");
    QTEST(button->isEnabled(), "enabled");

    QQuickItem *track = fixture.item(u"updateProgressTrack"_s);
    QQuickItem *bar = fixture.item(u"updateProgressFill"_s);
    QCOMPARE(track->isVisible(), fill >= 0);
    if (fill >= 0) {
        // The card was hidden until now: its width arrives with the next polish.
        QTRY_VERIFY(track->width() > 0);
        QTRY_VERIFY2(qAbs(bar->width() - track->width() * fill) < 0.5,
            qPrintable(u"fill %1 of %2"_s.arg(bar->width()).arg(track->width())));
        // The bar lies inside the card, below the row.
        QVERIFY(track->mapToItem(card, QPointF(0, track->height())).y() <= card->height() - 12 + 0.5);
    }

    fixture.click(button);
    QVERIFY(fixture.flushCommands());
    QCOMPARE(fixture.commands(), command.isEmpty() ? QStringList() : QStringList {command});
}

void TestSettingsScreen::account_data()
{
    QTest::addColumn<QString>("username");
    QTest::addColumn<QString>("initials");
    QTest::addColumn<QString>("name");

    QTest::newRow("one letter") << u"z"_s << u"Z"_s << u"z"_s;
    QTest::newRow("empty name: placeholder and the account text") << u""_s << u"•"_s << u"Account"_s;
    QTest::newRow("longer name: first two letters") << u"mila.k"_s << u"MI"_s << u"mila.k"_s;
    QTest::newRow("first letter outside the basic plane stays whole") << u"𝒜lex"_s << u"𝒜L"_s << u"𝒜lex"_s;
    QTest::newRow("markup in the name stays text") << u"<b>x</b>"_s << u"<B"_s << u"<b>x</b>"_s;
}

void TestSettingsScreen::account()
{
    QFETCH(QString, username);

    Ui2Fixture fixture;
    QVERIFY(fixture.start());
    QVERIFY(fixture.loadScreen(u"SettingsScreen"_s));
    // A name first, so that the empty row also shows a change back.
    fixture.sendStatus({{u"username"_s, u"someone"_s}});
    QTRY_COMPARE(fixture.wiring().pipeClient()->username(), u"someone"_s);
    fixture.sendStatus({{u"username"_s, username}});
    QTRY_COMPARE(fixture.wiring().pipeClient()->username(), username);

    QTEST(text(fixture.item(u"accountInitials"_s)), "initials");
    QTEST(text(fixture.item(u"accountName"_s)), "name");
    QCOMPARE(fixture.item(u"accountName"_s)->property("textFormat").toInt(), plainText);
    QCOMPARE(fixture.item(u"accountInitials"_s)->property("textFormat").toInt(), plainText);
}

void TestSettingsScreen::versionLine()
{
    Ui2Fixture fixture;
    QVERIFY(fixture.start());
    QVERIFY(fixture.loadScreen(u"SettingsScreen"_s));
    QQuickItem *line = fixture.item(u"versionLine"_s);

    QCOMPARE(text(line), u"Daemon v— · client v0.5.12"_s);

    fixture.sendEvent(serviceEvent(u"ready"_s, {{u"version"_s, u"2.0.1"_s}}));
    QTRY_COMPARE(fixture.wiring().trayManager()->version(), u"2.0.1"_s);
    QCOMPARE(text(line), u"Daemon v2.0.1 · client v0.5.12"_s);
    QCOMPARE(line->property("textFormat").toInt(), plainText);
}

void TestSettingsScreen::diagnosticsRow()
{
    Ui2Fixture fixture;
    QVERIFY(fixture.start());
    QVERIFY(fixture.loadScreen(u"SettingsScreen"_s));
    QCOMPARE(text(fixture.item(u"diagDesc"_s)), u"Logs without personal data"_s);

    const QString report = fixture.dirPath() + u"/vantrel-diag.zip"_s;
    QFile file(report);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("zip");
    file.close();
    fixture.sendEvent(serviceEvent(u"diag_ready"_s, {{u"diag_path"_s, report}}));
    QTRY_COMPARE(text(fixture.item(u"diagDesc"_s)), u"Saved to Desktop"_s);

    // The note belongs to this visit of the tab only.
    fixture.reloadScreen();
    QTRY_VERIFY(fixture.item(u"diagDesc"_s));
    QCOMPARE(text(fixture.item(u"diagDesc"_s)), u"Logs without personal data"_s);
}

QTEST_MAIN(TestSettingsScreen)
#include "tst_settingsscreen.moc"
