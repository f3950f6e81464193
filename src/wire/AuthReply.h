#pragma once

#include "wire/Expected.h"
#include "wire/Player.h"

#include <QJsonObject>
#include <QString>

// A new guest session.
struct AuthReply {
    // The session's bearer token: it belongs in the credential store only.
    QString token;
    Player user;

    QJsonObject toJson() const;
    static Expected<AuthReply, QString> fromJson(const QJsonObject &object);
    bool operator==(const AuthReply &) const = default;
};
