#include "WireFrames.h"

#include "WireClient.h"

#include <QJsonDocument>
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

bool isRefused(WireClient &client, const QUrl &url, int code)
{
    if (!client.open(url))
        return false;
    const auto frame = client.next();
    if (!frame || !isError(*frame, code)) {
        qWarning("expected pusher:error %d, got %s", code,
            frame ? QJsonDocument(*frame).toJson().constData() : "nothing");
        return false;
    }
    return client.waitClosed() && client.closeCode() == code && client.pending() == 0;
}

bool closesWhenSilent(WireClient &client)
{
    if (client.next() != ping() || !client.isConnected() || !client.waitClosed())
        return false;
    const auto last = client.next(std::chrono::milliseconds(0));
    return client.closeCode() == 4201 && last && isError(*last, 4201) && client.pending() == 0;
}

bool nothingElseArrived(WireClient &client)
{
    client.send(message(u"pusher:ping"_s));
    return client.next() == pong();
}

} // namespace WireFrames
