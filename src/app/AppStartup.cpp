#include "AppStartup.h"

#include "AppWiring.h"
#include "CommandLine.h"
#include "ConnectOnStart.h"
#include "SceneGraphChoice.h"
#include "SingleInstance.h"
#include "TrayManager.h"

#include <QApplication>
#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QIcon>
#include <QLocalServer>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickWindow>
#include <QSurfaceFormat>
#include <QTextStream>
#include <QTimer>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {
const auto kApplicationName = QLatin1String("VantrelVPN");
const auto kOrganizationName = QLatin1String("Vantrel");
const auto kApplicationVersion = QLatin1String("0.5.12");
const auto kWindowIcon = QLatin1String(":/icon.svg");
const auto kWindowIconBitmap = QLatin1String(":/icon.png");
const auto kProgram = QLatin1String("vantrelvpn");
const char *const kBundledFonts[] = {
    ":/fonts/SF-Pro-Text-Regular.otf",
    ":/fonts/SF-Pro-Text-Medium.otf",
    ":/fonts/SF-Pro-Text-Semibold.otf",
    ":/fonts/SF-Pro-Text-Bold.otf",
};
// The interface asks for "SF Pro Text"; the bundled files are the Inter face, which registers under its
// own family name.
const auto kInterfaceFamily = QLatin1String("SF Pro Text");
const auto kBundledFamily = QLatin1String("Inter");
constexpr int kFontPointSize = 9;
constexpr int kSurfaceSamples = 4;
constexpr int kHeapReleaseDelayMs = 1000;
} // namespace

AppStartup::AppStartup(const QUrl &mainDocument, const AppConfig &config)
    : m_mainDocument(mainDocument)
    , m_config(config)
{ }

void AppStartup::loadBundledFonts()
{
    for (const char *resource : kBundledFonts) {
        const QString path = QLatin1String(resource);
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly) || QFontDatabase::addApplicationFontFromData(file.readAll()) < 0)
            qWarning().noquote() << "failed to load bundled font" << path;
    }
}

void AppStartup::setIdentity()
{
    QCoreApplication::setApplicationName(kApplicationName);
    QCoreApplication::setOrganizationName(kOrganizationName);
    QCoreApplication::setApplicationVersion(kApplicationVersion);
}

void AppStartup::prepareApplication()
{
    loadBundledFonts();
    QFont::insertSubstitution(kInterfaceFamily, kBundledFamily);
    QFont font(kInterfaceFamily, kFontPointSize);
    font.setWeight(QFont::Medium);
    QApplication::setFont(font);

    setIdentity();
    // Closing the window hides or minimises it; only a quit request ends the process.
    QApplication::setQuitOnLastWindowClosed(false);
    // The vector source draws sharp at every size; without Qt's SVG icon
    // engine the icon is null and the bitmap stands in.
    QIcon icon(kWindowIcon);
    QApplication::setWindowIcon(icon.isNull() ? QIcon(kWindowIconBitmap) : icon);
    SceneGraphChoice().apply();
}

std::optional<int> AppStartup::handOver(const CommandLine &commandLine, const QString &instanceName)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (!commandLine.error().isEmpty()) {
        err << kProgram << ": " << commandLine.error() << "\nTry '" << kProgram << " --help'.\n";
        return CommandLine::exitUnusable;
    }
    if (commandLine.helpRequested()) {
        out << commandLine.helpText();
        return CommandLine::exitDone;
    }
    const SingleInstance::Answer answer
        = SingleInstance::ask(instanceName, CommandLine::request(commandLine.command()));
    if (answer.reached)
        return CommandLine::report(commandLine.command(), answer.line, out, err);
    if (commandLine.mayStartInterface())
        return std::nullopt;
    err << kProgram << ": VantrelVPN is not running\n";
    return CommandLine::exitUnusable;
}

int AppStartup::run(int &argc, char **argv)
{
    // A command that never opens the interface needs no display, only a plain application object.
    if (!CommandLine::mayStartInterface(argc, argv)) {
        QCoreApplication app(argc, argv);
        setIdentity();
        return handOver(CommandLine(QCoreApplication::arguments()),
            SingleInstance::serverName(SingleInstance::userRuntimeDir()))
            .value_or(CommandLine::exitUnusable);
    }

    QSurfaceFormat format = QSurfaceFormat::defaultFormat();
    format.setSamples(kSurfaceSamples);
    QSurfaceFormat::setDefaultFormat(format);

    QApplication app(argc, argv);
    setIdentity();
    // Qt's own options are gone from the arguments by now.
    const CommandLine commandLine(QApplication::arguments());
    const QString instanceName = SingleInstance::serverName(SingleInstance::userRuntimeDir());
    if (const std::optional<int> exitCode = handOver(commandLine, instanceName))
        return *exitCode;

    prepareApplication();
    QLocalServer instanceServer;
    const bool guarded = SingleInstance::listen(instanceServer, instanceName);
    if (!guarded) {
        qWarning().noquote() << "running without the single-instance guard:"
                             << (instanceName.isEmpty() ? QStringLiteral("no private folder for its socket")
                                                        : instanceServer.errorString());
    }

    // Started to connect, the app waits in the tray until the service allows it to.
    const bool connects = commandLine.command() == CommandLine::Command::Connect;
    const bool minimized = commandLine.minimized() || connects;

    AppWiring wiring(m_config);
    if (connects)
        wiring.connectOnStart()->request();

    QQmlApplicationEngine engine;
    wiring.publish(engine.rootContext());
    engine.load(m_mainDocument);
    if (engine.rootObjects().isEmpty())
        return -1;
    QObject *window = engine.rootObjects().constFirst();
    // Started minimised, the window waits hidden in the tray; where there is no tray it waits minimised,
    // since a hidden one could not be found again.
    auto *shownWindow = qobject_cast<QWindow *>(window);
    // Tiling Wayland compositors (sway, Hyprland) float a window of fixed size
    // and tile any other across the screen. A frameless window has no resize
    // edges on Wayland anyway, so there it keeps the size it is drawn for.
    if (shownWindow && QGuiApplication::platformName() == u"wayland") {
        shownWindow->setMinimumSize(shownWindow->size());
        shownWindow->setMaximumSize(shownWindow->size());
    }
    if (!minimized)
        QMetaObject::invokeMethod(window, "showAndRaise");
    else if (shownWindow && !wiring.trayManager()->isTrayAvailable())
        shownWindow->showMinimized();

    wiring.attachWindow(window, guarded ? &instanceServer : nullptr);
    releaseStartupHeap(minimized ? nullptr : qobject_cast<QQuickWindow *>(window));
    return QApplication::exec();
}

void AppStartup::releaseStartupHeap(QQuickWindow *shownWindow)
{
#if defined(__GLIBC__)
    // Start-up frees much of what it allocates (documents compiled here,
    // shaders compiled on the render thread), but glibc keeps the freed pages
    // of every thread's heap. They go back to the system once the first frame
    // is on screen, or right after loading when the window starts hidden.
    const auto release = [] { QTimer::singleShot(kHeapReleaseDelayMs, [] { malloc_trim(0); }); };
    if (shownWindow)
        QObject::connect(shownWindow, &QQuickWindow::frameSwapped, qApp, release, Qt::SingleShotConnection);
    else
        release();
#else
    Q_UNUSED(shownWindow);
#endif
}
