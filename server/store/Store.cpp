#include "Store.h"

#include "Migrations.h"
#include "StatementWatchdog.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QStringList>
#include <QUuid>
#include <QVariant>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

// Far more than the store's statements, so that clearing never happens in practice.
constexpr qsizetype maxStatements = 256;
// A PostgreSQL that is away is not asked more often: a connection attempt may take up to
// connect_timeout, during which the server answers nobody.
constexpr qint64 reconnectIntervalMs = 1000;
// Longer than the server's statement_timeout, which ends a statement waiting for a lock with
// an error of its own; short enough that a request is answered within 10 s.
constexpr std::chrono::milliseconds statementLimit { 7000 };
// A load balancer asks often and waits little: the answer comes within a second.
constexpr std::chrono::milliseconds pingLimit { 800 };

// Another handle on the same prepared statement. Qt deprecates copying queries because copies
// share one result; sharing the prepared statement is all the cache wants.
QSqlQuery sharing(const QSqlQuery &query)
{
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    return QSqlQuery(query);
    QT_WARNING_POP
}

std::optional<PlayerRow> readPlayer(QSqlQuery &query)
{
    if (!query.next())
        return std::nullopt;
    PlayerRow row;
    row.id = query.value(0).toLongLong();
    row.name = query.value(1).toString();
    if (!query.value(2).isNull())
        row.activeRoomId = query.value(2).toLongLong();
    return row;
}

// SQLite's primary result codes, as QSqlError::nativeErrorCode() carries them.
enum SqliteCode { Perm = 3, ReadOnly = 8, Corrupt = 11, NotADatabase = 26 };

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool isReadOnlyError(int error)
{
    return error == EACCES || error == EPERM || error == EROFS;
}

// Makes the missing directories of an absolute path, for the owner only.
bool makeDirectories(const QByteArray &directory)
{
    struct stat status { };
    if (::stat(directory.constData(), &status) == 0) {
        if (S_ISDIR(status.st_mode))
            return true;
        errno = ENOTDIR;
        return false;
    }
    const qsizetype slash = directory.lastIndexOf('/');
    if (slash > 0 && !makeDirectories(directory.left(slash)))
        return false;
    return ::mkdir(directory.constData(), 0700) == 0 || errno == EEXIST;
}

const QString fileSuffixes[] = { QString(), u"-wal"_s, u"-shm"_s };

