#pragma once

#include <QByteArray>
#include <QObject>

#include <functional>

class QLocalServer;
class QLocalSocket;

// Takes the requests later starts of the app send the running instance over the single-instance
// server: one short line per connection, read without ever waiting on the sender and given up on after
// a while, and writes back the handler's one-line answer.
class InstanceRequests : public QObject
{
    Q_OBJECT

public:
    // Gets the request line without its line feed: empty when nothing readable came.
    using Handler = std::function<QByteArray(const QByteArray &request)>;

    InstanceRequests(QLocalServer *server, Handler handler, QObject *parent = nullptr);

private:
    void accept();
    void answer(QLocalSocket *socket);

    QLocalServer *m_server = nullptr;
    Handler m_handler;
};
