#pragma once

#include "wire/Expected.h"

#include <QJsonObject>
#include <QString>

#include <cmath>

// The ball's centre at one frame of a tracked flight, in field units (see Entry.h), with the time
// in seconds since the release. Made by the scene and sent with a result.
struct CrossingSample {
    double x = 0;
    double y = 0;
    double t = 0;

    bool isFinite() const { return std::isfinite(x) && std::isfinite(y) && std::isfinite(t); }

    // {"x", "y", "t"} as JSON numbers.
    QJsonObject toJson() const;
    static Expected<CrossingSample, QString> fromJson(const QJsonObject &object);
    bool operator==(const CrossingSample &) const = default;
};
