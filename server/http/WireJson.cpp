#include "WireJson.h"

#include "store/RoomStore.h"
#include "store/RoundStore.h"
#include "store/Store.h"
#include "wire/Timestamp.h"

namespace WireJson {

namespace {

std::optional<QString> timestamp(std::optional<qint64> epochMs)
{
    return epochMs ? std::optional(Timestamp::format(*epochMs)) : std::nullopt;
}

} // namespace

Room room(const RoomRow &room)
{
    return { room.id, room.ownerId, room.name, room.inviteCode, room.ballOwnerId,
        timestamp(room.cooldownUntil) };
}

Round round(const RoundRow &round, bool withNonce)
{
    return { round.id, round.senderId, round.receiverId, round.state, round.entry, Hoop::standard(),
        withNonce ? std::optional(round.nonce) : std::nullopt, timestamp(round.endsAt),
        round.lastSequence };
}

Member member(const MemberRow &member)
{
    return { member.id, member.name, {} };
}

Score score(const ScoreRow &score)
{
    return { score.playerId, score.points, score.received, score.misses, score.best };
}

Totals totals(const ScoreRow &totals)
{
    return { totals.received, totals.points, totals.misses, totals.best };
}

Player player(const PlayerRow &player)
{
    return { player.id, player.name, std::nullopt, player.activeRoomId };
}

} // namespace WireJson
