#pragma once

#include "AppConfig.h"

#include <QUrl>

#include <optional>

class CommandLine;
class QQuickWindow;

// The process entry: prepares graphics, fonts and identity, keeps one instance per user, has the service
// objects created, published and wired, loads the main document and runs the event loop.
class AppStartup
{
public:
    explicit AppStartup(
        const QUrl &mainDocument = QUrl(QStringLiteral("qrc:/qml/main.qml")), const AppConfig &config = {});

    // Returns the process exit code: that of the command line's handling (see CommandLine) when the
    // process ends without becoming the running instance, -1 when the document yields no root object,
    // otherwise the event loop's result.
    int run(int &argc, char **argv);

    // Fonts, default font, identity, window icon and the scene graph, on an existing application object
    // and before any window. Shared with development tools that run the app's documents outside run().
    static void prepareApplication();

private:
    // Name, organisation and version, which also place the user's files.
    static void setIdentity();
    // Answers --help and usage errors, or hands the command to a running instance. Returns the exit
    // code when this process has nothing more to do, none when it is to become the running instance.
    static std::optional<int> handOver(const CommandLine &commandLine, const QString &instanceName);
    static void loadBundledFonts();
    // Hands the heap start-up freed back to the system after the first frame of `shownWindow`, or soon
    // when there is none.
    static void releaseStartupHeap(QQuickWindow *shownWindow);

    QUrl m_mainDocument;
    AppConfig m_config;
};
