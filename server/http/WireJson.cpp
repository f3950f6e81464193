#include "WireJson.h"

#include "game/GameJson.h"
#include "game/Hoop.h"
#include "store/RoomStore.h"
#include "store/RoundStore.h"

#include <QDateTime>

using namespace Qt::StringLiterals;

namespace WireJson {

QString timestamp(qint64 epochMs)
{
    return QDateTime::fromMSecsSinceEpoch(epochMs, Qt::UTC).toString(Qt::ISODateWithMs);
}

QJsonObject room(const RoomRow &room)
{
    QJsonObject json { { u"id"_s, room.id }, { u"owner_id"_s, room.ownerId },
        { u"name"_s, room.name }, { u"invite_code"_s, room.inviteCode } };
    if (room.ballOwnerId)
        json.insert(u"ball_owner_id"_s, *room.ballOwnerId);
    if (room.cooldownUntil)
        json.insert(u"cooldown_until"_s, timestamp(*room.cooldownUntil));
    return json;
}

QJsonObject round(const RoundRow &round, bool withNonce)
{
    QJsonObject json { { u"id"_s, round.id }, { u"sender_id"_s, round.senderId },
        { u"receiver_id"_s, round.receiverId }, { u"state"_s, round.state },
        { u"entry"_s, GameJson::toJson(round.entry) },
        { u"hoop"_s, GameJson::toJson(Hoop::standard()) },
        { u"last_sequence"_s, round.lastSequence } };
    if (withNonce)
        json.insert(u"nonce"_s, round.nonce);
    if (round.endsAt)
        json.insert(u"ends_at"_s, timestamp(*round.endsAt));
    return json;
}

QJsonObject score(const ScoreRow &score)
{
    return { { u"user_id"_s, score.playerId }, { u"points"_s, score.points },
        { u"received"_s, score.received }, { u"misses"_s, score.misses },
        { u"best"_s, score.best } };
}

QJsonObject totals(const ScoreRow &totals)
{
    return { { u"received"_s, totals.received }, { u"points"_s, totals.points },
        { u"misses"_s, totals.misses }, { u"best"_s, totals.best } };
}

} // namespace WireJson
