// The simulated service, driven by the real client the way the app drives it.

#include "PipeClient.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TestSimService : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void handshakeAnsweredWithReadyAndStatus();
    void wrongTokenIsTurnedAway();
    void connectBringsTheTunnelUpWithGrowingTraffic();
    void injectedFailureAndReconnecting();
    void signInThroughThePage_data();
    void signInThroughThePage();
    void diagnosticsArchiveIsReadable();
    void updateFlowEndsInRestartConfirmation();
    void shutdownClosesTheConnection();

private:
    void startService(const QStringList &extra = {});
    std::unique_ptr<PipeClient> makeClient(const QString &tokenPath = {});
    void control(const QByteArray &line);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QProcess> m_service;
};

void TestSimService::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestSimService::cleanup()
{
    if (m_service) {
        m_service->terminate();
        m_service->waitForFinished(5000);
        m_service.reset();
    }
    m_dir.reset();
}

void TestSimService::startService(const QStringList &extra)
{
    m_service = std::make_unique<QProcess>();
    m_service->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_service->start(
        QStringLiteral(SIMSERVICE_PATH), QStringList {QStringLiteral("--dir"), m_dir->path()} + extra);
    QVERIFY(m_service->waitForStarted());
    QTRY_VERIFY(QFile::exists(m_dir->filePath(QStringLiteral("daemon.sock"))));
}

std::unique_ptr<PipeClient> TestSimService::makeClient(const QString &tokenPath)
{
    auto client = std::make_unique<PipeClient>(nullptr, m_dir->filePath(QStringLiteral("daemon.sock")),
        tokenPath.isEmpty() ? m_dir->filePath(QStringLiteral("pipe.token")) : tokenPath,
        m_dir->filePath(QStringLiteral("desktop")));
    client->connectToPipe();
    return client;
}

void TestSimService::control(const QByteArray &line)
{
    m_service->write(line + '\n');
}

void TestSimService::handshakeAnsweredWithReadyAndStatus()
{
    startService({QStringLiteral("--service-version"), QStringLiteral("7.1.0")});
    auto client = makeClient();
    QSignalSpy versions(client.get(), &PipeClient::versionReceived);
    QVERIFY(versions.wait());
    QCOMPARE(versions.first().first().toString(), QStringLiteral("7.1.0"));
    // The client asks for "status" after "ready"; the answer says who is signed in.
    QTRY_COMPARE(client->killSwitchMode(), QStringLiteral("never"));
    QCOMPARE(client->authenticated(), false);
}

void TestSimService::wrongTokenIsTurnedAway()
{
    startService();
    const QString badToken = m_dir->filePath(QStringLiteral("bad.token"));
    QFile file(badToken);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("not-the-token\n");
    file.close();
    auto client = makeClient(badToken);
    QSignalSpy versions(client.get(), &PipeClient::versionReceived);
    QTRY_COMPARE(client->status(), QStringLiteral("disconnected"));
    QVERIFY(!versions.wait(1000));
}

void TestSimService::connectBringsTheTunnelUpWithGrowingTraffic()
{
    startService({QStringLiteral("--signed-in")});
    auto client = makeClient();
    QTRY_VERIFY(client->authenticated());
    client->sendConnect(true, false, QStringLiteral("reality"));
    QTRY_COMPARE_WITH_TIMEOUT(client->vpnState(), QStringLiteral("connected"), 5000);
    QCOMPARE(client->transport(), QStringLiteral("reality"));
    QVERIFY(client->endpoint().startsWith(QLatin1String("127.0.0.1:")));
    QVERIFY(!client->vpnIp().isEmpty());
    QVERIFY(!client->connectedSince().isEmpty());
    // The status poll brings growing counters and therefore speeds.
    QTRY_VERIFY_WITH_TIMEOUT(client->down() > 0 && client->downSpeed() > 0, 8000);
    const double down = client->down();
    QTRY_VERIFY_WITH_TIMEOUT(client->down() > down, 5000);

    client->sendDisconnect();
    QTRY_COMPARE(client->vpnState(), QStringLiteral("disconnected"));
    QCOMPARE(client->downSpeed(), 0.0);
}

