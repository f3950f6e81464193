#include "net/Totals.h"

#include "net/HitRate.h"
#include "net/JsonFields.h"

using namespace Qt::StringLiterals;

int Totals::percent() const
{
    return HitRate::percent(points, misses);
}

Expected<Totals, QString> Totals::fromJson(const QJsonObject &object)
{
    JsonFields fields(object);
    return fields.result(Totals { fields.integer("received"_L1), fields.integer("points"_L1),
        fields.integer("misses"_L1), fields.integer("best"_L1) });
}
