// The real binary, window shown, connected to the simulated service that
// pushes a status event every 50 ms, for ten minutes (VANTREL_SOAK_SECONDS
// changes that). Resident memory must stay level, and the statistics
// database must account for exactly the traffic the service reported.

#include "AppUnderTest.h"
#include "Protocol.h"
#include "ScriptedService.h"
#include "ServiceObserver.h"

#include <QDir>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

using namespace Qt::StringLiterals;

class tst_Soak : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void fastStatusTraffic();
};

namespace {
const auto kServiceDir = u"/run/vantrelvpn"_s;
constexpr int kDefaultSeconds = 600;
constexpr int kWarmUpSeconds = 30;
constexpr int kReportEverySeconds = 60;
constexpr int kPushIntervalMs = 50;
constexpr int kLinkTimeoutMs = 15000;
// Growth that still counts as level after the warm-up: heap noise and
// caches filling, not something that grows with every event.
constexpr qint64 kLevelMemoryKiB = 8 * 1024;

struct Totals
{
    qint64 up = -1;
    qint64 down = -1;
    bool ended = false;
};

// Read through a connection of the test's own; the app keeps writing.
Totals readTotals(const QString &path, const QString &sql)
{
    Totals totals;
    const QString name = u"soak-reader"_s;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, name);
        db.setDatabaseName(path);
        db.setConnectOptions(u"QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=2000"_s);
        QSqlQuery query(db);
        if (db.open() && query.exec(sql) && query.next()) {
            totals.up = query.value(0).toLongLong();
            totals.down = query.value(1).toLongLong();
            totals.ended = !query.value(2).isNull();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return totals;
}

qint64 counter(const QJsonObject &status, QLatin1StringView key)
{
    return qint64(status.value(key).toDouble());
}
} // namespace

void tst_Soak::initTestCase()
{
    if (!QDir().mkpath(kServiceDir))
        QSKIP("needs to own /run/vantrelvpn (run as root)");
    QVERIFY(ScriptedService::waitUntilFree(kServiceDir, 300000));
}

void tst_Soak::fastStatusTraffic()
{
    const int seconds = qEnvironmentVariableIntValue("VANTREL_SOAK_SECONDS") > 0
        ? qEnvironmentVariableIntValue("VANTREL_SOAK_SECONDS")
        : kDefaultSeconds;

    QProcess service;
    service.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    service.start(QStringLiteral(SIMSERVICE_BINARY),
        {u"--connected"_s, u"--push-interval"_s, QString::number(kPushIntervalMs)});
    QVERIFY(service.waitForStarted());
    ServiceObserver observer(kServiceDir);
    QVERIFY(QTest::qWaitFor([&] { return observer.connectAndWait(1000); }, kLinkTimeoutMs));

    AppUnderTest app(QStringLiteral(APP_BINARY));
    QVERIFY(app.start());
    const QString db = app.dataDir() + u"/stats.db"_s;
    const QString sessionSql = u"SELECT up, down, ended_at FROM sessions"_s;
    QTRY_VERIFY_WITH_TIMEOUT(readTotals(db, sessionSql).up > 0, kLinkTimeoutMs);

    const auto runFor = [&](int s) { return !QTest::qWaitFor([&] { return !app.isRunning(); }, s * 1000); };
    QVERIFY(runFor(kWarmUpSeconds));
    const qint64 memoryBefore = app.residentKiB();
    const int eventsBefore = observer.statusCount();
    qint64 memoryPeak = memoryBefore;
    for (int elapsed = 0; elapsed < seconds; elapsed += kReportEverySeconds) {
        QVERIFY2(runFor(qMin(kReportEverySeconds, seconds - elapsed)), "the app ended during the soak");
        const qint64 memory = app.residentKiB();
        memoryPeak = qMax(memoryPeak, memory);
        qInfo("after %d s: %lld KiB resident, %d status events", qMin(elapsed + kReportEverySeconds, seconds),
            memory, observer.statusCount() - eventsBefore);
    }
    const qint64 memoryAfter = app.residentKiB();

    // Ending the tunnel closes the session; the last broadcast carries the
    // final counters.
    observer.sendCommand(u"disconnect"_s);
    QTRY_VERIFY_WITH_TIMEOUT(
        observer.lastStatus().value(u"status"_s).toString() == u"disconnected"_s, kLinkTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(readTotals(db, sessionSql).ended, kLinkTimeoutMs);
    const qint64 up = counter(observer.lastStatus(), Protocol::Key::up);
    const qint64 down = counter(observer.lastStatus(), Protocol::Key::down);
    const Totals session = readTotals(db, sessionSql);
    const Totals days = readTotals(db, u"SELECT SUM(up), SUM(down), 1 FROM days"_s);

    qInfo(
        "soak of %d s: %d status events; memory %lld KiB after warm-up, %lld KiB at the end, peak %lld KiB; "
        "service counters up %lld down %lld; session up %lld down %lld; days up %lld down %lld",
        seconds, observer.statusCount() - eventsBefore, memoryBefore, memoryAfter, memoryPeak, up, down,
        session.up, session.down, days.up, days.down);

    // A sanitized build keeps freed memory in quarantine and grows by design.
    if (!qEnvironmentVariableIsSet("ASAN_OPTIONS"))
        QVERIFY2(memoryAfter - memoryBefore < kLevelMemoryKiB, "resident memory grew during the soak");
    QCOMPARE(session.up, up);
    QCOMPARE(session.down, down);
    QCOMPARE(days.up, up);
    QCOMPARE(days.down, down);

    app.stop();
    service.terminate();
    service.waitForFinished();
}

QTEST_GUILESS_MAIN(tst_Soak)
#include "tst_soak.moc"
