#include "wire/Snapshot.h"

#include "wire/JsonFields.h"
#include "wire/Timestamp.h"

using namespace Qt::StringLiterals;

std::optional<QDateTime> Snapshot::serverTimeValue() const
{
    return Timestamp::parse(serverTime);
}

Expected<Snapshot, QString> Snapshot::fromJson(const QJsonObject &object)
{
    JsonFields fields(object);
    return fields.result(Snapshot { fields.record<Room>("room"_L1),
        fields.list<Member>("members"_L1), fields.optionalRecord<Round>("round"_L1),
        fields.text("state"_L1), fields.text("server_time"_L1), fields.list<Score>("scores"_L1),
        fields.optionalRecord<Totals>("totals"_L1) });
}
