#include "Presence.h"

#include "Clock.h"
#include "RoomEvents.h"
#include "store/Store.h"
#include "wire/StateWords.h"

#include <QSet>

#include <algorithm>

using namespace Qt::StringLiterals;

Presence::Presence(
    Store &store, RoomEvents &events, const Clock &clock, qint64 freshMs, QObject *parent)
    : QObject(parent)
    , m_store(store)
    , m_events(events)
    , m_clock(clock)
    , m_freshMs(freshMs)
{
    // Not before the moment it waits for, or it would find nothing and wait again.
    m_sweepTimer.setTimerType(Qt::PreciseTimer);
    m_sweepTimer.setSingleShot(true);
    connect(&m_sweepTimer, &QTimer::timeout, this, &Presence::sweep);
    m_sweepTimer.start(int(freshMs));
    connect(&clock, &Clock::jumped, this, &Presence::sweep);
    if (shared()) {
        connect(&events, &RoomEvents::roomChanged, this,
            [this](qint64 roomId) { m_read.remove(roomId); });
        connect(&events, &RoomEvents::allChanged, this, [this] { m_read.clear(); });
    }
}

bool Presence::shared() const
{
    return m_store.backend() == DatabaseUrl::Backend::Postgres;
}

void Presence::beat(qint64 roomId, qint64 playerId, bool dnd, const QString &socketId, qint64 nowMs)
{
    const Beat beat { nowMs, dnd, socketId };
    if (!shared()) {
        m_beats.insert({ roomId, playerId }, beat);
        return;
    }
    // A recent beat that says the same is not written again: most heartbeats change nothing.
    const auto stored = find(roomId, playerId, nowMs);
    if (stored && stored->dnd == dnd && stored->socketId == socketId
        && nowMs - stored->atMs < m_freshMs / 4)
        return;
    m_store.execute(
        u"INSERT INTO presence (room_id, player_id, beat_ms, dnd, socket_id) "
        "VALUES (?, ?, ?, ?, ?) ON CONFLICT (room_id, player_id) DO UPDATE SET "
        "beat_ms = excluded.beat_ms, dnd = excluded.dnd, socket_id = excluded.socket_id"_s,
        { roomId, playerId, nowMs, dnd ? 1 : 0, socketId });
    if (auto read = m_read.find(roomId); read != m_read.end())
        read->beats.insert(playerId, beat);
}

void Presence::disconnect(qint64 roomId, qint64 playerId)
{
    if (!shared()) {
        m_beats.remove({ roomId, playerId });
        return;
    }
    m_store.execute(
        u"DELETE FROM presence WHERE room_id = ? AND player_id = ?"_s, { roomId, playerId });
    m_read.remove(roomId);
}

void Presence::forgetRoom(qint64 roomId)
{
    if (!shared()) {
        m_beats.removeIf([roomId](const auto &item) { return item.key().first == roomId; });
        return;
    }
    m_store.execute(u"DELETE FROM presence WHERE room_id = ?"_s, { roomId });
    m_read.remove(roomId);
}

const QHash<qint64, Presence::Beat> &Presence::roomBeats(qint64 roomId, qint64 nowMs) const
{
    auto read = m_read.find(roomId);
    if (read != m_read.end() && nowMs >= read->readAtMs && nowMs - read->readAtMs < m_freshMs / 4)
        return read->beats;
    RoomBeats fresh { nowMs, {} };
    QSqlQuery query = m_store.prepare(
        u"SELECT player_id, beat_ms, dnd, socket_id FROM presence WHERE room_id = ?"_s, { roomId });
    if (m_store.run(query)) {
        while (query.next()) {
            fresh.beats.insert(query.value(0).toLongLong(),
                { query.value(1).toLongLong(), query.value(2).toInt() != 0,
                    query.value(3).toString() });
        }
    }
    return m_read.insert(roomId, std::move(fresh))->beats;
}

std::optional<Presence::Beat> Presence::find(qint64 roomId, qint64 playerId, qint64 nowMs) const
{
    if (!shared()) {
        const auto beat = m_beats.constFind({ roomId, playerId });
        return beat == m_beats.cend() ? std::nullopt : std::optional(*beat);
    }
    const auto &beats = roomBeats(roomId, nowMs);
    const auto beat = beats.constFind(playerId);
    return beat == beats.cend() ? std::nullopt : std::optional(*beat);
}

QString Presence::status(
    qint64 roomId, qint64 playerId, std::optional<qint64> receiverId, qint64 nowMs) const
{
    const auto beat = find(roomId, playerId, nowMs);
    const bool present = beat && nowMs - beat->atMs < m_freshMs;
    if (present && beat->dnd)
        return MemberStatus::doNotDisturb;
    if (receiverId == playerId)
        return MemberStatus::busy;
    return present ? MemberStatus::online : MemberStatus::offline;
}

void Presence::sweep()
{
    const qint64 now = m_clock.nowMs();
    QSet<qint64> rooms;
    std::optional<qint64> earliest;
    if (!shared()) {
        m_beats.removeIf([&](const auto &item) {
            const qint64 at = item.value().atMs;
            if (now - at < m_freshMs) {
                earliest = std::min(earliest.value_or(at), at);
                return false;
            }
            rooms.insert(item.key().first);
            return true;
        });
        for (const qint64 room : std::as_const(rooms))
            m_events.changedNow(room, u"presence"_s);
        scheduleSweep(now, earliest);
        return;
    }
    // Every node sweeps; each stale row is deleted by one of them, which alone announces it.
    Store::Transaction transaction(m_store);
    QSqlQuery query = m_store.prepare(
        u"DELETE FROM presence WHERE beat_ms <= ? RETURNING room_id"_s, { now - m_freshMs });
    const bool swept = m_store.run(query);
    while (query.next())
        rooms.insert(query.value(0).toLongLong());
    QSqlQuery next = m_store.prepare(u"SELECT MIN(beat_ms) FROM presence"_s);
    if (swept && m_store.run(next) && next.next() && !next.value(0).isNull())
        earliest = next.value(0).toLongLong();
    for (const qint64 room : std::as_const(rooms))
        m_events.changed(transaction, room, u"presence"_s);
    if (transaction.commit()) {
        scheduleSweep(now, earliest);
    } else {
        // The database is away: try again soon, so the notices are not late once it is back.
        m_sweepTimer.start(int(std::clamp<qint64>(m_freshMs / 10, 50, 1000)));
    }
}

void Presence::scheduleSweep(qint64 nowMs, std::optional<qint64> earliestMs)
{
    const qint64 at = earliestMs ? *earliestMs + m_freshMs : nowMs + m_freshMs;
    m_sweepTimer.start(int(std::clamp<qint64>(at - nowMs, 1, m_freshMs)));
}
