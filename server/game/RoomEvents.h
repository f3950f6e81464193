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
};
