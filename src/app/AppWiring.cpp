#include "AppWiring.h"

#include "Announcer.h"
#include "AppSettings.h"
#include "ConnectOnStart.h"
#include "DaemonLauncher.h"
#include "InstanceRequests.h"
#include "PingProber.h"
#include "PipeClient.h"
#include "RemoteCommands.h"
#include "ShadowImageProvider.h"
#include "StateAnnouncer.h"
#include "StateNotifier.h"
#include "StatsStore.h"
#include "TrayActions.h"
#include "TrayManager.h"
#include "UrlOpener.h"

#include <QCoreApplication>
#include <QDir>
#include <QLocalServer>
#include <QQmlContext>
#include <QQmlEngine>
#include <QStandardPaths>
#include <QTimer>

namespace {
constexpr int kFirstConnectDelayMs = 200;
const auto kStatsFileName = QLatin1String("stats.db");
const auto kAutostartFolder = QLatin1String("autostart");
const auto kKernelVersionFile = QLatin1String("/proc/version");
const auto kKillSwitchNever = QLatin1String("never");
} // namespace

AppWiring::AppWiring(const AppConfig &config)
    : m_launcher(std::make_unique<DaemonLauncher>())
{
    m_launcher->onStartup();
    const QString desktopDir = config.desktopDir.isEmpty()
        ? QStandardPaths::writableLocation(QStandardPaths::DesktopLocation)
        : config.desktopDir;
    m_pipeClient = std::make_unique<PipeClient>(nullptr, config.socketPath, config.tokenPath, desktopDir);
    m_trayManager = std::make_unique<TrayManager>(config.tray);
    m_appSettings = std::make_unique<AppSettings>(
        config.autostartDir.isEmpty() ? defaultAutostartDir() : config.autostartDir);
    m_pingProber = std::make_unique<PingProber>();
    m_urlOpener = std::make_unique<UrlOpener>();
    m_statsStore = std::make_unique<StatsStore>(
        config.statsDbPath.isEmpty() ? defaultStatsDbPath() : config.statsDbPath, config.clock);
    m_stateNotifier
        = std::make_unique<StateNotifier>(m_pipeClient.get(), m_trayManager.get(), m_appSettings.get());
    m_connectOnStart = std::make_unique<ConnectOnStart>(m_pipeClient.get(), m_appSettings->connectOnStart());
    m_remoteCommands = std::make_unique<RemoteCommands>(m_pipeClient.get());
    m_trayActions
        = std::make_unique<TrayActions>(m_pipeClient.get(), m_trayManager.get(), m_appSettings.get());
    m_announcer = std::make_unique<Announcer>();
    m_stateAnnouncer = std::make_unique<StateAnnouncer>(m_pipeClient.get(), m_appSettings.get());
    connectServices();
}

AppWiring::~AppWiring() = default;

QString AppWiring::defaultStatsDbPath()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)).filePath(kStatsFileName);
}

QString AppWiring::defaultAutostartDir()
{
    if (UrlOpener::runsInsideWsl(kKernelVersionFile))
        return {};
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(kAutostartFolder);
}

