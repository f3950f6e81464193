#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QUrl>

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

// Opens the address and checks that the server answers with pusher:error of this code and
// closes with the same code.
bool isRefused(WireClient &client, const QUrl &url, int code);

// For a greeted client that stays silent: the server's ping comes, then pusher:error 4201
// and a close with 4201, and nothing else.
bool closesWhenSilent(WireClient &client);

// Sends a ping and checks that the very next frame is its pong, so nothing else was queued.
bool nothingElseArrived(WireClient &client);

} // namespace WireFrames
