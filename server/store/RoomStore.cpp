#include "RoomStore.h"

#include "Store.h"

#include <QSqlQuery>
#include <QVariant>

using namespace Qt::StringLiterals;

namespace {

const QString roomColumns
    = u"r.id, r.owner_id, r.name, r.invite_code, r.ball_owner_id, r.cooldown_until"_s;

std::optional<qint64> optionalInteger(const QVariant &value)
{
    if (value.isNull())
        return std::nullopt;
    return value.toLongLong();
}

RoomRow readRoom(const QSqlQuery &query)
{
    return { query.value(0).toLongLong(), query.value(1).toLongLong(), query.value(2).toString(),
        query.value(3).toString(), optionalInteger(query.value(4)),
        optionalInteger(query.value(5)) };
}

} // namespace

RoomStore::Access RoomStore::access(qint64 roomId, qint64 playerId) const
{
    QSqlQuery query = m_store.prepare(
        u"SELECT EXISTS (SELECT 1 FROM members WHERE room_id = r.id AND player_id = ?) "
        "FROM rooms r WHERE r.id = ?"_s,
        { playerId, roomId });
    if (!m_store.run(query) || !query.next())
        return Access::NoRoom;
    return query.value(0).toBool() ? Access::Member : Access::NotMember;
}

bool RoomStore::isMember(qint64 roomId, qint64 playerId) const
{
    return access(roomId, playerId) == Access::Member;
}

std::optional<RoomRow> RoomStore::room(qint64 roomId) const
{
    QSqlQuery query
        = m_store.prepare(u"SELECT %1 FROM rooms r WHERE r.id = ?"_s.arg(roomColumns), { roomId });
    if (!m_store.run(query) || !query.next())
        return std::nullopt;
    return readRoom(query);
}

std::optional<RoomRow> RoomStore::roomByCode(const QString &inviteCode) const
{
    QSqlQuery query = m_store.prepare(
        u"SELECT %1 FROM rooms r WHERE r.invite_code = ?"_s.arg(roomColumns), { inviteCode });
    if (!m_store.run(query) || !query.next())
        return std::nullopt;
    return readRoom(query);
}

QList<RoomRow> RoomStore::roomsOf(qint64 playerId) const
{
    QSqlQuery query = m_store.prepare(
        u"SELECT %1 FROM rooms r JOIN members m ON m.room_id = r.id WHERE m.player_id = ? "
        "ORDER BY m.rowid"_s.arg(roomColumns),
        { playerId });
    QList<RoomRow> rooms;
    if (m_store.run(query)) {
        while (query.next())
            rooms.append(readRoom(query));
    }
    return rooms;
}

qint64 RoomStore::createRoom(qint64 ownerId, const QString &name, const QString &inviteCode)
{
    QSqlQuery query = m_store.prepare(
        u"INSERT INTO rooms (owner_id, name, invite_code, ball_owner_id) VALUES (?, ?, ?, ?) "
        "ON CONFLICT (invite_code) DO NOTHING RETURNING id"_s,
        { ownerId, name, inviteCode, ownerId });
    // No row when the invitation code is taken.
    const qint64 id = m_store.run(query) && query.next() ? query.value(0).toLongLong() : 0;
    // SQLite finishes the insert's statement only when it is reset.
    query.finish();
    return id;
}

void RoomStore::deleteRoom(qint64 roomId)
{
    m_store.execute(u"DELETE FROM rooms WHERE id = ?"_s, { roomId });
}

void RoomStore::setBallOwner(qint64 roomId, std::optional<qint64> playerId)
{
    m_store.execute(u"UPDATE rooms SET ball_owner_id = ? WHERE id = ?"_s,
        { Store::nullable(playerId), roomId });
}

void RoomStore::setCooldownUntil(qint64 roomId, qint64 epochMs)
{
    m_store.execute(u"UPDATE rooms SET cooldown_until = ? WHERE id = ?"_s, { epochMs, roomId });
}

