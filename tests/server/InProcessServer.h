#pragma once

#include "GameServer.h"
#include "ManualClock.h"

#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>

#include <memory>

// The game server in the test's own process, on a free loopback port with a throw-away
// database and a clock the test moves: timeouts and limits are tested without waiting. The
// database is a SQLite file, or with TOSSWICK_TEST_BACKEND=postgres a new database of the
// executable's PostgresCluster.
class InProcessServer {
public:
    InProcessServer() = default;

    // Starts it with the command line's defaults and these arguments, on a new database or
    // on `database` (another node's, for a cluster); false with errorText().
    bool start(const QStringList &arguments = {}, const QString &database = {});
    QString database() const { return m_database; }
    QString errorText() const { return m_error; }
    // The arguments that switch the per-client limits off, for tests that make many players
    // from one address.
    static QStringList withoutRateLimits();

    QUrl httpUrl() const;
    QUrl wsUrl() const;
    ManualClock &clock() { return m_clock; }

private:
    QTemporaryDir m_dir;
    ManualClock m_clock;
    std::unique_ptr<GameServer> m_server;
    QString m_database;
    QString m_error;
};
