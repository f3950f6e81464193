#pragma once

#include "wire/Expected.h"

#include <QJsonObject>
#include <QString>

// One player's counters in the current room. Its identity in lists is userId.
struct Score {
    qint64 userId = 0;
    qint64 points = 0;
    qint64 received = 0;
    // Shown as timeouts.
    qint64 misses = 0;
    // Best streak.
    qint64 best = 0;

    int percent() const;

    QJsonObject toJson() const;
    static Expected<Score, QString> fromJson(const QJsonObject &object);
    bool operator==(const Score &) const = default;
};
