#include "ConnectOnStart.h"

#include "PipeClient.h"

ConnectOnStart::ConnectOnStart(PipeClient *client, bool wanted, QObject *parent)
    : QObject(parent)
    , m_client(client)
    , m_pending(wanted)
{
    // Queued: the client announces the user before it takes the tunnel's state from the same report.
    connect(m_client, &PipeClient::authenticatedChanged, this, &ConnectOnStart::onAuthenticatedChanged,
        Qt::QueuedConnection);
}

void ConnectOnStart::request()
{
    m_pending = true;
}

void ConnectOnStart::onAuthenticatedChanged()
{
    if (!m_pending || !m_client->authenticated())
        return;
    m_pending = false;
    if (m_client->vpnState() == Protocol::State::disconnected && m_client->errorText().isEmpty())
        emit connectRequested();
}
