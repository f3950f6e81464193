#include "Presence.h"

#include "Clock.h"

#include <QSet>

#include <algorithm>

using namespace Qt::StringLiterals;

Presence::Presence(const Clock &clock, qint64 freshMs, QObject *parent)
    : QObject(parent)
    , m_clock(clock)
    , m_freshMs(freshMs)
{
    // A tenth of the freshness keeps the offline notice prompt without busy sweeping.
    m_sweepTimer.setInterval(int(std::clamp<qint64>(freshMs / 10, 50, 1000)));
    connect(&m_sweepTimer, &QTimer::timeout, this, &Presence::sweep);
    m_sweepTimer.start();
    connect(&clock, &Clock::jumped, this, &Presence::sweep);
}

void Presence::beat(qint64 roomId, qint64 playerId, bool dnd, qint64 nowMs)
{
    m_beats.insert({ roomId, playerId }, { nowMs, dnd });
}

void Presence::disconnect(qint64 roomId, qint64 playerId)
{
    m_beats.remove({ roomId, playerId });
}

void Presence::forgetRoom(qint64 roomId)
{
    m_beats.removeIf([roomId](const auto &item) { return item.key().first == roomId; });
}

QString Presence::status(
    qint64 roomId, qint64 playerId, std::optional<qint64> receiverId, qint64 nowMs) const
{
    const auto beat = m_beats.constFind({ roomId, playerId });
    const bool present = beat != m_beats.cend() && nowMs - beat->atMs < m_freshMs;
    if (present && beat->dnd)
        return u"DO_NOT_DISTURB"_s;
    if (receiverId == playerId)
        return u"BUSY"_s;
    return present ? u"ONLINE"_s : u"OFFLINE"_s;
}

void Presence::sweep()
{
    const qint64 now = m_clock.nowMs();
    QSet<qint64> rooms;
    m_beats.removeIf([&](const auto &item) {
        if (now - item.value().atMs < m_freshMs)
            return false;
        rooms.insert(item.key().first);
        return true;
    });
    for (const qint64 room : std::as_const(rooms))
        emit wentStale(room);
}
