// The running process's reactions between service objects, driven against a fake service.
#include "AppSettings.h"
#include "AppWiring.h"
#include "ConnectOnStart.h"
#include "FakeService.h"
#include "PingProber.h"
#include "PipeClient.h"
#include "StateAnnouncer.h"
#include "StateNotifier.h"
#include "TrayManager.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

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

QJsonObject statusEvent(const QString &state, QJsonObject members = {})
{
    members.insert(u"type"_s, u"status"_s);
    members.insert(u"status"_s, state);
    return members;
}

// What the client sent to steer the tunnel.
QJsonArray tunnelCommands(const QList<QJsonObject> &received)
{
    QJsonArray commands;
    for (const QJsonObject &command : received) {
        const QString name = command.value(u"cmd"_s).toString();
        if (name == u"connect"_s || name == u"disconnect"_s)
            commands.append(command);
    }
    return commands;
}

// Sends a request as a later start does and returns the answer, read until the instance closes.
QByteArray askInstance(const QLocalServer &server, const QByteArray &request)
{
    QLocalSocket socket;
    socket.connectToServer(server.fullServerName());
    if (!socket.waitForConnected(1000))
        return "(no connection)";
    socket.write(request);
    // An older version closes right after writing.
    if (!request.endsWith('\n'))
        socket.disconnectFromServer();
    QByteArray answer;
    const bool closed = QTest::qWaitFor([&] {
        answer += socket.readAll();
        return socket.state() == QLocalSocket::UnconnectedState;
    });
    return closed ? answer : "(left open) "_ba + answer;
}

} // namespace

class tst_AppWiring : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void firstAttemptWaitsForTheEventLoop();
    void serviceEventsReachStatisticsAndTray();
    void trayRequestsReachTheService();
    void windowRequests();
    void instanceRequests_data();
    void instanceRequests();
    void silentStartBlocksNobody();
    void connectOnStartOnce_data();
    void connectOnStartOnce();
    void quitHandler_data();
    void quitHandler();
    void restartConfirmedEndsWithZero();
    void notifierShowsEachStateOnce_data();
    void notifierShowsEachStateOnce();
    void notificationTexts();
    void announcerSaysEachChangeOnce_data();
    void announcerSaysEachChangeOnce();

private:
    // Runs the constructor and attachWindow() against the fake service and waits for the handshake.
    void startWiring(QLocalServer *instanceServer = nullptr, bool waitForClient = true);
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
    m_service = std::make_unique<FakeService>(m_dir->filePath(u"daemon.sock"_s));
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

void tst_AppWiring::startWiring(QLocalServer *instanceServer, bool waitForClient)
{
    AppConfig config;
    config.socketPath = m_service->socketPath();
    config.tokenPath = m_dir->filePath(u"pipe.token"_s);
    config.statsDbPath = m_dir->filePath(u"stats/stats.db"_s);
    config.desktopDir = m_dir->filePath(u"Desktop"_s);
    config.tray.showMessage = [this](const QString &title, const QString &message, auto, int) {
        m_notifications.append({title, message});
    };
    m_wiring = std::make_unique<AppWiring>(config);
    m_wiring->attachWindow(&m_window, instanceServer);
    if (waitForClient)
        QVERIFY(m_service->waitForClient() && m_service->waitForReceived(1));
}

qlonglong tst_AppWiring::queryStats(const QString &sql)
{
    qlonglong value = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"check"_s);
        db.setDatabaseName(m_dir->filePath(u"stats/stats.db"_s));
        QSqlQuery query(db);
        if (db.open() && query.exec(sql) && query.next())
            value = query.value(0).toLongLong();
    }
    QSqlDatabase::removeDatabase(u"check"_s);
    return value;
}

void tst_AppWiring::firstAttemptWaitsForTheEventLoop()
{
    QElapsedTimer sinceStart;
    sinceStart.start();
    startWiring(nullptr, false);
    // Nothing reaches for the service while start-up runs.
    QCOMPARE(m_wiring->pipeClient()->status(), u"disconnected"_s);

    QVERIFY(m_service->waitForClient());
    QVERIFY2(sinceStart.elapsed() >= 180, qPrintable(QString::number(sinceStart.elapsed())));
    QCOMPARE(m_service->connectionCount(), 1);
}

