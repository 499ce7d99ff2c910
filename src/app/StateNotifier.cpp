#include "StateNotifier.h"

#include "AppSettings.h"
#include "PipeClient.h"
#include "TrayManager.h"

namespace {
const auto kTitle = QLatin1String("VantrelVPN");

QLatin1String tableKey(const QString &state)
{
    if (state == QLatin1String("connected"))
        return QLatin1String("notifyConnected");
    if (state == QLatin1String("reconnecting"))
        return QLatin1String("notifyReconnecting");
    if (state == QLatin1String("failed"))
        return QLatin1String("notifyFailed");
    return {};
}
} // namespace

StateNotifier::StateNotifier(PipeClient *client, TrayManager *tray, AppSettings *settings, QObject *parent)
    : QObject(parent)
    , m_client(client)
    , m_tray(tray)
    , m_settings(settings)
{ }

QString StateNotifier::messageFor(const QString &state, const QVariantMap &table)
{
    const QLatin1String key = tableKey(state);
    return key.isEmpty() ? QString() : table.value(key).toString();
}

bool StateNotifier::notifies(const QString &state)
{
    return !tableKey(state).isEmpty();
}

void StateNotifier::onLinkStateChanged()
{
    const QString link = m_client->linkState();
    QString note;
    if (link != LinkState::up) {
        const QLatin1String key = link == LinkState::refused ? QLatin1String("trayServiceNoAccess")
            : link == LinkState::closed                      ? QLatin1String("trayServiceClosed")
                                                             : QLatin1String("trayServiceNotRunning");
        note = m_settings->extraTexts().value(key).toString();
    }
    m_tray->setServiceNote(note);
}

void StateNotifier::onVpnStateChanged()
{
    const QString state = m_client->vpnState();
    m_tray->setVpnState(state);
    if (state == m_lastNotified)
        return;
    m_lastNotified = state;
    if (notifies(state))
        m_tray->notify(kTitle, messageFor(state, m_settings->t()));
}
