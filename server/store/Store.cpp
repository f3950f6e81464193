#include "Store.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

using namespace Qt::StringLiterals;

namespace {

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

} // namespace

Store::Store() : m_connection(QUuid::createUuid().toString(QUuid::WithoutBraces)) {}

Store::~Store()
{
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
    // WAL with synchronous=NORMAL: a committed transaction survives a process kill (the WAL is
    // in the OS cache); only a power loss may drop the last commits, and no fsync per request.
    return exec(u"PRAGMA journal_mode=WAL"_s) && exec(u"PRAGMA synchronous=NORMAL"_s)
        && exec(u"PRAGMA foreign_keys=ON"_s)
        && exec(u"CREATE TABLE IF NOT EXISTS settings (key TEXT PRIMARY KEY, value TEXT NOT NULL)"_s)
        && exec(u"CREATE TABLE IF NOT EXISTS players (id INTEGER PRIMARY KEY, name TEXT NOT NULL, "
                "token_hash BLOB NOT NULL UNIQUE, active_room_id INTEGER)"_s)
        && exec(u"CREATE TABLE IF NOT EXISTS rooms (id INTEGER PRIMARY KEY, owner_id INTEGER NOT NULL, "
                "name TEXT NOT NULL, invite_code TEXT NOT NULL UNIQUE, ball_owner_id INTEGER, "
                "cooldown_until INTEGER)"_s)
        && exec(u"CREATE TABLE IF NOT EXISTS members (room_id INTEGER NOT NULL REFERENCES rooms(id) "
                "ON DELETE CASCADE, player_id INTEGER NOT NULL REFERENCES players(id), "
                "joined INTEGER NOT NULL, PRIMARY KEY (room_id, player_id))"_s);
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

QString Store::setting(const QString &key) const
{
    QSqlQuery query(QSqlDatabase::database(m_connection));
    query.prepare(u"SELECT value FROM settings WHERE key = ?"_s);
    query.addBindValue(key);
    return query.exec() && query.next() ? query.value(0).toString() : QString();
}

void Store::setSetting(const QString &key, const QString &value)
{
    QSqlQuery query(QSqlDatabase::database(m_connection));
    query.prepare(u"INSERT INTO settings (key, value) VALUES (?, ?) "
                  "ON CONFLICT(key) DO UPDATE SET value = excluded.value"_s);
    query.addBindValue(key);
    query.addBindValue(value);
    query.exec();
}

qint64 Store::createPlayer(const QString &name, const QByteArray &tokenHash)
{
    QSqlQuery query(QSqlDatabase::database(m_connection));
    query.prepare(u"INSERT INTO players (name, token_hash) VALUES (?, ?)"_s);
    query.addBindValue(name);
    query.addBindValue(tokenHash);
    return query.exec() ? query.lastInsertId().toLongLong() : 0;
}

std::optional<PlayerRow> Store::playerByTokenHash(const QByteArray &tokenHash) const
{
    QSqlQuery query(QSqlDatabase::database(m_connection));
    query.prepare(u"SELECT id, name, active_room_id FROM players WHERE token_hash = ?"_s);
    query.addBindValue(tokenHash);
    query.exec();
    return readPlayer(query);
}

std::optional<PlayerRow> Store::player(qint64 id) const
{
    QSqlQuery query(QSqlDatabase::database(m_connection));
    query.prepare(u"SELECT id, name, active_room_id FROM players WHERE id = ?"_s);
    query.addBindValue(id);
    query.exec();
    return readPlayer(query);
}

bool Store::isMember(qint64 roomId, qint64 playerId) const
{
    QSqlQuery query(QSqlDatabase::database(m_connection));
    query.prepare(u"SELECT 1 FROM members WHERE room_id = ? AND player_id = ?"_s);
    query.addBindValue(roomId);
    query.addBindValue(playerId);
    return query.exec() && query.next();
}
