#include "ServiceObserver.h"

#include "Protocol.h"

#include <QDir>
#include <QTest>

using namespace Qt::StringLiterals;

ServiceObserver::ServiceObserver(const QString &directory, QObject *parent)
    : QObject(parent)
    , m_directory(directory)
{
    connect(&m_socket, &QLocalSocket::readyRead, this, &ServiceObserver::onReadyRead);
}

bool ServiceObserver::connectAndWait(int timeoutMs)
{
    const QDir dir(m_directory);
    m_socket.connectToServer(dir.filePath(u"daemon.sock"_s));
    if (!m_socket.waitForConnected(timeoutMs))
        return false;
    m_socket.write(Protocol::handshake(Protocol::readToken(dir.filePath(u"pipe.token"_s))));
    m_socket.flush();
    return QTest::qWaitFor([this] { return m_ready; }, timeoutMs);
}

void ServiceObserver::sendCommand(const QString &name)
{
    m_socket.write(Protocol::command(name));
    m_socket.flush();
}

void ServiceObserver::onReadyRead()
{
    for (const QJsonObject &event : m_reader.feed(m_socket.readAll())) {
        const QString type = Protocol::readString(event, Protocol::Key::type);
        if (type == Protocol::Event::ready) {
            m_ready = true;
        } else if (type == Protocol::Event::status) {
            m_lastStatus = event;
            ++m_statusCount;
        }
    }
}
