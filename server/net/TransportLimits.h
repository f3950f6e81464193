#pragma once

#include <chrono>
#include <cstddef>

// What one client may ask of the transport before a route sees its request.
struct TransportLimits {
    std::size_t headerBytes = 16 * 1024; // beyond: 431
    std::size_t bodyBytes = 64 * 1024; // beyond: 413
    // A refused request's connection is closed once this much of it has been read in all.
    std::size_t drainBytes = 1024 * 1024;
    // From a connection's first byte (or its opening) to a whole request: beyond, 408 and close.
    std::chrono::milliseconds requestTimeout { std::chrono::seconds(10) };
    // A kept-alive connection with no new request is closed after this.
    std::chrono::milliseconds idleTimeout { std::chrono::seconds(60) };
    // Open connections that count (HTTP ones and realtime sockets without a subscription);
    // connections beyond are closed as they are accepted.
    int maxConnections = 10000;
    int listenBacklog = 4096;
    // A realtime frame above this is not even read: the socket is dropped.
    std::size_t maxWebSocketMessage = 160 * 1024;
    // Frames waiting for a client that does not read; beyond, the socket is dropped.
    std::size_t maxWebSocketBacklog = 1024 * 1024;
};
