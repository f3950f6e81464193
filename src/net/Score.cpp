#include "net/Score.h"

#include "net/HitRate.h"
#include "net/JsonFields.h"

using namespace Qt::StringLiterals;

int Score::percent() const
{
    return HitRate::percent(points, misses);
}

Expected<Score, QString> Score::fromJson(const QJsonObject &object)
{
    JsonFields fields(object);
    return fields.result(Score { fields.integer("user_id"_L1), fields.integer("points"_L1),
        fields.integer("received"_L1), fields.integer("misses"_L1), fields.integer("best"_L1) });
}
