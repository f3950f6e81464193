#include "model/CancelFlag.h"

#include <QCoro/QCoroSignal>
#include <QCoro/QCoroTimer>
#include <QPointer>
#include <QTimer>

void CancelFlag::cancel()
{
    if (m_cancelled)
        return;
    m_cancelled = true;
    Q_EMIT cancelled();
}

QCoro::Task<bool> CancelFlag::sleep(std::chrono::milliseconds duration)
{
    if (m_cancelled)
        co_return false;
    QPointer self(this);
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    // A cancellation fires the timer at once, so one wait covers both ends.
    connect(this, &CancelFlag::cancelled, &timer, [&timer] { timer.start(0); });
    timer.start(duration);
    co_await qCoro(&timer, &QTimer::timeout);
    co_return self && !self->m_cancelled;
}
