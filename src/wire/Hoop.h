#pragma once

#include "wire/Expected.h"

#include <QJsonObject>
#include <QString>

// The hoop that counts in a round, in field units (see Entry.h): the rim line is the horizontal
// segment at height y from x - width / 2 to x + width / 2.
struct Hoop {
    double x = 0;
    double y = 0;
    double width = 0;
    // The ball's radius.
    double radius = 0;

    // Every round is played on this hoop; clients draw the same one for practice.
    static constexpr Hoop standard() { return { 0.76, 0.42, 0.24, 0.025 }; }

    QJsonObject toJson() const;
    static Expected<Hoop, QString> fromJson(const QJsonObject &object);
    bool operator==(const Hoop &) const = default;
};
