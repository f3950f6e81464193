#pragma once

#include "HttpReply.h"

#include <QJsonObject>

class Presence;
class RoomStore;
class RoundStore;
struct RoomRow;

// The whole state of a room as one member sees it: the room, its members with their presence
// in join order, the round in play, the room's scores and the member's own totals.
class SnapshotBuilder {
public:
    SnapshotBuilder(const RoomStore &rooms, const RoundStore &rounds, const Presence &presence);

    QJsonObject snapshot(const RoomRow &room, qint64 viewerId, qint64 nowMs) const;
    // The snapshot as a reply; 404 when the room is gone.
    HttpReply reply(qint64 roomId, qint64 viewerId, qint64 nowMs) const;

private:
    const RoomStore &m_rooms;
    const RoundStore &m_rounds;
    const Presence &m_presence;
};
