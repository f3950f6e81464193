#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>

// What the realtime service needs to know; the intervals are here so tests can shorten them.
struct RealtimeConfig {
    QString appKey;
    QByteArray appSecret;
    // Silence from a client after which the server pings it; announced to clients in seconds.
    std::chrono::milliseconds activityTimeout { std::chrono::seconds(30) };
    // How long a pinged client has to send anything before it is closed with 4201.
    std::chrono::milliseconds pongTimeout { std::chrono::seconds(30) };
    // How long a closing handshake may take before the socket is dropped.
    std::chrono::milliseconds closeGrace { std::chrono::seconds(5) };
    // Frames above this size are refused; ones far above it are cut off by the socket itself.
    qsizetype maxFrameBytes = qsizetype(10) * 1024;
    // The number of refused frames that ends a connection.
    int badFrameLimit = 2;
    // The first number of every socket id, so that the id names the node holding the socket
    // (1 to 2^31 - 1); random when 0.
    quint32 socketIdHead = 0;
};
