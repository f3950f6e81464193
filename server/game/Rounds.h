#pragma once

#include "GameDurations.h"
#include "Refusal.h"
#include "RoundTimer.h"
#include "store/Store.h"
#include "wire/ResultBody.h"
#include "wire/SendBody.h"
#include "wire/ShotBody.h"

#include <QObject>
#include <QString>

#include <optional>

class Clock;
class Presence;
class RoomEvents;
class RoomStore;
class RoundStore;
struct RoundRow;

// The rules of passing the ball and playing rounds. Each action checks its preconditions,
// changes the rooms, rounds and scores in one transaction and announces the room's change.
// The caller has checked that the player is a member of the room. Every action answers
// none when it was done, or the refusal.
class Rounds : public QObject {
    Q_OBJECT

public:
    using Send = SendBody;
    using Shot = ShotBody;
    using Result = ResultBody;

    Rounds(Store &store, RoomStore &rooms, RoundStore &rounds, Presence &presence,
        RoomEvents &events, GameDurations durations, const Clock &clock, QObject *parent = nullptr);

    std::optional<Refusal> send(qint64 roomId, qint64 playerId, const Send &request);
    std::optional<Refusal> ready(qint64 roomId, qint64 playerId, const QString &roundId);
    std::optional<Refusal> shot(qint64 roomId, qint64 playerId, const Shot &request);
    std::optional<Refusal> result(qint64 roomId, qint64 playerId, const Result &request);

    // Inside the transaction that removed the player from the room: a round they were
    // receiving ends, and a ball they held (or were receiving) goes to another member.
    void memberLeft(qint64 roomId, qint64 playerId);

    // Ends every round whose deadline has passed (also those that passed while the server
    // was down) and sets the timer for the next one.
    void expireDue();
    // Sets the timer after a change of deadlines.
    void reschedule();

private:
    // Whether the player may report a throw with these fields in the round in play.
    std::optional<Refusal> checkThrow(const std::optional<RoundRow> &round, qint64 playerId,
        const QString &roundId, const QString &nonce, qint64 sequence) const;
    // Commits the change of a round, logs it, tells the room's members and sets the timer;
    // the refusal when the change could not be saved.
    std::optional<Refusal> commitRoundChange(Store::Transaction &transaction, const RoundRow &round,
        const char *logText, const QString &change);
    std::optional<qint64> pickReceiver(qint64 roomId, qint64 senderId, std::optional<qint64> wanted,
        std::optional<Refusal> &refusal, qint64 nowMs) const;
    // False when the change could not be saved.
    bool expire(const RoundRow &round, qint64 nowMs);
    // The member who gets the ball: `preferred` while still a member, else the earliest one.
    std::optional<qint64> nextHolder(qint64 roomId, std::optional<qint64> preferred) const;

    Store &m_store;
    RoomStore &m_rooms;
    RoundStore &m_rounds;
    Presence &m_presence;
    RoomEvents &m_events;
    GameDurations m_durations;
    const Clock &m_clock;
    RoundTimer m_timer;
};
