#include "Rounds.h"

#include "Clock.h"
#include "Presence.h"
#include "RoomEvents.h"
#include "RoundIds.h"
#include "ShotCheck.h"
#include "store/RoomStore.h"
#include "store/RoundStore.h"
#include "store/Store.h"
#include "wire/Hoop.h"
#include "wire/StateWords.h"

#include <QRandomGenerator>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

Refusal notSaved()
{
    return { 500, u"The server could not save this change; please try again."_s, {} };
}

// Exactly the fields of the result that scored the round, from its receiver in its room.
bool isScoredResult(
    const ScoredResult &scored, qint64 roomId, qint64 playerId, const Rounds::Result &request)
{
    const auto same = [](const CrossingSample &a, const CrossingSample &b) {
        return a.x == b.x && a.y == b.y && a.t == b.t;
    };
    return scored.roomId == roomId && scored.receiverId == playerId && scored.nonce == request.nonce
        && scored.shotId == request.shotId && scored.sequence == request.sequence
        && same(scored.before, request.before) && same(scored.after, request.after);
}

void logRound(const RoundRow &round, const char *what)
{
    std::fprintf(stderr, "round %s in room %lld: %s\n", qPrintable(round.id),
        static_cast<long long>(round.roomId), what);
}

} // namespace

Rounds::Rounds(Store &store, RoomStore &rooms, RoundStore &rounds, Presence &presence,
    RoomEvents &events, GameDurations durations, const Clock &clock, QObject *parent)
    : QObject(parent)
    , m_store(store)
    , m_rooms(rooms)
    , m_rounds(rounds)
    , m_presence(presence)
    , m_events(events)
    , m_durations(durations)
    , m_clock(clock)
    , m_timer(clock)
{
    connect(&m_timer, &RoundTimer::due, this, &Rounds::expireDue);
    // Every node times every round, so that a round runs out when the node that opened it or
    // took its ready report is gone.
    connect(&events, &RoomEvents::roomPublished, this, [this](qint64, const QString &reason) {
        if (reason == u"round"_s || reason == u"ready"_s)
            reschedule();
    });
    connect(&events, &RoomEvents::allChanged, this, &Rounds::reschedule);
}

std::optional<Refusal> Rounds::send(qint64 roomId, qint64 playerId, const Send &request)
{
    // Checks and writes see one state of the room, whichever node acts on it at once.
    Store::Transaction transaction(m_store);
    if (!m_store.lockRoom(roomId))
        return notSaved();
    // A repeated request (a retry after a lost reply) is answered as done, whatever
    // happened to its round since.
    if (const auto earlier = m_rounds.roundOfRequest(playerId, request.requestId)) {
        if (earlier->roomId != roomId)
            return Refusal { 409, u"This request was already used in another room."_s, {} };
        return std::nullopt;
    }
    const qint64 now = m_clock.nowMs();
    const auto room = m_rooms.room(roomId);
    if (!room)
        return Refusal { 404, u"This room does not exist."_s, {} };
    if (m_rounds.roundInPlay(roomId))
        return Refusal { 409, u"The ball is already in play."_s, {} };
    if (room->ballOwnerId != playerId)
        return Refusal { 403, u"You do not hold the ball."_s, {} };
    if (room->cooldownUntil && now < *room->cooldownUntil)
        return Refusal { 409, u"The ball is cooling down; try again in a moment."_s, {} };
    std::optional<Refusal> refusal;
    const auto receiver = pickReceiver(roomId, playerId, request.receiverId, refusal, now);
    if (!receiver)
        return refusal;

    RoundRow round;
    round.id = RoundIds::newRoundId();
    round.roomId = roomId;
    round.senderId = playerId;
    round.receiverId = *receiver;
    round.requestId = request.requestId;
    round.state = RoundStore::waiting;
    round.nonce = RoundIds::newNonce();
    round.entry = request.entry.clamped();
    round.deadline = now + m_durations.readyMs;
    m_rounds.insert(round);
    m_rooms.setBallOwner(roomId, std::nullopt);
    return commitRoundChange(transaction, round, "opened", u"round"_s);
}

