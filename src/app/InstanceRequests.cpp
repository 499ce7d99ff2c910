#include "InstanceRequests.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

namespace {
// A request is one word; a later start that says nothing is given a second.
constexpr qint64 kMaxRequestBytes = 64;
constexpr int kReadTimeoutMs = 1000;
} // namespace

InstanceRequests::InstanceRequests(QLocalServer *server, Handler handler, QObject *parent)
    : QObject(parent)
    , m_server(server)
    , m_handler(std::move(handler))
{
    connect(m_server, &QLocalServer::newConnection, this, &InstanceRequests::accept);
}

void InstanceRequests::accept()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        // Whatever the sender does, no more than this is ever held.
        socket->setReadBufferSize(kMaxRequestBytes + 1);
        auto *timeout = new QTimer(socket);
        timeout->setSingleShot(true);
        // The request is complete with its line feed, when the sender closes (an older version writes
        // "show" and closes), when it grows too long to be one, or when the sender stays silent.
        const auto complete = [this, socket, timeout] {
            timeout->stop();
            disconnect(socket, nullptr, this, nullptr);
            answer(socket);
        };
        connect(socket, &QLocalSocket::readyRead, this, [socket, complete] {
            if (socket->canReadLine() || socket->bytesAvailable() > kMaxRequestBytes)
                complete();
        });
        connect(socket, &QLocalSocket::disconnected, this, complete);
        connect(timeout, &QTimer::timeout, this, complete);
        timeout->start(kReadTimeoutMs);
        // Bytes may have come with the connection, and the sender may already be gone.
        if (socket->canReadLine() || socket->state() != QLocalSocket::ConnectedState)
            complete();
    }
}

void InstanceRequests::answer(QLocalSocket *socket)
{
    QByteArray request;
    if (socket->canReadLine())
        request = socket->readLine(kMaxRequestBytes + 1);
    else if (socket->bytesAvailable() <= kMaxRequestBytes)
        request = socket->readAll();
    const QByteArray reply = m_handler(request.trimmed());
    if (socket->state() != QLocalSocket::ConnectedState) {
        socket->deleteLater();
        return;
    }
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    socket->write(reply + '\n');
    socket->disconnectFromServer();
}
