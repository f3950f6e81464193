#pragma once

#include "net/Expected.h"

#include <QJsonObject>
#include <QString>

// The hoop that counts in a round, in field units.
struct Hoop {
    // Centre and height of the rim line.
    double x = 0;
    double y = 0;
    // Length of the rim line.
    double width = 0;
    // The ball's radius.
    double radius = 0;

    static Expected<Hoop, QString> fromJson(const QJsonObject &object);
    bool operator==(const Hoop &) const = default;
};