void tst_AppWiring::serviceEventsReachStatisticsAndTray()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    startWiring();
    m_service->sendLine({{u"type"_s, u"ready"_s}, {u"version"_s, u"2.4.1"_s}});
    QTRY_COMPARE(m_wiring->trayManager()->version(), u"2.4.1"_s);

    // The service names the server while connecting; the session row opens on "connected".
    m_service->sendLine(statusEvent(
        u"connecting"_s, {{u"endpoint"_s, u"203.0.113.5:443"_s}, {u"transport"_s, u"reality"_s}}));
    QTRY_COMPARE(m_wiring->pipeClient()->endpoint(), u"203.0.113.5:443"_s);
    QCOMPARE(queryStats(u"SELECT count(*) FROM sessions"_s), 0);
    m_service->sendLine(statusEvent(u"connected"_s, {{u"endpoint"_s, u"203.0.113.5:443"_s}}));
    QTRY_COMPARE(queryStats(u"SELECT count(*) FROM sessions WHERE endpoint = '203.0.113.5:443' "
                            "AND transport = 'reality' AND ended_at IS NULL"_s),
        1);

    // Fractional counters arrive truncated, not rounded.
    m_service->sendLine(statusEvent(u"connected"_s,
        {{u"up"_s, 1536.9}, {u"down"_s, 2047.99}, {u"connected_since"_s, u"2026-12-08T10:00:00Z"_s}}));
    QTRY_COMPARE(queryStats(u"SELECT up FROM sessions"_s), 1536);
    QCOMPARE(queryStats(u"SELECT down FROM sessions"_s), 2047);

    PingProber *prober = m_wiring->pingProber();
    prober->setTarget(u"127.0.0.1:%1"_s.arg(server.serverPort()));
    prober->setActive(true);
    QTRY_VERIFY(prober->pingMs() >= 0);
    QCOMPARE(queryStats(u"SELECT sum(ping_n) FROM days"_s), 1);
    QCOMPARE(queryStats(u"SELECT sum(ping_sum) FROM days"_s), prober->pingMs());

    m_service->sendLine(statusEvent(u"disconnected"_s));
    QTRY_COMPARE(queryStats(u"SELECT count(*) FROM sessions WHERE ended_at IS NOT NULL"_s), 1);
}

void tst_AppWiring::trayRequestsReachTheService()
{
    startWiring();
    // Unequal switches, so that swapped members show; a saved protocol must not travel with the request.
    m_wiring->appSettings()->setWhitelist(true);
    m_wiring->appSettings()->setGames(false);
    m_wiring->appSettings()->setTransport(u"reality"_s);

    emit m_wiring->trayManager()->connectRequested();
    QVERIFY(m_service->waitForCommand(u"connect"_s));
    QCOMPARE(m_service->received().constLast().value(u"payload"_s).toObject(),
        (QJsonObject {{u"games"_s, false}, {u"whitelist"_s, true}}));
    emit m_wiring->trayManager()->disconnectRequested();
    QVERIFY(m_service->waitForCommand(u"disconnect"_s));
}

void tst_AppWiring::windowRequests()
{
    QLocalServer instanceServer;
    QVERIFY(instanceServer.listen(m_dir->filePath(u"instance"_s)));
    startWiring(&instanceServer, false);

    emit m_wiring->trayManager()->showRequested();
    emit m_wiring->trayManager()->toggleWindowRequested();
    emit m_wiring->trayManager()->toggleWindowRequested();
    QCOMPARE(m_window.shown, 1);
    QCOMPARE(m_window.toggled, 2);
}

