#pragma once

#include "game/Clock.h"

// A clock that moves only when a test moves it.
class ManualClock : public Clock {
    Q_OBJECT

public:
    explicit ManualClock(qint64 startMs = 1'800'000'000'000)
        : m_nowMs(startMs)
    {
    }

    qint64 nowMs() const override { return m_nowMs; }
    void advance(qint64 ms)
    {
        m_nowMs += ms;
        emit jumped();
    }

private:
    qint64 m_nowMs;
};
