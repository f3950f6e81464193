// The coordinator's side of the pomodoro cycle: what a change of phase means for the game.

#include "model/AppModel.h"

#include "model/SystemSound.h"

using namespace Qt::StringLiterals;

void AppModel::setPomodoro(bool on)
{
    m_focusGraceRoundID.reset();
    m_pomodoro.setEnabled(on);
    Q_EMIT pomodoroChanged();
    persistPomodoro();
    refreshOverlay();
    later([this] { beat(); });
}

void AppModel::startPomodoroBreak()
{
    m_focusGraceRoundID.reset();
    m_pomodoro.startBreak();
    Q_EMIT pomodoroChanged();
    persistPomodoro();
    refreshOverlay();
    setMessage(u"5-minute break · play with an available contact"_s);
    later([this] { beat(); });
}

void AppModel::tickPomodoro()
{
    if (const auto before = m_pomodoro.tick()) {
        const auto &round = m_snapshot ? m_snapshot->round : std::nullopt;
        // The round the player is playing when a focus phase begins may still be finished.
        if (*before == PomodoroState::Phase::Rest && focusActive() && round && m_user
            && round->receiverId == m_user->id && round->isActive())
            m_focusGraceRoundID = round->id;
        else
            m_focusGraceRoundID.reset();
        persistPomodoro();
        refreshOverlay();
        if (pomodoro().phase == PomodoroState::Phase::Rest) {
            setMessage(u"Break time · 5 minutes to play or rest"_s);
            if (m_sound)
                SystemSound::playComplete();
        } else {
            setMessage(u"Focus time · incoming balls paused for 30 minutes"_s);
        }
        later([this] { beat(); });
    }
    // Every tick, so that the clock text counts down.
    Q_EMIT pomodoroChanged();
}

void AppModel::persistPomodoro()
{
    m_preferences.setPomodoroState(pomodoro().toJson());
}