void tst_AppWiring::instanceRequests_data()
{
    QTest::addColumn<QJsonObject>("status"); // the service's last report
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QJsonArray>("sent"); // connect and disconnect commands that reached the service
    QTest::addColumn<int>("shown");

    const auto signedIn = [](const QString &state) {
        return statusEvent(state,
            {{u"authenticated"_s, true}, {u"endpoint"_s, u"203.0.113.5:443"_s},
                {u"transport"_s, u"reality"_s}});
    };
    const QJsonObject signedOut = statusEvent(u"disconnected"_s, {{u"authenticated"_s, false}});
    const QJsonArray disconnect {QJsonObject {{u"cmd"_s, u"disconnect"_s}}};
    // With the saved switches and protocol, as the dial sends it.
    const QJsonArray connect {QJsonObject {{u"cmd"_s, u"connect"_s},
        {u"payload"_s,
            QJsonObject {{u"games"_s, false}, {u"transport"_s, u"reality"_s}, {u"whitelist"_s, true}}}}};

    QTest::newRow("status, connected") << signedIn(u"connected"_s) << "status\n"_ba
                                       << "done connected 203.0.113.5:443 reality\n"_ba << QJsonArray() << 0;
    QTest::newRow("status, signed out") << signedOut << "status\n"_ba
                                        << "not-done signed-out\n"_ba << QJsonArray() << 0;
    QTest::newRow("toggle, disconnected: connects") << signedIn(u"disconnected"_s) << "toggle\n"_ba
                                                    << "done disconnected\n"_ba << connect << 0;
    QTest::newRow("toggle, failed: connects") << signedIn(u"failed"_s) << "toggle\n"_ba
                                              << "done failed\n"_ba << connect << 0;
    QTest::newRow("toggle, connecting: cancels") << signedIn(u"connecting"_s) << "toggle\n"_ba
                                                 << "done connecting\n"_ba << disconnect << 0;
    QTest::newRow("toggle, signed out: nothing") << signedOut << "toggle\n"_ba
                                                 << "not-done signed-out\n"_ba << QJsonArray() << 0;
    QTest::newRow("connect, connected: nothing more")
        << signedIn(u"connected"_s) << "connect\n"_ba
        << "done connected 203.0.113.5:443 reality\n"_ba << QJsonArray() << 0;
    QTest::newRow("disconnect, signed out: nothing to do") << signedOut << "disconnect\n"_ba
                                                           << "done signed-out\n"_ba << QJsonArray() << 0;
    QTest::newRow("disconnect, reconnecting") << signedIn(u"reconnecting"_s) << "disconnect\n"_ba
                                              << "done reconnecting\n"_ba << disconnect << 0;
    QTest::newRow("show") << signedOut << "show\n"_ba
                          << "done signed-out\n"_ba << QJsonArray() << 1;
    QTest::newRow("an older start: show, closed without a line feed")
        << signedOut << "show"_ba << QByteArray() << QJsonArray() << 1;
    QTest::newRow("unknown request: show")
        << signedIn(u"connected"_s) << "frobnicate\n"_ba
        << "done connected 203.0.113.5:443 reality\n"_ba << QJsonArray() << 1;
    QTest::newRow("endless request: show") << signedOut << QByteArray(100000, 't') + '\n'
                                           << "done signed-out\n"_ba << QJsonArray() << 1;
}

void tst_AppWiring::instanceRequests()
{
    QFETCH(QJsonObject, status);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, answer);
    QFETCH(QJsonArray, sent);
    QFETCH(int, shown);

    QLocalServer instanceServer;
    QVERIFY(instanceServer.listen(m_dir->filePath(u"instance"_s)));
    startWiring(&instanceServer);
    AppSettings *settings = m_wiring->appSettings();
    settings->setWhitelist(true);
    settings->setGames(false);
    settings->setTransport(u"reality"_s);
    PipeClient *client = m_wiring->pipeClient();
    m_service->sendLine(status);
    QTRY_COMPARE(client->vpnState(), status.value(u"status"_s).toString());
    QTRY_COMPARE(client->authenticated(), status.value(u"authenticated"_s).toBool());

    QCOMPARE(askInstance(instanceServer, request), answer);
    QTRY_COMPARE(m_window.shown, shown);
    // A ping behind whatever the request sent tells when everything has arrived.
    client->sendPing();
    QVERIFY(m_service->waitForCommand(u"ping"_s));
    QCOMPARE(tunnelCommands(m_service->received()), sent);
}

// A start that connects and says nothing holds up neither the requests behind it nor the instance.
void tst_AppWiring::silentStartBlocksNobody()
{
    QLocalServer instanceServer;
    QVERIFY(instanceServer.listen(m_dir->filePath(u"instance"_s)));
    startWiring(&instanceServer);
    QLocalSocket silent;
    silent.connectToServer(instanceServer.fullServerName());
    QVERIFY(silent.waitForConnected(1000));

    QCOMPARE(askInstance(instanceServer, "status\n"), "not-done signed-out\n"_ba);
    QCOMPARE(m_window.shown, 0);
    // Given up on after a while, the silent one counts as a request to show the window.
    QTRY_COMPARE(m_window.shown, 1);
    QTRY_COMPARE(silent.state(), QLocalSocket::UnconnectedState);
}

