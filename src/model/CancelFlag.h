#pragma once

#include <QCoro/QCoroTask>
#include <QObject>

#include <chrono>

// Cooperative cancellation for a long-running task (the heartbeat loop, the reconnection wait):
// the owner calls cancel(), the task checks isCancelled() before acting, and a sleep under way
// ends at once. Shared between both sides, so either may outlive the other.
class CancelFlag : public QObject {
    Q_OBJECT

public:
    bool isCancelled() const { return m_cancelled; }
    void cancel();

    // Waits on the monotonic clock; true when the whole time passed, false when cancelled
    // (also when cancelled before).
    QCoro::Task<bool> sleep(std::chrono::milliseconds duration);

Q_SIGNALS:
    void cancelled();

private:
    bool m_cancelled = false;
};
