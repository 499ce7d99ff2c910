// Runs the application's start-up with a document chosen by the test (VANTREL_PROBE_DOCUMENT), so the
// tests can watch what the first instance is asked to do and what a broken document ends with.
#include "AppStartup.h"

#include <QDir>

int main(int argc, char *argv[])
{
    const QString document
        = qEnvironmentVariable("VANTREL_PROBE_DOCUMENT", QStringLiteral("qrc:/probe/ProbeWindow.qml"));
    AppConfig config;
    // Never reach a service that may run on the developer's machine.
    config.socketPath = QDir::temp().filePath(QStringLiteral("vantrel-probe-no-service.sock"));
    config.tokenPath = QDir::temp().filePath(QStringLiteral("vantrel-probe-no-token"));
    return AppStartup(QUrl(document), config).run(argc, argv);
}
