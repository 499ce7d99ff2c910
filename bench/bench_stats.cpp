// Prints the cost of recording one traffic sample and one latency sample,
// and of one summary refresh, on a database holding 90 days of rows.
//
// Usage: bench_stats [runs] [database folder] [--json file]
//        (defaults: 500 runs, a temporary folder)

#include "BenchReport.h"
#include "StatsStore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr int kHistoryDays = 90;
constexpr int kSessionsPerDay = 4;

void fillHistory(const QString &path, const QDate &today)
{
    const QString name = u"bench-fill"_s;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, name);
        db.setDatabaseName(path);
        db.open();
        db.transaction();
        QSqlQuery query(db);
        for (int back = kHistoryDays; back >= 1; --back) {
            const QDate day = today.addDays(-back);
            query.prepare(
                u"INSERT OR REPLACE INTO days(date, up, down, protected_seconds, speed_sum, speed_n, "
                u"ping_sum, ping_n) VALUES(?, ?, ?, ?, ?, ?, ?, ?)"_s);
            for (const QVariant &value : QVariantList {day.toString(Qt::ISODate), 300'000'000LL,
                     2'000'000'000LL, 14400, 5.0e9, 7200, 36000, 1440})
                query.addBindValue(value);
            query.exec();
            for (int i = 0; i < kSessionsPerDay; ++i) {
                const QDateTime start(day, QTime(6 * i, 0));
                query.prepare(u"INSERT INTO sessions(started_at, ended_at, up, down, endpoint, transport) "
                              u"VALUES(?, ?, ?, ?, ?, ?)"_s);
                for (const QVariant &value :
                    QVariantList {start.toString(Qt::ISODate), start.addSecs(3600).toString(Qt::ISODate),
                        75'000'000LL, 500'000'000LL, u"198.51.100.7:51820"_s, u"tls"_s})
                    query.addBindValue(value);
                query.exec();
            }
        }
        db.commit();
    }
    QSqlDatabase::removeDatabase(name);
}

struct Figures
{
    double median = 0;
    double p90 = 0;
};

template<typename Action> Figures measure(int runs, Action action)
{
    std::vector<double> micros;
    micros.reserve(size_t(runs));
    QElapsedTimer timer;
    for (int i = 0; i < runs; ++i) {
        timer.start();
        action(i);
        micros.push_back(double(timer.nsecsElapsed()) / 1000.0);
    }
    std::sort(micros.begin(), micros.end());
    return {micros[micros.size() / 2], micros[micros.size() * 9 / 10]};
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList positional = app.arguments().mid(1);
    const qsizetype jsonAt = positional.indexOf(u"--json"_s);
    if (jsonAt >= 0)
        positional.remove(jsonAt, std::min<qsizetype>(2, positional.size() - jsonAt));
    const int requested = positional.value(0).toInt();
    const int runs = requested > 0 ? requested : 500;

    QTemporaryDir tempDir;
    const QString folder = positional.size() > 1 ? positional.at(1) : tempDir.path();
    const QString path = folder + u"/bench-stats.db"_s;
    QFile::remove(path);

    QDateTime now(QDate(2026, 3, 10), QTime(8, 0));
    // Creates the schema, so the history can be written with plain inserts.
    {
        StatsStore schema(path, [&] { return now; });
    }
    fillHistory(path, now.date());

    StatsStore store(path, [&] { return now; });
    store.onVpnState(u"connected"_s, u"198.51.100.7:51820"_s, u"tls"_s);

    const Figures traffic = measure(runs, [&](int i) {
        now = now.addSecs(1);
        store.onTrafficSample(qlonglong(i) * 40'000, qlonglong(i) * 250'000, 40'000.0, 250'000.0);
    });
    const Figures ping = measure(runs, [&](int i) { store.onPingSample(20 + i % 7); });
    const Figures refresh = measure(runs, [&](int) { store.refresh(); });

    BenchReport report(u"stats"_s);
    report.add(u"history_days"_s, kHistoryDays, u"days"_s, 0);
    report.add(u"runs"_s, runs, u""_s, 0);
    report.add(u"traffic_sample_median_us"_s, traffic.median, u"us"_s);
    report.add(u"traffic_sample_p90_us"_s, traffic.p90, u"us"_s);
    report.add(u"latency_sample_median_us"_s, ping.median, u"us"_s);
    report.add(u"latency_sample_p90_us"_s, ping.p90, u"us"_s);
    report.add(u"refresh_median_us"_s, refresh.median, u"us"_s);
    report.add(u"refresh_p90_us"_s, refresh.p90, u"us"_s);
    return report.finish(app.arguments()) ? 0 : 1;
}
