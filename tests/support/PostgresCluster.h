#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A private PostgreSQL server for one test executable: initdb in a temporary directory,
// listening on a free loopback port and on a socket inside that directory, thrown away at
// exit. PostgreSQL refuses to run as root, so under root the server runs as the postgres
// account in a directory handed to it. Socket connections are trusted; TCP ones need
// `password` for the superuser `user`.
class PostgresCluster {
public:
    static constexpr auto user = "tosswick";
    static constexpr auto password = "cluster-password";

    PostgresCluster() = default;
    ~PostgresCluster();
    PostgresCluster(const PostgresCluster &) = delete;
    PostgresCluster &operator=(const PostgresCluster &) = delete;

    // The executable's cluster, started on first use; check errorText() when a call fails.
    static PostgresCluster &shared();
    // Whether the tests run on PostgreSQL (TOSSWICK_TEST_BACKEND=postgres) rather than SQLite.
    static bool selected();
    // `file` on SQLite; on PostgreSQL the URL of a new database of the shared cluster, or empty
    // with the reason in `error`.
    static QString testDatabase(const QString &file, QString &error);

    // Starts it; after stop(), again on the same port and data.
    bool start();
    // Shuts it down in pg_ctl's `mode`: "fast" tells the connections and closes them, as an
    // administrator's shutdown does; "immediate" drops them, as a crash would.
    bool stop(const QString &mode = QStringLiteral("fast"));
    // Makes an empty database and returns its URL through the socket, or empty.
    QString createDatabase();
    // Runs SQL in `database` as the superuser; false with errorText() when it fails.
    bool psql(const QString &database, const QString &sql);

    quint16 port() const { return m_port; }
    QString socketDirectory() const;
    QString errorText() const { return m_error; }

private:
    bool run(const QString &program, const QStringList &arguments, bool asServerAccount);
    // At exit, without QProcess.
    void shutDown();
    bool launch();

    QTemporaryDir m_dir;
    quint16 m_port = 0;
    bool m_running = false;
    bool m_initialized = false;
    bool m_asPostgres = false;
    int m_databases = 0;
    QString m_error;
};
