#include "FakeService.h"

#include "Protocol.h"

#include <QFile>
#include <QJsonDocument>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTest>

#include <algorithm>

using namespace Qt::StringLiterals;

FakeService::FakeService(const QString &socketPath, QObject *parent)
    : QObject(parent)
    , m_socketPath(socketPath)
    , m_server(new QLocalServer(this))
{
    connect(m_server, &QLocalServer::newConnection, this, &FakeService::onNewConnection);
}

FakeService::~FakeService()
{
    close();
}

bool FakeService::listen()
{
    if (m_server->isListening())
        return true;
    QLocalServer::removeServer(m_socketPath);
    return m_server->listen(m_socketPath);
}

void FakeService::stopListening()
{
    m_server->close();
}

void FakeService::close()
{
    stopListening();
    dropClient();
}

bool FakeService::setAccessible(bool accessible)
{
    const auto all = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
        | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
    return QFile::setPermissions(m_socketPath, accessible ? all : QFile::Permissions());
}

bool FakeService::waitForClient(int timeoutMs)
{
    if (!QTest::qWaitFor([this] { return m_connectionCount > m_connectionsWaitedFor; }, timeoutMs))
        return false;
    m_connectionsWaitedFor = m_connectionCount;
    return true;
}

bool FakeService::hasClient() const
{
    return m_client && m_client->state() == QLocalSocket::ConnectedState;
}

void FakeService::dropClient()
{
    if (m_client) {
        QLocalSocket *client = m_client;
        m_client = nullptr;
        client->disconnect(this);
        client->disconnectFromServer();
        client->deleteLater();
    }
}

void FakeService::sendLine(const QJsonObject &event)
{
    sendRaw(Protocol::encode(event));
}

void FakeService::sendLines(const QList<QJsonObject> &events)
{
    QByteArray bytes;
    for (const QJsonObject &event : events)
        bytes += Protocol::encode(event);
    sendRaw(bytes);
}

void FakeService::sendRaw(const QByteArray &bytes)
{
    if (!m_client)
        return;
    m_client->write(bytes);
    m_client->flush();
}

void FakeService::clearReceived()
{
    m_received.clear();
    m_receivedBytes.clear();
}

bool FakeService::waitForReceived(int count, int timeoutMs)
{
    return QTest::qWaitFor([this, count] { return m_received.size() >= count; }, timeoutMs);
}

bool FakeService::waitForCommand(const QString &name, int timeoutMs)
{
    return QTest::qWaitFor(
        [this, &name] {
            return std::any_of(m_received.cbegin(), m_received.cend(), [&name](const QJsonObject &message) {
                return message.value(Protocol::Key::cmd).toString() == name;
            });
        },
        timeoutMs);
}

void FakeService::onNewConnection()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        if (m_client)
            dropClient();
        m_client = socket;
        m_pending.clear();
        m_receivedBytes.clear();
        ++m_connectionCount;
        connect(socket, &QLocalSocket::readyRead, this, &FakeService::onClientReadyRead);
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
            if (m_client == socket) {
                m_client = nullptr;
                socket->deleteLater();
            }
        });
        emit clientConnected();
        // Lines that arrived together with the connection.
        if (socket->bytesAvailable() > 0)
            onClientReadyRead();
    }
}

void FakeService::onClientReadyRead()
{
    if (!m_client)
        return;
    const QByteArray bytes = m_client->readAll();
    m_receivedBytes += bytes;
    m_pending += bytes;
    qsizetype lineFeed;
    while ((lineFeed = m_pending.indexOf('\n')) >= 0) {
        const QByteArray line = m_pending.left(lineFeed);
        m_pending.remove(0, lineFeed + 1);
        const QJsonObject message = QJsonDocument::fromJson(line).object();
        m_received.append(message);
        emit messageReceived(message);
    }
}
