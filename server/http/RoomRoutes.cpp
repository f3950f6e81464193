#include "RoomRoutes.h"

#include "RouteChecks.h"
#include "Router.h"
#include "SnapshotBuilder.h"
#include "WireJson.h"
#include "game/Clock.h"
#include "game/Presence.h"
#include "game/RoomEvents.h"
#include "game/Rounds.h"
#include "store/RoomStore.h"
#include "store/Store.h"

#include <QJsonArray>
#include <QRandomGenerator>

using namespace Qt::StringLiterals;
using Method = Router::Method;
using Access = Router::Access;

namespace {

constexpr int maxNameLength = 80;
constexpr int inviteCodeLength = 12;

QString newInviteCode()
{
    static const QString alphabet = u"ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"_s;
    QString code;
    for (int i = 0; i < inviteCodeLength; ++i)
        code += alphabet.at(QRandomGenerator::system()->bounded(alphabet.size()));
    return code;
}

HttpReply notSaved()
{
    return HttpReply::error(500, u"The server could not save this change; please try again."_s);
}

} // namespace

RoomRoutes::RoomRoutes(Store &store, RoomStore &rooms, Rounds &rules, Presence &presence,
    const SnapshotBuilder &snapshots, RoomEvents &events, const Clock &clock,
    const RateLimits &limits)
    : m_store(store)
    , m_rooms(rooms)
    , m_rules(rules)
    , m_presence(presence)
    , m_snapshots(snapshots)
    , m_events(events)
    , m_clock(clock)
    , m_failedJoins({ limits.failedJoinsPerMinute / 60, limits.failedJoinsPerMinute })
{
}

void RoomRoutes::registerRoutes(Router &server)
{
    const auto bind = [this](auto member) {
        return [this, member](const ApiRequest &request) { return (this->*member)(request); };
    };
    const QString room = u"/api/rooms/(\\d{1,18})"_s;
    server.addRoute(Method::Get, u"/api/rooms"_s, Access::Player, bind(&RoomRoutes::list));
    server.addRoute(Method::Post, u"/api/rooms"_s, Access::Player, bind(&RoomRoutes::create));
    server.addRoute(Method::Post, u"/api/rooms/join"_s, Access::Player, bind(&RoomRoutes::join));
    server.addRoute(Method::Delete, room, Access::Player, bind(&RoomRoutes::remove));
    server.addRoute(
        Method::Post, room + u"/activate"_s, Access::Player, bind(&RoomRoutes::activate));
    server.addRoute(Method::Post, room + u"/leave"_s, Access::Player, bind(&RoomRoutes::leave));
    server.addRoute(Method::Get, room + u"/state"_s, Access::Player, bind(&RoomRoutes::state));
    server.addRoute(
        Method::Post, room + u"/heartbeat"_s, Access::Player, bind(&RoomRoutes::heartbeat));
    server.addRoute(
        Method::Post, room + u"/disconnect"_s, Access::Player, bind(&RoomRoutes::disconnect));
}

HttpReply RoomRoutes::list(const ApiRequest &request) const
{
    QJsonArray rooms;
    for (const RoomRow &room : m_rooms.roomsOf(request.playerId))
        rooms.append(WireJson::room(room).toJson());
    return HttpReply::json(rooms);
}

HttpReply RoomRoutes::create(const ApiRequest &request)
{
    const QJsonValue nameValue = request.body.value(u"name"_s);
    if (!nameValue.isUndefined() && !nameValue.isNull() && !nameValue.isString())
        return HttpReply::invalid(u"name"_s, u"The room name must be text."_s);
    QString name = nameValue.toString().simplified();
    if (name.size() > maxNameLength) {
        return HttpReply::invalid(
            u"name"_s, u"The room name must be at most %1 characters."_s.arg(maxNameLength));
    }
    if (name.isEmpty()) {
        const auto player = m_store.player(request.playerId);
        name = player ? u"%1's room"_s.arg(player->name) : u"New room"_s;
    }
    Store::Transaction transaction(m_store);
    qint64 roomId = 0;
    // Twelve characters of 36 make a clash unlikely; a few tries make it practically impossible.
    for (int attempt = 0; attempt < 5 && roomId == 0; ++attempt)
        roomId = m_rooms.createRoom(request.playerId, name, newInviteCode());
    if (roomId == 0)
        return notSaved();
    m_rooms.addMember(roomId, request.playerId, m_clock.nowMs());
    if (!transaction.commit())
        return notSaved();
    const auto room = m_rooms.room(roomId);
    return room ? HttpReply::json(WireJson::room(*room).toJson(), 201) : notSaved();
}

HttpReply RoomRoutes::join(const ApiRequest &request)
{
    const QJsonValue codeValue = request.body.value(u"code"_s);
    const QString code = codeValue.toString().trimmed().toUpper();
    if (!codeValue.isString() || code.isEmpty())
        return HttpReply::invalid(u"code"_s, u"Enter a Room ID to join."_s);
    const qint64 now = m_clock.nowMs();
    if (const qint64 wait = m_failedJoins.retryAfterMs(request.client, now); wait > 0)
        return HttpReply::tooManyRequests(wait);
    Store::Transaction transaction(m_store);
    const auto room = m_rooms.roomByCode(code);
    if (!room) {
        m_failedJoins.take(request.client, now);
        return HttpReply::invalid(u"code"_s, u"No room has this Room ID."_s);
    }
    if (!m_store.lockRoom(room->id))
        return notSaved();
    if (!m_rooms.isMember(room->id, request.playerId)) {
        m_rooms.addMember(room->id, request.playerId, m_clock.nowMs());
        m_events.changed(transaction, room->id, u"joined"_s);
        if (!transaction.commit())
            return notSaved();
    }
    return HttpReply::json(WireJson::room(*room).toJson());
}

