#pragma once

#include "wire/Member.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

// Whether the ball may be sent now, from what the coordinator knows at that moment.
namespace SendGate {

struct State {
    // The signed-in player's id, once the current room's state is known too; none before.
    std::optional<qint64> me;
    bool connected = false;
    bool focus = false;
    // Paused, or the overlay hidden.
    bool paused = false;
    bool sending = false;
    bool roundInPlay = false;
    std::optional<qint64> ballOwner;
    // The end of the pause between passes, on the server's clock; `now` is the local clock and
    // `offset` the seconds the server's is ahead.
    std::optional<QDateTime> cooldownUntil;
    QDateTime now;
    double offset = 0;
    QList<Member> members;
};

// Why the ball cannot be sent to this receiver (0: a random available player); none when it can.
std::optional<QString> blockReason(const State &state, qint64 receiver);

} // namespace SendGate
