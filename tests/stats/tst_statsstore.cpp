#include "StatsStore.h"

#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

struct Sample // a traffic sample, seconds after the session start
{
    int atSecs = 0;
    qint64 up = 0;
    qint64 down = 0;
};

struct DayRow // a days row, days relative to today
{
    int offset = 0;
    qint64 up = 0, down = 0;
    int seconds = 0;
    double speedSum = 0;
    int speedN = 0;
    qint64 pingSum = 0;
    int pingN = 0;
};

using Rows = QList<QVariantList>;

// Reads and writes the file through a connection of its own.
Rows sql(const QString &path, const QString &statement, const QVariantList &values = {})
{
    Rows rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"fixture"_s);
        db.setDatabaseName(path);
        db.open();
        QSqlQuery query(db);
        query.prepare(statement);
        for (const QVariant &value : values)
            query.addBindValue(value);
        if (!query.exec())
            qCritical("fixture statement failed");
        while (query.next()) {
            rows.append(QVariantList());
            for (int i = 0; i < query.record().count(); ++i)
                rows.last().append(query.value(i));
        }
    }
    QSqlDatabase::removeDatabase(u"fixture"_s);
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
    void sessionStates_data();
    void sessionStates();
    void sessionRowAcrossReconnect();
    void trafficAccounting_data();
    void trafficAccounting();
    void speedAndLatencySamples();
    void retentionAtStart();
    void samplesGoToTheLogUntilClose();
    void weekSummary_data();
    void weekSummary();
    void everyRefreshEmits();
    void unopenablePathLeavesStoreInert_data();
    void unopenablePathLeavesStoreInert();

private:
    std::unique_ptr<StatsStore> makeStore(const QString &path = {})
    {
        return std::make_unique<StatsStore>(path.isEmpty() ? m_path : path, [this] { return m_now; });
    }
    void connectStore(StatsStore &store)
    {
        store.onVpnState(u"connected"_s, u"198.51.100.7:51820"_s, u"tls"_s);
    }

    QTemporaryDir m_dir;
    QString m_path;
    int m_runs = 0;
    const QDate m_today {2026, 3, 10};
    QDateTime m_now;
};

void TestStatsStore::init()
{
    // A folder that does not exist yet: the store has to create it.
    m_path = m_dir.filePath(u"run%1/data/stats.db"_s.arg(++m_runs));
    m_now = QDateTime(m_today, QTime(12, 0));
}

void TestStatsStore::sessionStates_data()
{
    QTest::addColumn<QStringList>("states");
    QTest::addColumn<int>("sessions");
    QTest::addColumn<int>("ended");
    QTest::addColumn<int>("refreshes");

    const QString c = u"connected"_s;
    QTest::newRow("reconnecting keeps it open") << QStringList {c, u"reconnecting"_s, c} << 1 << 0 << 0;
    QTest::newRow("connecting ends it") << QStringList {c, u"connecting"_s} << 1 << 1 << 1;
    QTest::newRow("failed ends it") << QStringList {c, u"failed"_s} << 1 << 1 << 1;
    QTest::newRow("match is case-sensitive") << QStringList {c, u"Connected"_s} << 1 << 1 << 1;
    QTest::newRow("second end is a no-op") << QStringList {c, u"failed"_s, u"disconnected"_s} << 1 << 1 << 1;
    QTest::newRow("nothing to end") << QStringList {u"disconnected"_s, u"reconnecting"_s} << 0 << 0 << 0;
    QTest::newRow("connect again, new row") << QStringList {c, u"disconnected"_s, c} << 2 << 1 << 1;
}

void TestStatsStore::sessionStates()
{
    QFETCH(QStringList, states);
    QFETCH(int, sessions);
    QFETCH(int, ended);
    QFETCH(int, refreshes);

    auto store = makeStore();
    QSignalSpy changed(store.get(), &StatsStore::statsChanged);
    for (const QString &state : states)
        store->onVpnState(state, u"198.51.100.7:51820"_s, u"tls"_s);
    QCOMPARE(sql(m_path, u"SELECT COUNT(*), COUNT(ended_at) FROM sessions"_s), (Rows {{sessions, ended}}));
    QCOMPARE(changed.count(), refreshes);
}