HttpReply RoomRoutes::activate(const ApiRequest &request)
{
    const qint64 roomId = request.captureId(0);
    Store::Transaction transaction(m_store);
    if (!m_store.lockRoom(roomId))
        return notSaved();
    if (auto refusal = RouteChecks::refuseNonMember(m_rooms, roomId, request.playerId))
        return *refusal;
    m_store.setActiveRoom(request.playerId, roomId);
    return transaction.commit() ? HttpReply::empty() : notSaved();
}

HttpReply RoomRoutes::leave(const ApiRequest &request)
{
    const qint64 roomId = request.captureId(0);
    Store::Transaction transaction(m_store);
    if (!m_store.lockRoom(roomId))
        return notSaved();
    if (auto refusal = RouteChecks::refuseNonMember(m_rooms, roomId, request.playerId))
        return *refusal;
    m_rooms.removeMember(roomId, request.playerId);
    m_rules.memberLeft(roomId, request.playerId);
    const auto player = m_store.player(request.playerId);
    if (player && player->activeRoomId == roomId)
        m_store.setActiveRoom(request.playerId, std::nullopt);
    const bool empty = m_rooms.members(roomId).isEmpty();
    if (empty)
        m_rooms.deleteRoom(roomId);
    m_events.removed(transaction, roomId, request.playerId);
    m_events.changed(transaction, roomId, empty ? u"deleted"_s : u"left"_s);
    if (empty)
        m_events.deleted(transaction, roomId);
    if (!transaction.commit())
        return notSaved();
    if (empty)
        m_presence.forgetRoom(roomId);
    else
        m_presence.disconnect(roomId, request.playerId);
    m_rules.reschedule();
    return HttpReply::empty();
}

HttpReply RoomRoutes::remove(const ApiRequest &request)
{
    const qint64 roomId = request.captureId(0);
    Store::Transaction transaction(m_store);
    if (!m_store.lockRoom(roomId))
        return notSaved();
    const auto room = m_rooms.room(roomId);
    if (!room)
        return HttpReply::error(404, u"This room does not exist."_s);
    // An owner who left the room has no say in it any more.
    if (room->ownerId != request.playerId || !m_rooms.isMember(roomId, request.playerId))
        return HttpReply::error(403, u"Only the room's owner can delete it."_s);
    m_rooms.clearActiveRoom(roomId);
    m_rooms.deleteRoom(roomId);
    m_events.changed(transaction, roomId, u"deleted"_s);
    m_events.deleted(transaction, roomId);
    if (!transaction.commit())
        return notSaved();
    m_presence.forgetRoom(roomId);
    m_rules.reschedule();
    return HttpReply::empty();
}

HttpReply RoomRoutes::state(const ApiRequest &request) const
{
    const qint64 roomId = request.captureId(0);
    if (auto refusal = RouteChecks::refuseNonMember(m_snapshots.access(roomId, request.playerId)))
        return *refusal;
    return m_snapshots.reply(roomId, request.playerId, m_clock.nowMs());
}

HttpReply RoomRoutes::heartbeat(const ApiRequest &request)
{
    const qint64 roomId = request.captureId(0);
    if (auto refusal = RouteChecks::refuseNonMember(m_snapshots.access(roomId, request.playerId)))
        return *refusal;
    const QJsonValue socketId = request.body.value(u"socket_id"_s);
    const QJsonValue dnd = request.body.value(u"dnd"_s);
    if (!socketId.isString())
        return HttpReply::invalid(u"socket_id"_s, u"The socket id is required."_s);
    if (!dnd.isBool() && !dnd.isUndefined() && !dnd.isNull())
        return HttpReply::invalid(u"dnd"_s, u"Do not disturb must be true or false."_s);
    const qint64 now = m_clock.nowMs();
    const auto receiver = m_snapshots.receiver(roomId);
    const QString before = m_presence.status(roomId, request.playerId, receiver, now);
    m_presence.beat(roomId, request.playerId, dnd.toBool(), socketId.toString(), now);
    if (m_presence.status(roomId, request.playerId, receiver, now) != before)
        m_events.changedNow(roomId, u"presence"_s);
    return m_snapshots.reply(roomId, request.playerId, now);
}

HttpReply RoomRoutes::disconnect(const ApiRequest &request)
{
    const qint64 roomId = request.captureId(0);
    if (auto refusal = RouteChecks::refuseNonMember(m_snapshots.access(roomId, request.playerId)))
        return *refusal;
    const qint64 now = m_clock.nowMs();
    const auto receiver = m_snapshots.receiver(roomId);
    const QString before = m_presence.status(roomId, request.playerId, receiver, now);
    m_presence.disconnect(roomId, request.playerId);
    if (m_presence.status(roomId, request.playerId, receiver, now) != before)
        m_events.changedNow(roomId, u"presence"_s);
    return HttpReply::empty();
}
