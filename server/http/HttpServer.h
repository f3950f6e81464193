#pragma once

#include "HttpReply.h"

#include <QAbstractHttpServer>
#include <QHttpServerRequest>
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
    const QHttpServerRequest &http;
    QStringList captures;
    QJsonObject body;
    qint64 playerId = 0;

    qint64 captureId(int index) const { return captures.value(index).toLongLong(); }
};

// The HTTP front: a small router over QAbstractHttpServer, so WebSocket upgrades on the same
// port stay available (newWebSocketConnection()). Bodies over 64 KiB are 413, non-object
// bodies 400 (routes that also take forms read form-encoded bodies into text fields), and
// routes marked authenticated get 401 without a valid bearer token.
class HttpServer : public QAbstractHttpServer {
    Q_OBJECT
public:
    using Handler = std::function<HttpReply(const ApiRequest &)>;
    enum class Access { Public, Player };
    enum class Body { Json, JsonOrForm };

    explicit HttpServer(const Store &store, QObject *parent = nullptr);

    // pattern is a full-path regular expression, e.g. "/api/rooms/(\\d+)/state".
    void addRoute(QHttpServerRequest::Method method, const QString &pattern, Access access,
        Handler handler, Body body = Body::Json);

    // The player whose bearer token the request carries, if any.
    std::optional<qint64> authenticate(const QHttpServerRequest &request) const;

    static QByteArray tokenHash(const QByteArray &token);

protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override;
    void missingHandler(const QHttpServerRequest &request, QTcpSocket *socket) override;

private:
    struct Route {
        QHttpServerRequest::Method method;
        QRegularExpression pattern;
        Access access;
        Handler handler;
        Body body;
    };

    HttpReply dispatch(const QHttpServerRequest &request);
    void send(const QHttpServerRequest &request, QTcpSocket *socket, const HttpReply &reply);

    const Store &m_store;
    QList<Route> m_routes;
};
