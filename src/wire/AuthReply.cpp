#include "wire/AuthReply.h"

#include "wire/JsonFields.h"

using namespace Qt::StringLiterals;

QJsonObject AuthReply::toJson() const
{
    return { { u"token"_s, token }, { u"user"_s, user.toJson() } };
}

Expected<AuthReply, QString> AuthReply::fromJson(const QJsonObject &object)
{
    JsonFields fields(object);
    return fields.result(AuthReply { fields.text("token"_L1), fields.record<Player>("user"_L1) });
}
