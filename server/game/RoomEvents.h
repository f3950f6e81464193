#pragma once

#include <QObject>
#include <QString>

// Tells listeners (the realtime service) that what members of a room see has changed.
class RoomEvents : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

signals:
    // Emitted once per change that alters a member's snapshot; reason is a short word such as
    // "joined", "left", "round", "scored", "presence".
    void roomChanged(qint64 roomId, const QString &reason);
    // The player is no longer a member: nothing of the room may reach them from now on.
    void memberRemoved(qint64 roomId, qint64 playerId);
    // The room is gone, after its last roomChanged.
    void roomDeleted(qint64 roomId);
};
