#include "SnapshotBuilder.h"

#include "WireJson.h"
#include "game/Presence.h"
#include "store/RoomStore.h"
#include "store/RoundStore.h"

#include <QJsonArray>

using namespace Qt::StringLiterals;

SnapshotBuilder::SnapshotBuilder(
    const RoomStore &rooms, const RoundStore &rounds, const Presence &presence)
    : m_rooms(rooms)
    , m_rounds(rounds)
    , m_presence(presence)
{
}

QJsonObject SnapshotBuilder::snapshot(const RoomRow &room, qint64 viewerId, qint64 nowMs) const
{
    const auto round = m_rounds.roundInPlay(room.id);
    const std::optional<qint64> receiver = round ? std::optional(round->receiverId) : std::nullopt;
    QJsonArray members;
    for (const MemberRow &member : m_rooms.members(room.id)) {
        members.append(QJsonObject { { u"id"_s, member.id }, { u"name"_s, member.name },
            { u"status"_s, m_presence.status(room.id, member.id, receiver, nowMs) } });
    }
    QJsonArray scores;
    for (const ScoreRow &score : m_rooms.scores(room.id))
        scores.append(WireJson::score(score));
    QJsonObject snapshot { { u"room"_s, WireJson::room(room) }, { u"members"_s, members },
        { u"state"_s, round ? u"ROUND"_s : u"IDLE"_s },
        { u"server_time"_s, WireJson::timestamp(nowMs) }, { u"scores"_s, scores },
        { u"totals"_s, WireJson::totals(m_rooms.totals(viewerId)) } };
    if (round)
        snapshot.insert(u"round"_s, WireJson::round(*round, round->receiverId == viewerId));
    return snapshot;
}

HttpReply SnapshotBuilder::reply(qint64 roomId, qint64 viewerId, qint64 nowMs) const
{
    const auto room = m_rooms.room(roomId);
    if (!room)
        return HttpReply::error(404, u"This room does not exist."_s);
    return HttpReply::json(snapshot(*room, viewerId, nowMs));
}
