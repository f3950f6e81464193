#pragma once

#include "net/Expected.h"

#include <QJsonObject>
#include <QString>

// A ball position with its velocity, in field units (positions 0..1 across the square field,
// velocities in field sides per second): what a sender sends with the ball, and each release.
struct Entry {
    double x = 0;
    double y = 0;
    double vx = 0;
    double vy = 0;

    // {"x", "y", "vx", "vy"} as JSON numbers, the form request bodies carry.
    QJsonObject toJson() const;

    static Expected<Entry, QString> fromJson(const QJsonObject &object);
    bool operator==(const Entry &) const = default;
};
