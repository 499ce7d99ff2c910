#pragma once

#include "LineReader.h"
#include "LoginPages.h"
#include "TrafficModel.h"

#include <QJsonObject>
#include <QLocalServer>
#include <QObject>
#include <QTimer>

#include <map>
#include <memory>

class QLocalSocket;

// A stand-in for the privileged VPN service: it owns the control socket and
// the token file, checks every handshake, and answers the commands with the
// events the client expects, simulating sign-in, the tunnel, traffic,
// diagnostics and updates. Faults can be injected for demos and tests.
class SimService : public QObject
{
    Q_OBJECT
public:
    struct Options
    {
        QString directory = QStringLiteral("/run/vantrelvpn");
        QString version = QStringLiteral("2.3.1");
        QString offeredUpdate; // offered after every handshake when not empty
        QString username = QStringLiteral("Alex Morgan");
        bool signedIn = false;
        bool connected = false; // start with the tunnel up (implies signed in)
        bool refuseAccess = false;
        int pushIntervalMs = 0; // unasked "status" events while connected; 0 = only on changes
        QString failNextConnect;
    };

    explicit SimService(const Options &options, QObject *parent = nullptr);
    ~SimService() override;

    bool start();
    void stop();
    [[nodiscard]] QString errorString() const { return m_error; }
    [[nodiscard]] QString socketPath() const;
    [[nodiscard]] QString tokenPath() const;

    // One fault-injection or demo command, as typed on standard input.
    // Returns a line describing the outcome.
    QString control(const QString &line);

signals:
    void log(const QString &line);

private:
    struct Client
    {
        LineReader reader;
        bool handshaken = false;
    };

    void onNewConnection();
    void onReadyRead(QLocalSocket *socket);
    void handleCommand(QLocalSocket *socket, const QJsonObject &command);
    void send(QLocalSocket *socket, const QJsonObject &event);
    void broadcast(const QJsonObject &event);
    void broadcastStatus();
    QJsonObject statusEvent();
    void setState(const QString &state);
    void startConnect(const QString &transport);
    void finishConnect();
    void disconnectTunnel();
    void dropClients();
    void startUpdateDownload(QLocalSocket *socket);
    void stepUpdateDownload();
    QString makeDiagnostics();
    bool writeToken();
    void applySocketAccess();

    Options m_options;
    QString m_error;
    QLocalServer m_server;
    std::map<QLocalSocket *, Client> m_clients;
    LoginPages m_pages;
    TrafficModel m_traffic;
    QTimer m_connectTimer;
    QTimer m_pushTimer;
    QTimer m_updateTimer;
    QTimer m_reconnectTimer;
    QString m_token;

    bool m_signedIn = false;
    QString m_killSwitch = QStringLiteral("never");
    QString m_state = QStringLiteral("disconnected");
    QString m_transport;
    QString m_vpnIp;
    QString m_connectedSince;
    QString m_tunnelError;
    int m_attempt = 0;
    int m_updateProgress = -1; // -1: no download running
    bool m_updateReady = false;
};
