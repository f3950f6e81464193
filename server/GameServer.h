#pragma once

#include "ServerOptions.h"

#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

class Api;
class Clock;
class EventListener;
class HttpListener;
class InvitePage;
class NodeRegistry;
class Presence;
class RealtimeGateway;
class RoomEvents;
class RoomRoutes;
class RoomStore;
class RoundRoutes;
class RoundStore;
class Rounds;
class Router;
class SnapshotBuilder;
class Store;

// The whole game server in one object: storage, rules, routes, realtime and the transport,
// wired as the command line says. The program and the tests build it alike.
class GameServer {
public:
    GameServer(ServerOptions options, Clock &clock);
    ~GameServer();
    GameServer(const GameServer &) = delete;
    GameServer &operator=(const GameServer &) = delete;

    // Opens the database, listens and ends rounds that ran out while no server was up;
    // false with errorText() on failure.
    bool start();
    QString errorText() const { return m_error; }
    // Stops taking connections, lets the requests in flight finish, closes realtime sockets
    // with 4200 (reconnect at once, to another node) and calls done once all are gone, or
    // after deadlineMs at the latest.
    void drain(std::function<void()> done, int deadlineMs = 8000);

    // "host:port" as listened on.
    QString address() const;
    quint16 port() const;

private:
    ServerOptions m_options;
    Clock &m_clock;
    QString m_error;
    std::unique_ptr<Store> m_store;
    std::unique_ptr<NodeRegistry> m_node; // PostgreSQL
    std::unique_ptr<RoomStore> m_rooms;
    std::unique_ptr<RoundStore> m_rounds;
    std::unique_ptr<EventListener> m_listener;
    std::unique_ptr<RoomEvents> m_events;
    std::unique_ptr<Presence> m_presence;
    std::unique_ptr<Rounds> m_rules;
    std::unique_ptr<SnapshotBuilder> m_snapshots;
    std::unique_ptr<Router> m_router;
    QTimer m_logFlush;
    std::unique_ptr<HttpListener> m_transport;
    std::unique_ptr<Api> m_api;
    std::unique_ptr<RoomRoutes> m_roomRoutes;
    std::unique_ptr<RoundRoutes> m_roundRoutes;
    std::unique_ptr<RealtimeGateway> m_realtime;
    std::unique_ptr<InvitePage> m_invitePage;
};
