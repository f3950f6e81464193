#pragma once

#include "wire/Expected.h"

#include <QJsonObject>
#include <QString>

// The requesting player's own counters over all rooms; the same meanings as in Score.
struct Totals {
    qint64 received = 0;
    qint64 points = 0;
    qint64 misses = 0;
    qint64 best = 0;

    int percent() const;

    QJsonObject toJson() const;
    static Expected<Totals, QString> fromJson(const QJsonObject &object);
    bool operator==(const Totals &) const = default;
};
