#include "wire/CrossingSample.h"

#include "wire/JsonFields.h"

using namespace Qt::StringLiterals;

QJsonObject CrossingSample::toJson() const
{
    return { { u"x"_s, x }, { u"y"_s, y }, { u"t"_s, t } };
}

Expected<CrossingSample, QString> CrossingSample::fromJson(const QJsonObject &object)
{
    JsonFields fields(object);
    return fields.result(
        CrossingSample { fields.real("x"_L1), fields.real("y"_L1), fields.real("t"_L1) });
}
