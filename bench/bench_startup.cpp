// Prints the time from process start to the first frame of the main window,
// and the resident memory 3 s after it, for the application against the
// simulated service and for a bare Qt Quick window of the same size, with
// their ratios. Runs on the X display in DISPLAY; the service socket path is
// the fixed one, so run it where that path is free (scripts/bench.sh does).
//
// Usage: bench_startup --app <vantrelvpn> --bare <bench_bare_window>
//                      --service <vantrelvpn-simservice> [--runs N] [--json file]

#include "BenchHost.h"
#include "BenchReport.h"
#include "ProcessProbe.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QRegularExpression>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

constexpr int kMemoryDelayMs = 3000;
constexpr int kFrameTimeoutMs = 30000;

struct Run
{
    double firstFrameMs = -1;
    double residentMiB = -1;
};

// The render loop logs each frame after the swap. Its first line of a window
// reports a pass that rendered nothing, with a negative render time; the
// first line with a real render time is the frame that emits frameSwapped.
bool isFirstRealFrame(const QByteArray &line)
{
    static const QRegularExpression frame(u"frame rendered in .*render=(-?\\d+)"_s);
    const QRegularExpressionMatch match = frame.match(QString::fromLatin1(line));
    return match.hasMatch() && match.captured(1).toInt() >= 0;
}

Run measure(const QString &program, const QStringList &arguments)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"QT_LOGGING_RULES"_s, u"qt.scenegraph.time.renderloop=true"_s);
    process.setProcessEnvironment(environment);
    process.setStandardOutputFile(QProcess::nullDevice());

    Run run;
    QElapsedTimer clock;
    QByteArray pending;
    QObject::connect(&process, &QProcess::readyReadStandardError, [&] {
        pending += process.readAllStandardError();
        qsizetype end;
        while (run.firstFrameMs < 0 && (end = pending.indexOf('\n')) >= 0) {
            if (isFirstRealFrame(pending.left(end)))
                run.firstFrameMs = double(clock.nsecsElapsed()) / 1e6;
            pending.remove(0, end + 1);
        }
        if (run.firstFrameMs >= 0)
            pending.clear();
    });

    clock.start();
    process.start(program, arguments);
    const QDeadlineTimer deadline(kFrameTimeoutMs);
    while (run.firstFrameMs < 0 && process.state() != QProcess::NotRunning && !deadline.hasExpired())
        BenchHost::pause(5);
    if (run.firstFrameMs >= 0) {
        BenchHost::pause(kMemoryDelayMs);
        run.residentMiB = double(ProcessProbe(process.processId()).residentKiB()) / 1024.0;
    }
    BenchHost::stop(&process);
    return run;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption appOption(u"app"_s, u"The application."_s, u"path"_s);
    const QCommandLineOption bareOption(u"bare"_s, u"The bare-window program."_s, u"path"_s);
    const QCommandLineOption serviceOption(u"service"_s, u"The simulated service."_s, u"path"_s);
    const QCommandLineOption runsOption(u"runs"_s, u"Measured runs of each (default 5)."_s, u"n"_s, u"5"_s);
    const QCommandLineOption jsonOption(u"json"_s, u"Also write the figures here."_s, u"file"_s);
    parser.addOptions({appOption, bareOption, serviceOption, runsOption, jsonOption});
    parser.addHelpOption();
    parser.process(app);
    if (!parser.isSet(appOption) || !parser.isSet(bareOption) || !parser.isSet(serviceOption))
        parser.showHelp(2);
    const int runs = std::max(1, parser.value(runsOption).toInt());

    const auto service = BenchHost::startService(parser.value(serviceOption), {u"--signed-in"_s});
    if (!service) {
        qWarning("the simulated service did not start on %s", BenchHost::socketPath);
        return 1;
    }

    // One unmeasured start of each fills the file and shader caches, so the
    // figures are those of an everyday start, not of the first after boot.
    // The two alternate so that a change in machine load hits both alike.
    std::vector<double> appFrame, appMemory, bareFrame, bareMemory;
    for (int i = 0; i <= runs; ++i) {
        const Run bare = measure(parser.value(bareOption), {});
        const Run full = measure(parser.value(appOption), {});
        if (bare.firstFrameMs < 0 || full.firstFrameMs < 0) {
            qWarning("no first frame seen (run %d)", i);
            return 1;
        }
        if (i == 0)
            continue;
        bareFrame.push_back(bare.firstFrameMs);
        bareMemory.push_back(bare.residentMiB);
        appFrame.push_back(full.firstFrameMs);
        appMemory.push_back(full.residentMiB);
    }
    BenchHost::stop(service.get());

    BenchReport report(u"startup"_s);
    report.add(u"runs"_s, runs, u""_s, 0);
    report.add(u"app_first_frame_ms"_s, median(appFrame), u"ms (median)"_s, 0);
    report.add(u"bare_first_frame_ms"_s, median(bareFrame), u"ms (median)"_s, 0);
    report.add(u"first_frame_ratio"_s, median(appFrame) / median(bareFrame), u"(target <= 1.5)"_s, 2);
    report.add(u"app_resident_mib"_s, median(appMemory), u"MiB (median)"_s);
    report.add(u"bare_resident_mib"_s, median(bareMemory), u"MiB (median)"_s);
    report.add(u"resident_ratio"_s, median(appMemory) / median(bareMemory), u"(target <= 1.3)"_s, 2);
    return report.finish(app.arguments()) ? 0 : 1;
}
