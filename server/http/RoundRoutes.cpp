#include "RoundRoutes.h"

#include "RouteChecks.h"
#include "Router.h"
#include "SnapshotBuilder.h"
#include "game/Clock.h"
#include "game/GameJson.h"
#include "game/Rounds.h"
#include "store/RoomStore.h"

using namespace Qt::StringLiterals;
using Method = Router::Method;
using Access = Router::Access;

namespace {

constexpr qsizetype maxIdLength = 100;

// A text member that must be present and not empty (nor absurdly long).
std::optional<QString> requiredText(const QJsonObject &body, const QString &key)
{
    const QJsonValue value = body.value(key);
    if (!value.isString() || value.toString().isEmpty() || value.toString().size() > maxIdLength)
        return std::nullopt;
    return value.toString();
}

HttpReply missing(const QString &field, const QString &what)
{
    return HttpReply::invalid(field, u"The request needs %1."_s.arg(what));
}

// The members that round/shot and round/result share.
struct ThrowFields {
    QString roundId;
    QString nonce;
    QString shotId;
    qint64 sequence = 0;
};

std::optional<HttpReply> readThrowFields(const QJsonObject &body, ThrowFields &fields)
{
    const auto roundId = requiredText(body, u"round_id"_s);
    const auto nonce = requiredText(body, u"nonce"_s);
    const auto shotId = requiredText(body, u"shot_id"_s);
    const auto sequence = RouteChecks::integer(body.value(u"sequence"_s));
    if (!roundId)
        return missing(u"round_id"_s, u"the round id"_s);
    if (!nonce)
        return missing(u"nonce"_s, u"the round's nonce"_s);
    if (!shotId)
        return missing(u"shot_id"_s, u"the shot id"_s);
    if (!sequence)
        return missing(u"sequence"_s, u"a whole sequence number"_s);
    fields = { *roundId, *nonce, *shotId, *sequence };
    return std::nullopt;
}

} // namespace

RoundRoutes::RoundRoutes(
    const RoomStore &rooms, Rounds &rules, const SnapshotBuilder &snapshots, const Clock &clock)
    : m_rooms(rooms)
    , m_rules(rules)
    , m_snapshots(snapshots)
    , m_clock(clock)
{
}

void RoundRoutes::registerRoutes(Router &server)
{
    const auto bind = [this](auto member) {
        return [this, member](const ApiRequest &request) {
            const qint64 roomId = request.captureId(0);
            if (auto refusal = RouteChecks::refuseNonMember(m_rooms, roomId, request.playerId))
                return *refusal;
            return (this->*member)(request);
        };
    };
    const QString room = u"/api/rooms/(\\d{1,18})"_s;
    server.addRoute(Method::Post, room + u"/ball/send"_s, Access::Player, bind(&RoundRoutes::send));
    server.addRoute(
        Method::Post, room + u"/round/ready"_s, Access::Player, bind(&RoundRoutes::ready));
    server.addRoute(
        Method::Post, room + u"/round/shot"_s, Access::Player, bind(&RoundRoutes::shot));
    server.addRoute(
        Method::Post, room + u"/round/result"_s, Access::Player, bind(&RoundRoutes::result));
}

HttpReply RoundRoutes::send(const ApiRequest &request)
{
    Rounds::Send send;
    const auto requestId = requiredText(request.body, u"request_id"_s);
    const auto entry = GameJson::readEntry(request.body.value(u"entry"_s));
    const QJsonValue receiver = request.body.value(u"receiver_id"_s);
    if (!requestId)
        return missing(u"request_id"_s, u"a request id"_s);
    if (!entry)
        return missing(u"entry"_s, u"an entry with the numbers x, y, vx and vy"_s);
    if (!receiver.isUndefined() && !receiver.isNull()) {
        send.receiverId = RouteChecks::integer(receiver);
        if (!send.receiverId)
            return HttpReply::invalid(u"receiver_id"_s, u"The receiver must be a player id."_s);
    }
    send.requestId = *requestId;
    send.entry = *entry;
    return answer(request, m_rules.send(request.captureId(0), request.playerId, send));
}

HttpReply RoundRoutes::ready(const ApiRequest &request)
{
    const auto roundId = requiredText(request.body, u"round_id"_s);
    if (!roundId)
        return missing(u"round_id"_s, u"the round id"_s);
    return answer(request, m_rules.ready(request.captureId(0), request.playerId, *roundId));
}

HttpReply RoundRoutes::shot(const ApiRequest &request)
{
    ThrowFields fields;
    if (auto invalid = readThrowFields(request.body, fields))
        return *invalid;
    const auto release = GameJson::readEntry(request.body.value(u"release"_s));
    if (!release)
        return missing(u"release"_s, u"a release with the numbers x, y, vx and vy"_s);
    const Rounds::Shot shot { fields.roundId, fields.nonce, fields.shotId, fields.sequence,
        *release };
    return answer(request, m_rules.shot(request.captureId(0), request.playerId, shot));
}

HttpReply RoundRoutes::result(const ApiRequest &request)
{
    ThrowFields fields;
    if (auto invalid = readThrowFields(request.body, fields))
        return *invalid;
    const auto before = GameJson::readSample(request.body.value(u"before"_s));
    const auto after = GameJson::readSample(request.body.value(u"after"_s));
    if (!before)
        return missing(u"before"_s, u"a sample before the crossing with the numbers x, y and t"_s);
    if (!after)
        return missing(u"after"_s, u"a sample after the crossing with the numbers x, y and t"_s);
    const Rounds::Result result { fields.roundId, fields.nonce, fields.shotId, fields.sequence,
        *before, *after };
    return answer(request, m_rules.result(request.captureId(0), request.playerId, result));
}

HttpReply RoundRoutes::answer(
    const ApiRequest &request, const std::optional<Refusal> &refusal) const
{
    if (refusal)
        return RouteChecks::reply(*refusal);
    return m_snapshots.reply(request.captureId(0), request.playerId, m_clock.nowMs());
}
