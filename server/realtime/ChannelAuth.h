#pragma once

#include <QByteArray>
#include <QString>

// Private-channel signatures of the Pusher protocol: the auth value of a subscription is
// "KEY:" followed by the lower-case hex HMAC-SHA256 of "SOCKET_ID:CHANNEL" under the app secret.
namespace ChannelAuth {

QByteArray signature(const QByteArray &secret, const QString &socketId, const QString &channel);

QString authValue(const QString &appKey, const QByteArray &secret, const QString &socketId,
    const QString &channel);

// Compares without stopping at the first difference, so the time taken tells nothing about
// how much of a guess was right.
bool sameText(const QString &expected, const QString &given);

} // namespace ChannelAuth
