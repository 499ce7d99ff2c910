#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>

class QTcpSocket;

// Measures the latency to the VPN server as the time a TCP connection set-up
// takes, periodically while active. No payload is ever sent.
class PingProber : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int pingMs READ pingMs NOTIFY pingChanged)
    Q_PROPERTY(QString target READ target WRITE setTarget NOTIFY targetChanged)
    Q_PROPERTY(bool active READ active WRITE setActive NOTIFY activeChanged)

public:
    static constexpr std::chrono::milliseconds kDefaultInterval {10000};

    // The interval is a seam for tests; the application keeps the default.
    explicit PingProber(QObject *parent = nullptr, std::chrono::milliseconds interval = kDefaultInterval);

    [[nodiscard]] int pingMs() const { return m_pingMs; }
    [[nodiscard]] QString target() const { return m_target; }
    [[nodiscard]] bool active() const { return m_active; }

    void setTarget(const QString &target);
    void setActive(bool active);

    Q_INVOKABLE void probeNow();

signals:
    void pingChanged();
    void targetChanged();
    void activeChanged();

private slots:
    void onProbeConnected();
    void onProbeError();

private:
    void finishProbe(bool abort);

    QString m_target;
    bool m_active = false;
    int m_pingMs = -1;
    QTimer m_timer;
    QTcpSocket *m_socket = nullptr;
    QElapsedTimer m_elapsed;
};
