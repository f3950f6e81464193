#include "model/SavedBasketResult.h"

#include "pomodoro/StoredTime.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::StringLiterals;

namespace {

std::optional<SavedBasketResult> fromJson(const QJsonValue &value)
{
    const QJsonObject object = value.toObject();
    const QJsonValue id = object.value(u"id"_s), date = object.value(u"date"_s),
                     server = object.value(u"server"_s), room = object.value(u"room"_s),
                     practice = object.value(u"practice"_s);
    if (!value.isObject() || !id.isString() || id.toString().size() != 36 || !date.isDouble()
        || !server.isString() || !room.isString() || !practice.isBool())
        return std::nullopt;
    const QUuid uuid = QUuid::fromString(id.toString());
    const auto time = StoredTime::fromSeconds(date.toDouble());
    if (uuid.isNull() || !time)
        return std::nullopt;
    return SavedBasketResult { uuid, *time, server.toString(), room.toString(), practice.toBool() };
}

} // namespace

QByteArray SavedBasketResult::listToJson(const QList<SavedBasketResult> &results)
{
    QJsonArray array;
    for (const SavedBasketResult &result : results) {
        array.append(QJsonObject {
            { u"id"_s, result.id.toString(QUuid::WithoutBraces).toUpper() },
            { u"date"_s, StoredTime::toSeconds(result.date) },
            { u"server"_s, result.server },
            { u"room"_s, result.room },
            { u"practice"_s, result.practice },
        });
    }
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

std::optional<QList<SavedBasketResult>> SavedBasketResult::listFromJson(const QByteArray &json)
{
    const QJsonDocument document = QJsonDocument::fromJson(json);
    if (!document.isArray())
        return std::nullopt;
    QList<SavedBasketResult> results;
    for (const QJsonValue &value : document.array()) {
        const auto result = fromJson(value);
        if (!result)
            return std::nullopt;
        results.append(*result);
    }
    return results;
}
