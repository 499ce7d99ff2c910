#pragma once

#include "LineReader.h"
#include "Protocol.h"

#include <QJsonObject>
#include <QLocalSocket>
#include <QObject>
#include <QStandardPaths>
#include <QString>

#include <functional>

class QTimer;

// Values of PipeClient::linkState.
namespace LinkState {
// Connected to the service.
inline constexpr QLatin1StringView up("up");
// The first attempt or the fast retries after it are under way.
inline constexpr QLatin1StringView connecting("connecting");
// The fast retries are spent; slow ones go on until the service appears.
inline constexpr QLatin1StringView unreachable("unreachable");
// As unreachable, but the last attempt found the service, which closed the
// link before answering the handshake (as it does with a refused token).
inline constexpr QLatin1StringView closed("closed");
// The socket refused access; nothing is tried until connectToPipe().
inline constexpr QLatin1StringView refused("refused");
} // namespace LinkState

// The client side of the control pipe to the VPN service: keeps the link up,
// mirrors the service's state as properties and sends its commands.
class PipeClient : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString status READ status NOTIFY statusChanged)
    Q_PROPERTY(bool authenticated READ authenticated NOTIFY authenticatedChanged)
    Q_PROPERTY(QString username READ username NOTIFY usernameChanged)
    Q_PROPERTY(QString vpnState READ vpnState NOTIFY vpnStateChanged)
    Q_PROPERTY(QString vpnIp READ vpnIp NOTIFY vpnStateChanged)
    Q_PROPERTY(QString transport READ transport NOTIFY vpnStateChanged)
    Q_PROPERTY(QString endpoint READ endpoint NOTIFY vpnStateChanged)
    Q_PROPERTY(int attempt READ attempt NOTIFY vpnStateChanged)
    Q_PROPERTY(QString errorText READ errorText NOTIFY vpnStateChanged)
    Q_PROPERTY(QString killSwitchMode READ killSwitchMode NOTIFY killSwitchChanged)
    Q_PROPERTY(bool updateAvailable READ updateAvailable NOTIFY updateAvailableChanged)
    Q_PROPERTY(QString updateVersion READ updateVersion NOTIFY updateAvailableChanged)
    Q_PROPERTY(bool isUpdating READ isUpdating NOTIFY updating)
    Q_PROPERTY(int updateProgress READ updateProgress NOTIFY updating)
    Q_PROPERTY(bool updateReady READ updateReady NOTIFY updateReadyChanged)
    Q_PROPERTY(double up READ up NOTIFY trafficChanged)
    Q_PROPERTY(double down READ down NOTIFY trafficChanged)
    Q_PROPERTY(double upSpeed READ upSpeed NOTIFY trafficChanged)
    Q_PROPERTY(double downSpeed READ downSpeed NOTIFY trafficChanged)
    Q_PROPERTY(QString connectedSince READ connectedSince NOTIFY trafficChanged)
    Q_PROPERTY(QString linkState READ linkState NOTIFY linkStateChanged)
    Q_PROPERTY(QString tokenPath READ tokenPath CONSTANT)

