#pragma once

#include "game/GameDurations.h"
#include "http/RateLimits.h"
#include "net/TransportLimits.h"

#include <QHostAddress>
#include <QString>
#include <QStringList>

// The command line of tosswick-server, with its defaults filled in.
struct ServerOptions {
    QHostAddress address = QHostAddress::LocalHost;
    quint16 port = 8088;
    QString databasePath;
    QString appKey;
    // From --app-secret or --app-secret-file (never both), else TOSSWICK_APP_SECRET; empty: the
    // one kept in the database (made on first start). appSecretSource names where it came from.
    QString appSecret;
    QString appSecretSource;
    QString publicUrl; // empty: derived from the listen address once the port is known
    // Test only (--test-realtime-timeout-ms): both the realtime silence before a ping
    // and the wait for its answer, so idle closes happen within a test's time; 0 keeps 30 s.
    int testRealtimeTimeoutMs = 0;
    // The game's waits; tests shorten them with the --test-*-ms flags.
    GameDurations durations;
    TransportLimits limits;
    RateLimits rates;
    // Proxies whose X-Forwarded-For names the client (for per-client limits).
    QList<QHostAddress> trustedProxies;

    // Parses arguments (argv including the program name). On --help prints the help and exits 0;
    // on a bad value prints the error and exits 2.
    static ServerOptions parse(const QStringList &arguments);
};
