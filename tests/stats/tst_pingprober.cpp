#include "PingProber.h"
#include "ProbeEndpoint.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// The probe's socket is the prober's child while it runs (and until the
// event loop deletes it), so right after a call this tells whether the call
// started a probe.
int probesInFlight(const PingProber &prober)
{
    return int(prober.findChildren<QTcpSocket *>().size());
}

} // namespace

class TestPingProber : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void endpointFromTarget_data();
    void endpointFromTarget();
    void probeResults_data();
    void probeResults();
    void targetChanges();
    void targetChangeDuringProbeKeepsProbe();
    void activation_data();
    void activation();
    void timerProbesWhileActive();
    void oneProbeAtATimeAndDeactivation();

private:
    QString target(quint16 port) const { return u"127.0.0.1:%1"_s.arg(port); }
    QString liveTarget() const { return target(m_v4.serverPort()); }

    QTcpServer m_v4;
    QTcpServer m_v6;
    quint16 m_closedPort = 0;
};

void TestPingProber::initTestCase()
{
    QVERIFY(m_v4.listen(QHostAddress::LocalHost, 0));
    m_v6.listen(QHostAddress::LocalHostIPv6, 0);
    // Dropping what arrives keeps the backlog from filling up with probes.
    for (QTcpServer *server : {&m_v4, &m_v6}) {
        connect(server, &QTcpServer::newConnection, server, [server] {
            while (QTcpSocket *socket = server->nextPendingConnection())
                socket->deleteLater();
        });
    }
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
    m_closedPort = closed.serverPort();
}

void TestPingProber::endpointFromTarget_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("connectHost");
    QTest::addColumn<int>("port");

    const QString h = u"vpn.example.net"_s;
    const auto row = [](const char *name, const QString &target, const QString &host, int port) {
        QTest::newRow(name) << target << host << host << port;
    };
    row("address and port", u"198.51.100.7:51820"_s, u"198.51.100.7"_s, 51820);
    row("bare host", h, h, 443);
    row("colon first", u":8080"_s, u":8080"_s, 443);
    row("trailing colon", h + u":"_s, h, 443);
    row("non-numeric port", h + u":http"_s, h, 443);
    row("port above 65535", h + u":65536"_s, h, 443);
    row("highest port", h + u":65535"_s, h, 65535);
    row("port zero", h + u":0"_s, h, 443);
    QTest::newRow("bracketed IPv6") << u"[2001:db8::1]:51820"_s << u"[2001:db8::1]"_s << u"2001:db8::1"_s
                                    << 51820;
}

void TestPingProber::endpointFromTarget()
{
    QFETCH(QString, target);
    QFETCH(QString, host);
    QFETCH(QString, connectHost);
    QFETCH(int, port);

    const ProbeEndpoint endpoint = ProbeEndpoint::fromTarget(target);
    QCOMPARE(endpoint.host, host);
    QCOMPARE(endpoint.connectHost(), connectHost);
    QCOMPARE(int(endpoint.port), port);
}

void TestPingProber::probeResults_data()
{
    QTest::addColumn<QString>("server"); // "v4", "v6" or "closed"
    QTest::addColumn<bool>("reachable");
    QTest::newRow("IPv4 loopback") << u"v4"_s << true;
    QTest::newRow("bracketed IPv6 loopback") << u"v6"_s << true;
    QTest::newRow("refused port") << u"closed"_s << false;
}

// Every probe reports, equal values included.
void TestPingProber::probeResults()
{
    QFETCH(QString, server);
    QFETCH(bool, reachable);
    if (server == u"v6" && !m_v6.isListening())
        QSKIP("no IPv6 loopback on this machine");

    PingProber prober;
    prober.setTarget(server == u"v6" ? u"[::1]:%1"_s.arg(m_v6.serverPort())
                                     : target(server == u"v4" ? m_v4.serverPort() : m_closedPort));
    QSignalSpy ping(&prober, &PingProber::pingChanged);
    for (int probes = 1; probes <= 2; ++probes) {
        prober.probeNow();
        QTRY_COMPARE(ping.count(), probes);
        QVERIFY2((prober.pingMs() >= 0) == reachable, qPrintable(QString::number(prober.pingMs())));
    }
}