// Why the database's files cannot be used, or an empty text. A new file is created 0600, and
// SQLite gives -wal and -shm the mode of the main file.
QString checkFiles(const QString &path)
{
    const QString directory = QFileInfo(path).absolutePath();
    if (!makeDirectories(QFile::encodeName(directory)))
        return u"cannot be created: no directory %1 (%2)"_s.arg(directory, errnoText(errno));
    const QByteArray mainFile = QFile::encodeName(path);
    const int created = ::open(mainFile.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (created >= 0)
        ::close(created);
    else if (errno != EEXIST && isReadOnlyError(errno))
        return u"cannot be created: directory %1 is read-only"_s.arg(directory);
    for (const QString &suffix : fileSuffixes) {
        const int descriptor
            = ::open(QFile::encodeName(path + suffix).constData(), O_RDWR | O_CLOEXEC);
        const int error = errno;
        if (descriptor >= 0) {
            ::close(descriptor);
        } else if (isReadOnlyError(error)) {
            return suffix.isEmpty() ? u"is read-only"_s : u"is read-only (%1)"_s.arg(path + suffix);
        } else if (error != ENOENT || suffix.isEmpty()) {
            return u"cannot be opened (%1)"_s.arg(errnoText(error));
        }
    }
    // WAL creates the -wal and -shm files beside the database at each start.
    if (::faccessat(AT_FDCWD, QFile::encodeName(directory).constData(), W_OK | X_OK, AT_EACCESS)
        != 0)
        return u"is in a read-only directory (%1)"_s.arg(directory);
    return {};
}

// Takes group and other access away from the database's files, which hold the app secret and
// every room's events; done once the file proved to be our database.
QString narrowModes(const QString &path)
{
    QStringList narrowed;
    for (const QString &suffix : fileSuffixes) {
        const QByteArray file = QFile::encodeName(path + suffix);
        struct stat status { };
        if (::stat(file.constData(), &status) != 0 || (status.st_mode & 0077) == 0)
            continue;
        const mode_t mode = status.st_mode & 0777;
        if (::chmod(file.constData(), mode & 0700) != 0) {
            return u"is open to other users and cannot be made owner-only (%1)"_s.arg(
                errnoText(errno));
        }
        narrowed += u"%1 (was %2)"_s.arg(path + suffix).arg(uint(mode), 4, 8, QLatin1Char('0'));
    }
    if (!narrowed.isEmpty()) {
        std::fprintf(
            stderr, "database files made owner-only: %s\n", qPrintable(narrowed.join(u", "_s)));
    }
    return {};
}

// Whether a PostgreSQL failure means the connection is gone: failures of libpq itself carry
// no SQLSTATE, the server's own about the connection class 08 or 57P (shut down).
bool isConnectionLoss(const QSqlError &error)
{
    const QString code = error.nativeErrorCode();
    return error.type() == QSqlError::ConnectionError || code.isEmpty() || code.startsWith(u"08"_s)
        || code.startsWith(u"57P"_s);
}

QString problemOf(const QSqlError &error, DatabaseUrl::Backend backend)
{
    if (backend == DatabaseUrl::Backend::Postgres)
        return u"cannot be used (%1)"_s.arg(error.databaseText().simplified());
    switch (error.nativeErrorCode().toInt() & 0xff) {
    case Perm:
    case ReadOnly:
        return u"is read-only (%1)"_s.arg(error.databaseText());
    case Corrupt:
        return u"is damaged (%1)"_s.arg(error.databaseText());
    case NotADatabase:
        return u"is not a database"_s;
    default:
        return u"cannot be opened (%1)"_s.arg(error.text());
    }
}

// Adds the columns that builds before schema_version added one by one and a SQLite file of
// theirs may lack; false with the database's error text in `error`.
bool addMissingColumns(const QSqlDatabase &db, QString &error)
{
    for (const Migrations::AddedColumn &column : Migrations::sqliteAddedColumns()) {
        const QString table = QString::fromLatin1(column.table);
        const QString name = QString::fromLatin1(column.name);
        QSqlQuery query(db);
        query.prepare(u"SELECT 1 FROM pragma_table_info(?) WHERE name = ?"_s);
        query.addBindValue(table);
        query.addBindValue(name);
        if (!query.exec()) {
            error = query.lastError().text();
            return false;
        }
        if (query.next())
            continue;
        if (!query.exec(u"ALTER TABLE %1 ADD COLUMN %2 %3"_s.arg(
                table, name, QString::fromLatin1(column.definition)))) {
            error = query.lastError().text();
            return false;
        }
    }
    return true;
}

// Nodes starting together on one PostgreSQL database upgrade its schema one after the other.
constexpr qint64 migrationLockKey = 0x746f7373; // "toss"

} // namespace

Store::Transaction::Transaction(Store &store)
    : m_store(store)
{
    m_store.m_failed = false;
    QSqlDatabase db = QSqlDatabase::database(m_store.m_connection, false);
    m_open = m_store.reconnect();
    m_store.guard(statementLimit);
    m_open = m_open && db.transaction();
    m_store.guarded();
    if (!m_open && !m_store.m_lost) {
        m_store.noteFailure(db.lastError());
        std::fprintf(stderr, "database error: cannot begin a transaction\n");
    }
    m_store.m_inTransaction = m_open;
}

Store::Transaction::~Transaction()
{
    if (!m_open)
        return;
    m_store.guard(statementLimit);
    QSqlDatabase::database(m_store.m_connection, false).rollback();
    m_store.guarded();
    m_store.m_inTransaction = false;
}

bool Store::Transaction::commit()
{
    if (!m_open)
        return false;
    QSqlDatabase db = QSqlDatabase::database(m_store.m_connection, false);
    if (m_store.m_backend == DatabaseUrl::Backend::Postgres) {
        for (const QString &payload : std::as_const(m_announced)) {
            m_store.execute(
                u"SELECT pg_notify(?, ?)"_s, { QString::fromUtf16(Store::eventChannel), payload });
        }
    }
    m_open = false;
    m_store.m_inTransaction = false;
    m_store.guard(statementLimit);
    const bool committed = !m_store.m_failed && db.commit();
    m_store.guarded();
    if (!committed) {
        if (!m_store.m_failed)
            m_store.noteFailure(db.lastError());
        db.rollback();
        return false;
    }
    if (m_store.m_committed && !m_announced.isEmpty())
        m_store.m_committed(std::exchange(m_announced, {}));
    return true;
}

