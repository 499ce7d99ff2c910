#include "TrayActions.h"

#include "AppSettings.h"
#include "PipeClient.h"
#include "TrayManager.h"

namespace {
const auto kConnected = QLatin1String("connected");
const auto kConnecting = QLatin1String("connecting");
const auto kReconnecting = QLatin1String("reconnecting");

QLatin1String statusKey(const QString &state)
{
    if (state == kConnected)
        return QLatin1String("statusProtected");
    if (state == kConnecting)
        return QLatin1String("statusConnecting");
    if (state == kReconnecting)
        return QLatin1String("statusReconnecting");
    if (state == QLatin1String("failed"))
        return QLatin1String("connectionFailed");
    return QLatin1String("statusNotConnected");
}
} // namespace

TrayActions::TrayActions(PipeClient *client, TrayManager *tray, AppSettings *settings, QObject *parent)
    : QObject(parent)
    , m_client(client)
    , m_tray(tray)
    , m_settings(settings)
{ }

bool TrayActions::sessionActive() const
{
    const QString state = m_client->vpnState();
    return state == kConnected || state == kConnecting || state == kReconnecting;
}

void TrayActions::refresh()
{
    const QVariantMap t = m_settings->t();
    const QString state = m_client->vpnState();
    m_tray->setStatusText(t.value(statusKey(state)).toString());
    const QLatin1String actionKey = state == kConnected ? QLatin1String("disconnect")
        : sessionActive()                               ? QLatin1String("cancel")
                                                        : QLatin1String("connect");
    m_tray->setMainAction(
        t.value(actionKey).toString(), m_client->authenticated() && m_client->linkState() == LinkState::up);
    m_tray->setMenuTexts(
        t.value(QLatin1String("trayOpen")).toString(), t.value(QLatin1String("quit")).toString());
}

void TrayActions::onMainActionRequested()
{
    if (!m_tray->mainActionEnabled())
        return;
    if (sessionActive())
        m_client->sendDisconnect();
    else
        m_client->sendConnect(m_settings->whitelist(), m_settings->games(), m_settings->transport());
}
