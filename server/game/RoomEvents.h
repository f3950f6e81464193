#pragma once

#include "store/Store.h"

#include <QObject>
#include <QString>

// What members of a room see has changed. A change announces its events on its transaction:
// they go out if and only if it commits. The node that made the change hears of it at once
// (roomChanged, for its caches: its reply is built right after); the fan-out signals come
// once per change on every node: at the commit on SQLite (one process), from PostgreSQL's
// notification on PostgreSQL (every node, the changing one included).
class RoomEvents : public QObject {
    Q_OBJECT
public:
    explicit RoomEvents(Store &store, QObject *parent = nullptr);

    // Reason is a short word such as "joined", "left", "round", "scored", "presence".
    void changed(Store::Transaction &transaction, qint64 roomId, const QString &reason);
    // The player is no longer a member: nothing of the room may reach them from now on.
    void removed(Store::Transaction &transaction, qint64 roomId, qint64 playerId);
    // The room is gone, after its last change.
    void deleted(Store::Transaction &transaction, qint64 roomId);
    // A change that was made outside any transaction: announced in one of its own.
    void changedNow(qint64 roomId, const QString &reason);

    // Notifications from every node (PostgreSQL's listener).
    void receive(const QString &payload);
    // Notifications may have been lost: every room counts as changed once.
    void resume();

signals:
    // For caches: at the commit on the changing node, and on every node when it hears of it.
    void roomChanged(qint64 roomId, const QString &reason);
    void allChanged();
    // For the fan-out: once per change.
    void roomPublished(qint64 roomId, const QString &reason);
    void memberRemoved(qint64 roomId, qint64 playerId);
    void roomDeleted(qint64 roomId);

private:
    void dispatch(const QString &payload, bool publish);

    Store &m_store;
};
