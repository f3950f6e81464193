#include "RoundTimer.h"

#include "Clock.h"

#include <algorithm>
#include <cstdio>

RoundTimer::RoundTimer(const Clock &clock, QObject *parent)
    : QObject(parent)
    , m_clock(clock)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &RoundTimer::check);
    connect(&clock, &Clock::jumped, this, &RoundTimer::check);
}

void RoundTimer::wakeAt(std::optional<qint64> epochMs)
{
    m_deadline = epochMs;
    arm();
}

void RoundTimer::failed()
{
    m_retryMs = m_retryMs == 0 ? firstRetryMs : std::min(m_retryMs * 2, longestRetryMs);
    m_retryAtMs = m_clock.nowMs() + m_retryMs;
    std::fprintf(stderr, "round timer: changes not saved; trying again in %lld ms\n",
        static_cast<long long>(m_retryMs));
}

void RoundTimer::succeeded()
{
    m_retryMs = 0;
    m_retryAtMs = 0;
}

qint64 RoundTimer::wakeMs() const
{
    return std::max(*m_deadline, m_retryAtMs);
}

void RoundTimer::arm()
{
    if (!m_deadline) {
        m_timer.stop();
        return;
    }
    // At most a minute at a time, so a wall-clock jump cannot leave a round hanging for long;
    // at least a few milliseconds, so a deadline that cannot be acted on does not spin.
    m_timer.start(int(std::clamp<qint64>(wakeMs() - m_clock.nowMs(), 10, 60000)));
}

void RoundTimer::check()
{
    if (!m_deadline)
        return;
    if (m_clock.nowMs() >= wakeMs())
        emit due();
    else
        arm();
}
