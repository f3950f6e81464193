#include "net/Round.h"

#include "net/JsonFields.h"
#include "net/Timestamp.h"

using namespace Qt::StringLiterals;

std::optional<QDateTime> Round::endsAtTime() const
{
    return Timestamp::parseIfPresent(endsAt);
}

Expected<Round, QString> Round::fromJson(const QJsonObject &object)
{
    JsonFields fields(object);
    return fields.result(Round { fields.text("id"_L1), fields.integer("sender_id"_L1),
        fields.integer("receiver_id"_L1), fields.text("state"_L1), fields.record<Entry>("entry"_L1),
        fields.record<Hoop>("hoop"_L1), fields.optionalText("nonce"_L1),
        fields.optionalText("ends_at"_L1), fields.optionalInteger("last_sequence"_L1) });
}
