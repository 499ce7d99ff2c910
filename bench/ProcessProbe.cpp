#include "ProcessProbe.h"

#include <QDir>
#include <QFile>
#include <QString>

#include <chrono>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QByteArray readProc(const QString &path)
{
    QFile file(path);
    // /proc files report a size of 0; read until the end instead.
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The number after "<key>:" in a /proc status file, 0 when absent.
qint64 statusField(const QByteArray &status, const QByteArray &key)
{
    const qsizetype at = status.indexOf("\n" + key + ':');
    if (at < 0)
        return 0;
    const qsizetype start = at + key.size() + 2;
    const qsizetype end = status.indexOf('\n', start);
    return status.mid(start, end - start).simplified().split(' ').value(0).toLongLong();
}

} // namespace

ProcessProbe::ProcessProbe(qint64 pid)
    : m_pid(pid)
{ }

ProcessProbe::Sample ProcessProbe::sample() const
{
    Sample result;
    result.monotonicNs = std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::steady_clock::now().time_since_epoch())
                             .count();

    // utime and stime are fields 14 and 15; the command name before them
    // may hold blanks, so count from the closing parenthesis.
    const QByteArray stat = readProc(u"/proc/%1/stat"_s.arg(m_pid));
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    result.cpuTicks = fields.value(11).toLongLong() + fields.value(12).toLongLong();

    const QString taskDir = u"/proc/%1/task"_s.arg(m_pid);
    const QStringList tasks = QDir(taskDir).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &task : tasks) {
        const QByteArray status = readProc(taskDir + u'/' + task + u"/status"_s);
        result.contextSwitches.insert(task.toLongLong(),
            statusField(status, "voluntary_ctxt_switches")
                + statusField(status, "nonvoluntary_ctxt_switches"));
    }
    return result;
}

qint64 ProcessProbe::residentKiB() const
{
    return statusField(readProc(u"/proc/%1/status"_s.arg(m_pid)), "VmRSS");
}

double ProcessProbe::cpuPercent(const Sample &from, const Sample &to)
{
    const double seconds = double(to.monotonicNs - from.monotonicNs) / 1e9;
    if (seconds <= 0)
        return 0;
    const double cpuSeconds = double(to.cpuTicks - from.cpuTicks) / double(::sysconf(_SC_CLK_TCK));
    return 100.0 * cpuSeconds / seconds;
}

double ProcessProbe::switchesPerSecond(const Sample &from, const Sample &to)
{
    const double seconds = double(to.monotonicNs - from.monotonicNs) / 1e9;
    if (seconds <= 0)
        return 0;
    // Threads that ended in between are left out; threads that started
    // count from zero.
    qint64 switches = 0;
    for (auto it = to.contextSwitches.cbegin(); it != to.contextSwitches.cend(); ++it)
        switches += it.value() - from.contextSwitches.value(it.key(), 0);
    return double(switches) / seconds;
}
