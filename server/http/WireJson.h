#pragma once

#include "wire/Member.h"
#include "wire/Player.h"
#include "wire/Room.h"
#include "wire/Round.h"
#include "wire/Score.h"
#include "wire/Totals.h"

struct MemberRow;
struct PlayerRow;
struct RoomRow;
struct RoundRow;
struct ScoreRow;

// The stored rows as the wire's records, which write them (see src/wire).
namespace WireJson {

Room room(const RoomRow &room);
// The nonce goes only to the round's receiver, the one player who echoes it.
Round round(const RoundRow &round, bool withNonce);
// The status is each reply's own.
Member member(const MemberRow &member);
Score score(const ScoreRow &score);
Totals totals(const ScoreRow &totals);
Player player(const PlayerRow &player);

} // namespace WireJson
