#pragma once

#include "LineReader.h"

#include <QJsonObject>
#include <QLocalSocket>
#include <QObject>
#include <QString>

// A second client of the simulated service, beside the app: it hears the
// same status broadcasts, so a test knows what traffic the app was told of,
// and it can send commands of its own.
class ServiceObserver : public QObject
{
    Q_OBJECT

public:
    explicit ServiceObserver(const QString &directory, QObject *parent = nullptr);

    // Connects and handshakes with the service's token; true once "ready"
    // arrived.
    bool connectAndWait(int timeoutMs);
    void sendCommand(const QString &name);

    // The last "status" event heard, and how many arrived.
    [[nodiscard]] QJsonObject lastStatus() const { return m_lastStatus; }
    [[nodiscard]] int statusCount() const { return m_statusCount; }

private:
    void onReadyRead();

    QString m_directory;
    QLocalSocket m_socket;
    LineReader m_reader;
    bool m_ready = false;
    QJsonObject m_lastStatus;
    int m_statusCount = 0;
};
