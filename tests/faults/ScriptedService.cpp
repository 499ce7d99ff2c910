#include "ScriptedService.h"

#include "Protocol.h"

#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QTest>

using namespace Qt::StringLiterals;

ScriptedService::ScriptedService(const QString &directory, QObject *parent)
    : QObject(parent)
    , m_directory(directory)
{
    // Unprivileged apps must be able to connect as well.
    m_server.setSocketOptions(QLocalServer::WorldAccessOption);
    connect(&m_server, &QLocalServer::newConnection, this, &ScriptedService::onNewConnection);
}

ScriptedService::~ScriptedService()
{
    close();
}

bool ScriptedService::waitUntilFree(const QString &directory, int timeoutMs)
{
    const QString path = QDir(directory).filePath(u"daemon.sock"_s);
    return QTest::qWaitFor(
        [&] {
            QLocalSocket probe;
            probe.connectToServer(path);
            return !probe.waitForConnected(200);
        },
        timeoutMs);
}

bool ScriptedService::listen()
{
    QDir().mkpath(m_directory);
    QFile token(QDir(m_directory).filePath(u"pipe.token"_s));
    if (!token.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    token.write("scripted\n");
    token.close();
    token.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    const QString path = QDir(m_directory).filePath(u"daemon.sock"_s);
    QLocalServer::removeServer(path);
    return m_server.listen(path);
}

void ScriptedService::close()
{
    dropClient();
    if (m_server.isListening()) {
        const QString path = m_server.fullServerName();
        m_server.close();
        QFile::remove(path);
    }
}

void ScriptedService::send(const QByteArray &bytes)
{
    if (!m_client)
        return;
    m_client->write(bytes);
    m_client->flush();
}

void ScriptedService::sendInPieces(const QByteArray &bytes, int chunkSize)
{
    for (qsizetype at = 0; at < bytes.size() && m_client; at += chunkSize) {
        m_client->write(bytes.mid(at, chunkSize));
        m_client->flush();
        m_client->waitForBytesWritten(1000);
    }
}

void ScriptedService::dropClient()
{
    if (m_client) {
        m_client->abort();
        m_client->deleteLater();
    }
    m_client.clear();
}

void ScriptedService::onNewConnection()
{
    while (QLocalSocket *socket = m_server.nextPendingConnection()) {
        // The newest client replaces any earlier one.
        dropClient();
        m_client = socket;
        m_reader.reset();
        m_commands.clear();
        m_handshake = false;
        ++m_connections;
        connect(socket, &QLocalSocket::readyRead, this, &ScriptedService::onReadyRead);
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void ScriptedService::onReadyRead()
{
    if (!m_client)
        return;
    for (const QJsonObject &message : m_reader.feed(m_client->readAll())) {
        if (message.contains(Protocol::Key::magic))
            m_handshake = true;
        else
            m_commands.append(Protocol::readString(message, Protocol::Key::cmd));
    }
}
