#pragma once

#include "TrayManager.h"

#include <QDateTime>
#include <QString>

#include <functional>

// The environment the running process works in. The defaults are those of a real installation; tests
// substitute their own paths, a fake service socket and a fixed clock.
struct AppConfig
{
    QString socketPath = QStringLiteral("/run/vantrelvpn/daemon.sock");
    QString tokenPath = QStringLiteral("/run/vantrelvpn/pipe.token");
    // Empty: "stats.db" in the writable application data location, resolved when the store is created.
    QString statsDbPath;
    // Empty: the user's desktop directory.
    QString desktopDir;
    // Where the autostart entry goes. Empty: the user's XDG autostart folder, or none under WSL.
    QString autostartDir;
    // Time source of the statistics store (session times, day keys); empty: the current local time. The
    // client keeps measuring traffic speeds on the real clock, which a fixed test time would freeze.
    std::function<QDateTime()> clock;
    // Empty members: the real tray icon and desktop notifications.
    TrayManager::Environment tray;
};