void tst_AppWiring::connectOnStartOnce_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<int>("connects");

    // A step is the state the service reports for a signed-in user; "signed-out"; "error", down with an
    // error; or "drop", the link lost and back.
    QTest::newRow("down: once, not after a disconnect or a lost link")
        << QStringList {u"disconnected"_s, u"connected"_s, u"disconnected"_s, u"drop"_s, u"disconnected"_s}
        << 1;
    QTest::newRow("signed out at first: at sign-in")
        << QStringList {u"signed-out"_s, u"disconnected"_s, u"drop"_s, u"disconnected"_s} << 1;
    QTest::newRow("up already: not after the user disconnects")
        << QStringList {u"connected"_s, u"disconnected"_s} << 0;
    QTest::newRow("failed: not once the failure is cleared")
        << QStringList {u"failed"_s, u"disconnected"_s} << 0;
    QTest::newRow("down with an error") << QStringList {u"error"_s, u"disconnected"_s} << 0;
}

void tst_AppWiring::connectOnStartOnce()
{
    QFETCH(QStringList, steps);
    QFETCH(int, connects);

    startWiring();
    m_wiring->connectOnStart()->request();
    PipeClient *client = m_wiring->pipeClient();
    const auto pings = [this] {
        const QList<QJsonObject> received = m_service->received();
        return std::count_if(received.cbegin(), received.cend(),
            [](const QJsonObject &command) { return command.value(u"cmd"_s) == u"ping"_s; });
    };
    for (const QString &step : std::as_const(steps)) {
        if (step == u"drop"_s) {
            // Whatever the client has written reaches the service before the link goes.
            const auto before = pings();
            client->sendPing();
            QTRY_COMPARE(pings(), before + 1);
            m_service->dropClient();
            QVERIFY(m_service->waitForClient());
            // A link lost before "ready" counts as up again only once the service says it is.
            m_service->sendLine({{u"type"_s, u"ready"_s}});
            QTRY_COMPARE(client->linkState(), QString(LinkState::up));
            continue;
        }
        const bool signedIn = step != u"signed-out"_s;
        const QString state = signedIn && step != u"error"_s ? step : u"disconnected"_s;
        const QString error = step == u"error"_s ? u"no route to the server"_s : QString();
        m_service->sendLine(statusEvent(state, {{u"authenticated"_s, signedIn}, {u"error"_s, error}}));
        QTRY_VERIFY(client->authenticated() == signedIn && client->vpnState() == state
            && client->errorText() == error);
        // The decision is a queued call: it is made before the next step.
        QCoreApplication::sendPostedEvents();
    }
    client->sendPing();
    QVERIFY(m_service->waitForCommand(u"ping"_s));
    QCOMPARE(tunnelCommands(m_service->received()).size(), connects);
}

void tst_AppWiring::quitHandler_data()
{
    QTest::addColumn<QString>("killSwitchMode");
    QTest::addColumn<bool>("updateApplied");
    QTest::addColumn<bool>("shutdownSent");

    QTest::newRow("kill switch never") << u"never"_s << false << true;
    QTest::newRow("kill switch on connect") << u"on_connect"_s << false << false;
    QTest::newRow("kill switch Never, other case") << u"Never"_s << false << false;
    QTest::newRow("never, but an update was applied") << u"never"_s << true << false;
}

void tst_AppWiring::quitHandler()
{
    QFETCH(QString, killSwitchMode);
    QFETCH(bool, updateApplied);
    QFETCH(bool, shutdownSent);

    startWiring();
    PipeClient *client = m_wiring->pipeClient();
    m_service->sendLine(statusEvent(u"disconnected"_s, {{u"kill_switch_mode"_s, killSwitchMode}}));
    QTRY_COMPARE(client->killSwitchMode(), killSwitchMode);
    if (updateApplied)
        client->sendApplyUpdate();

    QTimer::singleShot(0, m_wiring->trayManager(), &TrayManager::quitRequested);
    QTimer::singleShot(10000, qApp, [] { QCoreApplication::exit(99); });
    QCOMPARE(QCoreApplication::exec(), 0);

    // A ping behind whatever the quit handler wrote tells when everything has arrived.
    client->sendPing();
    QVERIFY(m_service->waitForCommand(u"ping"_s));
    QCOMPARE(m_service->waitForCommand(u"shutdown"_s, 0), shutdownSent);
}

