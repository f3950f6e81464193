#include "wire/ConnectionInfo.h"

#include "wire/JsonFields.h"

using namespace Qt::StringLiterals;

QJsonObject ConnectionInfo::toJson() const
{
    QJsonObject json;
    if (inviteBase)
        json.insert(u"invite_base"_s, *inviteBase);
    return json;
}

Expected<ConnectionInfo, QString> ConnectionInfo::fromJson(const QJsonObject &object)
{
    JsonFields fields(object);
    return fields.result(ConnectionInfo { fields.optionalText("invite_base"_L1) });
}
