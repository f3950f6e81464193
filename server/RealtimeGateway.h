#pragma once

#include "http/HttpReply.h"
#include "realtime/RealtimeService.h"

#include <QObject>

class HttpListener;
class RoomEvents;
class Router;
class RoomStore;
struct ApiRequest;

// Puts the realtime service on the HTTP server's port: it takes the sockets upgraded at
// "/app/KEY", signs channel authorisations for members of the room, and turns every room
// change into an event for the room's subscribers.
class RealtimeGateway : public QObject {
    Q_OBJECT

public:
    RealtimeGateway(HttpListener &transport, Router &router, const RoomStore &rooms,
        RoomEvents &events, RealtimeConfig config, QObject *parent = nullptr);

    const RealtimeService &service() const { return m_service; }
    void closeAll(int code, const QString &message) { m_service.closeAll(code, message); }

private:
    HttpReply authorise(const ApiRequest &request);

    const RoomStore &m_rooms;
    RealtimeService m_service;
};
