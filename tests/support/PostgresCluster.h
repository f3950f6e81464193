#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A private PostgreSQL server on a free loopback port and a socket in a temporary directory, which
// a watchdog stops and removes once the test process is gone. Under root it runs as the postgres
// account. Socket connections are trusted; TCP ones need `password` for the superuser `user`.
class PostgresCluster {
public:
    static constexpr auto user = "tosswick";
    static constexpr auto password = "cluster-password";

    PostgresCluster() { m_dir.setAutoRemove(false); }
    PostgresCluster(const PostgresCluster &) = delete;
    PostgresCluster &operator=(const PostgresCluster &) = delete;

    // The executable's cluster, started on first use; check errorText() when a call fails.
    static PostgresCluster &shared();
    // Whether the tests run on PostgreSQL (TOSSWICK_TEST_BACKEND=postgres) rather than SQLite.
    static bool selected();
    // `file` on SQLite; else a new database of the shared cluster, or empty with `error`.
    static QString testDatabase(const QString &file, QString &error);

    // Starts it; after stop(), again on the same port and data.
    bool start();
    // Shuts it down as an administrator does: the connections are told and closed.
    bool stop();
    // Makes an empty database and returns its URL through the socket, or empty.
    QString createDatabase();

    quint16 port() const { return m_port; }
    QString errorText() const { return m_error; }

private:
    bool run(const QStringList &command, bool asServerAccount = true);
    QString path(const QString &name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
    quint16 m_port = 0;
    bool m_running = false;
    bool m_asPostgres = false;
    int m_databases = 0;
    QString m_error;
};
