#pragma once

#include <QObject>

class AppSettings;
class PipeClient;
class TrayManager;

// Keeps the tray's status line and main action, which the tray popup and the tray icon's menu both show, on
// the client's VPN state, link and sign-in in the current language, and carries the main action out.
class TrayActions : public QObject
{
    Q_OBJECT

public:
    TrayActions(PipeClient *client, TrayManager *tray, AppSettings *settings, QObject *parent = nullptr);

public slots:
    // For every change of VPN state, link, sign-in or language.
    void refresh();
    // Disconnects while a session is up or on its way, which cancels it; connects otherwise.
    void onMainActionRequested();

private:
    [[nodiscard]] bool sessionActive() const;

    PipeClient *m_client = nullptr;
    TrayManager *m_tray = nullptr;
    AppSettings *m_settings = nullptr;
};
