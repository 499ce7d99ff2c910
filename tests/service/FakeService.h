#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QLocalSocket>
#include <QObject>
#include <QPointer>
#include <QString>

class QLocalServer;

// A scriptable stand-in for the VPN service on a real local socket, for tests
// that drive a PipeClient. It serves one client at a time (a newer connection
// replaces the older one) and records every line the client writes.
//
//   FakeService service(dir.filePath(u"daemon.sock"_s));
//   service.listen();
//   client.connectToPipe();
//   service.waitForClient();               // connection accepted
//   service.waitForReceived(1);            // the handshake
//   service.sendLine({{"type", "ready"}}); // one event
//   service.waitForCommand(u"status"_s);   // what the client answered
//
// All waits spin the event loop (QSignalSpy-style) and return false on
// timeout; nothing blocks the client, which lives in the same thread.
class FakeService : public QObject
{
    Q_OBJECT

public:
    explicit FakeService(const QString &socketPath, QObject *parent = nullptr);
    ~FakeService() override;

    [[nodiscard]] QString socketPath() const { return m_socketPath; }

    // Starts listening, removing a stale socket file first. Again after
    // stopListening() or close() to play a restarted service.
    bool listen();
    // Stops accepting connections (the socket file goes away) but keeps the
    // current client connected.
    void stopListening();
    // Stops listening and drops the current client: a service that exits.
    void close();

    // Makes the socket file unusable (mode 0) or usable (0777) for
    // unprivileged users. Root ignores file modes.
    bool setAccessible(bool accessible);

    // Waits for a connection accepted after the last call (or one already
    // accepted and not yet waited for).
    bool waitForClient(int timeoutMs = 5000);
    [[nodiscard]] bool hasClient() const;
    [[nodiscard]] QLocalSocket *client() const { return m_client; }
    // Number of connections accepted so far.
    [[nodiscard]] int connectionCount() const { return m_connectionCount; }
    // Closes the current client connection from the service side.
    void dropClient();

    // Writes the event as one line (compact JSON plus line feed).
    void sendLine(const QJsonObject &event);
    // Writes several events in a single write.
    void sendLines(const QList<QJsonObject> &events);
    // Writes the bytes as they are, e.g. part of a line or garbage.
    void sendRaw(const QByteArray &bytes);

    // Every JSON object the client wrote, over all connections, in order;
    // the handshake included.
    [[nodiscard]] QList<QJsonObject> received() const { return m_received; }
    // Raw bytes written by the client on the current connection.
    [[nodiscard]] QByteArray receivedBytes() const { return m_receivedBytes; }
    void clearReceived();
    // Waits until at least `count` objects have been received in total.
    bool waitForReceived(int count, int timeoutMs = 5000);
    // Waits until a command with this "cmd" is among the received objects.
    bool waitForCommand(const QString &name, int timeoutMs = 5000);

signals:
    void clientConnected();
    void messageReceived(const QJsonObject &message);

private:
    void onNewConnection();
    void onClientReadyRead();

    const QString m_socketPath;
    QLocalServer *m_server = nullptr;
    QPointer<QLocalSocket> m_client;
    QByteArray m_pending;
    QByteArray m_receivedBytes;
    QList<QJsonObject> m_received;
    int m_connectionCount = 0;
    int m_connectionsWaitedFor = 0;
};
