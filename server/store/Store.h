#pragma once

#include "DatabaseUrl.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>

class StatementWatchdog;

struct PlayerRow {
    qint64 id = 0;
    QString name;
    std::optional<qint64> activeRoomId;
};

// The durable state in SQLite (WAL) or PostgreSQL: the connection, the schema, settings and
// players.
// RoomStore and RoundStore read and write their tables through it. Each state change runs
// inside one Transaction; a failed statement makes the transaction roll back.
class Store {
public:
    // Begins a transaction; it is rolled back unless commit() succeeds.
    class Transaction {
    public:
        explicit Transaction(Store &store);
        ~Transaction();
        Transaction(const Transaction &) = delete;
        Transaction &operator=(const Transaction &) = delete;

        // False (and rolled back) when a statement inside failed or the commit did.
        bool commit();
        // Queues an event that goes out if and only if the transaction commits: PostgreSQL
        // sends it to every listener with NOTIFY inside the transaction; both backends hand
        // it to the committed handler right after the commit.
        void announce(const QString &payload);

    private:
        Store &m_store;
        bool m_open = false;
        QStringList m_announced;
    };

    // The channel of the announcements on PostgreSQL.
    static constexpr char16_t eventChannel[] = u"room_events";

    Store();
    ~Store();
    Store(const Store &) = delete;
    Store &operator=(const Store &) = delete;

    // Opens the database that `location` names (see DatabaseUrl) and brings its schema up to
    // date in one transaction. A SQLite file is created with its missing directories for the
    // owner only, looser modes of existing files are narrowed (they hold the app secret), and
    // it must be writable and pass quick_check. Otherwise false, with errorText() one line
    // naming the database (its password masked) and the problem, e.g. "database /x/y.sqlite
    // is read-only".
    bool open(const QString &location);
    QString errorText() const { return m_error; }
    DatabaseUrl::Backend backend() const { return m_backend; }
    // Where the database is, for another connection to it.
    const DatabaseUrl &url() const { return m_url; }
    // Opens a PostgreSQL connection named `connection` with the options the store uses,
    // under this application name (pg_stat_activity shows it); false with `error` set.
    static bool openPostgresConnection(const QString &connection, const DatabaseUrl &url,
        const QString &applicationName, QString &error);

    // Receives the announcements of each committed transaction, in order.
    void setCommittedHandler(std::function<void(const QStringList &)> handler)
    {
        m_committed = std::move(handler);
    }

    // Inside a transaction, makes other connections that lock the room wait until it ends, so
    // that reading a room and then writing it is not interleaved with another server process
    // doing the same (PostgreSQL's READ COMMITTED would let both read the old state). SQLite
    // has a single server process, whose requests run one after the other: nothing to do.
    // False when the statement failed, which spoils the transaction.
    bool lockRoom(qint64 roomId);

    // Whether the database answers a trivial query.
    bool ping() const;

    // Whether the connection to PostgreSQL was found broken (the server restarted, the network
    // dropped it) and is not back. A broken connection is replaced at the next statement or
    // transaction outside a transaction, at most once a second; until then statements fail at
    // once.
    bool isUnavailable() const { return m_lost; }
    // How many times the connection was found broken: a change during a piece of work means
    // that what it read may be missing.
    quint64 connectionLosses() const { return m_losses; }

    QString setting(const QString &key) const;
    // The stored value, storing `value` first when there is none: nodes starting together
    // all end up with the first one's.
    QString settingOr(const QString &key, const QString &value);

    qint64 createPlayer(const QString &name, const QByteArray &tokenHash);
    std::optional<PlayerRow> playerByTokenHash(const QByteArray &tokenHash) const;
    std::optional<PlayerRow> player(qint64 id) const;
    void setActiveRoom(qint64 playerId, std::optional<qint64> roomId);

    // A prepared statement on the store's connection, the values bound to its placeholders
    // in order. Statements are prepared once per text and shared: read a statement's rows
    // before preparing the same text again.
    QSqlQuery prepare(const QString &statement, const QVariantList &values = {}) const;
    // Executes it; a failure is logged and spoils the transaction under way. A query's rows
    // are all read here, so that no statement holds SQLite's read lock after it.
    bool run(QSqlQuery &query) const;
    // Prepares and runs a statement whose rows nobody reads.
    bool execute(const QString &statement, const QVariantList &values) const;
    // SQL NULL for none.
    static QVariant nullable(std::optional<qint64> value);

private:
    bool exec(const QString &statement);
    // run() with a deadline, after which the connection is cut.
    bool runWithin(QSqlQuery &query, std::chrono::milliseconds limit) const;
    // Watches the statement that follows (PostgreSQL only) until guarded() ends.
    void guard(std::chrono::milliseconds limit) const;
    void guarded() const;
    // Marks the connection lost when the failure says it is.
    void noteFailure(const QSqlError &error) const;
    // Replaces a lost connection when allowed (see isUnavailable()); whether one is open.
    bool reconnect() const;
    bool openSqlite(const QString &path);
    bool openChecked(const QString &path);
    bool openPostgres(const DatabaseUrl &url);
    bool migrate();
    int schemaVersion();

    QString m_connection;
    DatabaseUrl m_url;
    std::function<void(const QStringList &)> m_committed;
    DatabaseUrl::Backend m_backend = DatabaseUrl::Backend::Sqlite;
    QString m_error;
    mutable bool m_failed = false;
    mutable bool m_inTransaction = false;
    mutable bool m_lost = false;
    mutable quint64 m_losses = 0;
    // Since the connection was found lost or last tried again.
    mutable QElapsedTimer m_sinceAttempt;
    std::unique_ptr<StatementWatchdog> m_watchdog;
    // Preparing costs more than running most statements; the texts are a fixed few.
    mutable std::unordered_map<QString, QSqlQuery> m_statements;
};
