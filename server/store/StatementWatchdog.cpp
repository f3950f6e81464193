#include "StatementWatchdog.h"

#include <QSqlDriver>
#include <QVariant>

#include <libpq-fe.h>
#include <sys/socket.h>

namespace {

// The socket of a QPSQL connection, or -1. The driver's handle is libpq's connection.
int socketOf(const QSqlDatabase &db)
{
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    const char *type = handle.typeName();
    if (!type || (qstrcmp(type, "PGconn*") != 0 && qstrcmp(type, "pg_conn*") != 0))
        return -1;
    const PGconn *connection = *static_cast<PGconn *const *>(handle.constData());
    return connection ? PQsocket(connection) : -1;
}

} // namespace

StatementWatchdog::StatementWatchdog()
    : m_thread([this] { watch(); })
{
}

StatementWatchdog::~StatementWatchdog()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_one();
    m_thread.join();
}

void StatementWatchdog::arm(const QSqlDatabase &db, std::chrono::milliseconds limit)
{
    const int socket = socketOf(db);
    {
        const std::lock_guard lock(m_mutex);
        m_socket = socket;
        m_deadline = std::chrono::steady_clock::now() + limit;
    }
    m_changed.notify_one();
}

void StatementWatchdog::disarm()
{
    const std::lock_guard lock(m_mutex);
    m_socket = -1;
}

void StatementWatchdog::watch()
{
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        if (m_socket < 0) {
            m_changed.wait(lock);
        } else if (m_changed.wait_until(lock, m_deadline) == std::cv_status::timeout
            && m_socket >= 0 && std::chrono::steady_clock::now() >= m_deadline) {
            // The socket stays open (libpq owns it); reading it now ends at once.
            ::shutdown(m_socket, SHUT_RDWR);
            m_socket = -1;
        }
    }
}
