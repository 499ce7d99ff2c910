// Prints how long a start takes as a user sees it, from the moment the
// process is started to its window being mapped on the X display and drawn
// with content, and the resident memory 3 s later: for the application
// against the simulated service on its automatic scene graph and forced onto
// OpenGL, and for a bare Qt Quick window of the same size, each with a fresh
// home (no caches of its own) and a warm one (kept from the run before), with
// the application's figures against the bare window's. Runs on the X display
// in DISPLAY; the service socket path is the fixed one, so run it where that
// path is free (scripts/bench.sh does).
//
// Usage: bench_startup --app <vantrelvpn> --bare <bench_bare_window>
//                      --service <vantrelvpn-simservice> [--runs N] [--json file]

#include "BenchHost.h"
#include "BenchReport.h"
#include "ProcessProbe.h"
#include "WindowWatch.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>
#include <map>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

constexpr int kMemoryDelayMs = 3000;
constexpr int kWindowTimeoutMs = 30000;
constexpr int kPollMs = 2;
// Both programs open a window of this size.
constexpr QSize kWindowSize(400, 660);

struct Subject
{
    QString key;
    bool app = true;
    bool warm = false;
    // Added to the environment: how to force a scene graph.
    QString variable;
    QString value;
};

struct Run
{
    double windowMs = -1;
    double contentMs = -1;
    double residentMiB = -1;
};

// The render loop logs every frame it renders. A window's first entry of the
// threaded loop is a pass that drew nothing (a negative render time); the
// first with a real render time put content on the screen. The bare window
// has nothing to draw but its background and says when its first frame is
// on the screen.
bool isContentFrame(const QByteArray &line)
{
    static const QRegularExpression frame(
        u"rendered .*render=(-?\\d+)"_s, QRegularExpression::CaseInsensitiveOption);
    if (line == "frameSwapped")
        return true;
    const QRegularExpressionMatch match = frame.match(QString::fromLatin1(line));
    return match.hasMatch() && match.captured(1).toInt() >= 0;
}

QProcessEnvironment environmentFor(const Subject &subject, const QString &home)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"QT_LOGGING_RULES"_s, u"qt.scenegraph.time.renderloop=true"_s);
    for (const auto &[variable, folder] :
        {std::pair {u"HOME"_s, u"home"_s}, {u"XDG_CONFIG_HOME"_s, u"config"_s},
            {u"XDG_DATA_HOME"_s, u"data"_s}, {u"XDG_CACHE_HOME"_s, u"cache"_s}}) {
        const QString path = QDir(home).filePath(folder);
        QDir().mkpath(path);
        environment.insert(variable, path);
    }
    if (!subject.variable.isEmpty())
        environment.insert(subject.variable, subject.value);
    return environment;
}

