#include "StatsStore.h"

#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// One traffic sample, dated relative to the session start.
struct Sample
{
    int atSecs = 0;
    qint64 up = 0;
    qint64 down = 0;
};

// A days row placed relative to today.
struct DayRow
{
    int offset = 0;
    qint64 up = 0;
    qint64 down = 0;
    int protectedSeconds = 0;
    double speedSum = 0;
    int speedN = 0;
    qint64 pingSum = 0;
    int pingN = 0;
};

using Rows = QList<QVariantList>;

// Reads and writes the file through a connection of its own, the way a
// second program would see it.
Rows sql(const QString &path, const QString &statement, const QVariantList &values = {})
{
    Rows rows;
    const QString name = u"fixture"_s;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, name);
        db.setDatabaseName(path);
        if (!db.open())
            qCritical() << "fixture open failed" << db.lastError().text();
        QSqlQuery query(db);
        query.prepare(statement);
        for (const QVariant &value : values)
            query.addBindValue(value);
        if (!query.exec())
            qCritical() << "fixture statement failed" << statement << query.lastError().text();
        while (query.next()) {
            QVariantList row;
            for (int i = 0; i < query.record().count(); ++i)
                row.append(query.value(i));
            rows.append(row);
        }
    }
    QSqlDatabase::removeDatabase(name);
    return rows;
}

QString key(const QDate &date)
{
    return date.toString(Qt::ISODate);
}

} // namespace

Q_DECLARE_METATYPE(QList<Sample>)
Q_DECLARE_METATYPE(QList<DayRow>)

class TestStatsStore : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void freshDatabaseHasEmptyWeek();
    void sessionStates_data();
    void sessionStates();
    void sessionRowAccumulatesAcrossReconnect();
    void nullEndpointStillRecordsSession();
    void trafficAccounting_data();
    void trafficAccounting();
    void sampleAfterMidnightGoesToNewDay();
    void speedAndLatency_data();
    void speedAndLatency();
    void samplesOutsideSessionAreDropped();
    void retentionAtStart();
    void weekSummary_data();
    void weekSummary();
    void everyRefreshEmits();
    void unopenablePathLeavesStoreInert();
    void storesInOneProcessAreIndependent();

private:
    std::unique_ptr<StatsStore> makeStore(const QString &path);
    std::unique_ptr<StatsStore> makeStore() { return makeStore(m_path); }

    QTemporaryDir m_dir;
    QString m_path;
    int m_fileCount = 0;
    const QDate m_today {2026, 3, 10};
    QDateTime m_now;
};

std::unique_ptr<StatsStore> TestStatsStore::makeStore(const QString &path)
{
    return std::make_unique<StatsStore>(path, [this] { return m_now; });
}

void TestStatsStore::init()
{
    QVERIFY(m_dir.isValid());
    // A folder that does not exist yet: the store has to create it.
    m_path = m_dir.filePath(u"run%1/data/stats.db"_s.arg(++m_fileCount));
    m_now = QDateTime(m_today, QTime(12, 0));
}

void TestStatsStore::freshDatabaseHasEmptyWeek()
{
    auto store = makeStore();
    QVERIFY(QFile::exists(m_path));
    const Rows tables = sql(m_path, u"SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name"_s);
    QVERIFY(tables.contains(QVariantList {u"days"_s}));
    QVERIFY(tables.contains(QVariantList {u"sessions"_s}));

    QCOMPARE(store->hasData(), false);
    QCOMPARE(store->avgPingMs(), -1);
    QCOMPARE(store->avgDownSpeed(), 0.0);
    const QVariantList days = store->days();
    QCOMPARE(days.size(), 7);
    for (int i = 0; i < 7; ++i) {
        const QVariantMap entry = days.at(i).toMap();
        QCOMPARE(entry.keys(), (QStringList {u"date"_s, u"down"_s, u"up"_s}));
        QCOMPARE(entry.value(u"date"_s).toString(), key(m_today.addDays(i - 6)));
        QCOMPARE(entry.value(u"down"_s).toDouble(), 0.0);
        QCOMPARE(entry.value(u"up"_s).toDouble(), 0.0);
    }
}