void Store::Transaction::announce(const QString &payload)
{
    m_announced += payload;
}

Store::Store()
    : m_connection(QUuid::createUuid().toString(QUuid::WithoutBraces))
{
}

Store::~Store()
{
    m_watchdog.reset();
    m_statements.clear();
    QSqlDatabase::database(m_connection, false).close();
    QSqlDatabase::removeDatabase(m_connection);
}

bool Store::open(const QString &location)
{
    const DatabaseUrl url = DatabaseUrl::parse(location);
    m_url = url;
    m_backend = url.backend;
    m_error = url.problem;
    if (m_error.isEmpty()) {
        if (m_backend == DatabaseUrl::Backend::Sqlite)
            openSqlite(url.path);
        else if (openPostgres(url))
            migrate();
    }
    if (!m_error.isEmpty()) {
        m_error = u"database %1 %2"_s.arg(DatabaseUrl::masked(location), m_error);
        return false;
    }
    return true;
}

bool Store::openSqlite(const QString &path)
{
    m_error = checkFiles(path);
    if (m_error.isEmpty() && openChecked(path) && migrate())
        m_error = narrowModes(path);
    return m_error.isEmpty();
}

bool Store::openChecked(const QString &path)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, m_connection);
    db.setDatabaseName(path);
    if (!db.open()) {
        m_error = problemOf(db.lastError(), m_backend);
        return false;
    }
    QSqlQuery query(db);
    if (!query.exec(u"PRAGMA journal_mode=WAL"_s) || !query.next()) {
        m_error = problemOf(query.lastError(), m_backend);
        return false;
    }
    if (query.value(0).toString() != u"wal"_s) {
        m_error
            = u"cannot use write-ahead logging (journal mode %1)"_s.arg(query.value(0).toString());
        return false;
    }
    // WAL with synchronous=NORMAL: a committed transaction is in the WAL file (the OS cache)
    // when commit returns, so it survives any kill of this process; only a power loss may drop
    // the last commits. FULL would add one fsync per request for that case alone.
    if (!exec(u"PRAGMA synchronous=NORMAL"_s) || !exec(u"PRAGMA foreign_keys=ON"_s)
        || !exec(u"PRAGMA busy_timeout=5000"_s))
        return false;
    // A damaged file would otherwise fail request after request; the first findings say where.
    if (!query.exec(u"PRAGMA quick_check(1)"_s)) {
        m_error = problemOf(query.lastError(), m_backend);
        return false;
    }
    QStringList findings;
    while (query.next())
        findings += query.value(0).toString().simplified();
    if (findings != QStringList { u"ok"_s }) {
        m_error = u"is damaged (quick_check: %1)"_s.arg(findings.join(u"; "_s));
        return false;
    }
    return true;
}

bool Store::openPostgres(const DatabaseUrl &url)
{
    if (!openPostgresConnection(m_connection, url, u"tosswick-server"_s, m_error))
        return false;
    m_watchdog = std::make_unique<StatementWatchdog>();
    return true;
}

bool Store::openPostgresConnection(const QString &connection, const DatabaseUrl &url,
    const QString &applicationName, QString &error)
{
    QSqlDatabase db = QSqlDatabase::contains(connection)
        ? QSqlDatabase::database(connection, false)
        : QSqlDatabase::addDatabase(u"QPSQL"_s, connection);
    if (!db.isValid()) {
        error = u"cannot be opened: Qt's PostgreSQL driver is missing (libqt6sql6-psql)"_s;
        return false;
    }
    db.setHostName(url.host);
    db.setPort(url.port);
    db.setUserName(url.user);
    db.setPassword(url.password);
    db.setDatabaseName(url.database);
    // Neither an unreachable server nor a statement waiting for a lock may hold a request (or
    // the start) for long; the statement limit matches SQLite's busy_timeout.
    // A connection whose peer vanished without closing it (a network cut, a host gone) is
    // given up after 5 s of unanswered data, or 9 s idle, rather than TCP's many minutes.
    db.setConnectOptions(u"connect_timeout=5;application_name=%1;"
                         "keepalives_idle=5;keepalives_interval=2;keepalives_count=2;"
                         "tcp_user_timeout=5000;"
                         "options='-c statement_timeout=5000 -c client_min_messages=warning'"_s.arg(
                             applicationName));
    if (!db.open()) {
        error = u"cannot be opened (%1)"_s.arg(db.lastError().databaseText().simplified());
        return false;
    }
    return true;
}

