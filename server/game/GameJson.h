#pragma once

#include "CrossingSample.h"
#include "Entry.h"
#include "Hoop.h"

#include <QJsonObject>
#include <QJsonValue>

#include <optional>

// The game's value records on the wire: {"x","y","vx","vy"}, {"x","y","t"} and
// {"x","y","width","radius"}. Reading accepts only objects whose named members are all finite
// JSON numbers; other members are ignored.
namespace GameJson {

std::optional<Entry> readEntry(const QJsonValue &value);
std::optional<CrossingSample> readSample(const QJsonValue &value);

QJsonObject toJson(const Entry &entry);
QJsonObject toJson(const Hoop &hoop);

} // namespace GameJson
