#include "wire/BodyFields.h"

#include <cmath>

using namespace Qt::StringLiterals;

namespace BodyFields {

std::optional<QString> id(const QJsonObject &body, QLatin1StringView key)
{
    const QJsonValue value = body.value(key);
    if (!value.isString() || value.toString().isEmpty() || value.toString().size() > maxIdLength)
        return std::nullopt;
    return value.toString();
}

std::optional<qint64> integer(const QJsonValue &value)
{
    constexpr double limit = 9007199254740992.0; // 2^53: beyond it doubles skip integers
    const double number = value.toDouble(std::nan(""));
    if (!value.isDouble() || !(std::abs(number) < limit) || std::trunc(number) != number)
        return std::nullopt;
    return qint64(number);
}

std::optional<Entry> entry(const QJsonValue &value)
{
    const auto read
        = value.isObject() ? Entry::fromJson(value.toObject()) : Expected<Entry, QString>();
    if (!read || !read->isFinite())
        return std::nullopt;
    return *read;
}

std::optional<CrossingSample> sample(const QJsonValue &value)
{
    const auto read = value.isObject() ? CrossingSample::fromJson(value.toObject())
                                       : Expected<CrossingSample, QString>();
    if (!read || !read->isFinite())
        return std::nullopt;
    return *read;
}

Expected<Throw, QString> readThrow(const QJsonObject &body)
{
    const auto roundId = id(body, "round_id"_L1);
    const auto nonce = id(body, "nonce"_L1);
    const auto shotId = id(body, "shot_id"_L1);
    const auto sequence = integer(body.value("sequence"_L1));
    if (!roundId)
        return u"round_id"_s;
    if (!nonce)
        return u"nonce"_s;
    if (!shotId)
        return u"shot_id"_s;
    if (!sequence)
        return u"sequence"_s;
    return Throw { *roundId, *nonce, *shotId, *sequence };
}

QJsonObject throwJson(const Throw &fields)
{
    return { { u"round_id"_s, fields.roundId }, { u"nonce"_s, fields.nonce },
        { u"shot_id"_s, fields.shotId }, { u"sequence"_s, fields.sequence } };
}

} // namespace BodyFields