void TestStatsStore::sessionRowAcrossReconnect()
{
    auto store = makeStore();
    // The client reports null strings until the service names a server; the
    // NOT NULL columns must still accept the row.
    store->onVpnState(u"connected"_s, QString(), QString());
    m_now = m_now.addSecs(10);
    store->onTrafficSample(100, 200, 0, 0);
    store->onVpnState(u"reconnecting"_s, QString(), QString());
    m_now = m_now.addSecs(10);
    store->onTrafficSample(300, 500, 0, 0);
    // The names arrive while the row is open; the first ones known stay.
    store->onVpnState(u"connected"_s, u"203.0.113.1:443"_s, u"reality"_s);
    store->onVpnState(u"connected"_s, u"198.51.100.9:443"_s, u"tls"_s);
    m_now = QDateTime(m_today, QTime(13, 5, 7));
    store->onVpnState(u"disconnected"_s, QString(), QString());

    const QString columns = u"started_at, ended_at, up, down, endpoint, transport, endpoint IS NULL"_s;
    QCOMPARE(sql(m_path, u"SELECT %1 FROM sessions"_s.arg(columns)),
        (Rows {{u"2026-03-10T12:00:00"_s, u"2026-03-10T13:05:07"_s, 300, 500, u"203.0.113.1:443"_s,
            u"reality"_s, 0}}));
    QCOMPARE(store->weekDown(), 500.0);
    QCOMPARE(store->protectedSecondsWeek(), 20);
}

