#include "Router.h"

#include "store/Store.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QUrlQuery>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

// About 3 MB of hashes; past it the cache starts over.
constexpr qsizetype maxCachedPlayers = 32768;

bool isFormEncoded(const HttpRequest &request)
{
    const QByteArray type = request.contentType.split(';').constFirst().trimmed();
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

Router::Router(const Store &store)
    : m_store(store)
{
}

void Router::addRoute(
    Method method, const QString &pattern, Access access, Handler handler, Body body)
{
    m_routes.append({ method, QRegularExpression(QRegularExpression::anchoredPattern(pattern)),
        access, std::move(handler), body });
}

QByteArray Router::tokenHash(const QByteArray &token)
{
    return QCryptographicHash::hash(token, QCryptographicHash::Sha256);
}

std::optional<qint64> Router::authenticate(const HttpRequest &request) const
{
    static const QByteArray prefix = "Bearer ";
    if (!request.authorization.startsWith(prefix))
        return std::nullopt;
    const QByteArray token = request.authorization.mid(prefix.size()).trimmed();
    if (token.isEmpty())
        return std::nullopt;
    const QByteArray hash = tokenHash(token);
    if (const auto cached = m_players.constFind(hash); cached != m_players.cend())
        return *cached;
    const auto player = m_store.playerByTokenHash(hash);
    if (!player)
        return std::nullopt;
    if (m_players.size() >= maxCachedPlayers)
        m_players.clear();
    m_players.insert(hash, player->id);
    return player->id;
}

HttpReply Router::dispatch(const HttpRequest &request) const
{
    HttpReply reply = route(request);
    if (reply.status >= 400 && reply.status != 401) {
        // The path and status only: headers (tokens) and bodies stay out of the log.
        std::fprintf(stderr, "request error: %s %s -> %d\n", request.methodText.constData(),
            qPrintable(request.path), reply.status);
    }
    return reply;
}

HttpReply Router::route(const HttpRequest &request) const
{
    bool pathKnown = false;
    for (const Route &route : m_routes) {
        const auto match = route.pattern.match(request.path);
        if (!match.hasMatch())
            continue;
        pathKnown = true;
        if (route.method != request.method)
            continue;
        ApiRequest api { request, match.capturedTexts().mid(1), {}, 0 };
        if (route.access == Access::Player) {
            const auto player = authenticate(request);
            if (!player)
                return HttpReply::unauthenticated();
            api.playerId = *player;
        }
        if (route.body == Body::JsonOrForm && isFormEncoded(request)) {
            api.body = formFields(request.body);
        } else if (!request.body.trimmed().isEmpty()) {
            QJsonParseError parseError;
            const QJsonDocument document = QJsonDocument::fromJson(request.body, &parseError);
            if (parseError.error != QJsonParseError::NoError || !document.isObject())
                return HttpReply::error(400, u"The request body must be a JSON object."_s);
            api.body = document.object();
        }
        return route.handler(api);
    }
    if (pathKnown)
        return HttpReply::error(405, u"This method is not allowed here."_s);
    return HttpReply::error(404, u"Not found."_s);
}
