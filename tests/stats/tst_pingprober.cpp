#include "PingProber.h"
#include "ProbeEndpoint.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// Accepts and drops every connection, like a server that never gets a byte.
class SinkServer : public QTcpServer
{
public:
    SinkServer()
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection())
                socket->deleteLater();
        });
    }
};

// The prober's socket is its child exactly while a probe runs (until the
// event loop deletes a finished one), so right after a call it tells
// whether that call started a probe.
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
    void measuresConnectTime_data();
    void measuresConnectTime();
    void refusedPortFailsEveryTime();
    void targetChangeResetsThenAnnounces();
    void sameTargetIsSilent();
    void targetChangeDuringProbeKeepsProbe();
    void activation_data();
    void activation();
    void timerProbesRepeatedlyWhileActive();
    void oneProbeAtATime();
    void deactivationKeepsInFlightResult();
    void destructionWithProbeInFlight();

private:
    QString v4Target() const { return u"127.0.0.1:%1"_s.arg(m_v4.serverPort()); }

    SinkServer m_v4;
    SinkServer m_v6;
    bool m_hasV6 = false;
    quint16 m_closedPort = 0;
};

void TestPingProber::initTestCase()
{
    QVERIFY(m_v4.listen(QHostAddress::LocalHost, 0));
    m_hasV6 = m_v6.listen(QHostAddress::LocalHostIPv6, 0);

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

    QTest::newRow("address and port")
        << u"198.51.100.7:51820"_s << u"198.51.100.7"_s << u"198.51.100.7"_s << 51820;
    QTest::newRow("bare host") << u"vpn.example.net"_s << u"vpn.example.net"_s << u"vpn.example.net"_s << 443;
    QTest::newRow("colon first") << u":8080"_s << u":8080"_s << u":8080"_s << 443;
    QTest::newRow("trailing colon") << u"vpn.example.net:"_s << u"vpn.example.net"_s << u"vpn.example.net"_s
                                    << 443;
    QTest::newRow("non-numeric port")
        << u"vpn.example.net:http"_s << u"vpn.example.net"_s << u"vpn.example.net"_s << 443;
    QTest::newRow("port above 65535")
        << u"vpn.example.net:65536"_s << u"vpn.example.net"_s << u"vpn.example.net"_s << 443;
    QTest::newRow("highest port") << u"vpn.example.net:65535"_s << u"vpn.example.net"_s
                                  << u"vpn.example.net"_s << 65535;
    QTest::newRow("port zero") << u"vpn.example.net:0"_s << u"vpn.example.net"_s << u"vpn.example.net"_s
                               << 443;
    QTest::newRow("negative port") << u"vpn.example.net:-1"_s << u"vpn.example.net"_s << u"vpn.example.net"_s
                                   << 443;
    QTest::newRow("bracketed IPv6 with port")
        << u"[2001:db8::1]:51820"_s << u"[2001:db8::1]"_s << u"2001:db8::1"_s << 51820;
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

void TestPingProber::measuresConnectTime_data()
{
    QTest::addColumn<bool>("ipv6");
    QTest::newRow("IPv4 loopback") << false;
    QTest::newRow("bracketed IPv6 loopback") << true;
}

void TestPingProber::measuresConnectTime()
{
    QFETCH(bool, ipv6);
    if (ipv6 && !m_hasV6)
        QSKIP("no IPv6 loopback on this machine");

    PingProber prober;
    prober.setTarget(ipv6 ? u"[::1]:%1"_s.arg(m_v6.serverPort()) : v4Target());
    QSignalSpy ping(&prober, &PingProber::pingChanged);
    prober.probeNow();
    QVERIFY(ping.wait());
    QCOMPARE(ping.count(), 1);
    QVERIFY2(prober.pingMs() >= 0, qPrintable(QString::number(prober.pingMs())));
}

void TestPingProber::refusedPortFailsEveryTime()
{
    PingProber prober;
    prober.setTarget(u"127.0.0.1:%1"_s.arg(m_closedPort));
    QSignalSpy ping(&prober, &PingProber::pingChanged);
    for (int round = 1; round <= 2; ++round) {
        prober.probeNow();
        QTRY_COMPARE(ping.count(), round);
        QCOMPARE(prober.pingMs(), -1);
    }

    // After a success the failure has to replace the measured value.
    prober.setTarget(v4Target());
    prober.probeNow();
    QTRY_COMPARE(ping.count(), 4);
    QVERIFY(prober.pingMs() >= 0);
    prober.setTarget(u"127.0.0.1:%1"_s.arg(m_closedPort));
    prober.probeNow();
    QTRY_COMPARE(ping.count(), 6);
    QCOMPARE(prober.pingMs(), -1);
}

void TestPingProber::targetChangeResetsThenAnnounces()
{
    PingProber prober;
    prober.setTarget(v4Target());
    QSignalSpy ping(&prober, &PingProber::pingChanged);
    prober.probeNow();
    QVERIFY(ping.wait());
    QVERIFY(prober.pingMs() >= 0);
    QTRY_COMPARE(probesInFlight(prober), 0);

    QStringList log;
    connect(&prober, &PingProber::pingChanged, this, [&] { log << u"ping %1"_s.arg(prober.pingMs()); });
    connect(&prober, &PingProber::targetChanged, this, [&] { log << u"target "_s + prober.target(); });
    prober.setTarget(u"198.51.100.7:51820"_s);
    QCOMPARE(log, (QStringList {u"ping -1"_s, u"target 198.51.100.7:51820"_s}));
    // Inactive: the new target waits for an explicit probe or activation.
    QCOMPARE(probesInFlight(prober), 0);

    // The reset is announced even when there was no value to clear.
    prober.setTarget(u"198.51.100.8:51820"_s);
    QCOMPARE(log.size(), 4);
}

void TestPingProber::sameTargetIsSilent()
{
    PingProber prober;
    prober.setTarget(v4Target());
    prober.setActive(true);
    QSignalSpy ping(&prober, &PingProber::pingChanged);
    QVERIFY(ping.wait());
    QSignalSpy target(&prober, &PingProber::targetChanged);

    prober.setTarget(v4Target());
    QCOMPARE(target.count(), 0);
    QCOMPARE(ping.count(), 1);
    QVERIFY(prober.pingMs() >= 0);
}

void TestPingProber::targetChangeDuringProbeKeepsProbe()
{
    PingProber prober;
    prober.setTarget(v4Target());
    prober.setActive(true);
    QCOMPARE(probesInFlight(prober), 1);
    QSignalSpy ping(&prober, &PingProber::pingChanged);

    prober.setTarget(u"127.0.0.1:%1"_s.arg(m_closedPort));
    QCOMPARE(probesInFlight(prober), 1);
    QCOMPARE(ping.count(), 1);
    QCOMPARE(prober.pingMs(), -1);
    // The probe in flight still reports, for the previous target.
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
        prober.setTarget(v4Target());
    QSignalSpy active(&prober, &PingProber::activeChanged);
    QSignalSpy ping(&prober, &PingProber::pingChanged);

    prober.setActive(true);
    QCOMPARE(active.count(), 1);
    QCOMPARE(probesInFlight(prober), withTarget ? 1 : 0);
    prober.setActive(true);
    QCOMPARE(active.count(), 1);

    if (!withTarget) {
        prober.setTarget(v4Target());
        QCOMPARE(probesInFlight(prober), 1);
        QCOMPARE(ping.count(), 1); // the reset of the target change
    }
    QTRY_VERIFY(prober.pingMs() >= 0);
}

void TestPingProber::timerProbesRepeatedlyWhileActive()
{
    PingProber prober(nullptr, std::chrono::milliseconds(20));
    prober.setTarget(v4Target());
    QSignalSpy ping(&prober, &PingProber::pingChanged);
    prober.setActive(true);
    QTRY_VERIFY(ping.count() >= 3);

    prober.setActive(false);
    QTRY_VERIFY(probesInFlight(prober) == 0);
    const int afterStop = int(ping.count());
    prober.setActive(true);
    QTRY_VERIFY(ping.count() >= afterStop + 2);
}

void TestPingProber::oneProbeAtATime()
{
    PingProber prober;
    prober.setTarget(v4Target());
    QSignalSpy ping(&prober, &PingProber::pingChanged);

    prober.probeNow();
    prober.probeNow();
    prober.probeNow();
    QCOMPARE(probesInFlight(prober), 1);
    QVERIFY(ping.wait());
    QCOMPARE(ping.count(), 1);

    // Once the result is in, the next call probes again.
    prober.probeNow();
    QVERIFY(ping.wait());
    QCOMPARE(ping.count(), 2);
}

void TestPingProber::deactivationKeepsInFlightResult()
{
    PingProber prober;
    prober.setTarget(v4Target());
    QSignalSpy ping(&prober, &PingProber::pingChanged);
    prober.setActive(true);
    prober.setActive(false);
    QCOMPARE(prober.active(), false);
    QVERIFY(ping.wait());
    QVERIFY(prober.pingMs() >= 0);
}

void TestPingProber::destructionWithProbeInFlight()
{
    auto prober = std::make_unique<PingProber>();
    prober->setTarget(v4Target());
    QSignalSpy ping(prober.get(), &PingProber::pingChanged);
    prober->probeNow();
    prober.reset();
    QCoreApplication::processEvents();
    QCOMPARE(ping.count(), 0);
}

QTEST_GUILESS_MAIN(TestPingProber)
#include "tst_pingprober.moc"
