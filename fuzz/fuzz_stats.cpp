// The statistics store fed arbitrary sequences of VPN states, traffic and
// latency samples, clock jumps (also backwards and across midnight),
// summaries and restarts on the same database file.
//
// After each sequence the file is checked from outside: sessions and days
// must account for the same bytes, and no day may hold negative time or
// sample counts.

#include "StatsStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimeZone>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fuzzer/FuzzedDataProvider.h>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

struct Harness
{
    std::unique_ptr<QTemporaryDir> dir;
    QString dbPath;
};

Harness *harness = nullptr;

enum Op : uint8_t { State, Traffic, Ping, Tick, Refresh, Restart, OpCount };

const QString kStates[] = {
    u"connected"_s,
    u"reconnecting"_s,
    u"connecting"_s,
    u"disconnected"_s,
    u"failed"_s,
    QString(),
};

[[noreturn]] void fail(const char *what, qint64 a = 0, qint64 b = 0)
{
    std::fprintf(
        stderr, "fuzz_stats: %s (%lld, %lld)\n", what, static_cast<long long>(a), static_cast<long long>(b));
    std::abort();
}

// Counters as the service reports them: mostly growing from small values,
// sometimes reset, sometimes anything a 64-bit number can hold.
qint64 counter(FuzzedDataProvider &in)
{
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0:
        return in.ConsumeIntegralInRange<qint64>(0, 1 << 20);
    case 1:
        return in.ConsumeIntegralInRange<qint64>(0, qint64(1) << 50);
    case 2:
        return 0;
    default:
        return in.ConsumeIntegral<qint64>();
    }
}

void check(const QString &path, bool pruned)
{
    const QString name = u"fuzz-check"_s;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, name);
        db.setDatabaseName(path);
        if (!db.open())
            fail("cannot reopen the database");
        QSqlQuery q(db);
        if (q.exec(u"SELECT COUNT(*) FROM days WHERE protected_seconds < 0 OR speed_n < 0 OR ping_n < 0 "
                   u"OR ping_sum < 0 OR speed_sum < 0"_s)
            && q.next() && q.value(0).toLongLong() != 0)
            fail("a day holds negative time or counts");
        // Every traffic sample adds the same deltas to its session and its
        // day, so the two tables agree until a restart prunes one of them.
        if (!pruned
            && q.exec(u"SELECT (SELECT TOTAL(up) FROM sessions) - (SELECT TOTAL(up) FROM days), "
                      u"(SELECT TOTAL(down) FROM sessions) - (SELECT TOTAL(down) FROM days)"_s)
            && q.next() && (q.value(0).toDouble() != 0 || q.value(1).toDouble() != 0))
            fail("sessions and days disagree on the bytes", q.value(0).toLongLong(), q.value(1).toLongLong());
    }
    QSqlDatabase::removeDatabase(name);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***argv)
{
    static int qtArgc = 1;
    static char *qtArgv[] = {(*argv)[0], nullptr};
    new QCoreApplication(qtArgc, qtArgv);
    harness = new Harness;
    // tmpfs when there is one: the store writes on every sample.
    const QString base = QDir(u"/dev/shm"_s).exists() ? u"/dev/shm"_s : QDir::tempPath();
    harness->dir = std::make_unique<QTemporaryDir>(base + u"/fuzz_stats-XXXXXX"_s);
    if (!harness->dir->isValid())
        fail("no temporary directory");
    harness->dbPath = harness->dir->filePath(u"stats.db"_s);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const QString &path = harness->dbPath;
    QFile::remove(path);

    QDateTime now(QDate(2026, 3, 28), QTime(23, 59, 30));
    const StatsStore::Clock clock = [&now] { return now; };
    auto store = std::make_unique<StatsStore>(path, clock);
    bool pruned = false;
    int ops = 0;

    while (in.remaining_bytes() > 0 && ++ops < 100) {
        switch (in.ConsumeIntegralInRange<int>(0, OpCount - 1)) {
        case State: {
            const int pick = in.ConsumeIntegralInRange<int>(0, std::size(kStates));
            const QString state = pick < int(std::size(kStates))
                ? kStates[pick]
                : QString::fromStdString(in.ConsumeRandomLengthString(16));
            const QString endpoint = QString::fromStdString(in.ConsumeRandomLengthString(32));
            store->onVpnState(state, endpoint, in.ConsumeBool() ? u"tls"_s : QString());
            break;
        }
        case Traffic: {
            const qint64 up = counter(in);
            const qint64 down = counter(in);
            const double upSpeed = in.ConsumeFloatingPoint<double>();
            store->onTrafficSample(up, down, upSpeed, in.ConsumeFloatingPoint<double>());
            break;
        }
        case Ping:
            store->onPingSample(in.ConsumeIntegral<int>());
            break;
        case Tick:
            // Mostly forward in poll-sized steps, sometimes far or backwards.
            now = now.addSecs(in.ConsumeBool() ? in.ConsumeIntegralInRange<int>(0, 90)
                                               : in.ConsumeIntegralInRange<int>(-86400 * 3, 86400 * 200));
            break;
        case Refresh:
            store->refresh();
            if (store->days().size() != 7)
                fail("the summary does not hold seven days", store->days().size());
            break;
        case Restart:
            store.reset();
            store = std::make_unique<StatsStore>(path, clock);
            pruned = true;
            break;
        }
    }
    store.reset();
    check(path, pruned);
    return 0;
}