void TestSimService::injectedFailureAndReconnecting()
{
    startService({QStringLiteral("--signed-in")});
    auto client = makeClient();
    QTRY_VERIFY(client->authenticated());

    control("fail-next-connect server unreachable");
    client->sendConnect();
    QTRY_COMPARE_WITH_TIMEOUT(client->vpnState(), QStringLiteral("failed"), 5000);
    QCOMPARE(client->errorText(), QStringLiteral("server unreachable"));

    client->sendConnect();
    QTRY_COMPARE_WITH_TIMEOUT(client->vpnState(), QStringLiteral("connected"), 5000);
    QCOMPARE(client->transport(), QStringLiteral("tls"));
    control("reconnecting 3");
    QTRY_COMPARE(client->vpnState(), QStringLiteral("reconnecting"));
    QCOMPARE(client->attempt(), 3);
    QTRY_COMPARE_WITH_TIMEOUT(client->vpnState(), QStringLiteral("connected"), 6000);
}

void TestSimService::signInThroughThePage_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("signedIn");
    QTest::newRow("confirm") << QStringLiteral("confirm") << true;
    QTest::newRow("deny") << QStringLiteral("deny") << false;
}

void TestSimService::signInThroughThePage()
{
    QFETCH(QString, button);
    QFETCH(bool, signedIn);
    startService();
    auto client = makeClient();
    QSignalSpy opened(client.get(), &PipeClient::browserOpened);
    QSignalSpy complete(client.get(), &PipeClient::loginComplete);
    QSignalSpy failed(client.get(), &PipeClient::loginFailed);
    QTRY_VERIFY(client->status().startsWith(QLatin1String("ready")));
    client->sendLoginStart();
    QVERIFY(opened.wait());
    const QUrl page(opened.first().first().toString());
    QCOMPARE(page.host(), QStringLiteral("127.0.0.1"));
    QVERIFY(!opened.first().at(1).toString().isEmpty());

    QNetworkAccessManager network;
    std::unique_ptr<QNetworkReply> get(network.get(QNetworkRequest(page)));
    QTRY_VERIFY(get->isFinished());
    const QByteArray html = get->readAll();
    QVERIFY(html.contains("Confirm") && html.contains("Deny"));

    std::unique_ptr<QNetworkReply> post(
        network.post(QNetworkRequest(QUrl(page.toString() + QLatin1Char('/') + button)), QByteArray()));
    QTRY_VERIFY(post->isFinished());
    QTRY_COMPARE(complete.count() + failed.count(), 1);
    QCOMPARE(complete.count(), signedIn ? 1 : 0);
    QTRY_COMPARE(client->authenticated(), signedIn);
}

void TestSimService::diagnosticsArchiveIsReadable()
{
    startService();
    auto client = makeClient();
    QTRY_VERIFY(client->status().startsWith(QLatin1String("ready")));
    QVERIFY(QDir().mkpath(m_dir->filePath(QStringLiteral("desktop"))));
    QSignalSpy ready(client.get(), &PipeClient::diagReady);
    client->sendGetDiag();
    QVERIFY(ready.wait(10000));
    const QString copy = ready.first().first().toString();
    QVERIFY(copy.startsWith(m_dir->filePath(QStringLiteral("desktop"))));
    QVERIFY(copy.endsWith(QLatin1String(".zip")));
    QProcess unzip;
    unzip.start(QStringLiteral("unzip"), {QStringLiteral("-t"), copy});
    QVERIFY(unzip.waitForFinished());
    QCOMPARE(unzip.exitCode(), 0);
}

void TestSimService::updateFlowEndsInRestartConfirmation()
{
    startService({QStringLiteral("--offer-update"), QStringLiteral("3.0.0")});
    auto client = makeClient();
    QTRY_VERIFY(client->updateAvailable());
    QCOMPARE(client->updateVersion(), QStringLiteral("3.0.0"));
    QSignalSpy progress(client.get(), &PipeClient::updating);
    client->sendInstallUpdate();
    QTRY_VERIFY_WITH_TIMEOUT(client->updateReady(), 10000);
    QVERIFY(progress.count() >= 10);
    QCOMPARE(client->updateProgress(), 100);

    QSignalSpy restart(client.get(), &PipeClient::restartConfirmed);
    client->sendApplyUpdate();
    QVERIFY(restart.wait());
}

void TestSimService::shutdownClosesTheConnection()
{
    startService();
    auto client = makeClient();
    QTRY_VERIFY(client->status().startsWith(QLatin1String("ready")));
    QSignalSpy versions(client.get(), &PipeClient::versionReceived);
    client->sendShutdown();
    QTRY_COMPARE(client->status(), QStringLiteral("disconnected"));
    // A requested shutdown is not followed by a reconnection.
    QVERIFY(!versions.wait(1500));
}

QTEST_GUILESS_MAIN(TestSimService)
#include "tst_simservice.moc"
