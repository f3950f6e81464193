#pragma once

#include <QByteArray>
#include <QList>
#include <QSqlDatabase>
#include <QString>

#include <optional>

struct PlayerRow
{
    qint64 id = 0;
    QString name;
    std::optional<qint64> activeRoomId;
};

// The durable state in SQLite (WAL). Each public write is one transaction.
class Store
{
public:
    Store();
    ~Store();
    Store(const Store &) = delete;
    Store &operator=(const Store &) = delete;

    // Opens (creating as needed) the database file; false with errorText() on failure.
    bool open(const QString &path);
    QString errorText() const { return m_error; }

    QString setting(const QString &key) const;
    void setSetting(const QString &key, const QString &value);

    qint64 createPlayer(const QString &name, const QByteArray &tokenHash);
    std::optional<PlayerRow> playerByTokenHash(const QByteArray &tokenHash) const;
    std::optional<PlayerRow> player(qint64 id) const;

    bool isMember(qint64 roomId, qint64 playerId) const;

private:
    bool exec(const QString &statement);

    QString m_connection;
    QString m_error;
};
