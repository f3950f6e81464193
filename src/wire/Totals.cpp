#include "wire/Totals.h"

#include "wire/HitRate.h"
#include "wire/JsonFields.h"

using namespace Qt::StringLiterals;

int Totals::percent() const
{
    return HitRate::percent(points, misses);
}

QJsonObject Totals::toJson() const
{
    return { { u"received"_s, received }, { u"points"_s, points }, { u"misses"_s, misses },
        { u"best"_s, best } };
}

Expected<Totals, QString> Totals::fromJson(const QJsonObject &object)
{
    JsonFields fields(object);
    return fields.result(Totals { fields.integer("received"_L1), fields.integer("points"_L1),
        fields.integer("misses"_L1), fields.integer("best"_L1) });
}
