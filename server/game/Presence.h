#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QTimer>

#include <optional>

class Clock;

// Who is around, per room, from the heartbeats; kept in memory only, so it starts empty.
// A heartbeat keeps its player present for freshMs; a sweep notices who went stale and says
// which rooms changed.
class Presence : public QObject {
    Q_OBJECT

public:
    Presence(const Clock &clock, qint64 freshMs, QObject *parent = nullptr);

    void beat(qint64 roomId, qint64 playerId, bool dnd, qint64 nowMs);
    void disconnect(qint64 roomId, qint64 playerId);
    void forgetRoom(qint64 roomId);

    // The member's state word: "DO_NOT_DISTURB" while present and asking not to be disturbed,
    // "BUSY" while receiving the room's round, "ONLINE" while present, else "OFFLINE".
    QString status(
        qint64 roomId, qint64 playerId, std::optional<qint64> receiverId, qint64 nowMs) const;

signals:
    // Somebody in the room stopped sending heartbeats and is now offline.
    void wentStale(qint64 roomId);

private:
    struct Beat {
        qint64 atMs = 0;
        bool dnd = false;
    };
    using Key = std::pair<qint64, qint64>; // room, player

    void sweep();

    const Clock &m_clock;
    qint64 m_freshMs;
    QHash<Key, Beat> m_beats;
    QTimer m_sweepTimer;
};
