#include "wire/Player.h"

#include "wire/JsonFields.h"

using namespace Qt::StringLiterals;

QJsonObject Player::toJson() const
{
    QJsonObject json { { u"id"_s, id }, { u"name"_s, name } };
    if (email)
        json.insert(u"email"_s, *email);
    if (activeRoomId)
        json.insert(u"active_room_id"_s, *activeRoomId);
    return json;
}

Expected<Player, QString> Player::fromJson(const QJsonObject &object)
{
    JsonFields fields(object);
    // Braced initialisation reads the members in order, so the first fault reported is the first.
    return fields.result(Player { fields.integer("id"_L1), fields.text("name"_L1),
        fields.optionalText("email"_L1), fields.optionalInteger("active_room_id"_L1) });
}