// Brings the schema to the latest version in one transaction: a failed step leaves the
// database as it was. BEGIN IMMEDIATE takes SQLite's write lock, so a database that cannot be
// written fails here.
bool Store::migrate()
{
    const bool postgres = m_backend == DatabaseUrl::Backend::Postgres;
    const auto fail = [this] {
        QSqlQuery(QSqlDatabase::database(m_connection)).exec(u"ROLLBACK"_s);
        return false;
    };
    if (!exec(postgres ? u"BEGIN"_s : u"BEGIN IMMEDIATE"_s))
        return false;
    // A long upgrade may take longer than a request may; the lock waits for another node's.
    if (postgres
        && (!exec(u"SET LOCAL statement_timeout = '5min'"_s)
            || !exec(u"SELECT pg_advisory_xact_lock(%1)"_s.arg(migrationLockKey))))
        return fail();
    if (!exec(u"CREATE TABLE IF NOT EXISTS schema_version (version INTEGER PRIMARY KEY, "
              "applied_at BIGINT NOT NULL)"_s))
        return fail();
    const int current = schemaVersion();
    const int latest = Migrations::latestVersion();
    if (current < 0)
        return fail();
    if (current > latest) {
        m_error = u"is at schema version %1; this server knows up to %2"_s.arg(current).arg(latest);
        return fail();
    }
    for (int version = current + 1; version <= latest; ++version) {
        for (const QString &statement : Migrations::step(version, m_backend)) {
            if (!exec(statement))
                return fail();
        }
        // Version 1 made the tables a file of older builds lacked; the columns come now.
        if (version == 1 && !postgres
            && !addMissingColumns(QSqlDatabase::database(m_connection), m_error))
            return fail();
        QSqlQuery record(QSqlDatabase::database(m_connection));
        record.prepare(u"INSERT INTO schema_version (version, applied_at) VALUES (?, ?)"_s);
        record.addBindValue(version);
        record.addBindValue(QDateTime::currentMSecsSinceEpoch());
        if (!record.exec()) {
            m_error = problemOf(record.lastError(), m_backend);
            return fail();
        }
    }
    return exec(u"COMMIT"_s) || fail();
}

// The version recorded, 0 for none, -1 with errorText() when it cannot be read.
int Store::schemaVersion()
{
    QSqlQuery query(QSqlDatabase::database(m_connection));
    if (!query.exec(u"SELECT COALESCE(MAX(version), 0) FROM schema_version"_s) || !query.next()) {
        m_error = problemOf(query.lastError(), m_backend);
        return -1;
    }
    return query.value(0).toInt();
}

bool Store::exec(const QString &statement)
{
    QSqlQuery query(QSqlDatabase::database(m_connection));
    if (!query.exec(statement)) {
        m_error = problemOf(query.lastError(), m_backend);
        return false;
    }
    return true;
}

QSqlQuery Store::prepare(const QString &statement, const QVariantList &values) const
{
    if (!reconnect())
        return QSqlQuery(QSqlDatabase::database(m_connection, false)); // run() refuses it
    auto cached = m_statements.find(statement);
    if (cached == m_statements.end()) {
        QSqlQuery query(QSqlDatabase::database(m_connection, false));
        if (!query.prepare(statement)) {
            // Not kept: run() reports the error.
            for (const QVariant &value : values)
                query.addBindValue(value);
            return query;
        }
        if (m_statements.size() >= maxStatements)
            m_statements.clear();
        cached = m_statements.emplace(statement, std::move(query)).first;
    }
    QSqlQuery query = sharing(cached->second);
    for (qsizetype i = 0; i < values.size(); ++i)
        query.bindValue(int(i), values.at(i));
    return query;
}

