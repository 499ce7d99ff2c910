#pragma once

#include <QObject>

class PipeClient;

// Connects the tunnel once per run when the user asked for it (the setting, or a start with --connect):
// on the service's first report of a signed-in user, provided the tunnel is then down with no error.
// Whatever that first report shows, nothing connects again in this run: not after the user disconnects,
// not after a failure, not when the link to the service comes back.
class ConnectOnStart : public QObject
{
    Q_OBJECT

public:
    ConnectOnStart(PipeClient *client, bool wanted, QObject *parent = nullptr);

    // Wants the connection in this run whatever the setting says.
    void request();

signals:
    void connectRequested();

private:
    void onAuthenticatedChanged();

    PipeClient *m_client = nullptr;
    bool m_pending = false;
};
