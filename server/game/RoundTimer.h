#pragma once

#include <QObject>
#include <QTimer>

#include <optional>

class Clock;

// Wakes the rounds up when the earliest deadline of a round in play has come, by the server's
// clock. After a failure to save, it waits longer each time (up to a minute) before trying
// again, so a broken database is not hammered.
class RoundTimer : public QObject {
    Q_OBJECT

public:
    explicit RoundTimer(const Clock &clock, QObject *parent = nullptr);

    // The deadline (milliseconds since the epoch) to wake at; none stops the timer.
    void wakeAt(std::optional<qint64> epochMs);
    // The last wake-up could not save its changes: the next one waits for the back-off.
    void failed();
    void succeeded();

    static constexpr qint64 firstRetryMs = 100;
    static constexpr qint64 longestRetryMs = 60000;

signals:
    void due();

private:
    qint64 wakeMs() const;
    void arm();
    void check();

    const Clock &m_clock;
    QTimer m_timer;
    std::optional<qint64> m_deadline;
    qint64 m_retryMs = 0;
    qint64 m_retryAtMs = 0;
};
