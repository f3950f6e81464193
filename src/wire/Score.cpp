#include "wire/Score.h"

#include "wire/HitRate.h"
#include "wire/JsonFields.h"

using namespace Qt::StringLiterals;

int Score::percent() const
{
    return HitRate::percent(points, misses);
}

QJsonObject Score::toJson() const
{
    return { { u"user_id"_s, userId }, { u"points"_s, points }, { u"received"_s, received },
        { u"misses"_s, misses }, { u"best"_s, best } };
}

Expected<Score, QString> Score::fromJson(const QJsonObject &object)
{
    JsonFields fields(object);
    return fields.result(Score { fields.integer("user_id"_L1), fields.integer("points"_L1),
        fields.integer("received"_L1), fields.integer("misses"_L1), fields.integer("best"_L1) });
}