void TestStatsStore::sessionStates_data()
{
    QTest::addColumn<QStringList>("states");
    QTest::addColumn<int>("sessions");
    QTest::addColumn<int>("ended");
    QTest::addColumn<int>("refreshes");

    QTest::newRow("reconnecting keeps the session open")
        << QStringList {u"connected"_s, u"reconnecting"_s, u"connected"_s} << 1 << 0 << 0;
    QTest::newRow("connecting ends it") << QStringList {u"connected"_s, u"connecting"_s} << 1 << 1 << 1;
    QTest::newRow("failed ends it") << QStringList {u"connected"_s, u"failed"_s} << 1 << 1 << 1;
    QTest::newRow("disconnected ends it") << QStringList {u"connected"_s, u"disconnected"_s} << 1 << 1 << 1;
    QTest::newRow("empty state ends it") << QStringList {u"connected"_s, QString()} << 1 << 1 << 1;
    QTest::newRow("state match is case-sensitive")
        << QStringList {u"connected"_s, u"Connected"_s} << 1 << 1 << 1;
    QTest::newRow("ending twice refreshes once")
        << QStringList {u"connected"_s, u"failed"_s, u"disconnected"_s} << 1 << 1 << 1;
    QTest::newRow("no session to end")
        << QStringList {u"disconnected"_s, u"reconnecting"_s, u"failed"_s} << 0 << 0 << 0;
    QTest::newRow("connect again opens a new row")
        << QStringList {u"connected"_s, u"disconnected"_s, u"connected"_s} << 2 << 1 << 1;
}

void TestStatsStore::sessionStates()
{
    QFETCH(QStringList, states);
    QFETCH(int, sessions);
    QFETCH(int, ended);
    QFETCH(int, refreshes);

    auto store = makeStore();
    QSignalSpy changed(store.get(), &StatsStore::statsChanged);
    for (const QString &state : states) {
        m_now = m_now.addSecs(30);
        store->onVpnState(state, u"198.51.100.7:51820"_s, u"tls"_s);
    }

    QCOMPARE(sql(m_path, u"SELECT COUNT(*) FROM sessions"_s).value(0).value(0).toInt(), sessions);
    QCOMPARE(
        sql(m_path, u"SELECT COUNT(*) FROM sessions WHERE ended_at IS NOT NULL"_s).value(0).value(0).toInt(),
        ended);
    QCOMPARE(changed.count(), refreshes);
}

void TestStatsStore::sessionRowAccumulatesAcrossReconnect()
{
    auto store = makeStore();
    store->onVpnState(u"connected"_s, u"198.51.100.7:51820"_s, u"reality"_s);
    m_now = m_now.addSecs(10);
    store->onTrafficSample(100, 200, 0, 0);
    store->onVpnState(u"reconnecting"_s, u"198.51.100.7:51820"_s, u"reality"_s);
    m_now = m_now.addSecs(10);
    store->onTrafficSample(300, 500, 0, 0);
    // A later "connected" must neither replace the endpoint nor reset the counters.
    store->onVpnState(u"connected"_s, u"203.0.113.1:443"_s, u"tls"_s);
    m_now = m_now.addSecs(10);
    store->onTrafficSample(400, 600, 0, 0);
    m_now = QDateTime(m_today, QTime(13, 5, 7));
    store->onVpnState(u"disconnected"_s, QString(), QString());

    const Rows rows
        = sql(m_path, u"SELECT started_at, ended_at, up, down, endpoint, transport FROM sessions"_s);
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows.at(0),
        (QVariantList {u"2026-03-10T12:00:00"_s, u"2026-03-10T13:05:07"_s, 400, 600, u"198.51.100.7:51820"_s,
            u"reality"_s}));
    QCOMPARE(store->weekUp(), 400.0);
    QCOMPARE(store->weekDown(), 600.0);
    QCOMPARE(store->protectedSecondsWeek(), 30);
}

