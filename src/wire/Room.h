#pragma once

#include "wire/Expected.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

// One room of the player. Its identity in lists is id.
struct Room {
    qint64 id = 0;
    qint64 ownerId = 0;
    QString name;
    // The secret join code, shown to people as the Room ID.
    QString inviteCode;
    // Whoever holds the ball; none when nobody does.
    std::optional<qint64> ballOwnerId;
    // Until when the next pass is held back, as the server wrote it.
    std::optional<QString> cooldownUntil;

    // cooldownUntil as a time; none when absent or not a valid server timestamp.
    std::optional<QDateTime> cooldownUntilTime() const;

    // Absent optional members are left out.
    QJsonObject toJson() const;
    static Expected<Room, QString> fromJson(const QJsonObject &object);
    static Expected<QList<Room>, QString> listFromJson(const QJsonArray &array);
    bool operator==(const Room &) const = default;
};
