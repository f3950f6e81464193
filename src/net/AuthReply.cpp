#include "net/AuthReply.h"

#include "net/JsonFields.h"

using namespace Qt::StringLiterals;

Expected<AuthReply, QString> AuthReply::fromJson(const QJsonObject &object)
{
    JsonFields fields(object);
    return fields.result(AuthReply { fields.text("token"_L1), fields.record<Player>("user"_L1) });
}
