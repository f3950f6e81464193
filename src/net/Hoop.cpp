#include "net/Hoop.h"

#include "net/JsonFields.h"

using namespace Qt::StringLiterals;

Expected<Hoop, QString> Hoop::fromJson(const QJsonObject &object)
{
    JsonFields fields(object);
    return fields.result(Hoop { fields.real("x"_L1), fields.real("y"_L1), fields.real("width"_L1),
        fields.real("radius"_L1) });
}
