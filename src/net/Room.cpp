#include "net/Room.h"

#include "net/JsonFields.h"
#include "net/Timestamp.h"

using namespace Qt::StringLiterals;

std::optional<QDateTime> Room::cooldownUntilTime() const
{
    return Timestamp::parseIfPresent(cooldownUntil);
}

Expected<Room, QString> Room::fromJson(const QJsonObject &object)
{
    JsonFields fields(object);
    return fields.result(Room { fields.integer("id"_L1), fields.integer("owner_id"_L1),
        fields.text("name"_L1), fields.text("invite_code"_L1),
        fields.optionalInteger("ball_owner_id"_L1), fields.optionalText("cooldown_until"_L1) });
}

Expected<QList<Room>, QString> Room::listFromJson(const QJsonArray &array)
{
    return JsonFields::readList<Room>(array);
}
