#include "RoomEvents.h"

#include <QStringList>

using namespace Qt::StringLiterals;

// Payloads are a word and ids, far below NOTIFY's 8000 bytes: "changed ROOM REASON",
// "removed ROOM PLAYER", "deleted ROOM".
RoomEvents::RoomEvents(Store &store, QObject *parent)
    : QObject(parent)
    , m_store(store)
{
    const bool publishAtCommit = store.backend() == DatabaseUrl::Backend::Sqlite;
    store.setCommittedHandler([this, publishAtCommit](const QStringList &payloads) {
        for (const QString &payload : payloads)
            dispatch(payload, publishAtCommit);
    });
}

void RoomEvents::changed(Store::Transaction &transaction, qint64 roomId, const QString &reason)
{
    transaction.announce(u"changed %1 %2"_s.arg(roomId).arg(reason));
}

void RoomEvents::removed(Store::Transaction &transaction, qint64 roomId, qint64 playerId)
{
    transaction.announce(u"removed %1 %2"_s.arg(roomId).arg(playerId));
}

void RoomEvents::deleted(Store::Transaction &transaction, qint64 roomId)
{
    transaction.announce(u"deleted %1"_s.arg(roomId));
}

void RoomEvents::changedNow(qint64 roomId, const QString &reason)
{
    Store::Transaction transaction(m_store);
    changed(transaction, roomId, reason);
    transaction.commit();
}

void RoomEvents::receive(const QString &payload)
{
    dispatch(payload, true);
}

void RoomEvents::resume()
{
    emit allChanged();
}

void RoomEvents::dispatch(const QString &payload, bool publish)
{
    const QStringList words = payload.split(u' ');
    if (words.size() < 2)
        return;
    bool valid = false;
    const qint64 roomId = words.at(1).toLongLong(&valid);
    if (!valid)
        return;
    const QString &kind = words.constFirst();
    if (kind == u"changed"_s && words.size() == 3) {
        emit roomChanged(roomId, words.at(2));
        if (publish)
            emit roomPublished(roomId, words.at(2));
    } else if (kind == u"removed"_s && words.size() == 3) {
        const qint64 playerId = words.at(2).toLongLong(&valid);
        if (valid && publish)
            emit memberRemoved(roomId, playerId);
    } else if (kind == u"deleted"_s && publish) {
        emit roomDeleted(roomId);
    }
}
