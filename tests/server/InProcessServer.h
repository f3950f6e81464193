#pragma once

#include "GameServer.h"
#include "ManualClock.h"

#include <QStringList>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>

#include <functional>
#include <memory>

// The game server in the test's own process, on a free loopback port with a throw-away
// database and a clock the test moves: timeouts and limits are tested without waiting. The
// database is a SQLite file, or with TOSSWICK_TEST_BACKEND=postgres a new database of the
// executable's PostgresCluster.
class InProcessServer {
public:
    // Where the server runs: on the test's thread, answering while the test waits for a reply,
    // or on a thread of its own, answering also while the test's thread is busy (holding a
    // lock in the database, say). Move the clock only while such a server is idle.
    enum class Thread { Test, Own };
    // How long a heartbeat keeps its player online, written down here rather than taken from
    // the server, so that a changed period fails the tests.
    static constexpr qint64 presenceMs = 10000;

    InProcessServer() = default;
    ~InProcessServer();

    // Starts it with the command line's defaults and these arguments; false with errorText().
    bool start(const QStringList &arguments = {}, Thread thread = Thread::Test);
    // Starts it as another node on `first`'s database.
    bool startBeside(const InProcessServer &first, const QStringList &arguments = {},
        Thread thread = Thread::Test);
    // The --db argument it runs on.
    QString database() const { return m_database; }
    QString errorText() const { return m_error; }
    // The arguments that switch the per-client limits off, for tests that make many players
    // from one address.
    static QStringList withoutRateLimits();

    // Runs `work` on the server's own thread (Thread::Own) without waiting for it.
    void postToItsThread(std::function<void()> work);

    QUrl httpUrl() const;
    QUrl wsUrl() const;
    ManualClock &clock() { return m_clock; }

private:
    bool startOn(const QString &database, const QStringList &arguments, Thread thread);

    QTemporaryDir m_dir;
    ManualClock m_clock;
    QString m_database;
    std::unique_ptr<QThread> m_thread;
    // Lives on m_thread, for calls made there.
    std::unique_ptr<QObject> m_threadContext;
    std::unique_ptr<GameServer> m_server;
    QString m_error;
};
