// The running process's reactions between service objects, driven against a fake service.
#include "AppSettings.h"
#include "AppWiring.h"
#include "FakeService.h"
#include "PingProber.h"
#include "PipeClient.h"
#include "StateNotifier.h"
#include "StatsStore.h"
#include "TrayManager.h"
#include "UrlOpener.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QLocalServer>
#include <QLocalSocket>
#include <QQmlContext>
#include <QQmlEngine>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {
// Stands in for the main window: counts the root-window calls.
class FakeWindow : public QObject
{
    Q_OBJECT

public:
    Q_INVOKABLE void showAndRaise() { ++shown; }
    Q_INVOKABLE void toggleWindow() { ++toggled; }

    int shown = 0;
    int toggled = 0;
};

QJsonObject statusEvent(const QString &state, const QJsonObject &extra = {})
{
    QJsonObject event = extra;
    event.insert(QStringLiteral("type"), QStringLiteral("status"));
    event.insert(QStringLiteral("status"), state);
    return event;
}

QStringList commandNames(const QList<QJsonObject> &received)
{
    QStringList names;
    for (const QJsonObject &message : received) {
        if (message.contains(QStringLiteral("cmd")))
            names << message.value(QStringLiteral("cmd")).toString();
    }
    return names;
}
} // namespace

class tst_AppWiring : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void publishesTheServiceObjects();
    void firstAttemptWaitsForTheEventLoop();
    void statisticsFollowTheClient();
    void latencySampleReachesStatistics();
    void versionReachesTheTray();
    void trayRequestsReachTheService_data();
    void trayRequestsReachTheService();
    void windowRequests();
    void quitHandler_data();
    void quitHandler();
    void restartConfirmedEndsWithZero();
    void notifierShowsEachStateOnce_data();
    void notifierShowsEachStateOnce();
    void notificationTexts_data();
    void notificationTexts();

private:
    // Builds the wiring through all three stages against the fake service, with a connected client.
    void startWiring(bool connectClient = true);
    qlonglong queryStats(const QString &sql);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<FakeService> m_service;
    std::unique_ptr<AppWiring> m_wiring;
    FakeWindow m_window;
    QList<QPair<QString, QString>> m_notifications;
};

void tst_AppWiring::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_service = std::make_unique<FakeService>(m_dir->filePath(QStringLiteral("daemon.sock")));
    QVERIFY(m_service->listen());
    m_notifications.clear();
    m_window.shown = m_window.toggled = 0;
}

void tst_AppWiring::cleanup()
{
    m_wiring.reset();
    m_service.reset();
    m_dir.reset();
}

void tst_AppWiring::startWiring(bool connectClient)
{
    AppConfig config;
    config.socketPath = m_service->socketPath();
    config.tokenPath = m_dir->filePath(QStringLiteral("pipe.token"));
    config.statsDbPath = m_dir->filePath(QStringLiteral("stats/stats.db"));
    config.desktopDir = m_dir->filePath(QStringLiteral("Desktop"));
    config.tray.showMessage
        = [this](const QString &title, const QString &message, QSystemTrayIcon::MessageIcon, int) {
              m_notifications.append({title, message});
          };
    m_wiring = std::make_unique<AppWiring>(config);
    m_wiring->attachWindow(&m_window, nullptr);
    if (connectClient) {
        QVERIFY(m_service->waitForClient());
        QVERIFY(m_service->waitForReceived(1));
    }
}

qlonglong tst_AppWiring::queryStats(const QString &sql)
{
    qlonglong value = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
        db.setDatabaseName(m_dir->filePath(QStringLiteral("stats/stats.db")));
        if (db.open()) {
            QSqlQuery query(sql, db);
            if (query.next())
                value = query.value(0).toLongLong();
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("check"));
    return value;
}

void tst_AppWiring::publishesTheServiceObjects()
{
    startWiring(false);
    QQmlEngine engine;
    m_wiring->publish(engine.rootContext());
    const QStringList names {QStringLiteral("pipeClient"), QStringLiteral("trayManager"),
        QStringLiteral("appSettings"), QStringLiteral("pingProber"), QStringLiteral("urlOpener"),
        QStringLiteral("statsStore")};
    const QObjectList objects {m_wiring->pipeClient(), m_wiring->trayManager(), m_wiring->appSettings(),
        m_wiring->pingProber(), m_wiring->urlOpener(), m_wiring->statsStore()};
    for (qsizetype i = 0; i < names.size(); ++i) {
        QVERIFY(objects.at(i));
        QCOMPARE(engine.rootContext()->contextProperty(names.at(i)).value<QObject *>(), objects.at(i));
    }
    QVERIFY(!engine.rootContext()->contextProperty(QStringLiteral("daemonLauncher")).isValid());
}

