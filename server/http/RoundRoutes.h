#pragma once

#include "HttpReply.h"

#include <optional>

class Clock;
class Router;
class RoomStore;
class Rounds;
class SnapshotBuilder;
struct ApiRequest;
struct Refusal;

// The endpoints of passing the ball and playing a round: ball/send, round/ready, round/shot
// and round/result. They read and check the request bodies; the rules are the Rounds'.
// Each answers with the room's state after the action.
class RoundRoutes {
public:
    RoundRoutes(const RoomStore &rooms, Rounds &rules, const SnapshotBuilder &snapshots,
        const Clock &clock);

    void registerRoutes(Router &server);

private:
    HttpReply send(const ApiRequest &request);
    HttpReply ready(const ApiRequest &request);
    HttpReply shot(const ApiRequest &request);
    HttpReply result(const ApiRequest &request);
    // The refusal, or the room's state after the action.
    HttpReply answer(const ApiRequest &request, const std::optional<Refusal> &refusal) const;

    const RoomStore &m_rooms;
    Rounds &m_rules;
    const SnapshotBuilder &m_snapshots;
    const Clock &m_clock;
};
