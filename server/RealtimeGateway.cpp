#include "RealtimeGateway.h"

#include "game/RoomEvents.h"
#include "http/Router.h"
#include "net/HttpListener.h"
#include "realtime/PusherFrame.h"
#include "realtime/RealtimeSocket.h"
#include "store/RoomStore.h"

using namespace Qt::StringLiterals;

RealtimeGateway::RealtimeGateway(HttpListener &transport, Router &router, const RoomStore &rooms,
    RoomEvents &events, RealtimeConfig config, QObject *parent)
    : QObject(parent)
    , m_rooms(rooms)
    , m_service(std::move(config))
{
    transport.setWebSocketHandler(
        [this](std::unique_ptr<RealtimeSocket> socket) { m_service.accept(std::move(socket)); });
    connect(&events, &RoomEvents::roomChanged, &m_service, &RealtimeService::announceRoomChanged);
    connect(&events, &RoomEvents::memberRemoved, &m_service,
        [this](qint64 roomId, qint64 playerId) { m_service.revoke(roomId, playerId); });
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
    const auto auth
        = m_service.authorise(socketId.toString(), channel.toString(), request.playerId);
    if (!auth)
        return HttpReply::error(403, u"This socket is not connected."_s);
    return HttpReply::json(QJsonObject { { u"auth"_s, *auth } });
}
