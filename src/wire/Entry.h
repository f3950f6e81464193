#pragma once

#include "wire/Expected.h"

#include <QJsonObject>
#include <QString>

#include <algorithm>
#include <cmath>

// A ball position with its velocity, in field units: what a sender sends with the ball, and each
// release. The field is the square the clients draw the game in, side 1: (0, 0) is its bottom-left
// and (1, 1) its top-right corner, y grows upwards; velocities are in field sides per second. (A
// client scales the square to max(min(width, height), 400) points of its overlay, so these units
// are screen-independent.)
struct Entry {
    double x = 0;
    double y = 0;
    double vx = 0;
    double vy = 0;

    static constexpr double maxSpeed = 3.0; // per component; clients never fly faster

    bool isFinite() const
    {
        return std::isfinite(x) && std::isfinite(y) && std::isfinite(vx) && std::isfinite(vy);
    }
    bool isInField() const { return x >= 0 && x <= 1 && y >= 0 && y <= 1; }

    // Positions held inside the field, velocities to what a client flies.
    Entry clamped() const
    {
        return { std::clamp(x, 0.0, 1.0), std::clamp(y, 0.0, 1.0),
            std::clamp(vx, -maxSpeed, maxSpeed), std::clamp(vy, -maxSpeed, maxSpeed) };
    }

    // {"x", "y", "vx", "vy"} as JSON numbers.
    QJsonObject toJson() const;
    // Any JSON numbers, also non-finite ones: a request body's reader asks for finite ones.
    static Expected<Entry, QString> fromJson(const QJsonObject &object);
    bool operator==(const Entry &) const = default;
};
