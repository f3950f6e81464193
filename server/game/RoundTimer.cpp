#include "RoundTimer.h"

#include <QDateTime>

#include <algorithm>

RoundTimer::RoundTimer(QObject *parent)
    : QObject(parent)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &RoundTimer::due);
}

void RoundTimer::wakeAt(std::optional<qint64> epochMs)
{
    if (!epochMs) {
        m_timer.stop();
        return;
    }
    // At most a minute at a time, so a wall-clock jump cannot leave a round hanging for long;
    // at least a few milliseconds, so a round that cannot be saved does not spin the loop.
    const qint64 wait = *epochMs - QDateTime::currentMSecsSinceEpoch();
    m_timer.start(int(std::clamp<qint64>(wait, 10, 60000)));
}
