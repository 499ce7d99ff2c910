#pragma once

#include "LineReader.h"

#include <QJsonObject>
#include <QList>
#include <QLocalServer>
#include <QObject>
#include <QPointer>
#include <QString>

class QLocalSocket;

// Plays the VPN service at the byte level for one client at a time: it
// accepts, records what the client writes, and sends whatever bytes a test
// hands it, well-formed or not. It checks no token; it never answers by
// itself.
class ScriptedService : public QObject
{
    Q_OBJECT

public:
    explicit ScriptedService(const QString &directory, QObject *parent = nullptr);
    ~ScriptedService() override;

    // Waits until no service listens in the directory. Other suites start
    // services there too, in ctest runs of their own that a resource lock
    // cannot reach; taking the path from a live one would break them.
    static bool waitUntilFree(const QString &directory, int timeoutMs);

    // Writes a token file and listens on daemon.sock in the directory,
    // reachable by any local user.
    bool listen();
    void close();

    [[nodiscard]] bool hasClient() const { return !m_client.isNull(); }
    [[nodiscard]] int connectionCount() const { return m_connections; }
    // Commands ("cmd") received from the current client, handshake excluded.
    [[nodiscard]] QStringList commands() const { return m_commands; }
    [[nodiscard]] bool handshakeReceived() const { return m_handshake; }

    void send(const QByteArray &bytes);
    // One write per chunkSize bytes, each flushed before the next.
    void sendInPieces(const QByteArray &bytes, int chunkSize);
    void dropClient();

private:
    void onNewConnection();
    void onReadyRead();

    QString m_directory;
    QLocalServer m_server;
    QPointer<QLocalSocket> m_client;
    LineReader m_reader;
    QStringList m_commands;
    bool m_handshake = false;
    int m_connections = 0;
};
