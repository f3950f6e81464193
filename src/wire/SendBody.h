#pragma once

#include "wire/Entry.h"
#include "wire/Expected.h"

#include <QJsonObject>
#include <QString>

#include <optional>

// The body of ball/send: the ball passed on with where it enters the receiver's screen.
struct SendBody {
    // Makes a repeated request open no second round.
    QString requestId;
    Entry entry;
    // None: any member who is online.
    std::optional<qint64> receiverId;

    QJsonObject toJson() const;
    // As a server reads it (see BodyFields); the fault is the first wrong member's name.
    static Expected<SendBody, QString> fromJson(const QJsonObject &body);
    bool operator==(const SendBody &) const = default;
};