bool Store::run(QSqlQuery &query) const
{
    return runWithin(query, statementLimit);
}

bool Store::runWithin(QSqlQuery &query, std::chrono::milliseconds limit) const
{
    if (m_lost) {
        m_failed = true;
        return false;
    }
    guard(limit);
    const bool done = query.exec();
    guarded();
    if (!done) {
        m_failed = true;
        std::fprintf(stderr, "database error: %s\n", qPrintable(query.lastError().text()));
        noteFailure(query.lastError());
        return false;
    }
    // Stepping to the end resets the statement, which ends its read transaction; the rows
    // stay in the query for the caller.
    if (query.isSelect()) {
        query.last();
        query.seek(-1);
    }
    return true;
}

bool Store::execute(const QString &statement, const QVariantList &values) const
{
    QSqlQuery query = prepare(statement, values);
    return run(query);
}

QVariant Store::nullable(std::optional<qint64> value)
{
    return value ? QVariant(*value) : QVariant(QMetaType(QMetaType::LongLong));
}

QString Store::setting(const QString &key) const
{
    QSqlQuery query = prepare(u"SELECT value FROM settings WHERE key = ?"_s, { key });
    return run(query) && query.next() ? query.value(0).toString() : QString();
}

QString Store::settingOr(const QString &key, const QString &value)
{
    execute(u"INSERT INTO settings (key, value) VALUES (?, ?) ON CONFLICT(key) DO NOTHING"_s,
        { key, value });
    return setting(key);
}

qint64 Store::createPlayer(const QString &name, const QByteArray &tokenHash)
{
    QSqlQuery query
        = prepare(u"INSERT INTO players (name, token_hash) VALUES (?, ?) RETURNING id"_s,
            { name, tokenHash });
    const qint64 id = run(query) && query.next() ? query.value(0).toLongLong() : 0;
    // SQLite finishes the insert's statement only when it is reset.
    query.finish();
    return id;
}

std::optional<PlayerRow> Store::playerByTokenHash(const QByteArray &tokenHash) const
{
    QSqlQuery query = prepare(
        u"SELECT id, name, active_room_id FROM players WHERE token_hash = ?"_s, { tokenHash });
    run(query);
    return readPlayer(query);
}

std::optional<PlayerRow> Store::player(qint64 id) const
{
    QSqlQuery query
        = prepare(u"SELECT id, name, active_room_id FROM players WHERE id = ?"_s, { id });
    run(query);
    return readPlayer(query);
}

void Store::setActiveRoom(qint64 playerId, std::optional<qint64> roomId)
{
    execute(
        u"UPDATE players SET active_room_id = ? WHERE id = ?"_s, { nullable(roomId), playerId });
}

bool Store::ping() const
{
    QSqlQuery query = prepare(u"SELECT 1"_s);
    return runWithin(query, pingLimit) && query.next();
}

void Store::guard(std::chrono::milliseconds limit) const
{
    if (m_watchdog)
        m_watchdog->arm(QSqlDatabase::database(m_connection, false), limit);
}

void Store::guarded() const
{
    if (m_watchdog)
        m_watchdog->disarm();
}

void Store::noteFailure(const QSqlError &error) const
{
    if (m_backend != DatabaseUrl::Backend::Postgres || m_lost || !isConnectionLoss(error))
        return;
    m_lost = true;
    ++m_losses;
    m_sinceAttempt.start();
    std::fprintf(stderr, "database connection lost; requests are refused until it is back\n");
}

bool Store::reconnect() const
{
    if (!m_lost)
        return true;
    // Statements of a transaction begun on the lost connection must not run on a new one.
    if (m_inTransaction || !m_sinceAttempt.hasExpired(reconnectIntervalMs))
        return false;
    m_sinceAttempt.start();
    // Prepared statements belong to the old connection.
    m_statements.clear();
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    db.close();
    if (!db.open())
        return false;
    m_lost = false;
    std::fprintf(stderr, "database connection restored\n");
    return true;
}

bool Store::lockRoom(qint64 roomId)
{
    if (m_backend == DatabaseUrl::Backend::Sqlite)
        return true;
    return execute(u"SELECT id FROM rooms WHERE id = ? FOR UPDATE"_s, { roomId });
}
