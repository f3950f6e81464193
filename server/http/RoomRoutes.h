#pragma once

#include "HttpReply.h"
#include "RateLimiter.h"
#include "RateLimits.h"

class Clock;
class Router;
class Presence;
class RoomEvents;
class RoomStore;
class Rounds;
class SnapshotBuilder;
class Store;
struct ApiRequest;

// The room endpoints: listing, creating, joining, activating, leaving and deleting rooms,
// the room's state, heartbeats and disconnects.
class RoomRoutes {
public:
    RoomRoutes(Store &store, RoomStore &rooms, Rounds &rules, Presence &presence,
        const SnapshotBuilder &snapshots, RoomEvents &events, const Clock &clock,
        const RateLimits &limits);

    void registerRoutes(Router &server);

private:
    HttpReply list(const ApiRequest &request) const;
    HttpReply create(const ApiRequest &request);
    HttpReply join(const ApiRequest &request);
    HttpReply activate(const ApiRequest &request);
    HttpReply leave(const ApiRequest &request);
    HttpReply remove(const ApiRequest &request);
    HttpReply state(const ApiRequest &request) const;
    HttpReply heartbeat(const ApiRequest &request);
    HttpReply disconnect(const ApiRequest &request);

    Store &m_store;
    RoomStore &m_rooms;
    Rounds &m_rules;
    Presence &m_presence;
    const SnapshotBuilder &m_snapshots;
    RoomEvents &m_events;
    const Clock &m_clock;
    // Per client address: guessing Room IDs is slow.
    RateLimiter m_failedJoins;
};
