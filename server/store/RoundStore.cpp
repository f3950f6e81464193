#include "RoundStore.h"

#include "Store.h"

#include <QSqlQuery>
#include <QVariant>

using namespace Qt::StringLiterals;

namespace {

const QString roundColumns = u"id, room_id, sender_id, receiver_id, request_id, state, nonce, "
                             "entry_x, entry_y, entry_vx, entry_vy, ends_at, deadline, "
                             "last_sequence"_s;
const QString inPlay = u"state IN ('WAITING_RECEIVER', 'ACTIVE')"_s;

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
    round.entry = {query.value(7).toDouble(), query.value(8).toDouble(),
                   query.value(9).toDouble(), query.value(10).toDouble()};
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
        u"SELECT %1 FROM rounds WHERE room_id = ? AND %2"_s.arg(roundColumns, inPlay));
    query.addBindValue(roomId);
    return first(query);
}

std::optional<RoundRow> RoundStore::roundOfRequest(qint64 senderId, const QString &requestId) const
{
    QSqlQuery query = m_store.prepare(
        u"SELECT %1 FROM rounds WHERE sender_id = ? AND request_id = ?"_s.arg(roundColumns));
    query.addBindValue(senderId);
    query.addBindValue(requestId);
    return first(query);
}

QList<RoundRow> RoundStore::dueRounds(qint64 nowMs) const
{
    QSqlQuery query = m_store.prepare(
        u"SELECT %1 FROM rounds WHERE %2 AND deadline <= ? ORDER BY deadline"_s.arg(roundColumns, inPlay));
    query.addBindValue(nowMs);
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
    QSqlQuery query = m_store.prepare(
        u"INSERT INTO rounds (%1) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"_s.arg(roundColumns));
    for (const QVariant &value :
         {QVariant(round.id), QVariant(round.roomId), QVariant(round.senderId),
          QVariant(round.receiverId), QVariant(round.requestId), QVariant(round.state),
          QVariant(round.nonce), QVariant(round.entry.x), QVariant(round.entry.y),
          QVariant(round.entry.vx), QVariant(round.entry.vy),
          round.endsAt ? QVariant(*round.endsAt) : QVariant(QMetaType(QMetaType::LongLong)),
          QVariant(round.deadline), QVariant(round.lastSequence)})
        query.addBindValue(value);
    return m_store.run(query);
}

void RoundStore::activate(const QString &roundId, qint64 endsAt, qint64 deadline)
{
    QSqlQuery query = m_store.prepare(
        u"UPDATE rounds SET state = 'ACTIVE', ends_at = ?, deadline = ? WHERE id = ?"_s);
    query.addBindValue(endsAt);
    query.addBindValue(deadline);
    query.addBindValue(roundId);
    m_store.run(query);
}

void RoundStore::end(const QString &roundId, const QString &finalState)
{
    QSqlQuery query = m_store.prepare(u"UPDATE rounds SET state = ? WHERE id = ?"_s);
    query.addBindValue(finalState);
    query.addBindValue(roundId);
    m_store.run(query);
    // The releases matter only while the round is in play.
    QSqlQuery shots = m_store.prepare(u"DELETE FROM shots WHERE round_id = ?"_s);
    shots.addBindValue(roundId);
    m_store.run(shots);
}

void RoundStore::setLastSequence(const QString &roundId, qint64 sequence)
{
    QSqlQuery query = m_store.prepare(u"UPDATE rounds SET last_sequence = ? WHERE id = ?"_s);
    query.addBindValue(sequence);
    query.addBindValue(roundId);
    m_store.run(query);
}

bool RoundStore::addShot(const QString &roundId, const QString &shotId, const Entry &release)
{
    QSqlQuery query = m_store.prepare(
        u"INSERT INTO shots (round_id, shot_id, x, y, vx, vy) VALUES (?, ?, ?, ?, ?, ?) "
        "ON CONFLICT DO NOTHING"_s);
    for (const QVariant &value : {QVariant(roundId), QVariant(shotId), QVariant(release.x),
                                  QVariant(release.y), QVariant(release.vx), QVariant(release.vy)})
        query.addBindValue(value);
    return m_store.run(query) && query.numRowsAffected() == 1;
}

std::optional<Entry> RoundStore::shot(const QString &roundId, const QString &shotId) const
{
    QSqlQuery query = m_store.prepare(
        u"SELECT x, y, vx, vy FROM shots WHERE round_id = ? AND shot_id = ?"_s);
    query.addBindValue(roundId);
    query.addBindValue(shotId);
    if (!m_store.run(query) || !query.next())
        return std::nullopt;
    return Entry{query.value(0).toDouble(), query.value(1).toDouble(), query.value(2).toDouble(),
                 query.value(3).toDouble()};
}
