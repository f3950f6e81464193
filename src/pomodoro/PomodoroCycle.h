#pragma once

#include "pomodoro/PomodoroState.h"

#include <QByteArray>
#include <QDateTime>

#include <functional>
#include <optional>

// The coordinator's focus cycle: a PomodoroState on a wall clock, with the switches the user
// has (on, off, a break now), the once-a-second catch-up and the rule for a state read back at
// start-up. It knows nothing of availability; its owner reacts to what the operations report.
class PomodoroCycle {
public:
    using Clock = std::function<QDateTime()>;

    explicit PomodoroCycle(Clock now);

    const PomodoroState &state() const { return m_state; }
    QDateTime now() const { return m_now(); }

    // A stored state, if it decodes. One that is on with a deadline already past becomes a
    // fresh focus phase from now; true when the state was replaced that way (store it again).
    bool restore(const std::optional<QByteArray> &stored);

    // On: a new full focus phase. Off: no deadline, the phase kept.
    void setEnabled(bool on);
    // A game break from now; switches the cycle on.
    void startBreak();
    // Catches up to the phase that contains now. The phase before, when the deadline had
    // passed (also after whole cycles that end in the same phase); none when nothing changed.
    std::optional<PomodoroState::Phase> tick();

    // On and in the focus phase.
    bool focusActive() const;
    QString clockText() const { return m_state.clockText(m_now()); }

private:
    Clock m_now;
    PomodoroState m_state;
};
