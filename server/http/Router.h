#pragma once

#include "HttpReply.h"
#include "HttpRequest.h"
#include "RateLimiter.h"
#include "RateLimits.h"
#include "RequestLog.h"

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QRegularExpression>
#include <QStringList>

#include <functional>
#include <optional>

class Clock;
class Store;

// What a route handler gets: the request, the path's captured parts, the JSON body, the
// authenticated player (0 for routes that need none) and the client's address as a key for
// per-client limits.
struct ApiRequest {
    const HttpRequest &http;
    QStringList captures;
    QJsonObject body;
    qint64 playerId = 0;
    QByteArray client;

    qint64 captureId(int index) const { return captures.value(index).toLongLong(); }
};

// The routes of the HTTP API: finds the handler for a request, reads its body (non-object
// bodies are 400; routes that also take forms read form-encoded bodies into text fields) and
// answers 401 on routes for players when the request has no valid bearer token, 429 to a
// player over the request rate, 503 to any request while the database is unavailable or that
// lost it. Refused requests are logged, safely and without repeats.
class Router {
public:
    using Handler = std::function<HttpReply(const ApiRequest &)>;
    using Method = HttpRequest::Method;
    enum class Access { Public, Player };
    enum class Body { Json, JsonOrForm };

    Router(const Store &store, const Clock &clock, const RateLimits &limits,
        QList<QHostAddress> trustedProxies = {});

    // pattern is a full-path regular expression, e.g. "/api/rooms/(\\d+)/state".
    void addRoute(Method method, const QString &pattern, Access access, Handler handler,
        Body body = Body::Json);

    HttpReply dispatch(const HttpRequest &request);
    // A refusal made before the request reached the routes (by the transport).
    void logRefusal(const QByteArray &method, const QByteArray &target, int status);
    // Writes the counts of repeated refusals; the owner calls it now and then.
    void flushLog();

    // The client's address: the direct peer's, or the one a trusted proxy forwarded.
    QHostAddress clientAddress(const HttpRequest &request) const;
    // The address as a key for limits: an IPv6 client is its /64, as one host gets a whole one.
    static QByteArray clientKey(const QHostAddress &address);

    // The player whose bearer token the request carries, if any.
    std::optional<qint64> authenticate(const HttpRequest &request) const;

    static QByteArray tokenHash(const QByteArray &token);

private:
    struct Route {
        Method method;
        QRegularExpression pattern;
        Access access;
        Handler handler;
        Body body;
    };

    HttpReply route(const HttpRequest &request);

    const Store &m_store;
    const Clock &m_clock;
    QList<Route> m_routes;
    RateLimiter m_playerRequests;
    RequestLog m_log;
    QList<QHostAddress> m_trustedProxies;
    // Players by token hash, only hits, each for a few seconds: a session reset in the
    // database (on any node's behalf) is honoured that soon.
    struct CachedPlayer {
        qint64 playerId = 0;
        qint64 untilMs = 0;
    };
    static constexpr qint64 tokenCacheMs = 5000;
    mutable QHash<QByteArray, CachedPlayer> m_players;
};
