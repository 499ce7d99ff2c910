#include "StatsStore.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariantMap>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

const QString kDriver = u"QSQLITE"_s;
const QString kConnectionPrefix = u"stats-"_s;
const QString kConnected = u"connected"_s;
const QString kReconnecting = u"reconnecting"_s;

// Keys of one entry of the days list.
const QString kKeyDate = u"date"_s;
const QString kKeyDown = u"down"_s;
const QString kKeyUp = u"up"_s;

constexpr int kRetentionDays = 90;
constexpr int kWindowDays = 7;
constexpr qint64 kMaxCreditedSeconds = 60;

const QString kCreateSessions = u"CREATE TABLE IF NOT EXISTS sessions( id INTEGER PRIMARY KEY AUTOINCREMENT, "
                                u"started_at TEXT NOT NULL, ended_at TEXT, up INTEGER NOT NULL DEFAULT 0, "
                                u"down INTEGER NOT NULL DEFAULT 0, endpoint TEXT NOT NULL DEFAULT '', "
                                u"transport TEXT NOT NULL DEFAULT '')"_s;
const QString kCreateDays
    = u"CREATE TABLE IF NOT EXISTS days( date TEXT PRIMARY KEY, up INTEGER NOT NULL DEFAULT 0, "
      u"down INTEGER NOT NULL DEFAULT 0, protected_seconds INTEGER NOT NULL DEFAULT 0, "
      u"speed_sum REAL NOT NULL DEFAULT 0, speed_n INTEGER NOT NULL DEFAULT 0, "
      u"ping_sum INTEGER NOT NULL DEFAULT 0, ping_n INTEGER NOT NULL DEFAULT 0)"_s;
const QString kUseWriteAheadLog = u"PRAGMA journal_mode=WAL"_s;
const QString kSyncAtCheckpoints = u"PRAGMA synchronous=NORMAL"_s;
const QString kPruneDays = u"DELETE FROM days WHERE date < ?"_s;
const QString kPruneSessions = u"DELETE FROM sessions WHERE started_at < ?"_s;
const QString kOpenSession = u"INSERT INTO sessions(started_at, endpoint, transport) VALUES(?, ?, ?)"_s;
const QString kEndSession = u"UPDATE sessions SET ended_at = ? WHERE id = ?"_s;
const QString kNameSession = u"UPDATE sessions SET endpoint = ?, transport = ? WHERE id = ?"_s;
const QString kAddToSession = u"UPDATE sessions SET up = up + ?, down = down + ? WHERE id = ?"_s;
const QString kEnsureDay = u"INSERT OR IGNORE INTO days(date) VALUES(?)"_s;
const QString kAddToDay
    = u"UPDATE days SET up = up + ?, down = down + ?, protected_seconds = protected_seconds + ?, "
      u"speed_sum = speed_sum + ?, speed_n = speed_n + ?, ping_sum = ping_sum + ?, "
      u"ping_n = ping_n + ? WHERE date = ?"_s;
const QString kWeekTotals
    = u"SELECT COALESCE(SUM(up),0), COALESCE(SUM(down),0), COALESCE(SUM(protected_seconds),0), "
      u"COALESCE(SUM(speed_sum),0), COALESCE(SUM(speed_n),0), COALESCE(SUM(ping_sum),0), "
      u"COALESCE(SUM(ping_n),0) FROM days WHERE date >= ?"_s;
const QString kDayTotals = u"SELECT up, down FROM days WHERE date = ?"_s;
const QString kAnyDay = u"SELECT 1 FROM days LIMIT 1"_s;

QString dayKey(const QDate &date)
{
    return date.toString(Qt::ISODate);
}

QString timestamp(const QDateTime &moment)
{
    return moment.toString(Qt::ISODate);
}

// The sessions columns are NOT NULL and the SQLite driver binds a null
// QString as NULL, which would make the insert fail; bind an empty text.
QString notNull(const QString &text)
{
    return text.isNull() ? QString(u""_s) : text;
}