public:
    // Wall-clock milliseconds since the epoch; replaceable for tests.
    using Clock = std::function<qint64()>;

    static constexpr int maxRetries = 10;
    static constexpr int reconnectDelayMs = 500;
    static constexpr int slowRetryIntervalMs = 10000;
    static constexpr int statusPollIntervalMs = 1500;
    static constexpr int blockingWriteTimeoutMs = 500;

    explicit PipeClient(QObject *parent = nullptr, const QString &socketPath = Protocol::socketPath,
        const QString &tokenPath = Protocol::tokenPath,
        const QString &desktopDir = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation),
        Clock clock = {});

    [[nodiscard]] QString status() const { return m_status; }
    [[nodiscard]] bool authenticated() const { return m_authenticated; }
    [[nodiscard]] QString username() const { return m_username; }
    [[nodiscard]] QString vpnState() const { return m_vpnState; }
    [[nodiscard]] QString vpnIp() const { return m_vpnIp; }
    [[nodiscard]] QString transport() const { return m_transport; }
    [[nodiscard]] QString endpoint() const { return m_endpoint; }
    [[nodiscard]] int attempt() const { return m_attempt; }
    [[nodiscard]] QString errorText() const { return m_errorText; }
    [[nodiscard]] QString killSwitchMode() const { return m_killSwitchMode; }
    [[nodiscard]] bool updateAvailable() const { return m_updateAvailable; }
    [[nodiscard]] QString updateVersion() const { return m_updateVersion; }
    [[nodiscard]] bool isUpdating() const { return m_isUpdating; }
    [[nodiscard]] int updateProgress() const { return m_updateProgress; }
    [[nodiscard]] bool updateReady() const { return m_updateReady; }
    [[nodiscard]] double up() const { return static_cast<double>(m_up); }
    [[nodiscard]] double down() const { return static_cast<double>(m_down); }
    [[nodiscard]] double upSpeed() const { return m_upSpeed; }
    [[nodiscard]] double downSpeed() const { return m_downSpeed; }
    [[nodiscard]] QString connectedSince() const { return m_connectedSince; }
    // Whether the service can be reached, for the interface to say so (see LinkState).
    [[nodiscard]] QString linkState() const { return m_linkState; }
    // Where the handshake's token is read from, for the interface to name.
    [[nodiscard]] QString tokenPath() const { return m_tokenPath; }
    // The session counters as the whole byte counts they are kept in.
    [[nodiscard]] qint64 upBytes() const { return m_up; }
    [[nodiscard]] qint64 downBytes() const { return m_down; }

    // True once "apply_update" was sent and no update error has cancelled it;
    // the quit handler uses it to tell a restart from a quit.
    [[nodiscard]] bool applyRequested() const { return m_applyRequested; }

    // Interval of the retries that follow the fast ones; shortened by tests.
    void setSlowRetryInterval(int ms) { m_slowRetryIntervalMs = ms; }

    Q_INVOKABLE void connectToPipe();
    Q_INVOKABLE void sendPing();
    Q_INVOKABLE void sendLoginStart();
    Q_INVOKABLE void sendLoginCancel();
    Q_INVOKABLE void sendLogout();
    Q_INVOKABLE void sendConnect(
        bool whitelist = false, bool games = false, const QString &transport = QString());
    Q_INVOKABLE void sendDisconnect();
    Q_INVOKABLE void sendStatusQuery();
    Q_INVOKABLE void sendSetKillSwitchMode(const QString &mode);
    Q_INVOKABLE void sendShutdown();
    Q_INVOKABLE void sendGetDiag();
    Q_INVOKABLE void sendInstallUpdate();
    Q_INVOKABLE void sendApplyUpdate();

signals:
    void statusChanged();
    void authenticatedChanged();
    void usernameChanged();
    void vpnStateChanged();
    void killSwitchChanged();
    void trafficChanged();
    void versionReceived(const QString &version);
    void browserOpened(const QString &loginUrl, const QString &expiresAt);
    void loginComplete();
    void loginFailed(const QString &error);
    void loggedOut();
    void diagReady(const QString &destPath);
    void updateAvailableChanged();
    void updating();
    void updateReadyChanged();
    void restartConfirmed();
    void accessDenied();
    void linkStateChanged();

private slots:
    void onConnected();
    void onDisconnected();
    void onReadyRead();
    void onError(QLocalSocket::LocalSocketError err);
    void tryReconnect();

private:
    void handleMessage(const QJsonObject &message);
    void handleStatus(const QJsonObject &message);
    void handleDiagReady(const QJsonObject &message);
    void updateVpnState(const QString &state, const QString &ip, const QString &transport);
    void setStatus(const QString &text);
    void setAuthenticated(bool authenticated);
    void setLinkState(QLatin1StringView state);
    void scheduleRetry(QLatin1StringView stateWhenSpent);
    [[nodiscard]] bool isConnected() const;
    void sendCommand(const QByteArray &line);
    void writeAndWait(const QByteArray &line);

    const QString m_socketPath;
    const QString m_tokenPath;
    const QString m_desktopDir;
    const Clock m_clock;

    QLocalSocket *m_socket = nullptr;
    QTimer *m_reconnectTimer = nullptr;
    QTimer *m_statusPollTimer = nullptr;
    LineReader m_reader;
    // Failed attempts since connectToPipe() or the last "ready": a link the
    // service closes before answering the handshake counts as one.
    int m_retryCount = 0;
    // The service answered this connection's handshake with "ready".
    bool m_accepted = false;
    int m_slowRetryIntervalMs = slowRetryIntervalMs;
    bool m_shutdownRequested = false;
    bool m_applyRequested = false;
    qint64 m_lastSampleMs = 0;

    QString m_status = QStringLiteral("disconnected");
    bool m_authenticated = false;
    QString m_username;
    QString m_vpnState = Protocol::State::disconnected;
    QString m_vpnIp;
    QString m_transport;
    QString m_endpoint;
    int m_attempt = 0;
    QString m_errorText;
    QString m_killSwitchMode = Protocol::KillSwitch::never;
    bool m_updateAvailable = false;
    QString m_updateVersion;
    bool m_isUpdating = false;
    int m_updateProgress = 0;
    bool m_updateReady = false;
    qint64 m_up = 0;
    qint64 m_down = 0;
    double m_upSpeed = 0;
    double m_downSpeed = 0;
    QString m_connectedSince;
    // Start-up makes the first attempt right away.
    QString m_linkState = LinkState::connecting;
};
