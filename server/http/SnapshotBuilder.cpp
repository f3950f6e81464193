#include "SnapshotBuilder.h"

#include "WireJson.h"
#include "game/Presence.h"
#include "game/RoomEvents.h"
#include "store/RoundStore.h"

#include <QJsonArray>
#include <QJsonDocument>

using namespace Qt::StringLiterals;

namespace {

// Past these the caches start over: far more rooms and players than one node serves at once.
constexpr qsizetype maxKeptRooms = 4096;
constexpr qsizetype maxKeptTotals = 32768;

QByteArray compact(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace

// The snapshot as JSON text around the parts that differ per reply. QJsonObject writes its
// keys in sorted order: members, room, round, scores, server_time, state, totals.
struct SnapshotBuilder::Room {
    QList<qint64> memberIds;
    // Each member's object up to its status: {"id":1,"name":"…","status":"
    QList<QByteArray> memberHeads;
    std::optional<qint64> receiverId;
    // From after the members to the server time's opening quote, with the round's nonce for
    // its receiver and without it for everybody else.
    QByteArray middle;
    QByteArray middleForReceiver;
    // From after the server time to the totals.
    QByteArray tail;
};

SnapshotBuilder::SnapshotBuilder(
    const RoomStore &rooms, const RoundStore &rounds, const Presence &presence, RoomEvents &events)
    : m_store(rooms)
    , m_rounds(rounds)
    , m_presence(presence)
{
    m_changes = QObject::connect(
        &events, &RoomEvents::roomChanged, &events, [this](qint64 roomId) { forget(roomId); });
    m_allChanged = QObject::connect(&events, &RoomEvents::allChanged, &events, [this] {
        m_kept.clear();
        m_totals.clear();
    });
}

SnapshotBuilder::~SnapshotBuilder()
{
    QObject::disconnect(m_changes);
    QObject::disconnect(m_allChanged);
}

RoomStore::Access SnapshotBuilder::access(qint64 roomId, qint64 playerId) const
{
    const auto kept = room(roomId);
    if (!kept)
        return RoomStore::Access::NoRoom;
    return kept->memberIds.contains(playerId) ? RoomStore::Access::Member
                                              : RoomStore::Access::NotMember;
}

std::optional<qint64> SnapshotBuilder::receiver(qint64 roomId) const
{
    const auto kept = room(roomId);
    return kept ? kept->receiverId : std::nullopt;
}

HttpReply SnapshotBuilder::reply(qint64 roomId, qint64 viewerId, qint64 nowMs) const
{
    const auto kept = room(roomId);
    if (!kept)
        return HttpReply::error(404, u"This room does not exist."_s);
    QByteArray body;
    body.reserve(kept->middle.size() + 96 * kept->memberHeads.size() + 256);
    body += "{\"members\":[";
    for (qsizetype i = 0; i < kept->memberHeads.size(); ++i) {
        if (i > 0)
            body += ',';
        const QString status
            = m_presence.status(roomId, kept->memberIds.at(i), kept->receiverId, nowMs);
        body += kept->memberHeads.at(i);
        body += status.toLatin1();
        body += "\"}";
    }
    body += ']';
    body += kept->receiverId == viewerId ? kept->middleForReceiver : kept->middle;
    body += WireJson::timestamp(nowMs).toLatin1();
    body += kept->tail;
    body += totals(viewerId);
    body += '}';
    HttpReply reply;
    reply.body = std::move(body);
    return reply;
}

std::shared_ptr<const SnapshotBuilder::Room> SnapshotBuilder::room(qint64 roomId) const
{
    if (const auto kept = m_kept.constFind(roomId); kept != m_kept.cend())
        return *kept;
    auto fresh = read(roomId);
    // A room that does not exist is not kept: its id may yet be given to a new room.
    if (fresh) {
        if (m_kept.size() >= maxKeptRooms)
            m_kept.clear();
        m_kept.insert(roomId, fresh);
    }
    return fresh;
}

std::shared_ptr<const SnapshotBuilder::Room> SnapshotBuilder::read(qint64 roomId) const
{
    const auto row = m_store.room(roomId);
    if (!row)
        return nullptr;
    const auto round = m_rounds.roundInPlay(roomId);
    auto room = std::make_shared<Room>();
    for (const MemberRow &member : m_store.members(roomId)) {
        room->memberIds.append(member.id);
        QByteArray head = compact({ { u"id"_s, member.id }, { u"name"_s, member.name } });
        head.chop(1);
        head += ",\"status\":\"";
        room->memberHeads.append(head);
    }
    QJsonArray scores;
    for (const ScoreRow &score : m_store.scores(roomId))
        scores.append(WireJson::score(score));
    const QByteArray roomPart = ",\"room\":" + compact(WireJson::room(*row));
    const QByteArray scoresPart = ",\"scores\":"
        + QJsonDocument(scores).toJson(QJsonDocument::Compact) + ",\"server_time\":\"";
    room->middle = roomPart;
    room->middleForReceiver = roomPart;
    if (round) {
        room->receiverId = round->receiverId;
        room->middle += ",\"round\":" + compact(WireJson::round(*round, false));
        room->middleForReceiver += ",\"round\":" + compact(WireJson::round(*round, true));
    }
    room->middle += scoresPart;
    room->middleForReceiver += scoresPart;
    room->tail = round ? "\",\"state\":\"ROUND\",\"totals\":" : "\",\"state\":\"IDLE\",\"totals\":";
    return room;
}

const QByteArray &SnapshotBuilder::totals(qint64 playerId) const
{
    if (const auto kept = m_totals.constFind(playerId); kept != m_totals.cend())
        return *kept;
    if (m_totals.size() >= maxKeptTotals)
        m_totals.clear();
    return *m_totals.insert(playerId, compact(WireJson::totals(m_store.totals(playerId))));
}

void SnapshotBuilder::forget(qint64 roomId)
{
    m_kept.remove(roomId);
    // Scores change only for the room's members; leaving or joining changes nobody's totals.
    for (const MemberRow &member : m_store.members(roomId))
        m_totals.remove(member.id);
}
