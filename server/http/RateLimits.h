#pragma once

// Per-client limits that a real team never meets; each one 0 switches it off.
struct RateLimits {
    double guestsPerMinute = 30; // new guest sessions per client address
    double failedJoinsPerMinute = 20; // joins with an unknown Room ID per client address
    double requestsPerSecond = 50; // requests per player
};
