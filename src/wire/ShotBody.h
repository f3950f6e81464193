#pragma once

#include "wire/BodyFields.h"
#include "wire/Entry.h"
#include "wire/Expected.h"

#include <QJsonObject>
#include <QString>

// The body of round/shot: a throw registered with its release, before its flight ends.
struct ShotBody : BodyFields::Throw {
    Entry release;

    QJsonObject toJson() const;
    // As a server reads it (see BodyFields); the fault is the first wrong member's name.
    static Expected<ShotBody, QString> fromJson(const QJsonObject &body);
    bool operator==(const ShotBody &) const = default;
};