void TestPingProber::targetChanges()
{
    PingProber prober;
    QStringList log;
    connect(&prober, &PingProber::pingChanged, this, [&] { log << u"ping %1"_s.arg(prober.pingMs()); });
    connect(&prober, &PingProber::targetChanged, this, [&] { log << u"target "_s + prober.target(); });
    prober.setTarget(liveTarget());
    prober.probeNow();
    QTRY_COMPARE(log.size(), 3);
    QTRY_COMPARE(probesInFlight(prober), 0);
    log.clear();

    prober.setTarget(liveTarget());
    QCOMPARE(log, QStringList());
    prober.setTarget(u"198.51.100.7:51820"_s);
    QCOMPARE(log, (QStringList {u"ping -1"_s, u"target 198.51.100.7:51820"_s}));
    QCOMPARE(probesInFlight(prober), 0); // inactive: no probe until asked
}

void TestPingProber::targetChangeDuringProbeKeepsProbe()
{
    PingProber prober;
    prober.setTarget(liveTarget());
    prober.setActive(true);
    QSignalSpy ping(&prober, &PingProber::pingChanged);
    prober.setTarget(target(m_closedPort));
    QCOMPARE(probesInFlight(prober), 1);
    QCOMPARE(prober.pingMs(), -1);
    // The probe in flight reports for the previous target.
    QVERIFY(ping.wait());
    QVERIFY(prober.pingMs() >= 0);
}

void TestPingProber::activation_data()
{
    QTest::addColumn<bool>("withTarget");
    QTest::newRow("with a target probes at once") << true;
    QTest::newRow("without a target waits for one") << false;
}

void TestPingProber::activation()
{
    QFETCH(bool, withTarget);

    PingProber prober;
    if (withTarget)
        prober.setTarget(liveTarget());
    QSignalSpy active(&prober, &PingProber::activeChanged);
    prober.setActive(true);
    prober.setActive(true);
    QCOMPARE(active.count(), 1);
    QCOMPARE(probesInFlight(prober), withTarget ? 1 : 0);
    if (!withTarget) {
        prober.setTarget(liveTarget());
        QCOMPARE(probesInFlight(prober), 1);
    }
    QTRY_VERIFY(prober.pingMs() >= 0);
}

void TestPingProber::timerProbesWhileActive()
{
    PingProber prober(nullptr, std::chrono::milliseconds(20));
    prober.setTarget(liveTarget());
    QSignalSpy ping(&prober, &PingProber::pingChanged);
    prober.setActive(true);
    QTRY_VERIFY(ping.count() >= 3); // one per probe, equal values included
    prober.setActive(false);
    QTRY_COMPARE(probesInFlight(prober), 0);
    const qsizetype stopped = ping.count();
    prober.setActive(true);
    QTRY_VERIFY(ping.count() >= stopped + 2);
}

void TestPingProber::oneProbeAtATimeAndDeactivation()
{
    PingProber prober;
    prober.setTarget(liveTarget());
    QSignalSpy ping(&prober, &PingProber::pingChanged);
    prober.probeNow();
    prober.probeNow();
    QCOMPARE(probesInFlight(prober), 1);
    QVERIFY(ping.wait());
    // Once the result is in, the next probe starts; deactivating keeps its result.
    prober.setActive(true);
    prober.setActive(false);
    QVERIFY(ping.wait());
    QVERIFY(prober.pingMs() >= 0);
    QCOMPARE(ping.count(), 2);
}

QTEST_GUILESS_MAIN(TestPingProber)
#include "tst_pingprober.moc"
