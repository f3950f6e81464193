#pragma once

#include "wire/Expected.h"

#include <QJsonObject>
#include <QString>

#include <optional>

// The signed-in guest player (the reply of GET me, and inside a new session).
struct Player {
    qint64 id = 0;
    QString name;
    std::optional<QString> email;
    // The room the server considers the player's current one.
    std::optional<qint64> activeRoomId;

    // Absent optional members are left out.
    QJsonObject toJson() const;
    static Expected<Player, QString> fromJson(const QJsonObject &object);
    bool operator==(const Player &) const = default;
};
