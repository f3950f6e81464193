#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QUrl>

class ApiClient;
class WireClient;

// The frames tests send and expect, as the client side of the protocol writes and reads them.
namespace WireFrames {

QJsonObject message(const QString &name, const QJsonObject &data = {});
QJsonObject subscribe(const QString &channel, const QString &auth);
QJsonObject ping();
QJsonObject pong();
QJsonObject subscriptionSucceeded(const QString &channel);

// pusher:error with exactly a code (a number, or null for a refusal that keeps the
// connection) and a non-empty message.
bool isError(const QJsonObject &frame, const QJsonValue &code);

// pusher:connection_established with its data as a JSON text holding exactly an "A.B"
// socket id and this activity timeout in seconds.
bool isGreeting(const QJsonObject &frame, int activityTimeoutSeconds);

// Sends a ping and checks that the very next frame is its pong, so nothing else was queued.
bool nothingElseArrived(WireClient &client);

// Connects `client` to the server at `wsBase`, asks `api` (any node) for the room channel's
// signature as the player with `token`, and subscribes; whether it succeeded.
bool subscribeToRoom(WireClient &client, const QUrl &wsBase, const ApiClient &api, qint64 room,
    const QByteArray &token);

} // namespace WireFrames
