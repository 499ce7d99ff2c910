#include "StateAnnouncer.h"

#include "AppSettings.h"
#include "PipeClient.h"
#include "Protocol.h"

#include <utility>

using namespace Qt::StringLiterals;

namespace {
const auto kSeparator = u" · "_s;
const auto kDetailSeparator = u": "_s;

QString tunnelKey(const QString &state, const QString &detail)
{
    return state + QLatin1Char('|') + detail;
}
} // namespace

StateAnnouncer::StateAnnouncer(PipeClient *client, AppSettings *settings, QObject *parent)
    : QObject(parent)
    , m_client(client)
    , m_settings(settings)
    , m_toldTunnel(tunnelKey(client->vpnState(), {}))
    , m_lastLink(client->linkState())
{ }

QString StateAnnouncer::text(const QString &key) const
{
    return m_settings->t().value(key).toString();
}

QString StateAnnouncer::extraText(const QString &key) const
{
    return m_settings->extraTexts().value(key).toString();
}

void StateAnnouncer::onVpnStateChanged()
{
    // A status event sets the state and then its attempt or error, each with a change signal of its
    // own: the tunnel is judged once the event is handled, and a second look finds nothing new.
    QMetaObject::invokeMethod(this, &StateAnnouncer::announceTunnel, Qt::QueuedConnection);
}

void StateAnnouncer::announceTunnel()
{
    // Without the link the client reports the tunnel down without knowing; what the service reports
    // once the link is back is compared with what was told before.
    if (m_client->linkState() != LinkState::up)
        return;
    using namespace Protocol;
    const QString state = m_client->vpnState();
    QString detail;
    QString said;
    if (state == State::connecting) {
        said = text(QStringLiteral("statusConnecting"));
    } else if (state == State::connected) {
        detail = m_client->transport();
        // Named as the home screen names it; the service may report a variant of "tls".
        const QString transport = detail.startsWith(QLatin1String("tls"))
            ? text(QStringLiteral("transportWireguard"))
            : detail == QLatin1String("reality") ? text(QStringLiteral("transportReality"))
                                                 : QString();
        said = text(QStringLiteral("statusProtected"));
        if (!transport.isEmpty())
            said += kSeparator + transport;
    } else if (state == State::reconnecting) {
        const int attempt = m_client->attempt();
        detail = QString::number(attempt);
        said = attempt > 0 ? extraText(QStringLiteral("announceReconnecting")).arg(attempt)
                           : text(QStringLiteral("statusReconnecting"));
    } else if (state == State::failed) {
        detail = m_client->errorText();
        said = text(QStringLiteral("connectionFailed")) + kDetailSeparator
            + (detail.isEmpty() ? text(QStringLiteral("errorDefault")) : detail);
    } else if (state == State::disconnected) {
        said = text(QStringLiteral("statusNotConnected"));
    } else {
        return;
    }
    const QString key = tunnelKey(state, detail);
    if (key == m_toldTunnel)
        return;
    m_toldTunnel = key;
    emit announce(said, state != State::failed);
}

void StateAnnouncer::onLinkStateChanged()
{
    const QString link = m_client->linkState();
    const bool wasUp = std::exchange(m_lastLink, link) == LinkState::up;
    if (link == LinkState::up) {
        if (std::exchange(m_linkDown, false))
            emit announce(extraText(QStringLiteral("announceServiceBack")), false);
        return;
    }
    // The fast retries at start are no news yet; refused access is told by onAccessDenied().
    if (m_linkDown)
        return;
    if (wasUp)
        emit announce(extraText(QStringLiteral("announceServiceLost")), false);
    else if (link == LinkState::unreachable)
        emit announce(extraText(QStringLiteral("serviceNotRunning")), false);
    else if (link != LinkState::refused)
        return;
    m_linkDown = true;
}

void StateAnnouncer::onLoginComplete()
{
    emit announce(extraText(QStringLiteral("announceSignedIn")), false);
}

void StateAnnouncer::onLoggedOut()
{
    emit announce(extraText(QStringLiteral("announceSignedOut")), false);
}

void StateAnnouncer::onUpdateAvailableChanged()
{
    const QString version = m_client->updateVersion();
    if (!m_client->updateAvailable() || version == m_toldOffer)
        return;
    m_toldOffer = version;
    emit announce(text(QStringLiteral("updateAvailable")) + kDetailSeparator + version, false);
}

void StateAnnouncer::onAccessDenied()
{
    emit announce(extraText(QStringLiteral("announceNoAccess")), false);
}
