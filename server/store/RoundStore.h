#pragma once

#include "wire/CrossingSample.h"
#include "wire/Entry.h"
#include "wire/StateWords.h"

#include <QList>
#include <QString>

#include <optional>

class QSqlQuery;
class Store;

// One pass of the ball. A round is in play while its state is "WAITING_RECEIVER" or
// "ACTIVE"; ended rounds keep their row (with the state they ended in) so that a repeated
// send request is recognised. deadline is when the round timer acts on it.
struct RoundRow {
    QString id;
    qint64 roomId = 0;
    qint64 senderId = 0;
    qint64 receiverId = 0;
    QString requestId;
    QString state;
    QString nonce;
    Entry entry;
    std::optional<qint64> endsAt; // milliseconds since the epoch
    qint64 deadline = 0;
    qint64 lastSequence = 0;
};

// A throw registered in a round in play.
struct ShotRow {
    Entry release;
    qint64 registeredAt = 0; // milliseconds since the epoch
    bool spent = false; // a result for it was judged
};

// The result that scored a round, with what identifies the round's receiver.
struct ScoredResult {
    qint64 roomId = 0;
    qint64 receiverId = 0;
    QString nonce;
    QString shotId;
    qint64 sequence = 0;
    CrossingSample before;
    CrossingSample after;
};

// Rounds and the shots registered in them.
class RoundStore {
public:
    explicit RoundStore(Store &store)
        : m_store(store)
    {
    }

    static inline const QString waiting = RoundState::waiting;
    static inline const QString active = RoundState::active;

    std::optional<RoundRow> roundInPlay(qint64 roomId) const;
    // The round a player's send request opened, if any.
    std::optional<RoundRow> roundOfRequest(qint64 senderId, const QString &requestId) const;
    // Rounds in play whose deadline has come, earliest first.
    QList<RoundRow> dueRounds(qint64 nowMs) const;
    std::optional<qint64> nextDeadline() const;

    bool insert(const RoundRow &round);
    void activate(const QString &roundId, qint64 endsAt, qint64 deadline);
    // Ends the round if it is still in fromState: whoever changed it first (another request,
    // another node's timer) wins, and this answers false.
    bool end(const QString &roundId, const QString &fromState, const QString &finalState);
    void setLastSequence(const QString &roundId, qint64 sequence);

    // Kept when the round ends, unlike its shots. `result` takes only its shot id, sequence
    // and samples.
    void setScoredResult(const QString &roundId, const ScoredResult &result);
    std::optional<ScoredResult> scoredResult(const QString &roundId) const;

    // False when the shot id is already registered in the round.
    bool addShot(
        const QString &roundId, const QString &shotId, const Entry &release, qint64 registeredAt);
    std::optional<ShotRow> shot(const QString &roundId, const QString &shotId) const;
    void spendShot(const QString &roundId, const QString &shotId);

private:
    std::optional<RoundRow> first(QSqlQuery &query) const;

    Store &m_store;
};
