#include "SnapshotBuilder.h"

#include "WireJson.h"
#include "game/Presence.h"
#include "game/RoomEvents.h"
#include "store/RoundStore.h"
#include "wire/SnapshotText.h"
#include "wire/Timestamp.h"

using namespace Qt::StringLiterals;

namespace {

// Past these the caches start over: far more rooms and players than one node serves at once.
constexpr qsizetype maxKeptRooms = 4096;
constexpr qsizetype maxKeptTotals = 32768;

} // namespace

// The snapshot's text around the parts that differ per reply, with the round's nonce for its
// receiver and without it for everybody else.
struct SnapshotBuilder::KeptRoom {
    QList<qint64> memberIds;
    std::optional<qint64> receiverId;
    SnapshotText forMembers;
    SnapshotText forReceiver;
};

SnapshotBuilder::SnapshotBuilder(
    const RoomStore &rooms, const RoundStore &rounds, const Presence &presence, RoomEvents &events)
    : m_store(rooms)
    , m_rounds(rounds)
    , m_presence(presence)
{
    m_changes = QObject::connect(
        &events, &RoomEvents::roomChanged, &events, [this](qint64 roomId) { forget(roomId); });
    m_allChanged = QObject::connect(&events, &RoomEvents::allChanged, &events, [this] {
        m_kept.clear();
        m_totals.clear();
    });
}

SnapshotBuilder::~SnapshotBuilder()
{
    QObject::disconnect(m_changes);
    QObject::disconnect(m_allChanged);
}

RoomStore::Access SnapshotBuilder::access(qint64 roomId, qint64 playerId) const
{
    const auto kept = room(roomId);
    if (!kept)
        return RoomStore::Access::NoRoom;
    return kept->memberIds.contains(playerId) ? RoomStore::Access::Member
                                              : RoomStore::Access::NotMember;
}

std::optional<qint64> SnapshotBuilder::receiver(qint64 roomId) const
{
    const auto kept = room(roomId);
    return kept ? kept->receiverId : std::nullopt;
}

HttpReply SnapshotBuilder::reply(qint64 roomId, qint64 viewerId, qint64 nowMs) const
{
    const auto kept = room(roomId);
    if (!kept)
        return HttpReply::error(404, u"This room does not exist."_s);
    QList<QString> statuses;
    statuses.reserve(kept->memberIds.size());
    for (const qint64 memberId : kept->memberIds)
        statuses.append(m_presence.status(roomId, memberId, kept->receiverId, nowMs));
    const SnapshotText &text = kept->receiverId == viewerId ? kept->forReceiver : kept->forMembers;
    HttpReply reply;
    reply.body = text.write(statuses, Timestamp::format(nowMs), totals(viewerId));
    return reply;
}

std::shared_ptr<const SnapshotBuilder::KeptRoom> SnapshotBuilder::room(qint64 roomId) const
{
    if (const auto kept = m_kept.constFind(roomId); kept != m_kept.cend())
        return *kept;
    auto fresh = read(roomId);
    // A room that does not exist is not kept: its id may yet be given to a new room.
    if (fresh) {
        if (m_kept.size() >= maxKeptRooms)
            m_kept.clear();
        m_kept.insert(roomId, fresh);
    }
    return fresh;
}

std::shared_ptr<const SnapshotBuilder::KeptRoom> SnapshotBuilder::read(qint64 roomId) const
{
    const auto row = m_store.room(roomId);
    if (!row)
        return nullptr;
    const auto round = m_rounds.roundInPlay(roomId);
    QList<qint64> memberIds;
    QList<Member> members;
    for (const MemberRow &member : m_store.members(roomId)) {
        memberIds.append(member.id);
        members.append(WireJson::member(member));
    }
    QList<Score> scores;
    for (const ScoreRow &score : m_store.scores(roomId))
        scores.append(WireJson::score(score));
    const auto roundFor = [&round](bool receiver) {
        return round ? std::optional(WireJson::round(*round, receiver)) : std::nullopt;
    };
    const Room wireRoom = WireJson::room(*row);
    return std::make_shared<KeptRoom>(
        KeptRoom { memberIds, round ? std::optional(round->receiverId) : std::nullopt,
            SnapshotText(wireRoom, members, roundFor(false), scores),
            SnapshotText(wireRoom, members, roundFor(true), scores) });
}

const QByteArray &SnapshotBuilder::totals(qint64 playerId) const
{
    if (const auto kept = m_totals.constFind(playerId); kept != m_totals.cend())
        return *kept;
    if (m_totals.size() >= maxKeptTotals)
        m_totals.clear();
    return *m_totals.insert(
        playerId, SnapshotText::totalsText(WireJson::totals(m_store.totals(playerId))));
}

void SnapshotBuilder::forget(qint64 roomId)
{
    m_kept.remove(roomId);
    // Scores change only for the room's members; leaving or joining changes nobody's totals.
    for (const MemberRow &member : m_store.members(roomId))
        m_totals.remove(member.id);
}
