#pragma once

#include "net/Expected.h"
#include "net/Player.h"

#include <QJsonObject>
#include <QString>

// A new guest session.
struct AuthReply {
    // The session's bearer token: it belongs in the credential store only.
    QString token;
    Player user;

    static Expected<AuthReply, QString> fromJson(const QJsonObject &object);
    bool operator==(const AuthReply &) const = default;
};
