// Prints the headline figures of a benchmark results file next to their
// targets, as the last table of scripts/bench.sh.
//
// Usage: bench_summary <results.json>

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

using namespace Qt::StringLiterals;

namespace {

enum class Goal { Report, AtMost, Below, AtLeast };

struct Row
{
    QString section;
    QString key;
    QString label;
    Goal goal = Goal::Report;
    double target = 0;
    int decimals = 2;
};

QString verdict(Goal goal, double value, double target)
{
    switch (goal) {
    case Goal::AtMost:
        return value <= target ? u"met"_s : u"MISSED"_s;
    case Goal::Below:
        return value < target ? u"met"_s : u"MISSED"_s;
    case Goal::AtLeast:
        return value >= target ? u"met"_s : u"MISSED"_s;
    case Goal::Report:
        break;
    }
    return u"reported"_s;
}

QString targetText(Goal goal, double target)
{
    switch (goal) {
    case Goal::AtMost:
        return u"<= "_s + QString::number(target);
    case Goal::Below:
        return u"< "_s + QString::number(target);
    case Goal::AtLeast:
        return u">= "_s + QString::number(target);
    case Goal::Report:
        break;
    }
    return u"-"_s;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QFile file(app.arguments().value(1));
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning("usage: bench_summary <results.json>");
        return 2;
    }
    const QJsonObject results = QJsonDocument::fromJson(file.readAll()).object();

    const QList<Row> rows {
        {u"startup"_s, u"app_fresh_content_ms"_s, u"start-up to content, fresh home, ms"_s, Goal::Report, 0,
            0},
        {u"startup"_s, u"content_ratio_fresh"_s, u"start-up, app / bare, fresh home"_s, Goal::AtMost, 1.2},
        {u"startup"_s, u"app_warm_content_ms"_s, u"start-up to content, warm home, ms"_s, Goal::Report, 0, 0},
        {u"startup"_s, u"content_ratio_warm"_s, u"start-up, app / bare, warm home"_s, Goal::AtMost, 1.2},
        {u"startup"_s, u"window_ratio_fresh"_s, u"window mapped, app / bare, fresh home"_s, Goal::Report},
        {u"startup"_s, u"window_ratio_warm"_s, u"window mapped, app / bare, warm home"_s, Goal::Report},
        {u"startup"_s, u"content_ratio_opengl_warm"_s, u"start-up on OpenGL, app / bare, warm"_s,
            Goal::Report},
        {u"startup"_s, u"app_warm_resident_mib"_s, u"resident memory, automatic, MiB"_s, Goal::AtMost, 80, 1},
        {u"startup"_s, u"resident_ratio_opengl"_s, u"resident memory on OpenGL, app / bare"_s, Goal::AtMost,
            1.15},
        {u"idle"_s, u"hidden_disconnected_cpu_percent"_s, u"hidden, disconnected: CPU %"_s, Goal::Below, 0.2},
        {u"idle"_s, u"hidden_disconnected_wakeups_per_s"_s, u"hidden, disconnected: wakeups/s"_s, Goal::Below,
            2, 1},
        {u"idle"_s, u"hidden_connected_cpu_percent"_s, u"hidden, connected: CPU %"_s, Goal::AtMost, 0.2},
        {u"idle"_s, u"hidden_connected_wakeups_per_s"_s, u"hidden, connected: wakeups/s"_s, Goal::Report, 0,
            1},
        {u"idle"_s, u"shown_disconnected_cpu_percent"_s, u"shown, disconnected: CPU %"_s, Goal::Report},
        {u"idle"_s, u"shown_connected_cpu_percent"_s, u"shown, connected: CPU %"_s, Goal::AtMost, 2},
        {u"idle"_s, u"shown_connected_wakeups_per_s"_s, u"shown, connected: wakeups/s"_s, Goal::Report, 0, 1},
        {u"idle"_s, u"shown_connected_opengl_cpu_percent"_s, u"shown, connected, OpenGL: CPU %"_s,
            Goal::AtMost, 5},
        {u"idle"_s, u"shown_connected_opengl_wakeups_per_s"_s, u"shown, connected, OpenGL: wakeups/s"_s,
            Goal::AtMost, 300, 1},
        {u"protocol"_s, u"client_vs_bare_ratio"_s, u"status events, client / bare parse"_s, Goal::AtLeast,
            0.5},
        {u"stats"_s, u"traffic_sample_median_us"_s, u"traffic sample, median us"_s, Goal::Report, 0, 0},
        {u"stats"_s, u"refresh_median_us"_s, u"statistics refresh, median us"_s, Goal::Report, 0, 0},
    };

    QTextStream out(stdout);
    out << u"%1  %2  %3  %4\n"_s.arg(u"figure"_s, -40)
               .arg(u"value"_s, 10)
               .arg(u"target"_s, -8)
               .arg(u"result"_s);
    for (const Row &row : rows) {
        const QJsonValue value = results.value(row.section).toObject().value(row.key);
        const QString shown
            = value.isDouble() ? QString::number(value.toDouble(), 'f', row.decimals) : u"-"_s;
        const QString result
            = value.isDouble() ? verdict(row.goal, value.toDouble(), row.target) : u"not run"_s;
        out << u"%1  %2  %3  %4\n"_s.arg(row.label, -40)
                   .arg(shown, 10)
                   .arg(targetText(row.goal, row.target), -8)
                   .arg(result);
    }
    return 0;
}
