#pragma once

#include <QtGlobal>

#include <random>

// Session traffic that grows at a realistic, varying rate: a slow swell with
// some jitter on top, never going backwards.
class TrafficModel
{
public:
    explicit TrafficModel(quint32 seed = std::random_device {}());

    void reset(qint64 nowMs);
    void advance(qint64 nowMs);

    [[nodiscard]] qint64 up() const { return m_up; }
    [[nodiscard]] qint64 down() const { return m_down; }

private:
    std::mt19937 m_random;
    qint64 m_startMs = 0;
    qint64 m_lastMs = 0;
    qint64 m_up = 0;
    qint64 m_down = 0;
};
