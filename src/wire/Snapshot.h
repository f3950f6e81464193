#pragma once

#include "wire/Expected.h"
#include "wire/Member.h"
#include "wire/Room.h"
#include "wire/Round.h"
#include "wire/Score.h"
#include "wire/Totals.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

// The whole state of one room, as the state and heartbeat requests answer it.
struct Snapshot {
    Room room;
    QList<Member> members;
    // The round in play; none when no ball is in play.
    std::optional<Round> round;
    // The room's state word; nothing is decided on it.
    QString state;
    // The server's clock when the snapshot was made, as the server wrote it.
    QString serverTime;
    QList<Score> scores;
    // The requesting player's counters over all rooms.
    std::optional<Totals> totals;

    // serverTime as a time; none when it is not a valid server timestamp.
    std::optional<QDateTime> serverTimeValue() const;

    static Expected<Snapshot, QString> fromJson(const QJsonObject &object);
    bool operator==(const Snapshot &) const = default;
};
