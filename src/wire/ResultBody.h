#pragma once

#include "wire/BodyFields.h"
#include "wire/CrossingSample.h"
#include "wire/Expected.h"

#include <QJsonObject>
#include <QString>

// The body of round/result: the two frames around the moment a registered shot's ball went down
// through the rim line.
struct ResultBody : BodyFields::Throw {
    CrossingSample before;
    CrossingSample after;

    QJsonObject toJson() const;
    // As a server reads it (see BodyFields); the fault is the first wrong member's name.
    static Expected<ResultBody, QString> fromJson(const QJsonObject &body);
    bool operator==(const ResultBody &) const = default;
};
