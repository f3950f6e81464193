#include "RouteChecks.h"

#include "game/Refusal.h"

using namespace Qt::StringLiterals;

namespace RouteChecks {

std::optional<HttpReply> refuseNonMember(const RoomStore &rooms, qint64 roomId, qint64 playerId)
{
    return refuseNonMember(rooms.access(roomId, playerId));
}

std::optional<HttpReply> refuseNonMember(RoomStore::Access access)
{
    switch (access) {
    case RoomStore::Access::NoRoom:
        return HttpReply::error(404, u"This room does not exist."_s);
    case RoomStore::Access::NotMember:
        return HttpReply::error(403, u"You are not a member of this room."_s);
    case RoomStore::Access::Member:
        break;
    }
    return std::nullopt;
}

HttpReply reply(const Refusal &refusal)
{
    if (refusal.field.isEmpty())
        return HttpReply::error(refusal.status, refusal.message);
    HttpReply reply = HttpReply::invalid(refusal.field, refusal.message);
    reply.status = refusal.status;
    return reply;
}

} // namespace RouteChecks
