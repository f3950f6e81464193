#include "Api.h"

#include "Router.h"
#include "WireJson.h"
#include "game/Clock.h"
#include "store/Store.h"
#include "wire/AuthReply.h"
#include "wire/ConnectionInfo.h"

#include <QJsonObject>
#include <QRandomGenerator>

using namespace Qt::StringLiterals;
using Method = Router::Method;
using Access = Router::Access;

namespace {

QString friendlyName()
{
    static const QStringList adjectives { u"Swift"_s, u"Lucky"_s, u"Calm"_s, u"Bold"_s, u"Bouncy"_s,
        u"Sunny"_s, u"Quiet"_s, u"Nimble"_s, u"Brave"_s, u"Merry"_s };
    static const QStringList animals { u"Otter"_s, u"Falcon"_s, u"Panda"_s, u"Lynx"_s, u"Heron"_s,
        u"Badger"_s, u"Fox"_s, u"Koala"_s, u"Marten"_s, u"Wren"_s };
    auto *random = QRandomGenerator::system();
    return adjectives.at(random->bounded(adjectives.size())) + u' '
        + animals.at(random->bounded(animals.size())) + u' '
        + QString::number(random->bounded(10, 100));
}

QByteArray newToken()
{
    QByteArray bytes(32, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(bytes.data()), 8);
    return bytes.toHex();
}

} // namespace

Api::Api(Store &store, QString publicUrl, const Clock &clock, const RateLimits &limits)
    : m_store(store)
    , m_publicUrl(std::move(publicUrl))
    , m_clock(clock)
    , m_newGuests({ limits.guestsPerMinute / 60, limits.guestsPerMinute })
{
}

void Api::registerRoutes(Router &server)
{
    server.addRoute(
        Method::Post, u"/api/guest"_s, Access::Public, [this](const ApiRequest &request) {
            const qint64 now = m_clock.nowMs();
            if (!m_newGuests.take(request.client, now))
                return HttpReply::tooManyRequests(m_newGuests.retryAfterMs(request.client, now));
            const QByteArray token = newToken();
            const qint64 id = m_store.createPlayer(friendlyName(), Router::tokenHash(token));
            const auto player = m_store.player(id);
            if (!player)
                return HttpReply::error(500, u"The session could not be created."_s);
            return HttpReply::json(
                AuthReply { QString::fromLatin1(token), WireJson::player(*player) }.toJson(), 201);
        });
    // For load balancers: this node serves and its database answers.
    server.addRoute(Method::Get, u"/healthz"_s, Access::Public, [this](const ApiRequest &) {
        HttpReply reply;
        reply.contentType = "text/plain";
        reply.status = m_store.ping() ? 200 : 503;
        reply.body = reply.status == 200 ? "ok" : "database unavailable";
        return reply;
    });
    server.addRoute(Method::Get, u"/api/me"_s, Access::Player, [this](const ApiRequest &request) {
        const auto player = m_store.player(request.playerId);
        return player ? HttpReply::json(WireJson::player(*player).toJson())
                      : HttpReply::unauthenticated();
    });
    server.addRoute(Method::Get, u"/api/connection"_s, Access::Player, [this](const ApiRequest &) {
        return HttpReply::json(ConnectionInfo { QString(m_publicUrl + u"/invite"_s) }.toJson());
    });
}
