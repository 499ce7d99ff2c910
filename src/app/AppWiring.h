#pragma once

#include "AppConfig.h"

#include <QObject>

#include <memory>

class Announcer;
class AppSettings;
class ConnectOnStart;
class DaemonLauncher;
class InstanceRequests;
class PingProber;
class PipeClient;
class QLocalServer;
class QQmlContext;
class RemoteCommands;
class StateAnnouncer;
class StateNotifier;
class StatsStore;
class TrayActions;
class TrayManager;
class UrlOpener;

// The one place where the service objects are created, handed to QML and connected to each other and to
// the application. Start-up drives it in three stages: the constructor, publish() and attachWindow().
class AppWiring : public QObject
{
    Q_OBJECT

public:
    // Creates the service objects and makes the connections that need no window.
    explicit AppWiring(const AppConfig &config = {});
    ~AppWiring() override;

    // Sets the context properties the QML documents bind to and adds the image provider they use.
    void publish(QQmlContext *context);
    // Connects the window's requests and the requests of later starts, and schedules the first attempt
    // to reach the service, which thus happens once the event loop runs. The window must offer
    // showAndRaise() and toggleWindow(); instanceServer may be null when the process runs without the
    // single-instance guard.
    void attachWindow(QObject *window, QLocalServer *instanceServer);

    [[nodiscard]] PipeClient *pipeClient() const { return m_pipeClient.get(); }
    [[nodiscard]] TrayManager *trayManager() const { return m_trayManager.get(); }
    [[nodiscard]] AppSettings *appSettings() const { return m_appSettings.get(); }
    [[nodiscard]] PingProber *pingProber() const { return m_pingProber.get(); }
    [[nodiscard]] UrlOpener *urlOpener() const { return m_urlOpener.get(); }
    [[nodiscard]] StatsStore *statsStore() const { return m_statsStore.get(); }
    [[nodiscard]] ConnectOnStart *connectOnStart() const { return m_connectOnStart.get(); }
    [[nodiscard]] StateAnnouncer *stateAnnouncer() const { return m_stateAnnouncer.get(); }

    // Default place of the statistics database: "stats.db" in the writable application data location.
    [[nodiscard]] static QString defaultStatsDbPath();
    // The user's XDG autostart folder; empty inside WSL, whose Windows sign-in never reads it.
    [[nodiscard]] static QString defaultAutostartDir();

private:
    void connectServices();
    void onAboutToQuit();
    // Connects with the saved switches and protocol, as the dial does.
    void connectTunnel();

    // Declared in creation order so that they are destroyed in reverse.
    std::unique_ptr<DaemonLauncher> m_launcher;
    std::unique_ptr<PipeClient> m_pipeClient;
    std::unique_ptr<TrayManager> m_trayManager;
    std::unique_ptr<AppSettings> m_appSettings;
    std::unique_ptr<PingProber> m_pingProber;
    std::unique_ptr<UrlOpener> m_urlOpener;
    std::unique_ptr<StatsStore> m_statsStore;
    std::unique_ptr<StateNotifier> m_stateNotifier;
    std::unique_ptr<ConnectOnStart> m_connectOnStart;
    std::unique_ptr<RemoteCommands> m_remoteCommands;
    std::unique_ptr<InstanceRequests> m_instanceRequests;
    std::unique_ptr<TrayActions> m_trayActions;
    std::unique_ptr<Announcer> m_announcer;
    std::unique_ptr<StateAnnouncer> m_stateAnnouncer;
};