Run measure(const QString &program, const QProcessEnvironment &environment)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setStandardOutputFile(QProcess::nullDevice());

    Run run;
    double frameMs = -1;
    QElapsedTimer clock;
    QByteArray pending;
    QObject::connect(&process, &QProcess::readyReadStandardError, [&] {
        pending += process.readAllStandardError();
        qsizetype end;
        while (frameMs < 0 && (end = pending.indexOf('\n')) >= 0) {
            if (isContentFrame(pending.left(end)))
                frameMs = double(clock.nsecsElapsed()) / 1e6;
            pending.remove(0, end + 1);
        }
        if (frameMs >= 0)
            pending.clear();
    });

    WindowWatch watch(kWindowSize);
    if (!watch.connected()) {
        qWarning("cannot reach the X display");
        return run;
    }
    clock.start();
    process.start(program, {});
    const QDeadlineTimer deadline(kWindowTimeoutMs);
    while ((run.windowMs < 0 || frameMs < 0) && process.state() != QProcess::NotRunning
        && !deadline.hasExpired()) {
        if (run.windowMs < 0 && watch.mapped())
            run.windowMs = double(clock.nsecsElapsed()) / 1e6;
        BenchHost::pause(kPollMs);
    }
    if (run.windowMs >= 0 && frameMs >= 0) {
        run.contentMs = std::max(run.windowMs, frameMs);
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

    const QString variable = u"QSG_RHI_BACKEND"_s;
    const QString opengl = u"opengl"_s;
    const QList<Subject> subjects {
        {u"bare_fresh"_s, false, false, {}, {}},
        {u"app_fresh"_s, true, false, {}, {}},
        {u"app_opengl_fresh"_s, true, false, variable, opengl},
        {u"bare_warm"_s, false, true, {}, {}},
        {u"app_warm"_s, true, true, {}, {}},
        {u"app_opengl_warm"_s, true, true, variable, opengl},
    };
    // A warm home is kept from the unmeasured first round on, so its caches
    // (shaders, fonts, QML) are those of an everyday start; a fresh one is
    // made for every run. The subjects take turns so that a change in
    // machine load hits all of them alike.
    std::map<QString, std::unique_ptr<QTemporaryDir>> warmHomes;
    std::map<QString, std::vector<Run>> figures;
    for (int i = 0; i <= runs; ++i) {
        for (const Subject &subject : subjects) {
            auto &kept = warmHomes[subject.key];
            if (!kept)
                kept = std::make_unique<QTemporaryDir>();
            const QTemporaryDir fresh;
            const QString home = subject.warm ? kept->path() : fresh.path();
            const Run run
                = measure(parser.value(subject.app ? appOption : bareOption), environmentFor(subject, home));
            if (run.contentMs < 0) {
                qWarning("%s: no window with content (run %d)", qPrintable(subject.key), i);
                return 1;
            }
            if (i > 0)
                figures[subject.key].push_back(run);
        }
    }
    BenchHost::stop(service.get());

    BenchReport report(u"startup"_s);
    report.add(u"runs"_s, runs, u""_s, 0);
    std::map<QString, Run> medians;
    for (const Subject &subject : subjects) {
        std::vector<double> window, content, memory;
        for (const Run &run : figures[subject.key]) {
            window.push_back(run.windowMs);
            content.push_back(run.contentMs);
            memory.push_back(run.residentMiB);
        }
        Run &m = medians[subject.key];
        m = {median(window), median(content), median(memory)};
        report.add(subject.key + u"_window_ms"_s, m.windowMs, u"ms to the window mapped (median)"_s, 0);
        report.add(
            subject.key + u"_content_ms"_s, m.contentMs, u"ms to the window with content (median)"_s, 0);
        report.add(subject.key + u"_resident_mib"_s, m.residentMiB, u"MiB resident 3 s later (median)"_s);
    }
    const auto ratio = [&](const QString &key, double Run::*figure, const QString &of, const QString &to,
                           const QString &target) {
        report.add(key, medians[of].*figure / medians[to].*figure, target, 2);
    };
    ratio(u"content_ratio_fresh"_s, &Run::contentMs, u"app_fresh"_s, u"bare_fresh"_s,
        u"app / bare, fresh home (target <= 1.2)"_s);
    ratio(u"content_ratio_warm"_s, &Run::contentMs, u"app_warm"_s, u"bare_warm"_s,
        u"app / bare, warm home (target <= 1.2)"_s);
    ratio(u"window_ratio_fresh"_s, &Run::windowMs, u"app_fresh"_s, u"bare_fresh"_s,
        u"app / bare, window mapped, fresh home"_s);
    ratio(u"window_ratio_warm"_s, &Run::windowMs, u"app_warm"_s, u"bare_warm"_s,
        u"app / bare, window mapped, warm home"_s);
    ratio(u"content_ratio_opengl_warm"_s, &Run::contentMs, u"app_opengl_warm"_s, u"bare_warm"_s,
        u"app on OpenGL / bare, warm home"_s);
    ratio(u"resident_ratio_opengl"_s, &Run::residentMiB, u"app_opengl_warm"_s, u"bare_warm"_s,
        u"app on OpenGL / bare (target <= 1.15)"_s);
    ratio(u"resident_ratio"_s, &Run::residentMiB, u"app_warm"_s, u"bare_warm"_s, u"app / bare"_s);
    return report.finish(app.arguments()) ? 0 : 1;
}
