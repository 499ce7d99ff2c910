#pragma once

#include <QByteArray>
#include <QObject>

class PipeClient;

// Carries out what another start of the app asks of the running one ("vantrelvpn --toggle") and answers
// whether it was done, with the state of the tunnel. Connect and disconnect follow the rules of the tray
// popup's main button: nothing is sent while the service cannot be reached or nobody is signed in.
class RemoteCommands : public QObject
{
    Q_OBJECT

public:
    explicit RemoteCommands(PipeClient *client, QObject *parent = nullptr);

    // Acts on a request line (see CommandLine) and returns the answer line.
    [[nodiscard]] QByteArray answer(const QByteArray &request);
    // One fixed English word for the state (connected, connecting, reconnecting, disconnected, failed,
    // signed-out, service-unreachable), followed while connected by the server and the protocol.
    [[nodiscard]] QByteArray stateLine() const;

signals:
    void showRequested();
    void connectRequested();
    void disconnectRequested();
    void quitRequested();

private:
    // Signed in over a working link: what the tray popup's main button needs to be enabled.
    [[nodiscard]] bool canSteer() const;

    PipeClient *m_client = nullptr;
};
