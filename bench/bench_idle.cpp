// Prints what the application costs while nobody uses it: CPU in percent of
// one core and wakeups (context switches of all its threads) per second over
// a quiet window, in four cases: the window shown or hidden to the tray, the
// tunnel down or up, on the scene graph the application picks for itself; and
// shown with the tunnel up forced onto OpenGL. Runs on the X display in DISPLAY, which needs a tray host
// for the hidden cases; the service socket path is the fixed one, so run it
// where that path is free (scripts/bench.sh does).
//
// Usage: bench_idle --app <vantrelvpn> --service <vantrelvpn-simservice>
//                   [--seconds N] [--json file] [--case key ...]

#include "BenchHost.h"
#include "BenchReport.h"
#include "ProcessProbe.h"

#include <QCommandLineParser>
#include <QCoreApplication>

using namespace Qt::StringLiterals;

namespace {

// Time for the link, the first status and the screen transitions to end
// before the quiet window starts.
constexpr int kSettleMs = 4000;
constexpr int kWindowTimeoutMs = 30000;
const auto kWindowTitle = u"VantrelVPN"_s;

struct Case
{
    QString key;
    bool shown = true;
    bool connected = false;
    // Forces OpenGL when set; otherwise the application chooses.
    bool opengl = false;
};

struct Figures
{
    double cpuPercent = -1;
    double wakeupsPerSecond = -1;
};

// The title bar's close button: the panel sits 10 inside the window, the
// button row 6 from the panel's right edge, each button 36 by 30, the bar 46
// high.
QPoint closeButton(const QRect &window)
{
    return {window.right() - 10 - 6 - 18, window.top() + 10 + 23};
}

Figures measure(const QString &appPath, const QString &servicePath, const Case &c, int seconds)
{
    const auto service
        = BenchHost::startService(servicePath, {c.connected ? u"--connected"_s : u"--signed-in"_s});
    if (!service) {
        qWarning("the simulated service did not start on %s", BenchHost::socketPath);
        return {};
    }

    QProcess app;
    if (c.opengl) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"QSG_RHI_BACKEND"_s, u"opengl"_s);
        app.setProcessEnvironment(environment);
    }
    app.setStandardOutputFile(QProcess::nullDevice());
    app.setStandardErrorFile(QProcess::nullDevice());
    app.start(appPath, {});
    Figures figures;
    const QRect window = BenchHost::visibleWindow(kWindowTitle, kWindowTimeoutMs);
    if (!window.isValid()) {
        qWarning("%s: the window did not show", qPrintable(c.key));
    } else {
        BenchHost::pause(kSettleMs);
        bool ready = true;
        if (!c.shown) {
            // Hidden the way a user does it: the close button sends the
            // window to the tray.
            BenchHost::click(closeButton(window));
            ready = BenchHost::waitUntilHidden(kWindowTitle, 5000);
            if (!ready)
                qWarning("%s: the window did not hide", qPrintable(c.key));
            BenchHost::click(QPoint(0, 0));
            BenchHost::pause(kSettleMs);
        }
        if (ready && app.state() == QProcess::Running) {
            const ProcessProbe probe(app.processId());
            const ProcessProbe::Sample from = probe.sample();
            BenchHost::pause(seconds * 1000);
            const ProcessProbe::Sample to = probe.sample();
            if (app.state() == QProcess::Running) {
                figures.cpuPercent = ProcessProbe::cpuPercent(from, to);
                figures.wakeupsPerSecond = ProcessProbe::switchesPerSecond(from, to);
            }
        }
    }
    BenchHost::stop(&app);
    BenchHost::stop(service.get());
    return figures;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption appOption(u"app"_s, u"The application."_s, u"path"_s);
    const QCommandLineOption serviceOption(u"service"_s, u"The simulated service."_s, u"path"_s);
    const QCommandLineOption secondsOption(
        u"seconds"_s, u"Length of each quiet window (default 30)."_s, u"n"_s, u"30"_s);
    const QCommandLineOption jsonOption(u"json"_s, u"Also write the figures here."_s, u"file"_s);
    const QCommandLineOption caseOption(
        u"case"_s, u"Measure only this case (repeatable; default all)."_s, u"key"_s);
    parser.addOptions({appOption, serviceOption, secondsOption, jsonOption, caseOption});
    parser.addHelpOption();
    parser.process(app);
    if (!parser.isSet(appOption) || !parser.isSet(serviceOption))
        parser.showHelp(2);
    const int seconds = std::max(1, parser.value(secondsOption).toInt());

    const QList<Case> cases {
        {u"shown_disconnected"_s, true, false},
        {u"shown_connected"_s, true, true},
        {u"hidden_connected"_s, false, true},
        {u"hidden_disconnected"_s, false, false},
        {u"shown_connected_opengl"_s, true, true, true},
    };
    BenchReport report(u"idle"_s);
    report.add(u"seconds"_s, seconds, u"s per case"_s, 0);
    bool complete = true;
    const QStringList only = parser.values(caseOption);
    for (const Case &c : cases) {
        if (!only.isEmpty() && !only.contains(c.key))
            continue;
        const Figures figures = measure(parser.value(appOption), parser.value(serviceOption), c, seconds);
        complete = complete && figures.cpuPercent >= 0;
        report.add(c.key + u"_cpu_percent"_s, figures.cpuPercent, u"% of one core"_s, 2);
        report.add(c.key + u"_wakeups_per_s"_s, figures.wakeupsPerSecond, u"per s"_s, 1);
    }
    return report.finish(app.arguments()) && complete ? 0 : 1;
}
