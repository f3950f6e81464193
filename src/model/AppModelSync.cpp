// Heartbeat, sync and snapshots: keeping the coordinator in step with the current room.

#include "model/AppModel.h"

#include "net/API.h"
#include "net/Realtime.h"

#include <QJsonObject>
#include <QPointer>

using namespace Qt::StringLiterals;

namespace {

// A channel that has not answered a ping for this long is dead, whether it said so or not.
constexpr std::chrono::seconds pongTimeout { 10 };

QJsonObject heartbeatBody(const QString &socketID, bool dnd)
{
    QJsonObject body;
    body.insert(u"socket_id"_s, socketID);
    body.insert(u"dnd"_s, dnd);
    return body;
}

} // namespace

void AppModel::startHeartbeat()
{
    if (m_heartbeat)
        m_heartbeat->cancel();
    m_heartbeat = std::make_shared<CancelFlag>();
    [](QPointer<AppModel> self, std::shared_ptr<CancelFlag> flag,
        std::chrono::milliseconds period) -> QCoro::Task<> {
        while (self && !flag->isCancelled()) {
            co_await self->beat();
            if (!self || !co_await flag->sleep(period))
                co_return;
        }
    }(this, m_heartbeat, m_timing.heartbeatPeriod);
}

QCoro::Task<> AppModel::beat()
{
    const auto socketID = m_realtime->socketID();
    if (!m_realtime->subscribed() || !socketID || !m_roomID)
        co_return;
    const qint64 room = *m_roomID;
    const quint64 epoch = m_networkEpoch;
    if (m_timing.monotonicNow() - m_realtime->lastPong() >= pongTimeout) {
        lostConnection();
        co_return;
    }

    std::optional<NetworkError> error = m_realtime->ping();
    if (!error) {
        const bool dnd = m_paused || m_hidden || focusKeepsBallsAway();
        QPointer self(this);
        const auto reply = co_await m_api->data(
            roomPath(room, u"/heartbeat"_s), u"POST"_s, heartbeatBody(*socketID, dnd));
        if (!self)
            co_return;
        const auto snapshot = reply ? API::readReply<Snapshot>(*reply) : reply.error();
        if (snapshot) {
            if (m_roomID == room)
                co_await apply(*snapshot);
            co_return;
        }
        // Another room, or the network stopped or lost meanwhile: nothing left to fail.
        if (m_roomID != room || m_networkEpoch != epoch)
            co_return;
        error = snapshot.error();
    }
    setMessage(error->description());
    if (error->status == 401)
        expireSession();
    else
        lostConnection();
}

QCoro::Task<> AppModel::sync()
{
    if (!m_roomID || m_syncing || !m_connected)
        co_return;
    const qint64 room = *m_roomID;
    m_syncing = true;
    QPointer self(this);
    const auto snapshot = co_await m_api->get<Snapshot>(roomPath(room, u"/state"_s));
    if (!self)
        co_return;
    if (snapshot) {
        if (m_roomID == room)
            co_await apply(*snapshot);
    } else {
        setMessage(snapshot.error().description());
        if (m_roomID == room
            && (snapshot.error().status == 403 || snapshot.error().status == 404)) {
            // Out of the room, or the room is gone: leave it here too (unless another room
            // became current meanwhile).
            stopNetwork();
            setRoomID(std::nullopt);
            setSnapshot(std::nullopt);
            co_await loadRooms();
        }
    }
    if (self)
        m_syncing = false;
}

QCoro::Task<> AppModel::apply(Snapshot snapshot)
{
    // Heartbeat and sync replies may cross: an older state never replaces a newer one.
    if (const auto serverTime = snapshot.serverTimeValue()) {
        if (m_lastSnapshotTime.isValid() && *serverTime < m_lastSnapshotTime)
            co_return;
        m_lastSnapshotTime = *serverTime;
        m_offset = m_now().msecsTo(*serverTime) / 1000.0;
    }
    setSnapshot(snapshot);
    const std::optional<Round> &round = snapshot.round;

    if (m_focusGraceRoundID && (!round || round->id != *m_focusGraceRoundID)) {
        m_focusGraceRoundID.reset();
        // The round that kept the player available during focus is over: say so at once.
        if (focusActive())
            later([this] { beat(); });
    }

    const std::optional<QString> roundID = round ? std::optional(round->id) : std::nullopt;
    if (roundID != m_currentRoundID) {
        m_sequence = round ? round->lastSequence.value_or(0) : 0;
        m_currentRoundID = roundID;
        if (round) {
            m_gameplayDismissed = false;
            cancelSuccessTask();
        }
        m_shotJobs.clear();
    }

    refreshOverlay();

    if (!round || !m_user || round->receiverId != m_user->id || !round->isWaitingForReceiver()
        || m_readyID == round->id || m_paused || m_hidden || focusKeepsBallsAway() || !m_connected
        || !m_roomID)
        co_return;
    co_await reportReady(*m_roomID, round->id);
}

QCoro::Task<> AppModel::reportReady(qint64 room, QString roundID)
{
    m_readyID = roundID;
    QPointer self(this);
    QJsonObject body;
    body.insert(u"round_id"_s, roundID);
    const auto reply = co_await m_api->data(roomPath(room, u"/round/ready"_s), u"POST"_s, body);
    if (!self)
        co_return;
    // Only this report's own mark: a report for a newer round may have started meanwhile.
    if (m_readyID == roundID)
        m_readyID.reset();
    if (!reply) {
        setMessage(reply.error().description());
        co_return;
    }
    const auto snapshot = co_await m_api->get<Snapshot>(roomPath(room, u"/state"_s));
    if (!self)
        co_return;
    if (!snapshot)
        setMessage(snapshot.error().description());
    else if (m_roomID == room)
        co_await apply(*snapshot);
}

void AppModel::lostConnection()
{
    ++m_networkEpoch;
    if (m_heartbeat)
        m_heartbeat->cancel();
    m_focusGraceRoundID.reset();
    setConnected(false);
    m_display->show(false);
    setMessage(u"Connection lost · reconnecting…"_s);
    m_realtime->close();
    if (m_retry)
        m_retry->cancel();
    m_retry = std::make_shared<CancelFlag>();
    [](QPointer<AppModel> self, std::shared_ptr<CancelFlag> flag,
        std::chrono::milliseconds delay) -> QCoro::Task<> {
        if (co_await flag->sleep(delay) && self)
            self->connectChannel();
    }(this, m_retry, m_timing.reconnectDelay);
}

void AppModel::refreshOverlay()
{
    if (!m_snapshot || !m_user) {
        m_display->show(false);
        return;
    }
    const qint64 me = m_user->id;
    const Snapshot &snapshot = *m_snapshot;
    const bool available = std::any_of(
        snapshot.members.cbegin(), snapshot.members.cend(), [&](const Member &member) {
            return member.id != me && member.isOnline()
                && (m_selectedReceiver == 0 || member.id == m_selectedReceiver);
        });
    const bool visible
        = m_connected && !m_paused && !m_hidden && !m_gameplayDismissed && !focusKeepsBallsAway();
    m_display->show(visible);
    const bool mine = snapshot.round && snapshot.round->receiverId == me;
    const bool holder = !snapshot.round && snapshot.room.ballOwnerId == me;
    m_display->configure(mine ? snapshot.round : std::nullopt, holder, available, m_offset);
}
