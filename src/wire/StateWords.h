#pragma once

#include <QLatin1StringView>

// The words the wire uses for states, compared case-sensitively by both sides.
namespace RoundState {
// In play: waiting for its receiver to get ready, then active until its deadline.
inline constexpr QLatin1StringView waiting("WAITING_RECEIVER");
inline constexpr QLatin1StringView active("ACTIVE");
// Ended: the ball went through the hoop, the active round ran out of time, or the round went
// back unplayed.
inline constexpr QLatin1StringView scored("SCORED");
inline constexpr QLatin1StringView missed("MISSED");
inline constexpr QLatin1StringView returned("RETURNED");
} // namespace RoundState

namespace MemberStatus {
inline constexpr QLatin1StringView online("ONLINE");
inline constexpr QLatin1StringView busy("BUSY");
inline constexpr QLatin1StringView doNotDisturb("DO_NOT_DISTURB");
inline constexpr QLatin1StringView offline("OFFLINE");
} // namespace MemberStatus

// A snapshot's state: whether a round is in play.
namespace RoomState {
inline constexpr QLatin1StringView idle("IDLE");
inline constexpr QLatin1StringView round("ROUND");
} // namespace RoomState
