#include "RealtimeGateway.h"

#include "game/RoomEvents.h"
#include "http/HttpServer.h"
#include "realtime/PusherFrame.h"
#include "store/RoomStore.h"

using namespace Qt::StringLiterals;

RealtimeGateway::RealtimeGateway(HttpServer &http, const RoomStore &rooms, RoomEvents &events,
    RealtimeConfig config, QObject *parent)
    : QObject(parent)
    , m_http(http)
    , m_rooms(rooms)
    , m_service(std::move(config))
{
    // QAbstractHttpServer only upgrades requests while this signal has a receiver.
    connect(
        &m_http, &HttpServer::newWebSocketConnection, this, &RealtimeGateway::takeUpgradedSockets);
    connect(&events, &RoomEvents::roomChanged, &m_service, &RealtimeService::announceRoomChanged);
    // Standard Pusher clients send this form-encoded; the Tosswick client sends JSON.
    m_http.addRoute(
        QHttpServerRequest::Method::Post, u"/api/broadcasting/auth"_s, HttpServer::Access::Player,
        [this](const ApiRequest &request) { return authorise(request); },
        HttpServer::Body::JsonOrForm);
}

void RealtimeGateway::takeUpgradedSockets()
{
    while (m_http.hasPendingWebSocketConnections()) {
        if (auto socket = m_http.nextPendingWebSocketConnection())
            m_service.accept(std::move(socket));
    }
}

HttpReply RealtimeGateway::authorise(const ApiRequest &request) const
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
    const auto auth = m_service.authorise(socketId.toString(), channel.toString());
    if (!auth)
        return HttpReply::error(403, u"This socket is not connected."_s);
    return HttpReply::json(QJsonObject { { u"auth"_s, *auth } });
}
