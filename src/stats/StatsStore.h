#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QVariantList>

#include <functional>

// Local SQLite record of VPN sessions and per-day traffic, protected time,
// speed and latency samples, plus the seven-day summary the statistics
// screen binds to.
class StatsStore : public QObject
{
    Q_OBJECT
    Q_PROPERTY(double weekDown READ weekDown NOTIFY statsChanged)
    Q_PROPERTY(double weekUp READ weekUp NOTIFY statsChanged)
    Q_PROPERTY(int protectedSecondsWeek READ protectedSecondsWeek NOTIFY statsChanged)
    Q_PROPERTY(double avgDownSpeed READ avgDownSpeed NOTIFY statsChanged)
    Q_PROPERTY(int avgPingMs READ avgPingMs NOTIFY statsChanged)
    Q_PROPERTY(QVariantList days READ days NOTIFY statsChanged)
    Q_PROPERTY(bool hasData READ hasData NOTIFY statsChanged)

public:
    using Clock = std::function<QDateTime()>;

    // An empty clock means the current local time.
    explicit StatsStore(const QString &databasePath, Clock clock = {}, QObject *parent = nullptr);
    ~StatsStore() override;

    [[nodiscard]] double weekDown() const { return m_weekDown; }
    [[nodiscard]] double weekUp() const { return m_weekUp; }
    [[nodiscard]] int protectedSecondsWeek() const { return m_protectedSecondsWeek; }
    [[nodiscard]] double avgDownSpeed() const { return m_avgDownSpeed; }
    [[nodiscard]] int avgPingMs() const { return m_avgPingMs; }
    [[nodiscard]] QVariantList days() const { return m_days; }
    [[nodiscard]] bool hasData() const { return m_hasData; }

public slots:
    void onVpnState(const QString &state, const QString &endpoint, const QString &transport);
    void onTrafficSample(qlonglong up, qlonglong down, double upSpeed, double downSpeed);
    void onPingSample(int ms);

public:
    Q_INVOKABLE void refresh();

signals:
    void statsChanged();

private:
    QString prepareDatabase();
    void nameSession(const QString &endpoint, const QString &transport);
    void addToDay(const QString &dayKey, qint64 upDelta, qint64 downDelta, int protectedSeconds,
        bool hasSpeed, double speed, int latency, bool hasLatency);
    [[nodiscard]] QDateTime now() const;

    Clock m_clock;
    QString m_connectionName;
    bool m_isOpen = false;
    qint64 m_sessionId = -1;
    // What the open session's row holds as its endpoint and transport.
    QString m_sessionEndpoint;
    QString m_sessionTransport;
    qint64 m_lastUp = 0;
    qint64 m_lastDown = 0;
    QDateTime m_lastSampleAt;

    double m_weekDown = 0;
    double m_weekUp = 0;
    double m_avgDownSpeed = 0;
    int m_protectedSecondsWeek = 0;
    int m_avgPingMs = -1;
    bool m_hasData = false;
    QVariantList m_days;
};
