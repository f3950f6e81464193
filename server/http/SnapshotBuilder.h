#pragma once

#include "HttpReply.h"
#include "store/RoomStore.h"

#include <QByteArray>
#include <QHash>
#include <QMetaObject>

#include <memory>
#include <optional>

class Presence;
class RoomEvents;
class RoundStore;

// The whole state of a room as one member sees it: the room, its members with their presence
// in join order, the round in play, the room's scores and the member's own totals.
// What every member sees alike is read once and kept until RoomEvents says the room changed;
// a player's totals are kept until a room they are in changes. Statuses (they age with time)
// and the server time are filled in per reply.
class SnapshotBuilder {
public:
    SnapshotBuilder(const RoomStore &rooms, const RoundStore &rounds, const Presence &presence,
        RoomEvents &events);
    ~SnapshotBuilder();
    SnapshotBuilder(const SnapshotBuilder &) = delete;
    SnapshotBuilder &operator=(const SnapshotBuilder &) = delete;

    // Whether the room exists and the player is one of its members.
    RoomStore::Access access(qint64 roomId, qint64 playerId) const;
    // The receiver of the room's round in play, if any.
    std::optional<qint64> receiver(qint64 roomId) const;
    // The snapshot as a reply; 404 when the room is gone.
    HttpReply reply(qint64 roomId, qint64 viewerId, qint64 nowMs) const;

private:
    struct KeptRoom;

    // The kept or freshly read parts of the room; null when it does not exist.
    std::shared_ptr<const KeptRoom> room(qint64 roomId) const;
    std::shared_ptr<const KeptRoom> read(qint64 roomId) const;
    const QByteArray &totals(qint64 playerId) const;
    void forget(qint64 roomId);

    const RoomStore &m_store;
    const RoundStore &m_rounds;
    const Presence &m_presence;
    QMetaObject::Connection m_changes;
    QMetaObject::Connection m_allChanged;
    mutable QHash<qint64, std::shared_ptr<const KeptRoom>> m_kept;
    mutable QHash<qint64, QByteArray> m_totals; // by player, as JSON
};
