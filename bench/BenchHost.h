#pragma once

#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>

#include <memory>

// What the application benchmarks need around the process they measure:
// the simulated service on the fixed socket path, waiting with the event
// loop running (so child output keeps being drained), and the X display
// tools that find and click windows.
class BenchHost
{
public:
    static constexpr auto socketPath = "/run/vantrelvpn/daemon.sock";

    // Runs the event loop for the given time.
    static void pause(int ms);

    // Starts the simulated service with the given options and waits until
    // its socket is there; null when it does not come up.
    static std::unique_ptr<QProcess> startService(const QString &program, const QStringList &options);

    // Ends a child: politely first, then for good.
    static void stop(QProcess *process);

    // Geometry of the visible top-level window with exactly this title, as
    // the X server sees it; invalid when there is none within the time.
    static QRect visibleWindow(const QString &title, int timeoutMs);

    // Waits until no visible top-level window has this title.
    static bool waitUntilHidden(const QString &title, int timeoutMs);

    // Moves the pointer there and clicks the left button.
    static bool click(const QPoint &at);
};
