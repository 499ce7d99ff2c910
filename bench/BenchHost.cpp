#include "BenchHost.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <QVariantMap>

using namespace Qt::StringLiterals;

namespace {

QString run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return process.exitCode() == 0 ? QString::fromLocal8Bit(process.readAllStandardOutput()) : QString();
}

} // namespace

void BenchHost::pause(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

std::unique_ptr<QProcess> BenchHost::startService(const QString &program, const QStringList &options)
{
    const QString socket = QString::fromLatin1(socketPath);
    QFile::remove(socket);
    auto process = std::make_unique<QProcess>();
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    process->start(program, options);
    if (!process->waitForStarted(5000))
        return nullptr;
    const QDeadlineTimer deadline(5000);
    while (!QFile::exists(socket) && !deadline.hasExpired())
        pause(20);
    if (!QFile::exists(socket)) {
        stop(process.get());
        return nullptr;
    }
    return process;
}

void BenchHost::stop(QProcess *process)
{
    if (!process || process->state() == QProcess::NotRunning)
        return;
    process->terminate();
    if (!process->waitForFinished(3000)) {
        process->kill();
        process->waitForFinished(3000);
    }
}

QRect BenchHost::visibleWindow(const QString &title, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    do {
        const QString ids
            = run(u"xdotool"_s, {u"search"_s, u"--onlyvisible"_s, u"--name"_s, u'^' + title + u'$'});
        const QString id = ids.section(u'\n', 0, 0).trimmed();
        if (!id.isEmpty()) {
            // Lines of KEY=value: WINDOW, X, Y, WIDTH, HEIGHT, SCREEN.
            const QStringList lines
                = run(u"xdotool"_s, {u"getwindowgeometry"_s, u"--shell"_s, id}).split(u'\n');
            QVariantMap values;
            for (const QString &line : lines)
                values.insert(line.section(u'=', 0, 0), line.section(u'=', 1).toInt());
            const QRect rect(values.value(u"X"_s).toInt(), values.value(u"Y"_s).toInt(),
                values.value(u"WIDTH"_s).toInt(), values.value(u"HEIGHT"_s).toInt());
            if (rect.isValid())
                return rect;
        }
        pause(50);
    } while (!deadline.hasExpired());
    return {};
}

bool BenchHost::waitUntilHidden(const QString &title, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (visibleWindow(title, 0).isValid()) {
        if (deadline.hasExpired())
            return false;
        pause(50);
    }
    return true;
}

bool BenchHost::click(const QPoint &at)
{
    const int code = QProcess::execute(
        u"xdotool"_s, {u"mousemove"_s, QString::number(at.x()), QString::number(at.y()), u"click"_s, u"1"_s});
    return code == 0;
}
