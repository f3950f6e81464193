#pragma once

#include <QList>
#include <QString>

#include <optional>

class Store;

struct RoomRow {
    qint64 id = 0;
    qint64 ownerId = 0;
    QString name;
    QString inviteCode;
    std::optional<qint64> ballOwnerId;
    std::optional<qint64> cooldownUntil; // milliseconds since the epoch
};

struct MemberRow {
    qint64 id = 0;
    QString name;
};

// A player's counters in one room; streak is the current run of hits.
struct ScoreRow {
    qint64 playerId = 0;
    qint64 points = 0;
    qint64 received = 0;
    qint64 misses = 0;
    qint64 streak = 0;
    qint64 best = 0;
};

// Rooms, memberships and per-room scores. Scores outlive their room: they count in the
// player's totals over all rooms.
class RoomStore {
public:
    explicit RoomStore(Store &store)
        : m_store(store)
    {
    }

    enum class Access { NoRoom, NotMember, Member };
    Access access(qint64 roomId, qint64 playerId) const;
    bool isMember(qint64 roomId, qint64 playerId) const;

    std::optional<RoomRow> room(qint64 roomId) const;
    std::optional<RoomRow> roomByCode(const QString &inviteCode) const;
    // The player's rooms in the order they joined them.
    QList<RoomRow> roomsOf(qint64 playerId) const;
    // 0 when the invitation code is taken.
    qint64 createRoom(qint64 ownerId, const QString &name, const QString &inviteCode);
    void deleteRoom(qint64 roomId);
    void setBallOwner(qint64 roomId, std::optional<qint64> playerId);
    void setCooldownUntil(qint64 roomId, qint64 epochMs);

    // In join order.
    QList<MemberRow> members(qint64 roomId) const;
    void addMember(qint64 roomId, qint64 playerId, qint64 joinedMs);
    void removeMember(qint64 roomId, qint64 playerId);
    // Players whose active room this is get none.
    void clearActiveRoom(qint64 roomId);

    // Counters of the room's members, zeros for those without any.
    QList<ScoreRow> scores(qint64 roomId) const;
    // The player's counters summed over every room; best is the largest.
    ScoreRow totals(qint64 playerId) const;
    void addReceived(qint64 roomId, qint64 playerId);
    void addPoint(qint64 roomId, qint64 playerId);
    void addMiss(qint64 roomId, qint64 playerId);

private:
    // Applies the SQL assignments to the player's counters in the room, creating them first.
    void changeScore(qint64 roomId, qint64 playerId, const QString &assignments);

    Store &m_store;
};
