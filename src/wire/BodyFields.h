#pragma once

#include "wire/CrossingSample.h"
#include "wire/Entry.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QLatin1StringView>
#include <QString>

#include <optional>

// How a server reads the members of request bodies: stricter than the records' own readers, and
// with no fault text (a server says in its own words what a request lacks). Other members are
// ignored.
namespace BodyFields {

inline constexpr qsizetype maxIdLength = 100;

// A text that is present, not empty and at most maxIdLength characters long.
std::optional<QString> id(const QJsonObject &body, QLatin1StringView key);
// A JSON number with an integral value that fits 53 bits.
std::optional<qint64> integer(const QJsonValue &value);
// Records whose numbers are all finite.
std::optional<Entry> entry(const QJsonValue &value);
std::optional<CrossingSample> sample(const QJsonValue &value);

// The members that round/shot and round/result share.
struct Throw {
    QString roundId;
    QString nonce;
    QString shotId;
    qint64 sequence = 0;

    bool operator==(const Throw &) const = default;
};
// The throw's members, or the name of the first one that is missing or wrong.
Expected<Throw, QString> readThrow(const QJsonObject &body);
QJsonObject throwJson(const Throw &fields);

} // namespace BodyFields
