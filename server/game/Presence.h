#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QTimer>

#include <optional>

class Clock;
class RoomEvents;
class Store;

// Who is around, per room, from the heartbeats. A heartbeat keeps its player present for
// freshMs and names the realtime socket the player's client is on; a sweep at the earliest
// moment someone goes stale takes out who did and announces their rooms as changed.
// On SQLite (one process) the beats live in memory only. On PostgreSQL they are rows of the
// presence table shared by all nodes, read per room into a cache that the room's events drop
// and that is read again after a quarter of freshMs (other nodes refresh beats silently).
class Presence : public QObject {
    Q_OBJECT

public:
    Presence(Store &store, RoomEvents &events, const Clock &clock, qint64 freshMs,
        QObject *parent = nullptr);

    void beat(qint64 roomId, qint64 playerId, bool dnd, const QString &socketId, qint64 nowMs);
    void disconnect(qint64 roomId, qint64 playerId);
    void forgetRoom(qint64 roomId);

    // The member's state word: "DO_NOT_DISTURB" while present and asking not to be disturbed,
    // "BUSY" while receiving the room's round, "ONLINE" while present, else "OFFLINE".
    QString status(
        qint64 roomId, qint64 playerId, std::optional<qint64> receiverId, qint64 nowMs) const;

private:
    struct Beat {
        qint64 atMs = 0;
        bool dnd = false;
        QString socketId;
    };
    struct RoomBeats {
        qint64 readAtMs = 0;
        QHash<qint64, Beat> beats; // by player
    };
    using Key = std::pair<qint64, qint64>; // room, player

    bool shared() const;
    const QHash<qint64, Beat> &roomBeats(qint64 roomId, qint64 nowMs) const;
    std::optional<Beat> find(qint64 roomId, qint64 playerId, qint64 nowMs) const;
    void sweep();
    // Runs the next sweep when the earliest beat `earliestMs` goes stale; with no beat, after
    // freshMs, which catches any beat another node writes meanwhile before it goes stale.
    void scheduleSweep(qint64 nowMs, std::optional<qint64> earliestMs);

    Store &m_store;
    RoomEvents &m_events;
    const Clock &m_clock;
    qint64 m_freshMs;
    QHash<Key, Beat> m_beats; // SQLite
    mutable QHash<qint64, RoomBeats> m_read; // PostgreSQL
    QTimer m_sweepTimer;
};
