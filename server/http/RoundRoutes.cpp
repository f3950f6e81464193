#include "RoundRoutes.h"

#include "RouteChecks.h"
#include "Router.h"
#include "SnapshotBuilder.h"
#include "game/Clock.h"
#include "game/Rounds.h"
#include "store/RoomStore.h"
#include "wire/BodyFields.h"

#include <QHash>

using namespace Qt::StringLiterals;
using Method = Router::Method;
using Access = Router::Access;

namespace {

// The 422 for a body whose member `field` is missing or wrong.
HttpReply invalid(const QString &field)
{
    if (field == u"receiver_id")
        return HttpReply::invalid(field, u"The receiver must be a player id."_s);
    static const QHash<QString, QString> needs {
        { u"request_id"_s, u"a request id"_s },
        { u"entry"_s, u"an entry with the numbers x, y, vx and vy"_s },
        { u"round_id"_s, u"the round id"_s },
        { u"nonce"_s, u"the round's nonce"_s },
        { u"shot_id"_s, u"the shot id"_s },
        { u"sequence"_s, u"a whole sequence number"_s },
        { u"release"_s, u"a release with the numbers x, y, vx and vy"_s },
        { u"before"_s, u"a sample before the crossing with the numbers x, y and t"_s },
        { u"after"_s, u"a sample after the crossing with the numbers x, y and t"_s },
    };
    return HttpReply::invalid(field, u"The request needs %1."_s.arg(needs.value(field)));
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
    const auto send = Rounds::Send::fromJson(request.body);
    if (!send)
        return invalid(send.error());
    return answer(request, m_rules.send(request.captureId(0), request.playerId, *send));
}

HttpReply RoundRoutes::ready(const ApiRequest &request)
{
    const auto roundId = BodyFields::id(request.body, "round_id"_L1);
    if (!roundId)
        return invalid(u"round_id"_s);
    return answer(request, m_rules.ready(request.captureId(0), request.playerId, *roundId));
}

HttpReply RoundRoutes::shot(const ApiRequest &request)
{
    const auto shot = Rounds::Shot::fromJson(request.body);
    if (!shot)
        return invalid(shot.error());
    return answer(request, m_rules.shot(request.captureId(0), request.playerId, *shot));
}

HttpReply RoundRoutes::result(const ApiRequest &request)
{
    const auto result = Rounds::Result::fromJson(request.body);
    if (!result)
        return invalid(result.error());
    return answer(request, m_rules.result(request.captureId(0), request.playerId, *result));
}

HttpReply RoundRoutes::answer(
    const ApiRequest &request, const std::optional<Refusal> &refusal) const
{
    if (refusal)
        return RouteChecks::reply(*refusal);
    return m_snapshots.reply(request.captureId(0), request.playerId, m_clock.nowMs());
}