bool run(QSqlQuery &query, const QString &sql, const QVariantList &values)
{
    if (!query.prepare(sql))
        return false;
    for (const QVariant &value : values)
        query.addBindValue(value);
    return query.exec();
}

} // namespace

StatsStore::StatsStore(const QString &databasePath, Clock clock, QObject *parent)
    : QObject(parent)
    , m_clock(std::move(clock))
    , m_connectionName(kConnectionPrefix + QUuid::createUuid().toString(QUuid::Id128))
{
    QDir().mkpath(QFileInfo(databasePath).absolutePath());

    QString error;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(kDriver, m_connectionName);
        db.setDatabaseName(databasePath);
        m_isOpen = db.open();
        // SQLite opens lazily: a file that is not a database, or one that
        // cannot be written, shows only when the first statements run.
        if (m_isOpen)
            error = prepareDatabase();
        else
            error = db.lastError().text();
        if (!error.isEmpty() && m_isOpen) {
            db.close();
            m_isOpen = false;
        }
    }

    if (!m_isOpen) {
        qWarning().noquote() << u"StatsStore: cannot open"_s << databasePath << error;
        return;
    }
    refresh();
}

StatsStore::~StatsStore()
{
    if (m_isOpen)
        QSqlDatabase::database(m_connectionName, false).close();
    QSqlDatabase::removeDatabase(m_connectionName);
}

void StatsStore::onVpnState(const QString &state, const QString &endpoint, const QString &transport)
{
    if (!m_isOpen)
        return;

    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    if (state == kConnected) {
        // The client repeats its state signal whenever the endpoint, address
        // or error text changes, so only the first "connected" opens a row.
        if (m_sessionId >= 0) {
            nameSession(endpoint, transport);
            return;
        }
        m_sessionEndpoint = notNull(endpoint);
        m_sessionTransport = notNull(transport);
        if (run(query, kOpenSession, {timestamp(now()), m_sessionEndpoint, m_sessionTransport}))
            m_sessionId = query.lastInsertId().toLongLong();
        m_lastUp = 0;
        m_lastDown = 0;
        m_lastSampleAt = now();
        return;
    }

    if (m_sessionId < 0 || state == kReconnecting)
        return;

    run(query, kEndSession, {timestamp(now()), m_sessionId});
    m_sessionId = -1;
    refresh();
}

void StatsStore::onTrafficSample(qlonglong up, qlonglong down, double upSpeed, double downSpeed)
{
    Q_UNUSED(upSpeed)
    if (!m_isOpen || m_sessionId < 0)
        return;

    up = std::max<qlonglong>(up, 0);
    down = std::max<qlonglong>(down, 0);
    // A counter that went down means the service restarted counting, so all
    // it shows now is new traffic.
    const qint64 upDelta = up < m_lastUp ? up : up - m_lastUp;
    m_lastUp = up;
    const qint64 downDelta = down < m_lastDown ? down : down - m_lastDown;
    m_lastDown = down;

    const QDateTime moment = now();
    int protectedSeconds = 0;
    if (m_lastSampleAt.isValid())
        protectedSeconds = int(qBound<qint64>(0, m_lastSampleAt.secsTo(moment), kMaxCreditedSeconds));
    m_lastSampleAt = moment;

    const bool hasSpeed = downSpeed > 0;
    // Outside a transaction each statement would be a commit of its own, and
    // samples arrive every poll on the GUI thread: write them as one.
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    const bool inTransaction = db.transaction();
    addToDay(dayKey(now().date()), upDelta, downDelta, protectedSeconds, hasSpeed, downSpeed, 0, false);

    QSqlQuery query(db);
    run(query, kAddToSession, {qlonglong(upDelta), qlonglong(downDelta), m_sessionId});
    if (inTransaction && !db.commit())
        db.rollback();
}

void StatsStore::onPingSample(int ms)
{
    if (!m_isOpen || m_sessionId < 0 || ms < 0)
        return;
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    const bool inTransaction = db.transaction();
    addToDay(dayKey(now().date()), 0, 0, 0, false, 0.0, ms, true);
    if (inTransaction && !db.commit())
        db.rollback();
}

