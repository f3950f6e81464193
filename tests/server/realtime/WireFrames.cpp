#include "WireFrames.h"

#include "ApiClient.h"
#include "TestServer.h"
#include "WireClient.h"

#include <QRegularExpression>
#include <QStringList>

using namespace Qt::StringLiterals;

namespace WireFrames {

QJsonObject message(const QString &name, const QJsonObject &data)
{
    return { { u"event"_s, name }, { u"data"_s, data } };
}

QJsonObject subscribe(const QString &channel, const QString &auth)
{
    return message(u"pusher:subscribe"_s, { { u"channel"_s, channel }, { u"auth"_s, auth } });
}

QJsonObject ping()
{
    return { { u"event"_s, u"pusher:ping"_s }, { u"data"_s, u"{}"_s } };
}

QJsonObject pong()
{
    return { { u"event"_s, u"pusher:pong"_s }, { u"data"_s, u"{}"_s } };
}

QJsonObject subscriptionSucceeded(const QString &channel)
{
    return { { u"event"_s, u"pusher_internal:subscription_succeeded"_s }, { u"channel"_s, channel },
        { u"data"_s, u"{}"_s } };
}

bool isError(const QJsonObject &frame, const QJsonValue &code)
{
    const QJsonObject data = frame.value(u"data"_s).toObject();
    return frame.keys() == QStringList { u"data"_s, u"event"_s }
    && frame.value(u"event"_s) == u"pusher:error"_s
        && data.keys() == QStringList { u"code"_s, u"message"_s } && data.value(u"code"_s) == code
        && !data.value(u"message"_s).toString().isEmpty();
}

bool isGreeting(const QJsonObject &frame, int activityTimeoutSeconds)
{
    static const QRegularExpression socketId(u"\\A[1-9][0-9]*\\.[1-9][0-9]*\\z"_s);
    const QJsonObject data = dataText(frame);
    return frame.keys() == QStringList { u"data"_s, u"event"_s }
    && frame.value(u"event"_s) == u"pusher:connection_established"_s
        && frame.value(u"data"_s).isString()
        && data.keys() == QStringList { u"activity_timeout"_s, u"socket_id"_s }
    && data.value(u"activity_timeout"_s) == QJsonValue(activityTimeoutSeconds)
        && socketId.match(data.value(u"socket_id"_s).toString()).hasMatch();
}

bool nothingElseArrived(WireClient &client)
{
    client.send(message(u"pusher:ping"_s));
    return client.next() == pong();
}

bool subscribeToRoom(WireClient &client, const QUrl &wsBase, const ApiClient &api, qint64 room,
    const QByteArray &token)
{
    const QString socketId = client.connectAndGreet(
        WireClient::channelUrl(wsBase, QString::fromLatin1(TestServer::appKey)));
    const QString channel = u"private-room."_s + QString::number(room);
    const ApiClient::Reply auth = api.post(u"broadcasting/auth"_s,
        { { u"socket_id"_s, socketId }, { u"channel_name"_s, channel } }, token);
    if (socketId.isEmpty() || auth.status != 200)
        return false;
    client.send(subscribe(channel, auth.object()[u"auth"_s].toString()));
    return client.next() == subscriptionSucceeded(channel);
}

} // namespace WireFrames
