#pragma once

#include <QSqlDatabase>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

// Cuts a PostgreSQL connection whose statement outlasts its deadline. libpq waits for the
// server's answer without a limit of its own: a server that stops answering while its host
// still acknowledges the packets (a frozen process or machine) would hold the request, and
// the whole node with it. A cut connection fails the statement at once, as a lost one.
class StatementWatchdog {
public:
    StatementWatchdog();
    ~StatementWatchdog();
    StatementWatchdog(const StatementWatchdog &) = delete;
    StatementWatchdog &operator=(const StatementWatchdog &) = delete;

    // Watches the connection's socket from now until disarm(); nothing when the database is
    // not PostgreSQL or its socket is unknown.
    void arm(const QSqlDatabase &db, std::chrono::milliseconds limit);
    void disarm();

private:
    void watch();

    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_socket = -1;
    std::chrono::steady_clock::time_point m_deadline;
    bool m_stopping = false;
    std::thread m_thread;
};