void TestStatsStore::nullEndpointStillRecordsSession()
{
    // Before the service names a server the client's endpoint and transport
    // are null strings; the session must be recorded all the same.
    auto store = makeStore();
    store->onVpnState(u"connected"_s, QString(), QString());
    m_now = m_now.addSecs(5);
    store->onTrafficSample(1000, 2000, 0, 0);

    const Rows rows = sql(m_path, u"SELECT endpoint, transport, up, down FROM sessions"_s);
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows.at(0), (QVariantList {QString(), QString(), 1000, 2000}));
    QCOMPARE(rows.at(0).at(0).isNull(), false);
}

void TestStatsStore::trafficAccounting_data()
{
    QTest::addColumn<QList<Sample>>("samples");
    QTest::addColumn<qint64>("up");
    QTest::addColumn<qint64>("down");
    QTest::addColumn<int>("seconds");

    QTest::newRow("first sample credits whole counters and time since start")
        << QList<Sample> {{30, 1000, 5000}} << qint64(1000) << qint64(5000) << 30;
    QTest::newRow("first sample long after start is capped")
        << QList<Sample> {{600, 10, 20}} << qint64(10) << qint64(20) << 60;
    QTest::newRow("later samples add deltas")
        << QList<Sample> {{10, 100, 1000}, {20, 150, 1600}} << qint64(150) << qint64(1600) << 20;
    QTest::newRow("samples five minutes apart credit 60 s")
        << QList<Sample> {{10, 1, 1}, {310, 2, 2}} << qint64(2) << qint64(2) << 70;
    QTest::newRow("sample dated before the previous one credits nothing")
        << QList<Sample> {{30, 1, 1}, {20, 1, 1}, {25, 1, 1}} << qint64(1) << qint64(1) << 35;
    QTest::newRow("counter reset adds the new value")
        << QList<Sample> {{10, 1000, 1000}, {20, 300, 200}} << qint64(1300) << qint64(1200) << 20;
    QTest::newRow("reset in one direction only")
        << QList<Sample> {{10, 1000, 1000}, {20, 100, 1500}} << qint64(1100) << qint64(1500) << 20;
    QTest::newRow("counters beyond 32 bits")
        << QList<Sample> {{10, 5'000'000'000, 6'000'000'000}, {20, 9'000'000'000, 6'000'000'001}}
        << qint64(9'000'000'000) << qint64(6'000'000'001) << 20;
}

void TestStatsStore::trafficAccounting()
{
    QFETCH(QList<Sample>, samples);
    QFETCH(qint64, up);
    QFETCH(qint64, down);
    QFETCH(int, seconds);

    auto store = makeStore();
    const QDateTime start = m_now;
    store->onVpnState(u"connected"_s, u"198.51.100.7:51820"_s, u"tls"_s);
    for (const Sample &sample : samples) {
        m_now = start.addSecs(sample.atSecs);
        store->onTrafficSample(sample.up, sample.down, 0, 0);
    }

    const Rows day = sql(m_path, u"SELECT date, up, down, protected_seconds FROM days"_s);
    QCOMPARE(day, (Rows {{key(m_today), up, down, seconds}}));
    const Rows session = sql(m_path, u"SELECT up, down FROM sessions"_s);
    QCOMPARE(session, (Rows {{up, down}}));
}

void TestStatsStore::sampleAfterMidnightGoesToNewDay()
{
    m_now = QDateTime(m_today, QTime(23, 59, 0));
    auto store = makeStore();
    store->onVpnState(u"connected"_s, u"198.51.100.7:51820"_s, u"tls"_s);
    m_now = QDateTime(m_today, QTime(23, 59, 50));
    store->onTrafficSample(100, 1000, 0, 0);
    m_now = QDateTime(m_today.addDays(1), QTime(0, 0, 10));
    store->onTrafficSample(300, 1500, 0, 0);

    const Rows days = sql(m_path, u"SELECT date, up, down, protected_seconds FROM days ORDER BY date"_s);
    QCOMPARE(days, (Rows {{key(m_today), 100, 1000, 50}, {key(m_today.addDays(1)), 200, 500, 20}}));
}

