#include "HttpReply.h"

#include <QJsonDocument>

using namespace Qt::StringLiterals;

HttpReply HttpReply::json(const QJsonObject &object, int status)
{
    return {status, QJsonDocument(object).toJson(QJsonDocument::Compact)};
}

HttpReply HttpReply::json(const QJsonArray &array, int status)
{
    return {status, QJsonDocument(array).toJson(QJsonDocument::Compact)};
}

HttpReply HttpReply::empty(int status)
{
    return {status, {}};
}

HttpReply HttpReply::error(int status, const QString &message)
{
    return json(QJsonObject{{u"message"_s, message}}, status);
}

HttpReply HttpReply::invalid(const QString &field, const QString &message)
{
    return json(QJsonObject{{u"message"_s, message},
                            {u"errors"_s, QJsonObject{{field, QJsonArray{message}}}}},
                422);
}

HttpReply HttpReply::unauthenticated()
{
    return error(401, u"Unauthenticated."_s);
}
