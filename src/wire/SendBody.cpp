#include "wire/SendBody.h"

#include "wire/BodyFields.h"

using namespace Qt::StringLiterals;

QJsonObject SendBody::toJson() const
{
    QJsonObject json { { u"request_id"_s, requestId }, { u"entry"_s, entry.toJson() } };
    if (receiverId)
        json.insert(u"receiver_id"_s, *receiverId);
    return json;
}

Expected<SendBody, QString> SendBody::fromJson(const QJsonObject &body)
{
    SendBody send;
    const auto requestId = BodyFields::id(body, "request_id"_L1);
    const auto entry = BodyFields::entry(body.value("entry"_L1));
    const QJsonValue receiver = body.value("receiver_id"_L1);
    if (!requestId)
        return u"request_id"_s;
    if (!entry)
        return u"entry"_s;
    if (!receiver.isUndefined() && !receiver.isNull()) {
        send.receiverId = BodyFields::integer(receiver);
        if (!send.receiverId)
            return u"receiver_id"_s;
    }
    send.requestId = *requestId;
    send.entry = *entry;
    return send;
}