void tst_AppWiring::restartConfirmedEndsWithZero()
{
    startWiring();
    m_wiring->pipeClient()->sendApplyUpdate();
    QVERIFY(m_service->waitForCommand(u"apply_update"_s));

    m_service->sendLine({{u"type"_s, u"updating"_s}});
    QTimer::singleShot(10000, qApp, [] { QCoreApplication::exit(99); });
    QCOMPARE(QCoreApplication::exec(), 0);
}

void tst_AppWiring::notifierShowsEachStateOnce_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("notifiedKeys");

    // A step is a state, optionally with "@endpoint".
    QTest::newRow("connecting, connected, endpoint change") << QStringList {u"connecting"_s,
        u"connected@a:1"_s, u"connected@b:2"_s} << QStringList {u"notifyConnected"_s};
    QTest::newRow("connected, reconnecting, connected") << QStringList {u"connected"_s, u"reconnecting"_s,
        u"connected"_s} << QStringList {u"notifyConnected"_s, u"notifyReconnecting"_s, u"notifyConnected"_s};
    QTest::newRow("failed after connecting")
        << QStringList {u"connecting"_s, u"failed"_s} << QStringList {u"notifyFailed"_s};
    QTest::newRow("quiet states count as seen") << QStringList {u"connected"_s, u"disconnected"_s,
        u"connected"_s} << QStringList {u"notifyConnected"_s, u"notifyConnected"_s};
}

void tst_AppWiring::notifierShowsEachStateOnce()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, notifiedKeys);

    startWiring();
    PipeClient *client = m_wiring->pipeClient();
    for (const QString &step : std::as_const(steps)) {
        const QString state = step.section(u'@', 0, 0);
        const QString endpoint = step.section(u'@', 1);
        m_service->sendLine(statusEvent(state, {{u"endpoint"_s, endpoint}}));
        QTRY_VERIFY(client->vpnState() == state && client->endpoint() == endpoint);
    }

    const QVariantMap table = m_wiring->appSettings()->t();
    QList<QPair<QString, QString>> expected;
    for (const QString &key : std::as_const(notifiedKeys))
        expected.append({u"VantrelVPN"_s, table.value(key).toString()});
    QCOMPARE(m_notifications, expected);
}

void tst_AppWiring::notificationTexts()
{
    const QVariantMap table {{u"notifyConnected"_s, u"up"_s}, {u"notifyFailed"_s, u"down"_s}};
    QCOMPARE(StateNotifier::messageFor(u"failed"_s, table), u"down"_s);
    QCOMPARE(StateNotifier::messageFor(u"reconnecting"_s, table), QString()); // key missing from the table
    QCOMPARE(StateNotifier::messageFor(u"connecting"_s, table), QString());
    QCOMPARE(StateNotifier::messageFor(u"Connected"_s, table), QString());
}

