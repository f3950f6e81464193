#include "wire/Member.h"

#include "wire/JsonFields.h"

using namespace Qt::StringLiterals;

QJsonObject Member::toJson() const
{
    return { { u"id"_s, id }, { u"name"_s, name }, { u"status"_s, status } };
}

Expected<Member, QString> Member::fromJson(const QJsonObject &object)
{
    JsonFields fields(object);
    return fields.result(
        Member { fields.integer("id"_L1), fields.text("name"_L1), fields.text("status"_L1) });
}