QList<MemberRow> RoomStore::members(qint64 roomId) const
{
    QSqlQuery query = m_store.prepare(
        u"SELECT p.id, p.name FROM members m JOIN players p ON p.id = m.player_id "
        "WHERE m.room_id = ? ORDER BY m.rowid"_s,
        { roomId });
    QList<MemberRow> members;
    if (m_store.run(query)) {
        while (query.next())
            members.append({ query.value(0).toLongLong(), query.value(1).toString() });
    }
    return members;
}

void RoomStore::addMember(qint64 roomId, qint64 playerId, qint64 joinedMs)
{
    m_store.execute(u"INSERT INTO members (room_id, player_id, joined) VALUES (?, ?, ?) "
                    "ON CONFLICT DO NOTHING"_s,
        { roomId, playerId, joinedMs });
}

void RoomStore::removeMember(qint64 roomId, qint64 playerId)
{
    m_store.execute(
        u"DELETE FROM members WHERE room_id = ? AND player_id = ?"_s, { roomId, playerId });
}

void RoomStore::clearActiveRoom(qint64 roomId)
{
    m_store.execute(
        u"UPDATE players SET active_room_id = NULL WHERE active_room_id = ?"_s, { roomId });
}

QList<ScoreRow> RoomStore::scores(qint64 roomId) const
{
    QSqlQuery query = m_store.prepare(
        u"SELECT m.player_id, COALESCE(s.points, 0), COALESCE(s.received, 0), COALESCE(s.misses, "
        u"0), "
        "COALESCE(s.streak, 0), COALESCE(s.best, 0) FROM members m LEFT JOIN scores s "
        "ON s.room_id = m.room_id AND s.player_id = m.player_id WHERE m.room_id = ? "
        "ORDER BY m.rowid"_s,
        { roomId });
    QList<ScoreRow> scores;
    if (m_store.run(query)) {
        while (query.next()) {
            scores.append({ query.value(0).toLongLong(), query.value(1).toLongLong(),
                query.value(2).toLongLong(), query.value(3).toLongLong(),
                query.value(4).toLongLong(), query.value(5).toLongLong() });
        }
    }
    return scores;
}

ScoreRow RoomStore::totals(qint64 playerId) const
{
    QSqlQuery query = m_store.prepare(
        u"SELECT COALESCE(SUM(points), 0), COALESCE(SUM(received), 0), COALESCE(SUM(misses), 0), "
        "COALESCE(MAX(best), 0) FROM scores WHERE player_id = ?"_s,
        { playerId });
    ScoreRow totals;
    totals.playerId = playerId;
    if (m_store.run(query) && query.next()) {
        totals.points = query.value(0).toLongLong();
        totals.received = query.value(1).toLongLong();
        totals.misses = query.value(2).toLongLong();
        totals.best = query.value(3).toLongLong();
    }
    return totals;
}

void RoomStore::changeScore(qint64 roomId, qint64 playerId, const QString &assignments)
{
    m_store.execute(
        u"INSERT INTO scores (room_id, player_id) VALUES (?, ?) ON CONFLICT DO NOTHING"_s,
        { roomId, playerId });
    m_store.execute(u"UPDATE scores SET %1 WHERE room_id = ? AND player_id = ?"_s.arg(assignments),
        { roomId, playerId });
}

void RoomStore::addReceived(qint64 roomId, qint64 playerId)
{
    changeScore(roomId, playerId, u"received = received + 1"_s);
}

void RoomStore::addPoint(qint64 roomId, qint64 playerId)
{
    changeScore(roomId, playerId,
        u"points = points + 1, streak = streak + 1, best = CASE WHEN streak + 1 > best THEN streak + 1 ELSE best END"_s);
}

void RoomStore::addMiss(qint64 roomId, qint64 playerId)
{
    changeScore(roomId, playerId, u"misses = misses + 1, streak = 0"_s);
}
