#include "RemoteCommands.h"

#include "CommandLine.h"
#include "PipeClient.h"

namespace {
const QByteArray kSignedOut = QByteArrayLiteral("signed-out");
const QByteArray kUnreachable = QByteArrayLiteral("service-unreachable");
const QByteArray kUnknown = QByteArrayLiteral("-");

// One word of the state line: what the service sent, without anything that would split the line.
QByteArray word(const QString &text)
{
    QByteArray out;
    for (const char c : text.toUtf8()) {
        if (static_cast<unsigned char>(c) > ' ' && c != '\x7f')
            out += c;
    }
    return out.isEmpty() ? kUnknown : out;
}
} // namespace

RemoteCommands::RemoteCommands(PipeClient *client, QObject *parent)
    : QObject(parent)
    , m_client(client)
{ }

bool RemoteCommands::canSteer() const
{
    return m_client->authenticated() && m_client->linkState() == LinkState::up;
}

QByteArray RemoteCommands::stateLine() const
{
    using namespace Protocol::State;
    if (m_client->linkState() != LinkState::up)
        return kUnreachable;
    if (!m_client->authenticated())
        return kSignedOut;
    const QString state = m_client->vpnState();
    if (state == connected)
        return QByteArrayLiteral("connected ") + word(m_client->endpoint()) + ' '
            + word(m_client->transport());
    for (const QLatin1StringView known : {connecting, reconnecting, failed}) {
        if (state == known)
            return QByteArray(known.data(), known.size());
    }
    // The interface shows any other state as not connected.
    return QByteArray(disconnected.data(), disconnected.size());
}

QByteArray RemoteCommands::answer(const QByteArray &request)
{
    const QString state = m_client->vpnState();
    const bool active = Protocol::isActiveState(state);
    bool done = true;
    switch (CommandLine::fromRequest(request)) {
    case CommandLine::Command::None:
    case CommandLine::Command::Show:
        emit showRequested();
        break;
    case CommandLine::Command::Connect:
        done = canSteer();
        if (done && !active)
            emit connectRequested();
        break;
    case CommandLine::Command::Disconnect:
        // Without a link the tunnel's state is unknown; signed out there is none.
        done = m_client->linkState() == LinkState::up;
        if (done && state != Protocol::State::disconnected)
            emit disconnectRequested();
        break;
    case CommandLine::Command::Toggle:
        done = canSteer();
        if (done && active)
            emit disconnectRequested();
        else if (done)
            emit connectRequested();
        break;
    case CommandLine::Command::Quit:
        emit quitRequested();
        break;
    case CommandLine::Command::Status:
        done = state == Protocol::State::connected;
        break;
    }
    return CommandLine::answer(done, stateLine());
}