void StatsStore::refresh()
{
    if (!m_isOpen)
        return;

    const QDate today = now().date();
    const QString startKey = dayKey(today.addDays(-(kWindowDays - 1)));

    m_weekDown = 0;
    m_weekUp = 0;
    m_avgDownSpeed = 0;
    m_protectedSecondsWeek = 0;
    m_avgPingMs = -1;
    m_days.clear();

    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    if (run(query, kWeekTotals, {startKey}) && query.next()) {
        m_weekUp = query.value(0).toDouble();
        m_weekDown = query.value(1).toDouble();
        m_protectedSecondsWeek = query.value(2).toInt();
        const double speedCount = query.value(4).toDouble();
        if (speedCount > 0)
            m_avgDownSpeed = query.value(3).toDouble() / speedCount;
        const int pingCount = query.value(6).toInt();
        if (pingCount > 0)
            m_avgPingMs = int(query.value(5).toDouble() / pingCount);
    }

    for (int offset = -(kWindowDays - 1); offset <= 0; ++offset) {
        const QString key = dayKey(today.addDays(offset));
        QVariantMap entry {{kKeyDate, key}, {kKeyDown, 0.0}, {kKeyUp, 0.0}};
        if (run(query, kDayTotals, {key}) && query.next()) {
            entry[kKeyUp] = query.value(0).toDouble();
            entry[kKeyDown] = query.value(1).toDouble();
        }
        m_days.append(entry);
    }

    m_hasData = run(query, kAnyDay, {}) && query.next();

    emit statsChanged();
}

// Creates the tables, switches to the write-ahead log and applies the
// retention; returns the driver's error text when the file cannot serve as
// the statistics database. A failed prune (a lock held elsewhere, a full
// disk) only keeps old rows until next start.
QString StatsStore::prepareDatabase()
{
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    if (!query.exec(kCreateSessions) || !query.exec(kCreateDays))
        return query.lastError().text();
    // A sample arrives every poll, and a commit in the rollback journal waits
    // for the disk each time. With the log and synchronous=NORMAL the disk is
    // synced at checkpoints only (closing the last connection makes one and
    // removes the log): a power cut may lose the last figures, never the
    // file's consistency. A file or folder that cannot take the log keeps the
    // journal, and the full sync that the journal needs.
    if (query.exec(kUseWriteAheadLog) && query.next() && query.value(0).toString() == u"wal"_s)
        query.exec(kSyncAtCheckpoints);
    const QString cutOff = dayKey(now().date().addDays(-kRetentionDays));
    run(query, kPruneDays, {cutOff});
    run(query, kPruneSessions, {cutOff});
    return {};
}

// When "connected" comes in the client's first status event (the tunnel was
// up before the app started), the client reports the state before it has
// read the endpoint from that event; the row takes the names once known.
void StatsStore::nameSession(const QString &endpoint, const QString &transport)
{
    const bool newEndpoint = m_sessionEndpoint.isEmpty() && !endpoint.isEmpty();
    const bool newTransport = m_sessionTransport.isEmpty() && !transport.isEmpty();
    if (!newEndpoint && !newTransport)
        return;
    if (newEndpoint)
        m_sessionEndpoint = endpoint;
    if (newTransport)
        m_sessionTransport = transport;
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    run(query, kNameSession, {m_sessionEndpoint, m_sessionTransport, m_sessionId});
}

void StatsStore::addToDay(const QString &dayKey, qint64 upDelta, qint64 downDelta, int protectedSeconds,
    bool hasSpeed, double speed, int latency, bool hasLatency)
{
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    run(query, kEnsureDay, {dayKey});
    run(query, kAddToDay,
        {qlonglong(upDelta), qlonglong(downDelta), protectedSeconds, hasSpeed ? speed : 0.0, hasSpeed ? 1 : 0,
            hasLatency ? latency : 0, hasLatency ? 1 : 0, dayKey});
}

QDateTime StatsStore::now() const
{
    // Day keys and timestamps are local; a clock that answers in UTC or
    // with an offset is brought to local time so no zone suffix is stored.
    return (m_clock ? m_clock() : QDateTime::currentDateTime()).toLocalTime();
}
