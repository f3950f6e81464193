#include "HttpServer.h"

#include "TextCheck.h"
#include "store/Store.h"

#include <QCryptographicHash>
#include <QHttpServerResponder>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QTcpSocket>
#include <QUrlQuery>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

constexpr qsizetype maxBodySize = qsizetype(64) * 1024;

QString methodName(QHttpServerRequest::Method method)
{
    switch (method) {
    case QHttpServerRequest::Method::Get:
        return u"GET"_s;
    case QHttpServerRequest::Method::Post:
        return u"POST"_s;
    case QHttpServerRequest::Method::Delete:
        return u"DELETE"_s;
    case QHttpServerRequest::Method::Put:
        return u"PUT"_s;
    default:
        return u"OTHER"_s;
    }
}

bool isFormEncoded(const QHttpServerRequest &request)
{
    const QByteArray type = request.value("Content-Type").split(';').constFirst().trimmed();
    return type.compare("application/x-www-form-urlencoded", Qt::CaseInsensitive) == 0;
}

// The fields of an application/x-www-form-urlencoded body as texts; the first of repeated
// names counts.
QJsonObject formFields(const QByteArray &body)
{
    QByteArray encoded = body;
    encoded.replace('+', "%20");
    QJsonObject fields;
    const QUrlQuery query(QString::fromUtf8(encoded));
    for (const auto &[name, value] : query.queryItems(QUrl::FullyDecoded)) {
        if (!fields.contains(name))
            fields.insert(name, value);
    }
    return fields;
}

} // namespace

HttpServer::HttpServer(const Store &store, QObject *parent)
    : QAbstractHttpServer(parent)
    , m_store(store)
{
}

void HttpServer::addRoute(QHttpServerRequest::Method method, const QString &pattern, Access access,
    Handler handler, Body body)
{
    m_routes.append({ method, QRegularExpression(QRegularExpression::anchoredPattern(pattern)),
        access, std::move(handler), body });
}

QByteArray HttpServer::tokenHash(const QByteArray &token)
{
    return QCryptographicHash::hash(token, QCryptographicHash::Sha256);
}

std::optional<qint64> HttpServer::authenticate(const QHttpServerRequest &request) const
{
    const QByteArray header = request.value("Authorization");
    static const QByteArray prefix = "Bearer ";
    if (!header.startsWith(prefix))
        return std::nullopt;
    const QByteArray token = header.mid(prefix.size()).trimmed();
    if (token.isEmpty())
        return std::nullopt;
    const auto player = m_store.playerByTokenHash(tokenHash(token));
    if (!player)
        return std::nullopt;
    return player->id;
}

bool HttpServer::handleRequest(const QHttpServerRequest &request, QTcpSocket *socket)
{
    // Qt 6.4 hands a WebSocket upgrade to newWebSocketConnection() only when this returns
    // true for it without answering; the realtime service then checks the path.
    if (request.value("Upgrade").compare("websocket", Qt::CaseInsensitive) == 0)
        return true;
    send(request, socket, dispatch(request));
    return true;
}

void HttpServer::missingHandler(const QHttpServerRequest &request, QTcpSocket *socket)
{
    send(request, socket, HttpReply::error(404, u"Not found."_s));
}

HttpReply HttpServer::dispatch(const QHttpServerRequest &request)
{
    const QString path = request.url().path();
    bool pathKnown = false;
    for (const Route &route : std::as_const(m_routes)) {
        const auto match = route.pattern.match(path);
        if (!match.hasMatch())
            continue;
        pathKnown = true;
        if (route.method != request.method())
            continue;
        ApiRequest api { request, match.capturedTexts().mid(1), {}, 0 };
        if (route.access == Access::Player) {
            const auto player = authenticate(request);
            if (!player)
                return HttpReply::unauthenticated();
            api.playerId = *player;
        }
        const QByteArray body = request.body();
        if (body.size() > maxBodySize)
            return HttpReply::error(413, u"The request is too large."_s);
        const bool form = route.body == Body::JsonOrForm && isFormEncoded(request);
        if (form) {
            api.body = formFields(body);
        } else if (!body.trimmed().isEmpty()) {
            QJsonParseError parseError;
            const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
            if (parseError.error != QJsonParseError::NoError || !document.isObject())
                return HttpReply::error(400, u"The request body must be a JSON object."_s);
            api.body = document.object();
        }
        const auto unclean
            = form ? TextCheck::uncleanField(api.body) : TextCheck::uncleanField(body);
        if (unclean) {
            return HttpReply::invalid(
                *unclean, u"This text must not contain control characters or broken characters."_s);
        }
        return route.handler(api);
    }
    if (pathKnown)
        return HttpReply::error(405, u"This method is not allowed here."_s);
    return HttpReply::error(404, u"Not found."_s);
}

void HttpServer::send(const QHttpServerRequest &request, QTcpSocket *socket, const HttpReply &reply)
{
    if (reply.status >= 400 && reply.status != 401) {
        // The path and status only: headers (tokens) and bodies stay out of the log.
        std::fprintf(stderr, "request error: %s %s -> %d\n",
            qPrintable(methodName(request.method())), qPrintable(request.url().path()),
            reply.status);
    }
    QHttpServerResponder responder = makeResponder(request, socket);
    const auto status = QHttpServerResponder::StatusCode(reply.status);
    if (reply.body.isEmpty()) {
        responder.write(status);
    } else if (reply.headers.isEmpty()) {
        responder.write(reply.body, reply.contentType, status);
    } else {
        responder.writeStatusLine(status);
        for (const auto &[name, value] : reply.headers)
            responder.writeHeader(name, value);
        responder.writeHeader("Content-Type", reply.contentType);
        responder.writeHeader("Content-Length", QByteArray::number(reply.body.size()));
        responder.writeBody(reply.body);
    }
}
