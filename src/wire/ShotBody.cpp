#include "wire/ShotBody.h"

using namespace Qt::StringLiterals;

QJsonObject ShotBody::toJson() const
{
    QJsonObject json = BodyFields::throwJson(*this);
    json.insert(u"release"_s, release.toJson());
    return json;
}

Expected<ShotBody, QString> ShotBody::fromJson(const QJsonObject &body)
{
    const auto fields = BodyFields::readThrow(body);
    if (!fields)
        return fields.error();
    const auto release = BodyFields::entry(body.value("release"_L1));
    if (!release)
        return u"release"_s;
    return ShotBody { *fields, *release };
}
