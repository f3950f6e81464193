#pragma once

#include <QObject>
#include <QTimer>

#include <optional>

// Wakes the rounds up when the earliest deadline of a round in play has come.
class RoundTimer : public QObject {
    Q_OBJECT

public:
    explicit RoundTimer(QObject *parent = nullptr);

    // The deadline (milliseconds since the epoch) to wake at; none stops the timer.
    void wakeAt(std::optional<qint64> epochMs);

signals:
    void due();

private:
    QTimer m_timer;
};
