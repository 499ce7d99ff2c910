// Prints the preferences a default-constructed AppSettings starts with, so that a test can
// run it under a system locale of its choosing.
#include "AppSettings.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const AppSettings settings;
    QTextStream(stdout) << settings.language() << ' ' << settings.transport() << ' ' << settings.darkTheme()
                        << settings.autostart() << settings.whitelist() << settings.games()
                        << settings.connectOnStart() << Qt::endl;
    return 0;
}
