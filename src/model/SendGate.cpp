#include "model/SendGate.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

const Member *findMember(const QList<Member> &members, qint64 id)
{
    const auto found = std::find_if(
        members.cbegin(), members.cend(), [id](const Member &member) { return member.id == id; });
    return found == members.cend() ? nullptr : &*found;
}

// Whole seconds, rounded up, from `now` on the server's clock to `until`; none when it has passed.
std::optional<qint64> secondsLeft(const QDateTime &now, double offset, const QDateTime &until)
{
    const qint64 left = now.msecsTo(until) - qRound64(offset * 1000);
    if (left <= 0)
        return std::nullopt;
    return (left + 999) / 1000;
}

} // namespace

namespace SendGate {

std::optional<QString> blockReason(const State &state, qint64 receiver)
{
    if (!state.me)
        return u"Choose a room first"_s;
    if (!state.connected)
        return u"Connecting to room…"_s;
    if (state.focus)
        return u"Pomodoro focus · available again at the game break"_s;
    if (state.paused)
        return u"Resume the game to send"_s;
    if (state.sending)
        return u"Sending…"_s;
    const qint64 me = *state.me;
    if (state.roundInPlay)
        return u"Wait for the current round to finish"_s;
    if (state.ballOwner != me) {
        const Member *holder
            = state.ballOwner ? findMember(state.members, *state.ballOwner) : nullptr;
        return u"The ball is with "_s + (holder ? holder->name : u"another player"_s);
    }
    if (state.cooldownUntil) {
        if (const auto left = secondsLeft(state.now, state.offset, *state.cooldownUntil))
            return u"Next pass in "_s + QString::number(*left) + u's';
    }
    if (receiver != 0) {
        const Member *member = receiver == me ? nullptr : findMember(state.members, receiver);
        if (!member)
            return u"Choose a player in this room"_s;
        if (!member->isOnline())
            return member->name + u" is not available"_s;
        return std::nullopt;
    }
    const bool someoneOnline = std::any_of(state.members.cbegin(), state.members.cend(),
        [me](const Member &member) { return member.id != me && member.isOnline(); });
    if (!someoneOnline)
        return u"No players online"_s;
    return std::nullopt;
}

} // namespace SendGate
