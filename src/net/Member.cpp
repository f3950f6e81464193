#include "net/Member.h"

#include "net/JsonFields.h"

using namespace Qt::StringLiterals;

Expected<Member, QString> Member::fromJson(const QJsonObject &object)
{
    JsonFields fields(object);
    return fields.result(
        Member { fields.integer("id"_L1), fields.text("name"_L1), fields.text("status"_L1) });
}
