#include "wire/ResultBody.h"

using namespace Qt::StringLiterals;

QJsonObject ResultBody::toJson() const
{
    QJsonObject json = BodyFields::throwJson(*this);
    json.insert(u"before"_s, before.toJson());
    json.insert(u"after"_s, after.toJson());
    return json;
}

Expected<ResultBody, QString> ResultBody::fromJson(const QJsonObject &body)
{
    const auto fields = BodyFields::readThrow(body);
    if (!fields)
        return fields.error();
    const auto before = BodyFields::sample(body.value("before"_L1));
    const auto after = BodyFields::sample(body.value("after"_L1));
    if (!before)
        return u"before"_s;
    if (!after)
        return u"after"_s;
    return ResultBody { *fields, *before, *after };
}
