#include "RealtimeGateway.h"

#include "game/RoomEvents.h"
#include "http/Router.h"
#include "net/HttpListener.h"
#include "realtime/PusherFrame.h"
#include "realtime/RealtimeSocket.h"
#include "store/RoomStore.h"
#include "store/Store.h"

using namespace Qt::StringLiterals;

RealtimeGateway::RealtimeGateway(HttpListener &transport, Router &router, const RoomStore &rooms,
    Store &store, RoomEvents &events, RealtimeConfig config, QObject *parent)
    : QObject(parent)
    , m_rooms(rooms)
    , m_store(store)
    , m_service(std::move(config))
{
    transport.setWebSocketHandler(
        [this](std::unique_ptr<RealtimeSocket> socket) { m_service.accept(std::move(socket)); });
    connect(&events, &RoomEvents::roomPublished, &m_service, &RealtimeService::announceRoomChanged);
    // Events were lost while the node did not hear them: its subscribers refresh.
    connect(&events, &RoomEvents::allChanged, &m_service,
        [this] { m_service.announceToAllRooms(u"resync"_s); });
    connect(
        &events, &RoomEvents::memberRemoved, &m_service, [this](qint64 roomId, qint64 playerId) {
            if (shared())
                revokeShared(roomId, playerId);
            else
                m_service.revoke(roomId, playerId);
        });
    if (shared()) {
        connect(&m_service, &RealtimeService::socketClosed, this, [this](const QString &socketId) {
            m_store.execute(u"DELETE FROM channel_grants WHERE socket_id = ?"_s, { socketId });
        });
    }
    connect(&events, &RoomEvents::roomDeleted, &m_service,
        [this](qint64 roomId) { m_service.revoke(roomId); });
    // Standard Pusher clients send this form-encoded; the Tosswick client sends JSON.
    router.addRoute(
        Router::Method::Post, u"/api/broadcasting/auth"_s, Router::Access::Player,
        [this](const ApiRequest &request) { return authorise(request); }, Router::Body::JsonOrForm);
}

HttpReply RealtimeGateway::authorise(const ApiRequest &request)
{
    const QJsonValue socketId = request.body.value(u"socket_id"_s);
    const QJsonValue channel = request.body.value(u"channel_name"_s);
    if (!socketId.isString() || socketId.toString().isEmpty())
        return HttpReply::invalid(u"socket_id"_s, u"The socket id is required."_s);
    if (!channel.isString() || channel.toString().isEmpty())
        return HttpReply::invalid(u"channel_name"_s, u"The channel name is required."_s);
    const auto room = PusherFrame::roomOfChannel(channel.toString());
    if (!room || !m_rooms.isMember(*room, request.playerId))
        return HttpReply::error(403, u"You are not a member of this room."_s);
    const auto auth = shared()
        ? grant(socketId.toString(), channel.toString(), *room, request.playerId)
        : m_service.authorise(socketId.toString(), channel.toString(), request.playerId);
    if (!auth)
        return HttpReply::error(403, u"This socket is not connected."_s);
    return HttpReply::json(QJsonObject { { u"auth"_s, *auth } });
}

bool RealtimeGateway::shared() const
{
    return m_store.backend() == DatabaseUrl::Backend::Postgres;
}

std::optional<QString> RealtimeGateway::grant(
    const QString &socketId, const QString &channel, qint64 roomId, qint64 playerId)
{
    auto auth = m_service.sign(socketId, channel);
    if (!auth)
        return std::nullopt;
    // The socket id's first number is the node that holds the socket; a node that is not
    // alive holds none, and a grant kept for it would never go.
    const qint64 node = socketId.section(u'.', 0, 0).toLongLong();
    QSqlQuery query = m_store.prepare(
        u"INSERT INTO channel_grants (socket_id, room_id, player_id, node_id) "
        "SELECT ?, ?, ?, id FROM nodes WHERE id = ? ON CONFLICT (socket_id, room_id) "
        "DO UPDATE SET player_id = excluded.player_id RETURNING node_id"_s,
        { socketId, roomId, playerId, node });
    if (!m_store.run(query) || !query.next())
        return std::nullopt;
    return auth;
}

// Every node hears of the removal and ends the subscriptions it holds; each forgets only
// the grants of its own sockets, so that the others still find theirs.
void RealtimeGateway::revokeShared(qint64 roomId, qint64 playerId)
{
    QSqlQuery query = m_store.prepare(
        u"SELECT socket_id FROM channel_grants WHERE room_id = ? AND player_id = ?"_s,
        { roomId, playerId });
    if (!m_store.run(query))
        return;
    QStringList sockets;
    while (query.next())
        sockets += query.value(0).toString();
    const QStringList ended = m_service.endSubscriptions(roomId, sockets);
    for (const QString &socketId : ended) {
        m_store.execute(u"DELETE FROM channel_grants WHERE socket_id = ? AND room_id = ?"_s,
            { socketId, roomId });
    }
}
