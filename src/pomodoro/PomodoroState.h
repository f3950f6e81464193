#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QMetaType>
#include <QString>

#include <optional>

// The focus timer: 30 minutes of focus, then a 5-minute game break, in wall-clock time.
// Deadlines stay on one grid: however long the computer slept, a catch-up lands on the
// phase that the clock says it is in, with a deadline a whole number of phases later.
struct PomodoroState {
    enum class Phase { Focus, Rest };

    static constexpr int focusSeconds = 1800;
    static constexpr int restSeconds = 300;
    static constexpr int cycleSeconds = focusSeconds + restSeconds;

    bool enabled = false;
    Phase phase = Phase::Focus;
    std::optional<QDateTime> deadline; // none while the cycle is off

    static PomodoroState focusUntil(const QDateTime &deadline);
    static PomodoroState restUntil(const QDateTime &deadline);
    static int length(Phase phase) { return phase == Phase::Focus ? focusSeconds : restSeconds; }

    // Moves forward to the phase that contains `now`; true when the deadline had passed.
    bool advance(const QDateTime &now);
    // Whole seconds left in the phase, rounded up; 0 when off, without deadline or overdue.
    int remaining(const QDateTime &now) const;
    // "Focus · 29:59" or "Game break · 04:05".
    QString clockText(const QDateTime &now) const;

    // The stored form: {"enabled": bool, "phase": "focus"|"rest", "deadline": seconds since
    // 2001-01-01 00:00:00 UTC}, "deadline" left out when there is none.
    QByteArray toJson() const;
    static std::optional<PomodoroState> fromJson(const QByteArray &json);

    bool operator==(const PomodoroState &) const = default;
};

Q_DECLARE_METATYPE(PomodoroState)
