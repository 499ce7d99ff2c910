#pragma once

#include <QHash>
#include <QtGlobal>

// Reads what the kernel accounts for one running process: CPU time of all
// its threads, context switches summed over its threads (each one is a
// sleep/wake or a preemption, so their rate stands for wakeups), and its
// resident memory.
class ProcessProbe
{
public:
    explicit ProcessProbe(qint64 pid);

    struct Sample
    {
        qint64 cpuTicks = 0;
        // Per thread id: a thread that ends takes its count along, so
        // totals of two samples could go down.
        QHash<qint64, qint64> contextSwitches;
        qint64 monotonicNs = 0;
    };

    [[nodiscard]] Sample sample() const;
    [[nodiscard]] qint64 residentKiB() const;

    // Percent of one core and switches per second between two samples.
    [[nodiscard]] static double cpuPercent(const Sample &from, const Sample &to);
    [[nodiscard]] static double switchesPerSecond(const Sample &from, const Sample &to);

private:
    qint64 m_pid = 0;
};
