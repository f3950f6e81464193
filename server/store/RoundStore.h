#pragma once

#include "game/Entry.h"

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

// Rounds and the shots registered in them.
class RoundStore {
public:
    explicit RoundStore(Store &store)
        : m_store(store)
    {
    }

    static inline const QString waiting = QStringLiteral("WAITING_RECEIVER");
    static inline const QString active = QStringLiteral("ACTIVE");

    std::optional<RoundRow> roundInPlay(qint64 roomId) const;
    // The round a player's send request opened, if any.
    std::optional<RoundRow> roundOfRequest(qint64 senderId, const QString &requestId) const;
    // Rounds in play whose deadline has come, earliest first.
    QList<RoundRow> dueRounds(qint64 nowMs) const;
    std::optional<qint64> nextDeadline() const;

    bool insert(const RoundRow &round);
    void activate(const QString &roundId, qint64 endsAt, qint64 deadline);
    void end(const QString &roundId, const QString &finalState);
    void setLastSequence(const QString &roundId, qint64 sequence);

    // False when the shot id is already registered in the round.
    bool addShot(const QString &roundId, const QString &shotId, const Entry &release);
    std::optional<Entry> shot(const QString &roundId, const QString &shotId) const;

private:
    std::optional<RoundRow> first(QSqlQuery &query) const;

    Store &m_store;
};
