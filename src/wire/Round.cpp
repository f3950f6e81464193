#include "wire/Round.h"

#include "wire/JsonFields.h"
#include "wire/Timestamp.h"

using namespace Qt::StringLiterals;

std::optional<QDateTime> Round::endsAtTime() const
{
    return Timestamp::parseIfPresent(endsAt);
}

QJsonObject Round::toJson() const
{
    QJsonObject json { { u"id"_s, id }, { u"sender_id"_s, senderId },
        { u"receiver_id"_s, receiverId }, { u"state"_s, state }, { u"entry"_s, entry.toJson() },
        { u"hoop"_s, hoop.toJson() } };
    if (nonce)
        json.insert(u"nonce"_s, *nonce);
    if (endsAt)
        json.insert(u"ends_at"_s, *endsAt);
    if (lastSequence)
        json.insert(u"last_sequence"_s, *lastSequence);
    return json;
}

Expected<Round, QString> Round::fromJson(const QJsonObject &object)
{
    JsonFields fields(object);
    return fields.result(Round { fields.text("id"_L1), fields.integer("sender_id"_L1),
        fields.integer("receiver_id"_L1), fields.text("state"_L1), fields.record<Entry>("entry"_L1),
        fields.record<Hoop>("hoop"_L1), fields.optionalText("nonce"_L1),
        fields.optionalText("ends_at"_L1), fields.optionalInteger("last_sequence"_L1) });
}
