#pragma once

#include "HttpReply.h"
#include "HttpRequest.h"

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QRegularExpression>
#include <QStringList>

#include <functional>
#include <optional>

class Store;

// What a route handler gets: the request, the path's captured parts, the JSON body and the
// authenticated player (0 for routes that need none).
struct ApiRequest {
    const HttpRequest &http;
    QStringList captures;
    QJsonObject body;
    qint64 playerId = 0;

    qint64 captureId(int index) const { return captures.value(index).toLongLong(); }
};

// The routes of the HTTP API: finds the handler for a request, reads its body (non-object
// bodies are 400; routes that also take forms read form-encoded bodies into text fields) and
// answers 401 on routes for players when the request has no valid bearer token.
class Router {
public:
    using Handler = std::function<HttpReply(const ApiRequest &)>;
    using Method = HttpRequest::Method;
    enum class Access { Public, Player };
    enum class Body { Json, JsonOrForm };

    explicit Router(const Store &store);

    // pattern is a full-path regular expression, e.g. "/api/rooms/(\\d+)/state".
    void addRoute(Method method, const QString &pattern, Access access, Handler handler,
        Body body = Body::Json);

    HttpReply dispatch(const HttpRequest &request) const;

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

    HttpReply route(const HttpRequest &request) const;

    const Store &m_store;
    QList<Route> m_routes;
    // Players by token hash; tokens never change hands nor expire, so only hits are kept.
    mutable QHash<QByteArray, qint64> m_players;
};
