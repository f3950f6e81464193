#include "GameServer.h"

#include "RealtimeGateway.h"
#include "game/Clock.h"
#include "game/Presence.h"
#include "game/RoomEvents.h"
#include "game/Rounds.h"
#include "http/Api.h"
#include "http/InvitePage.h"
#include "http/RoomRoutes.h"
#include "http/RoundRoutes.h"
#include "http/Router.h"
#include "http/SnapshotBuilder.h"
#include "net/HttpListener.h"
#include "store/EventListener.h"
#include "store/NodeRegistry.h"
#include "store/RoomStore.h"
#include "store/RoundStore.h"
#include "store/Store.h"

#include <QElapsedTimer>
#include <QRandomGenerator>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

QString randomSecret()
{
    QByteArray bytes(20, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(bytes.data()), 5);
    return QString::fromLatin1(bytes.toHex());
}

RealtimeConfig realtimeConfig(const ServerOptions &options, const QString &secret)
{
    RealtimeConfig config;
    config.appKey = options.appKey;
    config.appSecret = secret.toUtf8();
    if (options.testRealtimeTimeoutMs > 0) {
        config.activityTimeout = std::chrono::milliseconds(options.testRealtimeTimeoutMs);
        config.pongTimeout = config.activityTimeout;
    }
    return config;
}

} // namespace

GameServer::GameServer(ServerOptions options, Clock &clock)
    : m_options(std::move(options))
    , m_clock(clock)
{
}

GameServer::~GameServer()
{
    // The transport goes first: no request may reach routes that are gone.
    m_transport.reset();
}

bool GameServer::start()
{
    m_store = std::make_unique<Store>();
    if (!m_store->open(m_options.databasePath)) {
        m_error = m_store->errorText();
        return false;
    }
    QString secret = m_options.appSecret;
    QString secretSource = m_options.appSecretSource;
    if (secret.isEmpty()) {
        const QString made = randomSecret();
        secret = m_store->settingOr(u"app_secret"_s, made);
        secretSource = secret == made ? u"the database (made now)"_s : u"the database"_s;
    }
    std::fprintf(stderr, "app secret from %s\n", qPrintable(secretSource));

    RealtimeConfig realtime = realtimeConfig(m_options, secret);
    if (m_store->backend() == DatabaseUrl::Backend::Postgres) {
        m_node = std::make_unique<NodeRegistry>(*m_store, m_clock);
        if (!m_node->join()) {
            m_error = u"database %1 cannot register this node"_s.arg(
                DatabaseUrl::masked(m_options.databasePath));
            return false;
        }
        realtime.socketIdHead = quint32(m_node->id());
    }

    m_rooms = std::make_unique<RoomStore>(*m_store);
    m_rounds = std::make_unique<RoundStore>(*m_store);
    m_events = std::make_unique<RoomEvents>(*m_store);
    if (m_store->backend() == DatabaseUrl::Backend::Postgres) {
        m_listener = std::make_unique<EventListener>(m_store->url());
        if (!m_listener->start()) {
            m_error = u"database %1 cannot be listened to: %2"_s.arg(
                DatabaseUrl::masked(m_options.databasePath), m_listener->errorText());
            return false;
        }
        QObject::connect(
            m_listener.get(), &EventListener::received, m_events.get(), &RoomEvents::receive);
        QObject::connect(
            m_listener.get(), &EventListener::resumed, m_events.get(), &RoomEvents::resume);
    }
    m_presence
        = std::make_unique<Presence>(*m_store, *m_events, m_clock, m_options.durations.presenceMs);
    m_rules = std::make_unique<Rounds>(
        *m_store, *m_rooms, *m_rounds, *m_presence, *m_events, m_options.durations, m_clock);
    // Before the realtime gateway, so no member hears of a change before snapshots follow it.
    m_snapshots = std::make_unique<SnapshotBuilder>(*m_rooms, *m_rounds, *m_presence, *m_events);
    m_router
        = std::make_unique<Router>(*m_store, m_clock, m_options.rates, m_options.trustedProxies);
    QObject::connect(
        &m_logFlush, &QTimer::timeout, [router = m_router.get()] { router->flushLog(); });
    m_logFlush.start(std::chrono::seconds(10));
    m_transport = std::make_unique<HttpListener>(
        m_options.limits, [router = m_router.get()](const HttpRequest &request) {
            return router->dispatch(request);
        });
    m_transport->setRefusalHandler(
        [router = m_router.get()](const QByteArray &method, const QByteArray &target, int status) {
            router->logRefusal(method, target, status);
        });
    if (!m_transport->listen(m_options.address, m_options.port)) {
        m_error = u"cannot listen on %1:%2: %3"_s.arg(m_options.address.toString())
                      .arg(m_options.port)
                      .arg(m_transport->errorText());
        return false;
    }
    const QString publicUrl
        = m_options.publicUrl.isEmpty() ? u"http://"_s + address() : m_options.publicUrl;
    m_api = std::make_unique<Api>(*m_store, publicUrl, m_clock, m_options.rates);
    m_api->registerRoutes(*m_router);
    m_roomRoutes = std::make_unique<RoomRoutes>(*m_store, *m_rooms, *m_rules, *m_presence,
        *m_snapshots, *m_events, m_clock, m_options.rates);
    m_roomRoutes->registerRoutes(*m_router);
    m_roundRoutes = std::make_unique<RoundRoutes>(*m_rooms, *m_rules, *m_snapshots, m_clock);
    m_roundRoutes->registerRoutes(*m_router);
    m_realtime = std::make_unique<RealtimeGateway>(
        *m_transport, *m_router, *m_rooms, *m_store, *m_events, std::move(realtime));
    if (m_node) {
        // The grants of its sockets are gone: their clients reconnect and are granted anew.
        QObject::connect(m_node.get(), &NodeRegistry::presumedGone, m_realtime.get(), [this] {
            m_realtime->closeAll(
                4200, u"The server lost track of this connection; reconnect now."_s);
        });
    }
    m_invitePage = std::make_unique<InvitePage>(
        publicUrl, InvitePage::webSocketUrlFor(publicUrl), m_options.appKey);
    m_invitePage->registerRoute(*m_router);

    // Rounds whose time ran out while the server was down end now.
    m_rules->expireDue();
    return true;
}

void GameServer::drain(std::function<void()> done, int deadlineMs)
{
    if (!m_transport) {
        done();
        return;
    }
    m_transport->stopAccepting();
    m_realtime->closeAll(4200, u"The server is restarting; reconnect now."_s);
    auto *poll = new QTimer;
    poll->setInterval(20);
    QElapsedTimer waited;
    waited.start();
    QObject::connect(poll, &QTimer::timeout, [this, poll, waited, deadlineMs, done] {
        const bool idle = m_transport->openHttpConnections() == 0
            && m_realtime->service().connectionCount() == 0;
        if (!idle && waited.elapsed() < deadlineMs)
            return;
        poll->deleteLater();
        done();
    });
    poll->start();
}

QString GameServer::address() const
{
    return m_options.address.toString() + u':' + QString::number(port());
}

quint16 GameServer::port() const
{
    return m_transport ? m_transport->port() : 0;
}
