#include "PusherFrame.h"

#include <QJsonDocument>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace PusherFrame {

namespace {

QString text(const QJsonObject &object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

QString frame(const QString &event, const QString &channel, const QJsonObject &data)
{
    QJsonObject object { { u"event"_s, event }, { u"data"_s, text(data) } };
    if (!channel.isEmpty())
        object.insert(u"channel"_s, channel);
    return text(object);
}

} // namespace

QString connectionEstablished(const QString &socketId, int activityTimeoutSeconds)
{
    return frame(u"pusher:connection_established"_s, {},
        { { u"socket_id"_s, socketId }, { u"activity_timeout"_s, activityTimeoutSeconds } });
}

QString error(std::optional<int> code, const QString &message)
{
    const QJsonObject data { { u"code"_s, code ? QJsonValue(*code) : QJsonValue() },
        { u"message"_s, message } };
    return text({ { u"event"_s, u"pusher:error"_s }, { u"data"_s, data } });
}

QString ping()
{
    return frame(u"pusher:ping"_s, {}, {});
}

QString pong()
{
    return frame(u"pusher:pong"_s, {}, {});
}

QString subscriptionSucceeded(const QString &channel)
{
    return frame(u"pusher_internal:subscription_succeeded"_s, channel, {});
}

QString subscriptionError(const QString &channel, const QString &message)
{
    return frame(u"pusher:subscription_error"_s, channel,
        { { u"type"_s, u"AuthError"_s }, { u"error"_s, message }, { u"status"_s, 401 } });
}

QString channelEvent(const QString &event, const QString &channel, const QJsonObject &data)
{
    return frame(event, channel, data);
}

QString roomChannel(qint64 roomId)
{
    return u"private-room."_s + QString::number(roomId);
}

std::optional<qint64> roomOfChannel(const QString &channel)
{
    // At most 18 digits, so every match fits a qint64; \z, unlike $, refuses a final newline.
    static const QRegularExpression form(u"\\Aprivate-room\\.([1-9][0-9]{0,17})\\z"_s);
    const auto match = form.match(channel);
    if (!match.hasMatch())
        return std::nullopt;
    return match.captured(1).toLongLong();
}

QJsonObject payload(const QJsonValue &data)
{
    if (data.isObject())
        return data.toObject();
    if (data.isString())
        return QJsonDocument::fromJson(data.toString().toUtf8()).object();
    return {};
}

} // namespace PusherFrame
