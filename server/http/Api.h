#pragma once

#include <QObject>
#include <QString>

class HttpServer;
class RoomEvents;
class Store;

// The game's HTTP endpoints under /api/, registered on an HttpServer.
class Api
{
public:
    Api(Store &store, RoomEvents &events, QString publicUrl);

    void registerRoutes(HttpServer &server);

private:
    Store &m_store;
    RoomEvents &m_events;
    QString m_publicUrl;
};
