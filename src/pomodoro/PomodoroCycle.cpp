#include "pomodoro/PomodoroCycle.h"

PomodoroCycle::PomodoroCycle(Clock now)
    : m_now(std::move(now))
{
}

bool PomodoroCycle::restore(const std::optional<QByteArray> &stored)
{
    const auto state = stored ? PomodoroState::fromJson(*stored) : std::nullopt;
    if (!state)
        return false;
    m_state = *state;
    const QDateTime now = m_now();
    if (!m_state.enabled || !m_state.deadline || *m_state.deadline >= now)
        return false;
    m_state = PomodoroState::focusUntil(now.addSecs(PomodoroState::focusSeconds));
    return true;
}

void PomodoroCycle::setEnabled(bool on)
{
    if (on) {
        m_state = PomodoroState::focusUntil(m_now().addSecs(PomodoroState::focusSeconds));
        return;
    }
    m_state.enabled = false;
    m_state.deadline.reset();
}

void PomodoroCycle::startBreak()
{
    m_state = PomodoroState::restUntil(m_now().addSecs(PomodoroState::restSeconds));
}

std::optional<PomodoroState::Phase> PomodoroCycle::tick()
{
    const PomodoroState::Phase before = m_state.phase;
    if (!m_state.advance(m_now()))
        return std::nullopt;
    return before;
}

bool PomodoroCycle::focusActive() const
{
    return m_state.enabled && m_state.phase == PomodoroState::Phase::Focus;
}