void tst_AppWiring::firstAttemptWaitsForTheEventLoop()
{
    QElapsedTimer sinceStart;
    sinceStart.start();
    startWiring(false);
    // Nothing reaches for the service while start-up runs.
    QCOMPARE(m_wiring->pipeClient()->status(), QStringLiteral("disconnected"));
    QCOMPARE(m_service->connectionCount(), 0);

    QVERIFY(m_service->waitForClient());
    QVERIFY2(sinceStart.elapsed() >= 180, qPrintable(QString::number(sinceStart.elapsed())));
    QCOMPARE(m_service->connectionCount(), 1);
}

void tst_AppWiring::statisticsFollowTheClient()
{
    startWiring();
    // The service names the server while connecting; the session row opens on "connected".
    m_service->sendLine(statusEvent(QStringLiteral("connecting"),
        {{QStringLiteral("endpoint"), QStringLiteral("203.0.113.5:443")},
            {QStringLiteral("transport"), QStringLiteral("reality")}}));
    QTRY_COMPARE(m_wiring->pipeClient()->endpoint(), QStringLiteral("203.0.113.5:443"));
    QCOMPARE(queryStats(QStringLiteral("SELECT count(*) FROM sessions")), 0);
    m_service->sendLine(statusEvent(
        QStringLiteral("connected"), {{QStringLiteral("endpoint"), QStringLiteral("203.0.113.5:443")}}));
    QTRY_COMPARE(queryStats(QStringLiteral("SELECT count(*) FROM sessions")), 1);
    QCOMPARE(queryStats(QStringLiteral("SELECT count(*) FROM sessions WHERE endpoint = '203.0.113.5:443' "
                                       "AND transport = 'reality' AND ended_at IS NULL")),
        1);

    // Fractional counters arrive truncated, not rounded.
    m_service->sendLine(statusEvent(QStringLiteral("connected"),
        {{QStringLiteral("up"), 1536.9}, {QStringLiteral("down"), 2047.99},
            {QStringLiteral("connected_since"), QStringLiteral("2026-12-08T10:00:00Z")}}));
    QTRY_COMPARE(queryStats(QStringLiteral("SELECT up FROM sessions")), 1536);
    QCOMPARE(queryStats(QStringLiteral("SELECT down FROM sessions")), 2047);

    m_service->sendLine(statusEvent(QStringLiteral("disconnected")));
    QTRY_COMPARE(queryStats(QStringLiteral("SELECT count(*) FROM sessions WHERE ended_at IS NOT NULL")), 1);
}

void tst_AppWiring::latencySampleReachesStatistics()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    startWiring();
    m_service->sendLine(statusEvent(QStringLiteral("connected")));
    QTRY_COMPARE(queryStats(QStringLiteral("SELECT count(*) FROM sessions")), 1);

    PingProber *prober = m_wiring->pingProber();
    prober->setTarget(QStringLiteral("127.0.0.1:%1").arg(server.serverPort()));
    prober->setActive(true);
    QTRY_VERIFY(prober->pingMs() >= 0);
    QCOMPARE(queryStats(QStringLiteral("SELECT sum(ping_n) FROM days")), 1);
    QCOMPARE(queryStats(QStringLiteral("SELECT sum(ping_sum) FROM days")), prober->pingMs());
}

void tst_AppWiring::versionReachesTheTray()
{
    startWiring();
    m_service->sendLine({{QStringLiteral("type"), QStringLiteral("ready")},
        {QStringLiteral("version"), QStringLiteral("2.4.1")}});
    QTRY_COMPARE(m_wiring->trayManager()->version(), QStringLiteral("2.4.1"));
    m_service->sendLine({{QStringLiteral("type"), QStringLiteral("pong")},
        {QStringLiteral("version"), QStringLiteral("2.5.0")}});
    QTRY_COMPARE(m_wiring->trayManager()->version(), QStringLiteral("2.5.0"));
}

void tst_AppWiring::trayRequestsReachTheService_data()
{
    QTest::addColumn<bool>("connectRequest");
    QTest::addColumn<bool>("whitelist");
    QTest::addColumn<bool>("games");

    QTest::newRow("connect, both switches on") << true << true << true;
    QTest::newRow("connect, split tunnelling only") << true << true << false;
    QTest::newRow("connect, switches off") << true << false << false;
    QTest::newRow("disconnect") << false << false << false;
}

