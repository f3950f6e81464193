#pragma once

#include "HttpReply.h"
#include "store/RoomStore.h"

#include <optional>

struct Refusal;

// Checks and conversions that the room and round endpoints share.
namespace RouteChecks {

// 404 when the room does not exist, 403 when the player is not one of its members.
std::optional<HttpReply> refuseNonMember(const RoomStore &rooms, qint64 roomId, qint64 playerId);
std::optional<HttpReply> refuseNonMember(RoomStore::Access access);

HttpReply reply(const Refusal &refusal);

} // namespace RouteChecks