void TestStatsStore::trafficAccounting_data()
{
    QTest::addColumn<QTime>("start");
    QTest::addColumn<QList<Sample>>("samples");
    QTest::addColumn<Rows>("days"); // day offset, up, down, protected seconds

    const QTime noon(12, 0);
    QTest::newRow("first sample: whole counters, time since start")
        << noon << QList<Sample> {{30, 1000, 5000}} << Rows {{0, 1000, 5000, 30}};
    QTest::newRow("first sample long after start")
        << noon << QList<Sample> {{600, 10, 20}} << Rows {{0, 10, 20, 60}};
    QTest::newRow("five minutes apart")
        << noon << QList<Sample> {{10, 1, 1}, {310, 2, 2}} << Rows {{0, 2, 2, 70}};
    QTest::newRow("clock set back") << noon << QList<Sample> {{30, 1, 1}, {20, 1, 1}, {25, 1, 1}}
                                    << Rows {{0, 1, 1, 35}};
    QTest::newRow("counter reset") << noon << QList<Sample> {{10, 1000, 1000}, {20, 300, 1500}}
                                   << Rows {{0, 1300, 1500, 20}};
    QTest::newRow("beyond 32 bits") << noon << QList<Sample> {{10, 5'000'000'000, 1}, {20, 9'000'000'000, 1}}
                                    << Rows {{0, qint64(9'000'000'000), 1, 20}};
    QTest::newRow("across midnight") << QTime(23, 59) << QList<Sample> {{50, 100, 1000}, {70, 300, 1500}}
                                     << Rows {{0, 100, 1000, 50}, {1, 200, 500, 20}};
}

void TestStatsStore::trafficAccounting()
{
    QFETCH(QTime, start);
    QFETCH(QList<Sample>, samples);
    QFETCH(Rows, days);

    m_now = QDateTime(m_today, start);
    const QDateTime started = m_now;
    auto store = makeStore();
    connectStore(*store);
    qint64 up = 0, down = 0;
    for (const Sample &sample : samples) {
        m_now = started.addSecs(sample.atSecs);
        store->onTrafficSample(sample.up, sample.down, 0, 0);
    }
    for (QVariantList &day : days) {
        day[0] = key(m_today.addDays(day.at(0).toInt()));
        up += day.at(1).toLongLong();
        down += day.at(2).toLongLong();
    }
    QCOMPARE(sql(m_path, u"SELECT date, up, down, protected_seconds FROM days ORDER BY date"_s), days);
    QCOMPARE(sql(m_path, u"SELECT up, down FROM sessions"_s), (Rows {{up, down}}));
}

void TestStatsStore::speedAndLatencySamples()
{
    auto store = makeStore();
    store->onTrafficSample(100, 100, 10, 10); // before the session: dropped
    store->onPingSample(20);
    connectStore(*store);
    for (const double speed : {0.0, -5.0, 1000.5, 2000.0}) // zero and negative speeds are no samples
        store->onTrafficSample(0, 0, 99.0, speed);
    for (const int ms : {-1, 0, 10, 11}) // -1 is no value, 0 is one
        store->onPingSample(ms);
    store->onVpnState(u"failed"_s, QString(), QString());
    store->onTrafficSample(200, 200, 10, 10); // after the session: dropped
    store->onPingSample(30);
    QCOMPARE(sql(m_path, u"SELECT speed_sum, speed_n, ping_sum, ping_n, up FROM days"_s),
        (Rows {{3000.5, 2, 21, 3, 0}}));
    QCOMPARE(sql(m_path, u"SELECT up, down FROM sessions"_s), (Rows {{0, 0}}));
}

void TestStatsStore::retentionAtStart()
{
    makeStore().reset();
    const QDate cutOff = m_today.addDays(-90);
    for (int back : {91, 90, 89})
        sql(m_path, u"INSERT INTO days(date) VALUES(?)"_s, {key(m_today.addDays(-back))});
    for (const QString &start : {key(cutOff.addDays(-1)) + u"T23:59:59"_s, key(cutOff) + u"T23:00:00"_s})
        sql(m_path, u"INSERT INTO sessions(started_at) VALUES(?)"_s, {start});

    auto store = makeStore();
    QCOMPARE(sql(m_path, u"SELECT date FROM days ORDER BY date"_s),
        (Rows {{key(cutOff)}, {key(cutOff.addDays(1))}}));
    QCOMPARE(sql(m_path, u"SELECT started_at FROM sessions"_s), (Rows {{key(cutOff) + u"T23:00:00"_s}}));

    // A prune that fails (a lock held elsewhere, a full disk) costs only the retention.
    sql(m_path, u"INSERT INTO days(date) VALUES(?)"_s, {key(m_today.addDays(-91))});
    sql(m_path, u"CREATE TRIGGER busy BEFORE DELETE ON days BEGIN SELECT RAISE(ABORT, 'busy'); END"_s);
    QTest::failOnWarning(QRegularExpression(u".*"_s));
    store = makeStore();
    connectStore(*store);
    QCOMPARE(sql(m_path, u"SELECT COUNT(*) FROM days UNION ALL SELECT COUNT(*) FROM sessions"_s),
        (Rows {{3}, {2}}));
}

void TestStatsStore::samplesGoToTheLogUntilClose()
{
    auto store = makeStore();
    connectStore(*store);
    store->onTrafficSample(100, 200, 0, 0);
    // Commits wait for no disk sync: the write-ahead log syncs only at checkpoints.
    QCOMPARE(sql(m_path, u"PRAGMA journal_mode"_s), (Rows {{u"wal"_s}}));
    {
        QSqlQuery synchronous(QSqlDatabase::database(QSqlDatabase::connectionNames().constFirst(), false));
        QVERIFY(synchronous.exec(u"PRAGMA synchronous"_s) && synchronous.next());
        QCOMPARE(synchronous.value(0).toInt(), 1); // NORMAL
    }

    // Closing folds the log into the file, which then holds every figure alone.
    store.reset();
    QVERIFY(!QFile::exists(m_path + u"-wal"_s));
    QCOMPARE(sql(m_path, u"SELECT up, down FROM days"_s), (Rows {{100, 200}}));
}

void TestStatsStore::weekSummary_data()
{
    QTest::addColumn<QList<DayRow>>("rows");
    QTest::addColumn<QVariantList>("figures"); // weekUp, weekDown, seconds, avgDownSpeed, avgPingMs, hasData
    QTest::addColumn<QList<double>>("downs");

    const QList<double> zeros(7, 0.0);
    QTest::newRow("empty database") << QList<DayRow>() << QVariantList {0.0, 0.0, 0, 0.0, -1, false} << zeros;
    QTest::newRow("latency 31/3 truncates")
        << QList<DayRow> {{0, 0, 0, 0, 0, 0, 31, 3}} << QVariantList {0.0, 0.0, 0, 0.0, 10, true} << zeros;
    QTest::newRow("latency 599/10 is 59")
        << QList<DayRow> {{-2, 0, 0, 0, 0, 0, 300, 5}, {0, 0, 0, 0, 0, 0, 299, 5}}
        << QVariantList {0.0, 0.0, 0, 0.0, 59, true} << zeros;
    QTest::newRow("speeds 1000 and 2000") << QList<DayRow> {{-1, 0, 0, 0, 1000, 1}, {0, 0, 0, 0, 2000, 1}}
                                          << QVariantList {0.0, 0.0, 0, 1500.0, -1, true} << zeros;
    QTest::newRow("speed over samples, not days")
        << QList<DayRow> {{-1, 0, 0, 0, 1000, 1}, {0, 0, 0, 0, 5000, 3}}
        << QVariantList {0.0, 0.0, 0, 1500.0, -1, true} << zeros;
    QTest::newRow("totals and entries")
        << QList<DayRow> {{-7, 1, 1, 1, 9, 1, 9, 1}, {-6, 10, 100, 60}, {0, 5'000'000'000, 7'000'000'000, 30}}
        << QVariantList {5'000'000'010.0, 7'000'000'100.0, 90, 0.0, -1, true}
        << QList<double> {100, 0, 0, 0, 0, 0, 7e9};
    QTest::newRow("only old rows still count as data") << QList<DayRow> {{-10, 1, 1, 1, 100, 1, 100, 1}}
                                                       << QVariantList {0.0, 0.0, 0, 0.0, -1, true} << zeros;
    QTest::newRow("future row counted, no entry") << QList<DayRow> {{1, 3, 4, 5, 600, 2, 40, 2}}
                                                  << QVariantList {3.0, 4.0, 5, 300.0, 20, true} << zeros;
}

void TestStatsStore::weekSummary()
{
    QFETCH(QList<DayRow>, rows);
    QFETCH(QVariantList, figures);
    QFETCH(QList<double>, downs);

    makeStore().reset();
    for (const DayRow &r : rows) {
        sql(m_path, u"INSERT INTO days VALUES(?, ?, ?, ?, ?, ?, ?, ?)"_s,
            {key(m_today.addDays(r.offset)), r.up, r.down, r.seconds, r.speedSum, r.speedN, r.pingSum,
                r.pingN});
    }
    auto store = makeStore();
    QCOMPARE((QVariantList {store->weekUp(), store->weekDown(), store->protectedSecondsWeek(),
                 store->avgDownSpeed(), store->avgPingMs(), store->hasData()}),
        figures);
    QVariantList expected;
    for (int i = 0; i < 7; ++i) {
        double up = 0;
        for (const DayRow &r : rows)
            up += r.offset == i - 6 ? double(r.up) : 0.0;
        expected.append(
            QVariantMap {{u"date"_s, key(m_today.addDays(i - 6))}, {u"down"_s, downs.at(i)}, {u"up"_s, up}});
    }
    QCOMPARE(store->days(), expected);
}

void TestStatsStore::everyRefreshEmits()
{
    auto store = makeStore();
    connectStore(*store);
    m_now = m_now.addSecs(20);
    store->onTrafficSample(10, 20, 0, 500);
    QCOMPARE(store->weekDown(), 0.0); // samples alone do not refresh

    QSignalSpy changed(store.get(), &StatsStore::statsChanged);
    store->refresh();
    const QVariantList days = store->days();
    store->refresh();
    QCOMPARE(changed.count(), 2);
    QCOMPARE(store->days(), days);
    QCOMPARE((QVariantList {store->weekDown(), store->avgDownSpeed(), store->protectedSecondsWeek()}),
        (QVariantList {20.0, 500.0, 20}));
}

void TestStatsStore::unopenablePathLeavesStoreInert_data()
{
    QTest::addColumn<QString>("relativePath");
    QTest::addColumn<QByteArray>("content");
    // A regular file where a folder should be: neither mkpath nor SQLite can use it.
    QTest::newRow("file where the folder belongs") << u"blocker/sub/stats.db"_s << QByteArray();
    // SQLite opens such a file happily and fails only on the first statement.
    QTest::newRow("not a database") << u"garbage.db"_s << QByteArray(8192, '\x5a');
}

void TestStatsStore::unopenablePathLeavesStoreInert()
{
    QFETCH(QString, relativePath);
    QFETCH(QByteArray, content);
    const QString blockerPath = m_dir.filePath(relativePath.section(u'/', 0, 0));
    QFile blocker(blockerPath);
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.write(content);
    blocker.close();

    QTest::ignoreMessage(QtWarningMsg,
        QRegularExpression(u"^StatsStore: cannot open .*/"_s + QRegularExpression::escape(relativePath)));
    QTest::failOnWarning(QRegularExpression(u".*"_s));
    auto store = makeStore(m_dir.filePath(relativePath));
    QSignalSpy changed(store.get(), &StatsStore::statsChanged);
    connectStore(*store);
    store->onTrafficSample(10, 20, 0, 500);
    store->onPingSample(15);
    store->onVpnState(u"disconnected"_s, QString(), QString());
    store->refresh();

    QCOMPARE(changed.count(), 0);
    QCOMPARE((QVariantList {store->days(), store->hasData(), store->avgPingMs()}),
        (QVariantList {QVariantList(), false, -1}));
    store.reset();
    QCOMPARE(QSqlDatabase::connectionNames(), QStringList());
    // The damaged file is left as it was.
    QVERIFY(blocker.open(QIODevice::ReadOnly));
    QCOMPARE(blocker.readAll(), content);
}

QTEST_GUILESS_MAIN(TestStatsStore)
#include "tst_statsstore.moc"
