#include "wire/Room.h"

#include "wire/JsonFields.h"
#include "wire/Timestamp.h"

using namespace Qt::StringLiterals;

std::optional<QDateTime> Room::cooldownUntilTime() const
{
    return Timestamp::parseIfPresent(cooldownUntil);
}

QJsonObject Room::toJson() const
{
    QJsonObject json { { u"id"_s, id }, { u"owner_id"_s, ownerId }, { u"name"_s, name },
        { u"invite_code"_s, inviteCode } };
    if (ballOwnerId)
        json.insert(u"ball_owner_id"_s, *ballOwnerId);
    if (cooldownUntil)
        json.insert(u"cooldown_until"_s, *cooldownUntil);
    return json;
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
