// The simulated service, driven by the real client the way the app drives it. Its diagnostics and
// update flows are exercised through the app in the end-to-end tests.

#include "PipeClient.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestSimService : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }
    void cleanup();

    void handshakeThenShutdown();
    void wrongTokenIsTurnedAway();
    void tunnelFailsConnectsAndReconnects();
    void signInThroughThePage_data();
    void signInThroughThePage();

private:
    // Starts the service and a client of it, and waits for the client to be told "ready".
    std::unique_ptr<PipeClient> start(
        const QStringList &options = {}, const QString &token = u"pipe.token"_s);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QProcess> m_service;
};

void TestSimService::cleanup()
{
    if (m_service) {
        m_service->terminate();
        m_service->waitForFinished(5000);
        m_service.reset();
    }
    m_dir.reset();
}

std::unique_ptr<PipeClient> TestSimService::start(const QStringList &options, const QString &token)
{
    m_service = std::make_unique<QProcess>();
    m_service->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_service->start(QStringLiteral(SIMSERVICE_PATH), QStringList {u"--dir"_s, m_dir->path()} + options);
    const QString socket = m_dir->filePath(u"daemon.sock"_s);
    if (!m_service->waitForStarted() || !QTest::qWaitFor([&] { return QFile::exists(socket); }))
        return nullptr;
    auto client = std::make_unique<PipeClient>(
        nullptr, socket, m_dir->filePath(token), m_dir->filePath(u"desktop"_s));
    client->connectToPipe();
    if (token == u"pipe.token" && !QTest::qWaitFor([&] { return client->status().startsWith(u"ready"_s); }))
        return nullptr;
    return client;
}

void TestSimService::handshakeThenShutdown()
{
    auto client = start({u"--service-version"_s, u"7.1.0"_s});
    QVERIFY(client);
    QCOMPARE(client->status(), u"ready \u2014 daemon v7.1.0"_s);
    // The client asks for "status" after "ready"; the answer says who is signed in.
    QTRY_COMPARE(client->killSwitchMode(), u"never"_s);
    QCOMPARE(client->authenticated(), false);

    QSignalSpy versions(client.get(), &PipeClient::versionReceived);
    client->sendShutdown();
    QTRY_COMPARE(client->status(), u"disconnected"_s);
    // A requested shutdown is not followed by a reconnection.
    QVERIFY(!versions.wait(1500));
}

void TestSimService::wrongTokenIsTurnedAway()
{
    QFile file(m_dir->filePath(u"bad.token"_s));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("not-the-token\n");
    file.close();
    auto client = start({}, u"bad.token"_s);
    QVERIFY(client);
    QSignalSpy versions(client.get(), &PipeClient::versionReceived);
    QTRY_COMPARE(client->status(), u"disconnected"_s);
    QVERIFY(!versions.wait(1000));
}

void TestSimService::tunnelFailsConnectsAndReconnects()
{
    auto client = start({u"--signed-in"_s});
    QVERIFY(client);
    QTRY_VERIFY(client->authenticated());
    m_service->write("fail-next-connect server unreachable\n");
    client->sendConnect();
    QTRY_COMPARE_WITH_TIMEOUT(client->vpnState(), u"failed"_s, 5000);
    QCOMPARE(client->errorText(), u"server unreachable"_s);

    client->sendConnect(true, false, u"reality"_s);
    QTRY_COMPARE_WITH_TIMEOUT(client->vpnState(), u"connected"_s, 5000);
    QCOMPARE(client->transport(), u"reality"_s);
    QVERIFY(client->endpoint().startsWith(u"127.0.0.1:"_s));
    QVERIFY(!client->vpnIp().isEmpty() && !client->connectedSince().isEmpty());
    // The status poll brings growing counters and therefore speeds.
    QTRY_VERIFY_WITH_TIMEOUT(client->down() > 0 && client->downSpeed() > 0, 8000);
    const double down = client->down();
    QTRY_VERIFY_WITH_TIMEOUT(client->down() > down, 5000);

    m_service->write("reconnecting 3\n");
    QTRY_COMPARE(client->vpnState(), u"reconnecting"_s);
    QCOMPARE(client->attempt(), 3);
    QTRY_COMPARE_WITH_TIMEOUT(client->vpnState(), u"connected"_s, 6000);
    client->sendDisconnect();
    QTRY_COMPARE(client->vpnState(), u"disconnected"_s);
    QCOMPARE(client->downSpeed(), 0.0);
}

void TestSimService::signInThroughThePage_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("signedIn");
    QTest::newRow("confirm") << u"confirm"_s << true;
    QTest::newRow("deny") << u"deny"_s << false;
}

void TestSimService::signInThroughThePage()
{
    QFETCH(QString, button);
    QFETCH(bool, signedIn);
    auto client = start();
    QVERIFY(client);
    QSignalSpy opened(client.get(), &PipeClient::browserOpened);
    QSignalSpy complete(client.get(), &PipeClient::loginComplete);
    QSignalSpy failed(client.get(), &PipeClient::loginFailed);
    client->sendLoginStart();
    QVERIFY(opened.wait());
    const QUrl page(opened.first().first().toString());
    QCOMPARE(page.host(), u"127.0.0.1"_s);
    QVERIFY(!opened.first().at(1).toString().isEmpty());

    QNetworkAccessManager network;
    std::unique_ptr<QNetworkReply> get(network.get(QNetworkRequest(page)));
    QTRY_VERIFY(get->isFinished());
    const QByteArray html = get->readAll();
    QVERIFY(html.contains("Confirm") && html.contains("Deny"));

    std::unique_ptr<QNetworkReply> post(
        network.post(QNetworkRequest(QUrl(page.toString() + u'/' + button)), QByteArray()));
    QTRY_VERIFY(post->isFinished());
    QTRY_COMPARE(complete.count() + failed.count(), 1);
    QCOMPARE(complete.count(), signedIn ? 1 : 0);
    QTRY_COMPARE(client->authenticated(), signedIn);
}

QTEST_GUILESS_MAIN(TestSimService)
#include "tst_simservice.moc"