void tst_AppWiring::trayRequestsReachTheService()
{
    QFETCH(bool, connectRequest);
    QFETCH(bool, whitelist);
    QFETCH(bool, games);

    startWiring();
    AppSettings *settings = m_wiring->appSettings();
    settings->setWhitelist(whitelist);
    settings->setGames(games);
    // A saved protocol must not travel with the tray's request.
    settings->setTransport(QStringLiteral("reality"));

    if (!connectRequest) {
        emit m_wiring->trayManager()->disconnectRequested();
        QVERIFY(m_service->waitForCommand(QStringLiteral("disconnect")));
        return;
    }
    emit m_wiring->trayManager()->connectRequested();
    QVERIFY(m_service->waitForCommand(QStringLiteral("connect")));
    const QJsonObject payload = m_service->received().constLast().value(QStringLiteral("payload")).toObject();
    QCOMPARE(payload.keys(), (QStringList {QStringLiteral("games"), QStringLiteral("whitelist")}));
    QCOMPARE(payload.value(QStringLiteral("whitelist")), QJsonValue(whitelist));
    QCOMPARE(payload.value(QStringLiteral("games")), QJsonValue(games));
}

void tst_AppWiring::windowRequests()
{
    AppConfig config;
    config.socketPath = m_service->socketPath();
    config.statsDbPath = m_dir->filePath(QStringLiteral("stats.db"));
    m_wiring = std::make_unique<AppWiring>(config);
    QLocalServer instanceServer;
    QVERIFY(instanceServer.listen(m_dir->filePath(QStringLiteral("instance"))));
    m_wiring->attachWindow(&m_window, &instanceServer);

    emit m_wiring->trayManager()->showRequested();
    QCOMPARE(m_window.shown, 1);
    emit m_wiring->trayManager()->toggleWindowRequested();
    emit m_wiring->trayManager()->toggleWindowRequested();
    QCOMPARE(m_window.toggled, 2);

    // Each later start is one request, whether or not it writes anything.
    QLocalSocket withRequest;
    withRequest.connectToServer(instanceServer.fullServerName());
    QVERIFY(withRequest.waitForConnected(1000));
    withRequest.write("show");
    QTRY_COMPARE(m_window.shown, 2);
    QLocalSocket silent;
    silent.connectToServer(instanceServer.fullServerName());
    QVERIFY(silent.waitForConnected(1000));
    QTRY_COMPARE(m_window.shown, 3);
    QVERIFY(!instanceServer.hasPendingConnections());
    // The accepted connections are released rather than kept open.
    QTRY_COMPARE(withRequest.state(), QLocalSocket::UnconnectedState);
    QTRY_COMPARE(silent.state(), QLocalSocket::UnconnectedState);
}

void tst_AppWiring::quitHandler_data()
{
    QTest::addColumn<QString>("killSwitchMode");
    QTest::addColumn<bool>("updateApplied");
    QTest::addColumn<bool>("shutdownSent");

    QTest::newRow("kill switch never") << QStringLiteral("never") << false << true;
    QTest::newRow("kill switch on connect") << QStringLiteral("on_connect") << false << false;
    QTest::newRow("kill switch always") << QStringLiteral("always") << false << false;
    QTest::newRow("kill switch Never, other case") << QStringLiteral("Never") << false << false;
    QTest::newRow("never, but an update was applied") << QStringLiteral("never") << true << false;
}

void tst_AppWiring::quitHandler()
{
    QFETCH(QString, killSwitchMode);
    QFETCH(bool, updateApplied);
    QFETCH(bool, shutdownSent);

    startWiring();
    PipeClient *client = m_wiring->pipeClient();
    m_service->sendLine(
        statusEvent(QStringLiteral("disconnected"), {{QStringLiteral("kill_switch_mode"), killSwitchMode}}));
    QTRY_COMPARE(client->killSwitchMode(), killSwitchMode);
    if (updateApplied)
        client->sendApplyUpdate();

    QTimer::singleShot(0, m_wiring->trayManager(), &TrayManager::quitRequested);
    QTimer::singleShot(10000, qApp, [] { QCoreApplication::exit(99); });
    QCOMPARE(QCoreApplication::exec(), 0);

    // A ping behind whatever the quit handler wrote tells when everything has arrived.
    client->sendPing();
    QVERIFY(m_service->waitForCommand(QStringLiteral("ping")));
    QCOMPARE(commandNames(m_service->received()).contains(QStringLiteral("shutdown")), shutdownSent);
}

