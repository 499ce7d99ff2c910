#pragma once

#include "AppConfig.h"

#include <QStringList>
#include <QUrl>

class QQuickWindow;

// The process entry: prepares graphics, fonts and identity, keeps one instance per user, has the service
// objects created, published and wired, loads the main document and runs the event loop.
class AppStartup
{
public:
    explicit AppStartup(
        const QUrl &mainDocument = QUrl(QStringLiteral("qrc:/qml/main.qml")), const AppConfig &config = {});

    // Returns the process exit code: 0 when another instance took over, -1 when the document yields no
    // root object, otherwise the event loop's result.
    int run(int &argc, char **argv);

    // Fonts, default font, identity, window icon and the scene graph, on an existing application object
    // and before any window. Shared with development tools that run the app's documents outside run().
    static void prepareApplication();

    // Only an argument spelled exactly "--minimized" counts; the program name is not an option.
    [[nodiscard]] static bool startsMinimized(const QStringList &arguments);

private:
    static void loadBundledFonts();
    // Hands the heap start-up freed back to the system after the first frame of `shownWindow`, or soon
    // when there is none.
    static void releaseStartupHeap(QQuickWindow *shownWindow);

    QUrl m_mainDocument;
    AppConfig m_config;
};
