#pragma once

#include "RateLimiter.h"
#include "RateLimits.h"

#include <QString>

class Clock;
class Router;
class Store;

// The session endpoints: a new guest, the player's own record and the connection details
// (where invitations point).
class Api {
public:
    Api(Store &store, QString publicUrl, const Clock &clock, const RateLimits &limits);

    void registerRoutes(Router &server);

private:
    Store &m_store;
    QString m_publicUrl;
    const Clock &m_clock;
    RateLimiter m_newGuests;
};