void TestStatsStore::speedAndLatency_data()
{
    QTest::addColumn<QList<double>>("speeds");
    QTest::addColumn<QList<int>>("pings");
    QTest::addColumn<double>("speedSum");
    QTest::addColumn<int>("speedN");
    QTest::addColumn<int>("pingSum");
    QTest::addColumn<int>("pingN");

    QTest::newRow("zero speed is not a sample") << QList<double> {0.0} << QList<int>() << 0.0 << 0 << 0 << 0;
    QTest::newRow("negative speed is not a sample")
        << QList<double> {-5.0} << QList<int>() << 0.0 << 0 << 0 << 0;
    QTest::newRow("positive speeds are summed")
        << QList<double> {1000.5, 0.0, 2000.0} << QList<int>() << 3000.5 << 2 << 0 << 0;
    QTest::newRow("no latency value is ignored, zero counts")
        << QList<double>() << QList<int> {-1, 0} << 0.0 << 0 << 0 << 1;
    QTest::newRow("latencies are summed")
        << QList<double>() << QList<int> {10, 11, -1, 12} << 0.0 << 0 << 33 << 3;
}

void TestStatsStore::speedAndLatency()
{
    QFETCH(QList<double>, speeds);
    QFETCH(QList<int>, pings);
    QFETCH(double, speedSum);
    QFETCH(int, speedN);
    QFETCH(int, pingSum);
    QFETCH(int, pingN);

    auto store = makeStore();
    store->onVpnState(u"connected"_s, u"198.51.100.7:51820"_s, u"tls"_s);
    // A zero-byte sample makes sure the day row exists even when nothing counts.
    store->onTrafficSample(0, 0, 0, 0);
    for (double speed : speeds)
        store->onTrafficSample(0, 0, 99.0, speed);
    for (int ms : pings)
        store->onPingSample(ms);

    const Rows rows = sql(m_path, u"SELECT speed_sum, speed_n, ping_sum, ping_n FROM days"_s);
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows.at(0).at(0).toDouble(), speedSum);
    QCOMPARE(rows.at(0).at(1).toInt(), speedN);
    QCOMPARE(rows.at(0).at(2).toInt(), pingSum);
    QCOMPARE(rows.at(0).at(3).toInt(), pingN);
}

void TestStatsStore::samplesOutsideSessionAreDropped()
{
    auto store = makeStore();
    store->onTrafficSample(100, 100, 10, 10);
    store->onPingSample(20);
    store->onVpnState(u"connected"_s, u"198.51.100.7:51820"_s, u"tls"_s);
    store->onVpnState(u"failed"_s, u"198.51.100.7:51820"_s, u"tls"_s);
    store->onTrafficSample(200, 200, 10, 10);
    store->onPingSample(30);

    QCOMPARE(sql(m_path, u"SELECT COUNT(*) FROM days"_s), (Rows {{0}}));
    QCOMPARE(sql(m_path, u"SELECT up, down FROM sessions"_s), (Rows {{0, 0}}));
}

void TestStatsStore::retentionAtStart()
{
    makeStore().reset();
    const QDate cutOff = m_today.addDays(-90);
    for (int back : {91, 90, 89})
        sql(m_path, u"INSERT INTO days(date, up) VALUES(?, 1)"_s, {key(m_today.addDays(-back))});
    const QStringList starts {
        key(cutOff.addDays(-1)) + u"T23:59:59"_s, key(cutOff) + u"T00:00:00"_s, key(cutOff) + u"T23:00:00"_s};
    for (const QString &start : starts)
        sql(m_path, u"INSERT INTO sessions(started_at) VALUES(?)"_s, {start});

    auto store = makeStore();
    QCOMPARE(sql(m_path, u"SELECT date FROM days ORDER BY date"_s),
        (Rows {{key(cutOff)}, {key(m_today.addDays(-89))}}));
    QCOMPARE(sql(m_path, u"SELECT started_at FROM sessions ORDER BY started_at"_s),
        (Rows {{starts.at(1)}, {starts.at(2)}}));
}

