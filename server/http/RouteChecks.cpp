#include "RouteChecks.h"

#include "game/Refusal.h"

#include <cmath>

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

std::optional<qint64> integer(const QJsonValue &value)
{
    constexpr double limit = 9007199254740992.0; // 2^53: beyond it doubles skip integers
    const double number = value.toDouble(std::nan(""));
    if (!value.isDouble() || !(std::abs(number) < limit) || std::trunc(number) != number)
        return std::nullopt;
    return qint64(number);
}

} // namespace RouteChecks