std::optional<qint64> Rounds::pickReceiver(qint64 roomId, qint64 senderId,
    std::optional<qint64> wanted, std::optional<Refusal> &refusal, qint64 nowMs) const
{
    const QList<MemberRow> members = m_rooms.members(roomId);
    const auto online = [&](const MemberRow &member) {
        return m_presence.status(roomId, member.id, std::nullopt, nowMs) == MemberStatus::online;
    };
    if (wanted) {
        if (*wanted == senderId) {
            refusal = Refusal { 422, u"You cannot pass the ball to yourself."_s, u"receiver_id"_s };
            return std::nullopt;
        }
        const auto member = std::find_if(
            members.cbegin(), members.cend(), [&](const MemberRow &m) { return m.id == *wanted; });
        if (member == members.cend()) {
            refusal = Refusal { 422, u"That player is not in this room."_s, u"receiver_id"_s };
            return std::nullopt;
        }
        if (!online(*member)) {
            refusal = Refusal { 422, u"%1 is not available"_s.arg(member->name), u"receiver_id"_s };
            return std::nullopt;
        }
        return wanted;
    }
    QList<qint64> candidates;
    for (const MemberRow &member : members) {
        if (member.id != senderId && online(member))
            candidates.append(member.id);
    }
    if (candidates.isEmpty()) {
        refusal = Refusal { 422, u"No players online"_s, u"receiver_id"_s };
        return std::nullopt;
    }
    return candidates.at(QRandomGenerator::system()->bounded(candidates.size()));
}

std::optional<Refusal> Rounds::ready(qint64 roomId, qint64 playerId, const QString &roundId)
{
    Store::Transaction transaction(m_store);
    if (!m_store.lockRoom(roomId))
        return notSaved();
    const auto round = m_rounds.roundInPlay(roomId);
    if (!round || round->id != roundId)
        return Refusal { 409, u"This round is no longer in play."_s, {} };
    if (round->receiverId != playerId)
        return Refusal { 403, u"Only the receiver can take this ball."_s, {} };
    if (round->state == RoundStore::active)
        return std::nullopt;
    const qint64 endsAt = m_clock.nowMs() + m_durations.roundMs;
    m_rounds.activate(round->id, endsAt, endsAt + m_durations.graceMs);
    m_rooms.addReceived(roomId, playerId);
    return commitRoundChange(transaction, *round, "receiver ready", u"ready"_s);
}

std::optional<Refusal> Rounds::checkThrow(const std::optional<RoundRow> &round, qint64 playerId,
    const QString &roundId, const QString &nonce, qint64 sequence) const
{
    if (!round || round->id != roundId)
        return Refusal { 409, u"This round is no longer in play."_s, {} };
    if (round->receiverId != playerId)
        return Refusal { 403, u"Only the receiver can throw in this round."_s, {} };
    if (round->nonce != nonce)
        return Refusal { 403, u"This throw does not belong to the round in play."_s, {} };
    if (round->state != RoundStore::active)
        return Refusal { 409, u"The round has not started yet."_s, {} };
    if (sequence <= round->lastSequence)
        return Refusal { 409, u"This throw was already reported."_s, {} };
    return std::nullopt;
}

std::optional<Refusal> Rounds::shot(qint64 roomId, qint64 playerId, const Shot &request)
{
    const qint64 now = m_clock.nowMs();
    Store::Transaction transaction(m_store);
    if (!m_store.lockRoom(roomId))
        return notSaved();
    const auto round = m_rounds.roundInPlay(roomId);
    if (auto refusal
        = checkThrow(round, playerId, request.roundId, request.nonce, request.sequence))
        return refusal;
    // The grace after ends_at is for results of throws made in time, not for new throws.
    if (round->endsAt && now > *round->endsAt)
        return Refusal { 409, u"The round is over."_s, {} };
    const auto release = ShotCheck::checkRelease(request.release);
    if (release != ShotCheck::Release::Valid)
        return Refusal { 422, ShotCheck::explanation(release), u"release"_s };
    if (!m_rounds.addShot(round->id, request.shotId, request.release, now))
        return Refusal { 409, u"This throw is already registered."_s, {} };
    m_rounds.setLastSequence(round->id, request.sequence);
    m_events.changed(transaction, roomId, u"shot"_s);
    if (!transaction.commit())
        return notSaved();
    return std::nullopt;
}

