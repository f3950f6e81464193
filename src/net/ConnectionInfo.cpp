#include "net/ConnectionInfo.h"

#include "net/JsonFields.h"

using namespace Qt::StringLiterals;

Expected<ConnectionInfo, QString> ConnectionInfo::fromJson(const QJsonObject &object)
{
    JsonFields fields(object);
    return fields.result(ConnectionInfo { fields.optionalText("invite_base"_L1) });
}
