#include "wire/Hoop.h"

#include "wire/JsonFields.h"

using namespace Qt::StringLiterals;

QJsonObject Hoop::toJson() const
{
    return { { u"x"_s, x }, { u"y"_s, y }, { u"width"_s, width }, { u"radius"_s, radius } };
}

Expected<Hoop, QString> Hoop::fromJson(const QJsonObject &object)
{
    JsonFields fields(object);
    return fields.result(Hoop { fields.real("x"_L1), fields.real("y"_L1), fields.real("width"_L1),
        fields.real("radius"_L1) });
}