std::optional<Refusal> Rounds::result(qint64 roomId, qint64 playerId, const Result &request)
{
    const qint64 now = m_clock.nowMs();
    Store::Transaction transaction(m_store);
    if (!m_store.lockRoom(roomId))
        return notSaved();
    // A repeat of the result that scored (a retry after a lost reply) is answered as done
    // and counts nothing more.
    if (const auto scored = m_rounds.scoredResult(request.roundId);
        scored && isScoredResult(*scored, roomId, playerId, request))
        return std::nullopt;
    const auto round = m_rounds.roundInPlay(roomId);
    if (auto refusal
        = checkThrow(round, playerId, request.roundId, request.nonce, request.sequence))
        return refusal;
    if (round->endsAt && now > *round->endsAt + m_durations.graceMs)
        return Refusal { 409, u"The round is over."_s, {} };
    const auto shot = m_rounds.shot(round->id, request.shotId);
    if (!shot)
        return Refusal { 409, u"This throw was not registered."_s, {} };
    if (shot->spent)
        return Refusal { 409, u"This throw already had its result."_s, {} };
    auto verdict = ShotCheck::checkArrival(request.after, now - shot->registeredAt);
    if (verdict == ShotCheck::Verdict::Clean)
        verdict = ShotCheck::check(shot->release, Hoop::standard(), request.before, request.after);
    if (verdict != ShotCheck::Verdict::Clean) {
        // One judgement per throw: retrying other samples must not find one that passes.
        m_rounds.spendShot(round->id, request.shotId);
        if (!transaction.commit())
            return notSaved();
        return Refusal { 422, ShotCheck::explanation(verdict), u"after"_s };
    }

    // The round's timer (on any node) may have ended it meanwhile: then nothing scores.
    if (!m_rounds.end(round->id, round->state, RoundState::scored)) {
        if (!transaction.commit())
            return notSaved();
        return Refusal { 409, u"The round is over."_s, {} };
    }
    m_rooms.addPoint(roomId, playerId);
    m_rounds.setLastSequence(round->id, request.sequence);
    m_rounds.setScoredResult(round->id,
        { roomId, playerId, request.nonce, request.shotId, request.sequence, request.before,
            request.after });
    m_rooms.setBallOwner(roomId, playerId);
    m_rooms.setCooldownUntil(roomId, now + m_durations.cooldownMs);
    return commitRoundChange(transaction, *round, "scored", u"scored"_s);
}

std::optional<Refusal> Rounds::commitRoundChange(Store::Transaction &transaction,
    const RoundRow &round, const char *logText, const QString &change)
{
    m_events.changed(transaction, round.roomId, change);
    if (!transaction.commit())
        return notSaved();
    logRound(round, logText);
    reschedule();
    return std::nullopt;
}

void Rounds::memberLeft(qint64 roomId, qint64 playerId)
{
    const auto room = m_rooms.room(roomId);
    if (!room)
        return;
    const auto round = m_rounds.roundInPlay(roomId);
    if (round && round->receiverId == playerId) {
        m_rounds.end(round->id, round->state, u"ABANDONED"_s);
        m_rooms.setBallOwner(roomId, nextHolder(roomId, round->senderId));
        logRound(*round, "abandoned by its receiver");
    } else if (room->ballOwnerId == playerId) {
        m_rooms.setBallOwner(roomId, nextHolder(roomId, std::nullopt));
    }
}

std::optional<qint64> Rounds::nextHolder(qint64 roomId, std::optional<qint64> preferred) const
{
    const QList<MemberRow> members = m_rooms.members(roomId);
    if (members.isEmpty())
        return std::nullopt;
    for (const MemberRow &member : members) {
        if (member.id == preferred)
            return preferred;
    }
    return members.constFirst().id;
}

void Rounds::expireDue()
{
    const qint64 now = m_clock.nowMs();
    bool saved = true;
    for (const RoundRow &round : m_rounds.dueRounds(now))
        saved = expire(round, now) && saved;
    // A database that fails now is tried again later and later, not in a tight loop.
    if (saved)
        m_timer.succeeded();
    else
        m_timer.failed();
    reschedule();
}

bool Rounds::expire(const RoundRow &round, qint64 now)
{
    Store::Transaction transaction(m_store);
    const bool missed = round.state == RoundStore::active;
    // Only the first to end it acts: a result, a leave, or another node's timer may have.
    if (!m_rounds.end(round.id, round.state, missed ? RoundState::missed : RoundState::returned))
        return transaction.commit(); // false only when the database failed
    if (missed) {
        // The receiver had the ball and let the time run out.
        m_rooms.addMiss(round.roomId, round.receiverId);
        m_rooms.setBallOwner(round.roomId, nextHolder(round.roomId, round.receiverId));
        m_rooms.setCooldownUntil(round.roomId, now + m_durations.cooldownMs);
    } else {
        // The receiver never took the ball: it goes back, and nobody's counters change.
        m_rooms.setBallOwner(round.roomId, nextHolder(round.roomId, round.senderId));
    }
    m_events.changed(transaction, round.roomId, missed ? u"missed"_s : u"returned"_s);
    if (!transaction.commit())
        return false;
    logRound(round, missed ? "timed out, a miss" : "not taken, ball returned");
    return true;
}

void Rounds::reschedule()
{
    m_timer.wakeAt(m_rounds.nextDeadline());
}
