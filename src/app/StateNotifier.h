#pragma once

#include <QObject>
#include <QString>
#include <QVariantMap>

class AppSettings;
class PipeClient;
class TrayManager;

// Keeps the tray icon on the client's VPN state and raises one desktop notification per new state. The
// client's state signal also fires for address, endpoint and error changes, hence the remembered state.
// While the service cannot be reached the tooltip says so instead.
class StateNotifier : public QObject
{
    Q_OBJECT

public:
    StateNotifier(PipeClient *client, TrayManager *tray, AppSettings *settings, QObject *parent = nullptr);

    // The notification text for a state, from the string table; empty for states that show nothing and
    // for keys missing from the table.
    [[nodiscard]] static QString messageFor(const QString &state, const QVariantMap &table);
    // States that show nothing still count, so a return to a notifying state is announced again.
    [[nodiscard]] static bool notifies(const QString &state);

public slots:
    void onVpnStateChanged();
    // Also for a change of language, which changes the tooltip's note.
    void onLinkStateChanged();

private:
    PipeClient *m_client = nullptr;
    TrayManager *m_tray = nullptr;
    AppSettings *m_settings = nullptr;
    QString m_lastNotified;
};