void tst_AppWiring::restartConfirmedEndsWithZero()
{
    startWiring();
    m_wiring->pipeClient()->sendApplyUpdate();
    QVERIFY(m_service->waitForCommand(QStringLiteral("apply_update")));

    m_service->sendLine({{QStringLiteral("type"), QStringLiteral("updating")}});
    QTimer::singleShot(10000, qApp, [] { QCoreApplication::exit(99); });
    QCOMPARE(QCoreApplication::exec(), 0);
}

void tst_AppWiring::notifierShowsEachStateOnce_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("notifiedKeys");

    // A step is a state, optionally with "@endpoint".
    QTest::newRow("connecting, connected, endpoint change") << QStringList {QStringLiteral("connecting"),
        QStringLiteral("connected@a:1"),
        QStringLiteral("connected@b:2")} << QStringList {QStringLiteral("notifyConnected")};
    QTest::newRow("connected, reconnecting, connected")
        << QStringList {QStringLiteral("connected"), QStringLiteral("reconnecting"),
               QStringLiteral("connected")}
        << QStringList {QStringLiteral("notifyConnected"), QStringLiteral("notifyReconnecting"),
               QStringLiteral("notifyConnected")};
    QTest::newRow("failed after connecting") << QStringList {QStringLiteral("connecting"),
        QStringLiteral("failed")} << QStringList {QStringLiteral("notifyFailed")};
    QTest::newRow("quiet states count as seen")
        << QStringList {QStringLiteral("connected"), QStringLiteral("disconnected"),
               QStringLiteral("connected")}
        << QStringList {QStringLiteral("notifyConnected"), QStringLiteral("notifyConnected")};
    QTest::newRow("unknown state shows nothing") << QStringList {QStringLiteral("paused")} << QStringList {};
}

void tst_AppWiring::notifierShowsEachStateOnce()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, notifiedKeys);

    startWiring();
    PipeClient *client = m_wiring->pipeClient();
    for (const QString &step : std::as_const(steps)) {
        const QString state = step.section(QLatin1Char('@'), 0, 0);
        const QString endpoint = step.section(QLatin1Char('@'), 1);
        m_service->sendLine(statusEvent(state, {{QStringLiteral("endpoint"), endpoint}}));
        QTRY_VERIFY(client->vpnState() == state && client->endpoint() == endpoint);
    }

    const QVariantMap table = m_wiring->appSettings()->t();
    QList<QPair<QString, QString>> expected;
    for (const QString &key : std::as_const(notifiedKeys)) {
        QVERIFY(!table.value(key).toString().isEmpty());
        expected.append({QStringLiteral("VantrelVPN"), table.value(key).toString()});
    }
    QCOMPARE(m_notifications, expected);
}

void tst_AppWiring::notificationTexts_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<QVariantMap>("table");
    QTest::addColumn<QString>("message");

    const QVariantMap table {{QStringLiteral("notifyConnected"), QStringLiteral("up")},
        {QStringLiteral("notifyReconnecting"), QStringLiteral("again")},
        {QStringLiteral("notifyFailed"), QStringLiteral("down")}};
    QTest::newRow("connected") << QStringLiteral("connected") << table << QStringLiteral("up");
    QTest::newRow("reconnecting") << QStringLiteral("reconnecting") << table << QStringLiteral("again");
    QTest::newRow("failed") << QStringLiteral("failed") << table << QStringLiteral("down");
    QTest::newRow("connecting shows nothing") << QStringLiteral("connecting") << table << QString();
    QTest::newRow("state in other case") << QStringLiteral("Connected") << table << QString();
    QTest::newRow("key missing from the table") << QStringLiteral("connected") << QVariantMap {} << QString();
}

void tst_AppWiring::notificationTexts()
{
    QFETCH(QString, state);
    QFETCH(QVariantMap, table);
    QFETCH(QString, message);
    QCOMPARE(StateNotifier::messageFor(state, table), message);
}

// Settings, statistics and runtime files go to a home of the test's own.
int main(int argc, char *argv[])
{
    QTemporaryDir home;
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(QStringLiteral("config"))));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath(QStringLiteral("data"))));
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    tst_AppWiring test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_appwiring.moc"
