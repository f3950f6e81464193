#pragma once

#include "wire/Entry.h"
#include "wire/Expected.h"
#include "wire/Hoop.h"
#include "wire/StateWords.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <optional>

// One pass of the ball. Its identity in lists is id.
struct Round {
    QString id;
    qint64 senderId = 0;
    qint64 receiverId = 0;
    // Round state word, compared case-sensitively.
    QString state;
    // What the sender sent with the ball.
    Entry entry;
    Hoop hoop;
    // Echoed in shot and result requests; only the receiver is told it.
    std::optional<QString> nonce;
    // The deadline, as the server wrote it.
    std::optional<QString> endsAt;
    // The last shot sequence number; counting continues from it.
    std::optional<qint64> lastSequence;

    bool isActive() const { return state == RoundState::active; }
    bool isWaitingForReceiver() const { return state == RoundState::waiting; }
    // endsAt as a time; none when absent or not a valid server timestamp.
    std::optional<QDateTime> endsAtTime() const;

    // Absent optional members are left out.
    QJsonObject toJson() const;
    static Expected<Round, QString> fromJson(const QJsonObject &object);
    bool operator==(const Round &) const = default;
};
