#include "HttpReply.h"

#include <QJsonDocument>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

HttpReply withBody(int status, QByteArray body)
{
    HttpReply reply;
    reply.status = status;
    reply.body = std::move(body);
    return reply;
}

} // namespace

HttpReply HttpReply::json(const QJsonObject &object, int status)
{
    return withBody(status, QJsonDocument(object).toJson(QJsonDocument::Compact));
}

HttpReply HttpReply::json(const QJsonArray &array, int status)
{
    return withBody(status, QJsonDocument(array).toJson(QJsonDocument::Compact));
}

HttpReply HttpReply::empty(int status)
{
    return withBody(status, {});
}

HttpReply HttpReply::error(int status, const QString &message)
{
    return json(QJsonObject { { u"message"_s, message } }, status);
}

HttpReply HttpReply::invalid(const QString &field, const QString &message)
{
    return json(QJsonObject { { u"message"_s, message },
                    { u"errors"_s, QJsonObject { { field, QJsonArray { message } } } } },
        422);
}

HttpReply HttpReply::unauthenticated()
{
    return error(401, u"Unauthenticated."_s);
}

HttpReply HttpReply::tooManyRequests(qint64 retryAfterMs)
{
    const qint64 seconds = std::max<qint64>(1, (retryAfterMs + 999) / 1000);
    HttpReply reply = error(429,
        u"Too many requests; please try again in %1 second%2."_s.arg(seconds).arg(
            seconds == 1 ? u""_s : u"s"_s));
    reply.headers.append({ "Retry-After", QByteArray::number(seconds) });
    return reply;
}
