#include "Store.h"

#include <QSqlError>
#include <QUuid>
#include <QVariant>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

// Far more than the store's statements, so that clearing never happens in practice.
constexpr qsizetype maxStatements = 256;

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

// Rooms never reuse an id (AUTOINCREMENT): scores of a deleted room stay in the players'
// totals and must not be mistaken for a later room's.
const char *const schema[] = {
    "CREATE TABLE IF NOT EXISTS settings (key TEXT PRIMARY KEY, value TEXT NOT NULL)",
    "CREATE TABLE IF NOT EXISTS players (id INTEGER PRIMARY KEY, name TEXT NOT NULL, "
    "token_hash BLOB NOT NULL UNIQUE, active_room_id INTEGER)",
    "CREATE TABLE IF NOT EXISTS rooms (id INTEGER PRIMARY KEY AUTOINCREMENT, "
    "owner_id INTEGER NOT NULL, name TEXT NOT NULL, invite_code TEXT NOT NULL UNIQUE, "
    "ball_owner_id INTEGER, cooldown_until INTEGER)",
    "CREATE TABLE IF NOT EXISTS members (room_id INTEGER NOT NULL REFERENCES rooms(id) "
    "ON DELETE CASCADE, player_id INTEGER NOT NULL REFERENCES players(id), "
    "joined INTEGER NOT NULL, PRIMARY KEY (room_id, player_id))",
    "CREATE INDEX IF NOT EXISTS members_by_player ON members (player_id)",
    "CREATE TABLE IF NOT EXISTS scores (room_id INTEGER NOT NULL, player_id INTEGER NOT NULL, "
    "points INTEGER NOT NULL DEFAULT 0, received INTEGER NOT NULL DEFAULT 0, "
    "misses INTEGER NOT NULL DEFAULT 0, streak INTEGER NOT NULL DEFAULT 0, "
    "best INTEGER NOT NULL DEFAULT 0, PRIMARY KEY (room_id, player_id))",
    "CREATE INDEX IF NOT EXISTS scores_by_player ON scores (player_id)",
    "CREATE TABLE IF NOT EXISTS rounds (id TEXT PRIMARY KEY, room_id INTEGER NOT NULL "
    "REFERENCES rooms(id) ON DELETE CASCADE, sender_id INTEGER NOT NULL, "
    "receiver_id INTEGER NOT NULL, request_id TEXT NOT NULL, state TEXT NOT NULL, "
    "nonce TEXT NOT NULL, entry_x REAL NOT NULL, entry_y REAL NOT NULL, entry_vx REAL NOT NULL, "
    "entry_vy REAL NOT NULL, ends_at INTEGER, deadline INTEGER NOT NULL, "
    "last_sequence INTEGER NOT NULL DEFAULT 0, UNIQUE (sender_id, request_id))",
    "CREATE INDEX IF NOT EXISTS rounds_in_play ON rounds (room_id, state)",
    "CREATE TABLE IF NOT EXISTS shots (round_id TEXT NOT NULL REFERENCES rounds(id) "
    "ON DELETE CASCADE, shot_id TEXT NOT NULL, x REAL NOT NULL, y REAL NOT NULL, "
    "vx REAL NOT NULL, vy REAL NOT NULL, PRIMARY KEY (round_id, shot_id))",
};

} // namespace

Store::Transaction::Transaction(Store &store)
    : m_store(store)
{
    m_store.m_failed = false;
    m_open = QSqlDatabase::database(m_store.m_connection, false).transaction();
    if (!m_open)
        std::fprintf(stderr, "database error: cannot begin a transaction\n");
}

Store::Transaction::~Transaction()
{
    if (m_open)
        QSqlDatabase::database(m_store.m_connection, false).rollback();
}

bool Store::Transaction::commit()
{
    if (!m_open)
        return false;
    QSqlDatabase db = QSqlDatabase::database(m_store.m_connection, false);
    m_open = false;
    if (m_store.m_failed || !db.commit()) {
        db.rollback();
        return false;
    }
    return true;
}

Store::Store()
    : m_connection(QUuid::createUuid().toString(QUuid::WithoutBraces))
{
}

Store::~Store()
{
    m_statements.clear();
    QSqlDatabase::database(m_connection, false).close();
    QSqlDatabase::removeDatabase(m_connection);
}

bool Store::open(const QString &path)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, m_connection);
    db.setDatabaseName(path);
    if (!db.open()) {
        m_error = db.lastError().text();
        return false;
    }
    // WAL with synchronous=NORMAL: a committed transaction is in the WAL file (the OS cache)
    // when commit returns, so it survives any kill of this process; only a power loss may drop
    // the last commits. FULL would add one fsync per request for that case alone.
    if (!exec(u"PRAGMA journal_mode=WAL"_s) || !exec(u"PRAGMA synchronous=NORMAL"_s)
        || !exec(u"PRAGMA foreign_keys=ON"_s) || !exec(u"PRAGMA busy_timeout=5000"_s))
        return false;
    for (const char *statement : schema) {
        if (!exec(QString::fromLatin1(statement)))
            return false;
    }
    return true;
}

bool Store::exec(const QString &statement)
{
    QSqlQuery query(QSqlDatabase::database(m_connection));
    if (!query.exec(statement)) {
        m_error = query.lastError().text();
        return false;
    }
    return true;
}

QSqlQuery Store::prepare(const QString &statement, const QVariantList &values) const
{
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
    if (!query.exec()) {
        m_failed = true;
        std::fprintf(stderr, "database error: %s\n", qPrintable(query.lastError().text()));
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

void Store::setSetting(const QString &key, const QString &value)
{
    execute(u"INSERT INTO settings (key, value) VALUES (?, ?) "
            "ON CONFLICT(key) DO UPDATE SET value = excluded.value"_s,
        { key, value });
}

qint64 Store::createPlayer(const QString &name, const QByteArray &tokenHash)
{
    QSqlQuery query
        = prepare(u"INSERT INTO players (name, token_hash) VALUES (?, ?)"_s, { name, tokenHash });
    return run(query) ? query.lastInsertId().toLongLong() : 0;
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
