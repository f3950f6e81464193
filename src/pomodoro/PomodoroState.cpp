#include "pomodoro/PomodoroState.h"

#include "pomodoro/StoredTime.h"

#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::StringLiterals;

namespace {

QString phaseWord(PomodoroState::Phase phase)
{
    return phase == PomodoroState::Phase::Focus ? u"focus"_s : u"rest"_s;
}

} // namespace

PomodoroState PomodoroState::focusUntil(const QDateTime &deadline)
{
    return { true, Phase::Focus, deadline };
}

PomodoroState PomodoroState::restUntil(const QDateTime &deadline)
{
    return { true, Phase::Rest, deadline };
}

bool PomodoroState::advance(const QDateTime &now)
{
    if (!enabled || !deadline || now < *deadline)
        return false;
    constexpr qint64 cycleMs = qint64(cycleSeconds) * 1000;
    const qint64 behind = deadline->msecsTo(now);
    deadline = deadline->addMSecs(behind / cycleMs * cycleMs);
    while (now >= *deadline) {
        phase = phase == Phase::Focus ? Phase::Rest : Phase::Focus;
        deadline = deadline->addSecs(length(phase));
    }
    return true;
}

int PomodoroState::remaining(const QDateTime &now) const
{
    if (!enabled || !deadline)
        return 0;
    const qint64 left = now.msecsTo(*deadline);
    return left <= 0 ? 0 : int((left + 999) / 1000);
}

QString PomodoroState::clockText(const QDateTime &now) const
{
    const int seconds = remaining(now);
    const QString label = phase == Phase::Focus ? u"Focus"_s : u"Game break"_s;
    return u"%1 · %2:%3"_s.arg(label)
        .arg(seconds / 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QByteArray PomodoroState::toJson() const
{
    QJsonObject json { { u"enabled"_s, enabled }, { u"phase"_s, phaseWord(phase) } };
    if (deadline)
        json.insert(u"deadline"_s, StoredTime::toSeconds(*deadline));
    return QJsonDocument(json).toJson(QJsonDocument::Compact);
}

std::optional<PomodoroState> PomodoroState::fromJson(const QByteArray &json)
{
    const QJsonDocument document = QJsonDocument::fromJson(json);
    if (!document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    const QJsonValue enabled = object.value(u"enabled"_s);
    const QJsonValue phase = object.value(u"phase"_s);
    if (!enabled.isBool() || !phase.isString())
        return std::nullopt;

    PomodoroState state;
    state.enabled = enabled.toBool();
    if (phase.toString() == phaseWord(Phase::Focus))
        state.phase = Phase::Focus;
    else if (phase.toString() == phaseWord(Phase::Rest))
        state.phase = Phase::Rest;
    else
        return std::nullopt;

    const QJsonValue deadline = object.value(u"deadline"_s);
    if (!deadline.isUndefined() && !deadline.isNull()) {
        // A present deadline that is not a usable number makes the whole value unreadable.
        state.deadline
            = deadline.isDouble() ? StoredTime::fromSeconds(deadline.toDouble()) : std::nullopt;
        if (!state.deadline)
            return std::nullopt;
    }
    return state;
}
