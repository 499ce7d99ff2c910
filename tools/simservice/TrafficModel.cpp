#include "TrafficModel.h"

#include <cmath>

namespace {
constexpr double baseUpRate = 48.0 * 1024; // bytes per second
constexpr double baseDownRate = 720.0 * 1024; // bytes per second
} // namespace

TrafficModel::TrafficModel(quint32 seed)
    : m_random(seed)
{ }

void TrafficModel::reset(qint64 nowMs)
{
    m_startMs = m_lastMs = nowMs;
    m_up = m_down = 0;
}

void TrafficModel::advance(qint64 nowMs)
{
    if (nowMs <= m_lastMs)
        return;
    const double seconds = (nowMs - m_lastMs) / 1000.0;
    const double t = (nowMs - m_startMs) / 1000.0;
    std::uniform_real_distribution<double> jitter(0.6, 1.4);
    const double upRate = baseUpRate * (1.0 + 0.5 * std::sin(t / 7.0)) * jitter(m_random);
    const double downRate = baseDownRate * (1.0 + 0.7 * std::sin(t / 11.0 + 1.0)) * jitter(m_random);
    m_up += static_cast<qint64>(upRate * seconds);
    m_down += static_cast<qint64>(downRate * seconds);
    m_lastMs = nowMs;
}
