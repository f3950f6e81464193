#pragma once

#include "Clock.h"

// The wall clock.
class SystemClock : public Clock {
    Q_OBJECT

public:
    using Clock::Clock;

    qint64 nowMs() const override;
};