void tst_AppWiring::announcerSaysEachChangeOnce_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QList<QJsonObject>>("events");
    QTest::addColumn<QStringList>("said");

    // An event {"drop": true} closes the link and waits for the client to come back. Texts that only
    // name the tunnel's state, which the focused dial may say itself, are marked "state: ".
    const QJsonObject drop {{u"drop"_s, true}};
    const QJsonObject tls {{u"transport"_s, u"tls"_s}};
    QTest::newRow("tunnel states once each; polls say nothing")
        << u"en"_s
        << QList<QJsonObject> {statusEvent(u"connecting"_s), statusEvent(u"connecting"_s),
               statusEvent(u"connected"_s, tls), statusEvent(u"connected"_s, tls),
               statusEvent(u"reconnecting"_s, {{u"attempt"_s, 1}}),
               statusEvent(u"reconnecting"_s, {{u"attempt"_s, 2}}), statusEvent(u"connected"_s),
               statusEvent(u"disconnected"_s)}
        << QStringList {u"state: Connecting…"_s, u"state: Protected · WireGuard"_s,
               u"state: Reconnecting, attempt 1"_s, u"state: Reconnecting, attempt 2"_s,
               u"state: Protected · WireGuard"_s, u"state: Not connected"_s};
    QTest::newRow("a failure with its reason, or the default one")
        << u"en"_s
        << QList<QJsonObject> {statusEvent(u"failed"_s, {{u"error"_s, u"handshake timed out"_s}}),
               statusEvent(u"connecting"_s), statusEvent(u"failed"_s)}
        << QStringList {u"Connection failed: handshake timed out"_s, u"state: Connecting…"_s,
               u"Connection failed: All transports were exhausted. Check your internet connection and try "
               u"again."_s};
    QTest::newRow("in Russian") << u"ru"_s
                                << QList<QJsonObject> {statusEvent(
                                                           u"connected"_s, {{u"transport"_s, u"reality"_s}}),
                                       statusEvent(u"reconnecting"_s, {{u"attempt"_s, 3}}),
                                       statusEvent(u"failed"_s, {{u"error"_s, u"timeout"_s}})}
                                << QStringList {u"state: Защищено · Reality"_s,
                                       u"state: Переподключение, попытка 3"_s,
                                       u"Сбой подключения: timeout"_s};
    QTest::newRow("sign-in, sign-out, each offer once")
        << u"en"_s
        << QList<QJsonObject> {{{u"type"_s, u"login_complete"_s}},
               {{u"type"_s, u"update_available"_s}, {u"update_version"_s, u"2.0"_s}},
               {{u"type"_s, u"update_available"_s}, {u"update_version"_s, u"2.0"_s}},
               {{u"type"_s, u"update_available"_s}, {u"update_version"_s, u"2.1"_s}},
               {{u"type"_s, u"logged_out"_s}}}
        << QStringList {
               u"Signed in"_s, u"Update available: 2.0"_s, u"Update available: 2.1"_s, u"Signed out"_s};
    QTest::newRow("link lost and back; a tunnel up across it is not news")
        << u"en"_s
        << QList<QJsonObject> {statusEvent(u"connected"_s, tls), drop, statusEvent(u"connected"_s, tls),
               statusEvent(u"disconnected"_s)}
        << QStringList {u"state: Protected · WireGuard"_s, u"Lost the connection to the VantrelVPN service"_s,
               u"Connected to the VantrelVPN service"_s, u"state: Not connected"_s};
}

void tst_AppWiring::announcerSaysEachChangeOnce()
{
    QFETCH(QString, language);
    QFETCH(QList<QJsonObject>, events);
    QFETCH(QStringList, said);

    startWiring();
    m_wiring->appSettings()->setLanguage(language);
    QSignalSpy spoken(m_wiring->stateAnnouncer(), &StateAnnouncer::announce);
    // Each event is followed by a pong, whose arrival tells that the client has handled the event.
    QSignalSpy handled(m_wiring->pipeClient(), &PipeClient::versionReceived);
    for (const QJsonObject &event : std::as_const(events)) {
        if (event.contains(u"drop"_s)) {
            m_service->dropClient();
            QVERIFY(m_service->waitForClient());
            m_service->sendLine({{u"type"_s, u"ready"_s}});
            QTRY_COMPARE(m_wiring->pipeClient()->linkState(), u"up"_s);
            continue;
        }
        const int count = handled.size();
        m_service->sendLines({event, {{u"type"_s, u"pong"_s}, {u"version"_s, u"1.0"_s}}});
        QTRY_COMPARE(handled.size(), count + 1);
    }
    QTRY_VERIFY(spoken.size() >= said.size());
    QStringList heard;
    for (const QList<QVariant> &arguments : std::as_const(spoken))
        heard.append((arguments.at(1).toBool() ? u"state: "_s : QString()) + arguments.at(0).toString());
    QCOMPARE(heard, said);
}

// Settings, statistics and runtime files go to a home of the test's own.
int main(int argc, char *argv[])
{
    QTemporaryDir home;
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(u"config"_s)));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath(u"data"_s)));
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    tst_AppWiring test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_appwiring.moc"
