#pragma once

#include <QJsonObject>
#include <QString>

#include <optional>

// The frames of Pusher protocol 7 that the server writes, and the channel names it serves.
// Event data is written as a JSON text, as the protocol has it, except for pusher:error,
// whose data is an object.
namespace PusherFrame {

// Error codes of the protocol; the thousands and hundreds tell a client whether to reconnect
// (4000-4099 never, 4100-4199 after backing off, 4200-4299 at once).
enum Code {
    PathNotFound = 4005,
    UnknownAppKey = 4001,
    UnsupportedProtocol = 4007,
    NoProtocol = 4008,
    Unauthorized = 4009,
    TooManyBadFrames = 4100,
    PongNotReceived = 4201,
};

QString connectionEstablished(const QString &socketId, int activityTimeoutSeconds);
// A refusal that leaves the connection open carries no code.
QString error(std::optional<int> code, const QString &message);
QString ping();
QString pong();
QString subscriptionSucceeded(const QString &channel);
QString subscriptionError(const QString &channel, const QString &message);
QString channelEvent(const QString &event, const QString &channel, const QJsonObject &data);

// "private-room." + the room's id in decimal.
QString roomChannel(qint64 roomId);
// The room of a channel name in exactly that form (no sign, no leading zero), or nothing.
std::optional<qint64> roomOfChannel(const QString &channel);

// The data of a received frame: an object as such, or a text holding one; anything else
// counts as an empty object.
QJsonObject payload(const QJsonValue &data);

} // namespace PusherFrame
