#include "GameJson.h"

#include <array>
#include <cmath>

using namespace Qt::StringLiterals;

namespace GameJson {

namespace {

template <std::size_t N>
std::optional<std::array<double, N>> readNumbers(
    const QJsonValue &value, const std::array<QString, N> &keys)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject object = value.toObject();
    std::array<double, N> numbers {};
    for (std::size_t i = 0; i < N; ++i) {
        const QJsonValue member = object.value(keys[i]);
        if (!member.isDouble() || !std::isfinite(member.toDouble()))
            return std::nullopt;
        numbers[i] = member.toDouble();
    }
    return numbers;
}

} // namespace

std::optional<Entry> readEntry(const QJsonValue &value)
{
    const auto n = readNumbers<4>(value, { u"x"_s, u"y"_s, u"vx"_s, u"vy"_s });
    if (!n)
        return std::nullopt;
    return Entry { (*n)[0], (*n)[1], (*n)[2], (*n)[3] };
}

std::optional<CrossingSample> readSample(const QJsonValue &value)
{
    const auto n = readNumbers<3>(value, { u"x"_s, u"y"_s, u"t"_s });
    if (!n)
        return std::nullopt;
    return CrossingSample { (*n)[0], (*n)[1], (*n)[2] };
}

QJsonObject toJson(const Entry &entry)
{
    return { { u"x"_s, entry.x }, { u"y"_s, entry.y }, { u"vx"_s, entry.vx },
        { u"vy"_s, entry.vy } };
}

QJsonObject toJson(const Hoop &hoop)
{
    return { { u"x"_s, hoop.x }, { u"y"_s, hoop.y }, { u"width"_s, hoop.width },
        { u"radius"_s, hoop.radius } };
}

} // namespace GameJson
