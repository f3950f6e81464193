#pragma once

#include "http/HttpReply.h"
#include "realtime/RealtimeService.h"

#include <QObject>

class HttpListener;
class RoomEvents;
class Router;
class RoomStore;
class Store;
struct ApiRequest;

// Puts the realtime service on the HTTP server's port: it takes the sockets upgraded at
// "/app/KEY", signs channel authorisations for members of the room, and turns every room
// change into an event for the room's subscribers.
// On SQLite (one process) a socket must be connected here to be authorised and the grants
// are kept in memory. On PostgreSQL any node signs for a well-formed socket id of a live node
// (its first number) and keeps the grant in the channel_grants table; a removed member's
// subscriptions end on whichever node holds their sockets.
class RealtimeGateway : public QObject {
    Q_OBJECT

public:
    RealtimeGateway(HttpListener &transport, Router &router, const RoomStore &rooms, Store &store,
        RoomEvents &events, RealtimeConfig config, QObject *parent = nullptr);

    const RealtimeService &service() const { return m_service; }
    void closeAll(int code, const QString &message) { m_service.closeAll(code, message); }

private:
    HttpReply authorise(const ApiRequest &request);
    std::optional<QString> grant(
        const QString &socketId, const QString &channel, qint64 roomId, qint64 playerId);
    void revokeShared(qint64 roomId, qint64 playerId);
    bool shared() const;

    const RoomStore &m_rooms;
    Store &m_store;
    RealtimeService m_service;
};