void AppWiring::connectServices()
{
    PipeClient *client = m_pipeClient.get();
    TrayManager *tray = m_trayManager.get();
    AppSettings *settings = m_appSettings.get();
    PingProber *prober = m_pingProber.get();
    StatsStore *stats = m_statsStore.get();
    QCoreApplication *app = QCoreApplication::instance();

    connect(client, &PipeClient::vpnStateChanged, stats,
        [client, stats] { stats->onVpnState(client->vpnState(), client->endpoint(), client->transport()); });
    connect(client, &PipeClient::trafficChanged, stats, [client, stats] {
        stats->onTrafficSample(
            client->upBytes(), client->downBytes(), client->upSpeed(), client->downSpeed());
    });
    connect(
        prober, &PingProber::pingChanged, stats, [prober, stats] { stats->onPingSample(prober->pingMs()); });
    connect(client, &PipeClient::versionReceived, tray, &TrayManager::setVersion);
    connect(tray, &TrayManager::quitRequested, app, &QCoreApplication::quit);
    // The tray's request carries the saved switches but leaves the transport to the service.
    connect(tray, &TrayManager::connectRequested, client,
        [client, settings] { client->sendConnect(settings->whitelist(), settings->games()); });
    connect(tray, &TrayManager::disconnectRequested, client, &PipeClient::sendDisconnect);
    connect(app, &QCoreApplication::aboutToQuit, client, [this] { onAboutToQuit(); });
    StateNotifier *notifier = m_stateNotifier.get();
    connect(client, &PipeClient::linkStateChanged, notifier, &StateNotifier::onLinkStateChanged);
    connect(settings, &AppSettings::languageChanged, notifier, &StateNotifier::onLinkStateChanged);
    notifier->onLinkStateChanged();
    TrayActions *actions = m_trayActions.get();
    for (const auto signal :
        {&PipeClient::vpnStateChanged, &PipeClient::linkStateChanged, &PipeClient::authenticatedChanged})
        connect(client, signal, actions, &TrayActions::refresh);
    connect(settings, &AppSettings::languageChanged, actions, &TrayActions::refresh);
    connect(tray, &TrayManager::mainActionRequested, actions, &TrayActions::onMainActionRequested);
    actions->refresh();
    StateAnnouncer *stateAnnouncer = m_stateAnnouncer.get();
    connect(client, &PipeClient::vpnStateChanged, stateAnnouncer, &StateAnnouncer::onVpnStateChanged);
    connect(client, &PipeClient::linkStateChanged, stateAnnouncer, &StateAnnouncer::onLinkStateChanged);
    connect(client, &PipeClient::loginComplete, stateAnnouncer, &StateAnnouncer::onLoginComplete);
    connect(client, &PipeClient::loggedOut, stateAnnouncer, &StateAnnouncer::onLoggedOut);
    connect(client, &PipeClient::updateAvailableChanged, stateAnnouncer,
        &StateAnnouncer::onUpdateAvailableChanged);
    connect(client, &PipeClient::accessDenied, stateAnnouncer, &StateAnnouncer::onAccessDenied);
    connect(stateAnnouncer, &StateAnnouncer::announce, m_announcer.get(),
        [announcer = m_announcer.get()](const QString &text, bool tunnelState) {
            if (tunnelState)
                announcer->sayState(text);
            else
                announcer->say(text);
        });
    connect(client, &PipeClient::restartConfirmed, app, [] {
        DaemonLauncher::onRestartConfirmed();
        QCoreApplication::quit();
    });
    connect(m_connectOnStart.get(), &ConnectOnStart::connectRequested, client, [this] { connectTunnel(); });
    RemoteCommands *remote = m_remoteCommands.get();
    connect(remote, &RemoteCommands::connectRequested, client, [this] { connectTunnel(); });
    connect(remote, &RemoteCommands::disconnectRequested, client, &PipeClient::sendDisconnect);
    // The tray's quit path, once the answer has gone out.
    connect(remote, &RemoteCommands::quitRequested, tray, &TrayManager::quitRequested, Qt::QueuedConnection);
}

void AppWiring::connectTunnel()
{
    m_pipeClient->sendConnect(m_appSettings->whitelist(), m_appSettings->games(), m_appSettings->transport());
}

void AppWiring::publish(QQmlContext *context)
{
    context->setContextProperty(QStringLiteral("pipeClient"), m_pipeClient.get());
    context->setContextProperty(QStringLiteral("trayManager"), m_trayManager.get());
    context->setContextProperty(QStringLiteral("appSettings"), m_appSettings.get());
    context->setContextProperty(QStringLiteral("pingProber"), m_pingProber.get());
    context->setContextProperty(QStringLiteral("urlOpener"), m_urlOpener.get());
    context->setContextProperty(QStringLiteral("statsStore"), m_statsStore.get());
    context->setContextProperty(QStringLiteral("announcer"), m_announcer.get());
    // The engine owns the provider; one engine holds one.
    if (QQmlEngine *engine = context->engine(); engine && !engine->imageProvider(QStringLiteral("shadow")))
        engine->addImageProvider(QStringLiteral("shadow"), new ShadowImageProvider);
}

void AppWiring::attachWindow(QObject *window, QLocalServer *instanceServer)
{
    m_announcer->setWindow(window);
    connect(m_trayManager.get(), &TrayManager::showRequested, window,
        [window] { QMetaObject::invokeMethod(window, "showAndRaise"); });
    connect(m_trayManager.get(), &TrayManager::toggleWindowRequested, window,
        [window] { QMetaObject::invokeMethod(window, "toggleWindow"); });
    connect(m_remoteCommands.get(), &RemoteCommands::showRequested, window,
        [window] { QMetaObject::invokeMethod(window, "showAndRaise"); });
    if (instanceServer) {
        m_instanceRequests = std::make_unique<InstanceRequests>(instanceServer,
            [remote = m_remoteCommands.get()](const QByteArray &request) { return remote->answer(request); });
    }
    connect(m_pipeClient.get(), &PipeClient::vpnStateChanged, m_trayManager.get(),
        [notifier = m_stateNotifier.get()] { notifier->onVpnStateChanged(); });
    QTimer::singleShot(kFirstConnectDelayMs, m_pipeClient.get(), &PipeClient::connectToPipe);
}

void AppWiring::onAboutToQuit()
{
    // Leaving the service up matters when an update restarts it or the kill switch should keep guarding
    // the network after the window is gone.
    if (!m_pipeClient->applyRequested() && m_pipeClient->killSwitchMode() == kKillSwitchNever)
        m_pipeClient->sendShutdown();
}
