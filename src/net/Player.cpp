#include "net/Player.h"

#include "net/JsonFields.h"

using namespace Qt::StringLiterals;

Expected<Player, QString> Player::fromJson(const QJsonObject &object)
{
    JsonFields fields(object);
    // Braced initialisation reads the members in order, so the first fault reported is the first.
    return fields.result(Player { fields.integer("id"_L1), fields.text("name"_L1),
        fields.optionalText("email"_L1), fields.optionalInteger("active_room_id"_L1) });
}