void TestStatsStore::weekSummary_data()
{
    QTest::addColumn<QList<DayRow>>("rows");
    QTest::addColumn<double>("weekUp");
    QTest::addColumn<double>("weekDown");
    QTest::addColumn<int>("protectedSeconds");
    QTest::addColumn<double>("avgDownSpeed");
    QTest::addColumn<int>("avgPingMs");
    QTest::addColumn<bool>("hasData");
    QTest::addColumn<QList<double>>("dayDowns");

    const QList<double> zeros(7, 0.0);
    QTest::newRow("latency 31 over 3 truncates")
        << QList<DayRow> {{0, 0, 0, 0, 0, 0, 31, 3}} << 0.0 << 0.0 << 0 << 0.0 << 10 << true << zeros;
    QTest::newRow("latency 599 over 10 is 59 not 60")
        << QList<DayRow> {{-2, 0, 0, 0, 0, 0, 300, 5}, {0, 0, 0, 0, 0, 0, 299, 5}} << 0.0 << 0.0 << 0 << 0.0
        << 59 << true << zeros;
    QTest::newRow("speeds 1000 and 2000") << QList<DayRow> {{-1, 0, 0, 0, 1000, 1}, {0, 0, 0, 0, 2000, 1}}
                                          << 0.0 << 0.0 << 0 << 1500.0 << -1 << true << zeros;
    QTest::newRow("speed averaged over samples, not days")
        << QList<DayRow> {{-1, 0, 0, 0, 1000, 1}, {0, 0, 0, 0, 5000, 3}} << 0.0 << 0.0 << 0 << 1500.0 << -1
        << true << zeros;
    QTest::newRow("totals and day entries")
        << QList<DayRow> {{-6, 10, 100, 60}, {-3, 20, 200, 120}, {0, 5'000'000'000, 7'000'000'000, 30}}
        << 5'000'000'030.0 << 7'000'000'300.0 << 210 << 0.0 << -1 << true
        << QList<double> {100, 0, 0, 200, 0, 0, 7'000'000'000.0};
    QTest::newRow("seven days back is outside the window")
        << QList<DayRow> {{-7, 1, 1, 1, 100, 1, 100, 1}, {-6, 2, 2, 2}} << 2.0 << 2.0 << 2 << 0.0 << -1
        << true << QList<double> {2, 0, 0, 0, 0, 0, 0};
    QTest::newRow("only old rows: zero figures but data")
        << QList<DayRow> {{-10, 1, 1, 1, 100, 1, 100, 1}} << 0.0 << 0.0 << 0 << 0.0 << -1 << true << zeros;
    QTest::newRow("future row counted without an entry")
        << QList<DayRow> {{1, 3, 4, 5, 600, 2, 40, 2}} << 3.0 << 4.0 << 5 << 300.0 << 20 << true << zeros;
}

void TestStatsStore::weekSummary()
{
    QFETCH(QList<DayRow>, rows);
    QFETCH(double, weekUp);
    QFETCH(double, weekDown);
    QFETCH(int, protectedSeconds);
    QFETCH(double, avgDownSpeed);
    QFETCH(int, avgPingMs);
    QFETCH(bool, hasData);
    QFETCH(QList<double>, dayDowns);

    makeStore().reset();
    for (const DayRow &row : rows) {
        sql(m_path,
            u"INSERT INTO days(date, up, down, protected_seconds, speed_sum, speed_n, ping_sum, ping_n) "
            u"VALUES(?, ?, ?, ?, ?, ?, ?, ?)"_s,
            {key(m_today.addDays(row.offset)), row.up, row.down, row.protectedSeconds, row.speedSum,
                row.speedN, row.pingSum, row.pingN});
    }

    auto store = makeStore();
    QCOMPARE(store->weekUp(), weekUp);
    QCOMPARE(store->weekDown(), weekDown);
    QCOMPARE(store->protectedSecondsWeek(), protectedSeconds);
    QCOMPARE(store->avgDownSpeed(), avgDownSpeed);
    QCOMPARE(store->avgPingMs(), avgPingMs);
    QCOMPARE(store->hasData(), hasData);

    const QVariantList days = store->days();
    QCOMPARE(days.size(), 7);
    QCOMPARE(days.last().toMap().value(u"date"_s).toString(), key(m_today));
    QList<double> downs;
    for (const QVariant &day : days)
        downs.append(day.toMap().value(u"down"_s).toDouble());
    QCOMPARE(downs, dayDowns);
}

void TestStatsStore::everyRefreshEmits()
{
    auto store = makeStore();
    store->onVpnState(u"connected"_s, u"198.51.100.7:51820"_s, u"tls"_s);
    m_now = m_now.addSecs(20);
    store->onTrafficSample(10, 20, 0, 500);
    QSignalSpy changed(store.get(), &StatsStore::statsChanged);

    // Samples do not refresh on their own; an explicit refresh picks them up.
    QCOMPARE(store->weekDown(), 0.0);
    store->refresh();
    const QVariantList days = store->days();
    store->refresh();
    QCOMPARE(changed.count(), 2);
    QCOMPARE(store->days(), days);
    QCOMPARE(store->weekDown(), 20.0);
    QCOMPARE(store->avgDownSpeed(), 500.0);
    QCOMPARE(store->protectedSecondsWeek(), 20);
}

void TestStatsStore::unopenablePathLeavesStoreInert()
{
    // A regular file where the folder should be: neither mkpath nor SQLite can use it.
    const QString blocker = m_dir.filePath(u"blocker"_s);
    QFile file(blocker);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    const QString path = blocker + u"/sub/stats.db"_s;

    QTest::ignoreMessage(
        QtWarningMsg, QRegularExpression(u"^StatsStore: cannot open .*/blocker/sub/stats\\.db"_s));
    QTest::failOnWarning(QRegularExpression(u".*"_s));
    auto store = makeStore(path);
    QSignalSpy changed(store.get(), &StatsStore::statsChanged);

    store->onVpnState(u"connected"_s, u"198.51.100.7:51820"_s, u"tls"_s);
    store->onTrafficSample(10, 20, 0, 500);
    store->onPingSample(15);
    store->onVpnState(u"disconnected"_s, QString(), QString());
    store->refresh();

    QCOMPARE(changed.count(), 0);
    QCOMPARE(store->days(), QVariantList());
    QCOMPARE(store->hasData(), false);
    QCOMPARE(store->avgPingMs(), -1);
    QCOMPARE(store->weekDown(), 0.0);
    store.reset();
}

void TestStatsStore::storesInOneProcessAreIndependent()
{
    const QString otherPath = m_dir.filePath(u"other/stats.db"_s);
    {
        auto first = makeStore();
        auto second = makeStore(otherPath);
        first->onVpnState(u"connected"_s, u"a:1"_s, u"tls"_s);
        second->onVpnState(u"connected"_s, u"b:2"_s, u"tls"_s);
        first->onTrafficSample(1, 1, 0, 0);
        second->onTrafficSample(2, 2, 0, 0);

        QCOMPARE(sql(m_path, u"SELECT endpoint, up FROM sessions"_s), (Rows {{u"a:1"_s, 1}}));
        QCOMPARE(sql(otherPath, u"SELECT endpoint, up FROM sessions"_s), (Rows {{u"b:2"_s, 2}}));
    }
    // Destroyed stores leave nothing behind in Qt's connection registry.
    QCOMPARE(QSqlDatabase::connectionNames(), QStringList());
}

QTEST_GUILESS_MAIN(TestStatsStore)
#include "tst_statsstore.moc"
