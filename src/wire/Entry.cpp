#include "wire/Entry.h"

#include "wire/JsonFields.h"

using namespace Qt::StringLiterals;

QJsonObject Entry::toJson() const
{
    return { { u"x"_s, x }, { u"y"_s, y }, { u"vx"_s, vx }, { u"vy"_s, vy } };
}

Expected<Entry, QString> Entry::fromJson(const QJsonObject &object)
{
    JsonFields fields(object);
    return fields.result(Entry {
        fields.real("x"_L1), fields.real("y"_L1), fields.real("vx"_L1), fields.real("vy"_L1) });
}
