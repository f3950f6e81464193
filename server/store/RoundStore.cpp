#include "RoundStore.h"

#include "Store.h"

#include <QSqlQuery>
#include <QVariant>

using namespace Qt::StringLiterals;

namespace {

const QString roundColumns = u"id, room_id, sender_id, receiver_id, request_id, state, nonce, "
                             "entry_x, entry_y, entry_vx, entry_vy, ends_at, deadline, "
                             "last_sequence"_s;
const QString inPlay = u"state IN ('%1', '%2')"_s.arg(RoundState::waiting, RoundState::active);

RoundRow readRound(const QSqlQuery &query)
{
    RoundRow round;
    round.id = query.value(0).toString();
    round.roomId = query.value(1).toLongLong();
    round.senderId = query.value(2).toLongLong();
    round.receiverId = query.value(3).toLongLong();
    round.requestId = query.value(4).toString();
    round.state = query.value(5).toString();
    round.nonce = query.value(6).toString();
    round.entry = { query.value(7).toDouble(), query.value(8).toDouble(), query.value(9).toDouble(),
        query.value(10).toDouble() };
    if (!query.value(11).isNull())
        round.endsAt = query.value(11).toLongLong();
    round.deadline = query.value(12).toLongLong();
    round.lastSequence = query.value(13).toLongLong();
    return round;
}

} // namespace

std::optional<RoundRow> RoundStore::first(QSqlQuery &query) const
{
    if (!m_store.run(query) || !query.next())
        return std::nullopt;
    return readRound(query);
}

std::optional<RoundRow> RoundStore::roundInPlay(qint64 roomId) const
{
    QSqlQuery query = m_store.prepare(
        u"SELECT %1 FROM rounds WHERE room_id = ? AND %2"_s.arg(roundColumns, inPlay), { roomId });
    return first(query);
}

std::optional<RoundRow> RoundStore::roundOfRequest(qint64 senderId, const QString &requestId) const
{
    QSqlQuery query = m_store.prepare(
        u"SELECT %1 FROM rounds WHERE sender_id = ? AND request_id = ?"_s.arg(roundColumns),
        { senderId, requestId });
    return first(query);
}

QList<RoundRow> RoundStore::dueRounds(qint64 nowMs) const
{
    QSqlQuery query = m_store.prepare(u"SELECT %1 FROM rounds WHERE %2 AND deadline <= ? "
                                      "ORDER BY deadline"_s.arg(roundColumns, inPlay),
        { nowMs });
    QList<RoundRow> rounds;
    if (m_store.run(query)) {
        while (query.next())
            rounds.append(readRound(query));
    }
    return rounds;
}

std::optional<qint64> RoundStore::nextDeadline() const
{
    QSqlQuery query = m_store.prepare(u"SELECT MIN(deadline) FROM rounds WHERE %1"_s.arg(inPlay));
    if (!m_store.run(query) || !query.next() || query.value(0).isNull())
        return std::nullopt;
    return query.value(0).toLongLong();
}

bool RoundStore::insert(const RoundRow &round)
{
    return m_store.execute(u"INSERT INTO rounds (%1) "
                           "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"_s.arg(roundColumns),
        { round.id, round.roomId, round.senderId, round.receiverId, round.requestId, round.state,
            round.nonce, round.entry.x, round.entry.y, round.entry.vx, round.entry.vy,
            Store::nullable(round.endsAt), round.deadline, round.lastSequence });
}

void RoundStore::activate(const QString &roundId, qint64 endsAt, qint64 deadline)
{
    m_store.execute(u"UPDATE rounds SET state = ?, ends_at = ?, deadline = ? WHERE id = ?"_s,
        { QString(RoundState::active), endsAt, deadline, roundId });
}

bool RoundStore::end(const QString &roundId, const QString &fromState, const QString &finalState)
{
    QSqlQuery query = m_store.prepare(u"UPDATE rounds SET state = ? WHERE id = ? AND state = ?"_s,
        { finalState, roundId, fromState });
    if (!m_store.run(query) || query.numRowsAffected() != 1)
        return false;
    // The releases matter only while the round is in play.
    m_store.execute(u"DELETE FROM shots WHERE round_id = ?"_s, { roundId });
    return true;
}

void RoundStore::setLastSequence(const QString &roundId, qint64 sequence)
{
    m_store.execute(u"UPDATE rounds SET last_sequence = ? WHERE id = ?"_s, { sequence, roundId });
}

void RoundStore::setScoredResult(const QString &roundId, const ScoredResult &result)
{
    m_store.execute(u"UPDATE rounds SET result_shot_id = ?, result_sequence = ?, "
                    "result_before_x = ?, result_before_y = ?, result_before_t = ?, "
                    "result_after_x = ?, result_after_y = ?, result_after_t = ? WHERE id = ?"_s,
        { result.shotId, result.sequence, result.before.x, result.before.y, result.before.t,
            result.after.x, result.after.y, result.after.t, roundId });
}

std::optional<ScoredResult> RoundStore::scoredResult(const QString &roundId) const
{
    QSqlQuery query = m_store.prepare(
        u"SELECT room_id, receiver_id, nonce, result_shot_id, result_sequence, result_before_x, "
        "result_before_y, result_before_t, result_after_x, result_after_y, result_after_t "
        "FROM rounds WHERE id = ? AND result_shot_id IS NOT NULL"_s,
        { roundId });
    if (!m_store.run(query) || !query.next())
        return std::nullopt;
    const auto number = [&](int column) { return query.value(column).toDouble(); };
    return ScoredResult { query.value(0).toLongLong(), query.value(1).toLongLong(),
        query.value(2).toString(), query.value(3).toString(), query.value(4).toLongLong(),
        { number(5), number(6), number(7) }, { number(8), number(9), number(10) } };
}

bool RoundStore::addShot(
    const QString &roundId, const QString &shotId, const Entry &release, qint64 registeredAt)
{
    QSqlQuery query
        = m_store.prepare(u"INSERT INTO shots (round_id, shot_id, x, y, vx, vy, registered_at) "
                          "VALUES (?, ?, ?, ?, ?, ?, ?) ON CONFLICT DO NOTHING"_s,
            { roundId, shotId, release.x, release.y, release.vx, release.vy, registeredAt });
    return m_store.run(query) && query.numRowsAffected() == 1;
}

std::optional<ShotRow> RoundStore::shot(const QString &roundId, const QString &shotId) const
{
    QSqlQuery query = m_store.prepare(u"SELECT x, y, vx, vy, registered_at, spent FROM shots "
                                      "WHERE round_id = ? AND shot_id = ?"_s,
        { roundId, shotId });
    if (!m_store.run(query) || !query.next())
        return std::nullopt;
    return ShotRow { { query.value(0).toDouble(), query.value(1).toDouble(),
                         query.value(2).toDouble(), query.value(3).toDouble() },
        query.value(4).toLongLong(), query.value(5).toInt() != 0 };
}

void RoundStore::spendShot(const QString &roundId, const QString &shotId)
{
    m_store.execute(
        u"UPDATE shots SET spent = 1 WHERE round_id = ? AND shot_id = ?"_s, { roundId, shotId });
}
