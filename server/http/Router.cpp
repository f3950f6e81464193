#include "Router.h"

#include "TextCheck.h"
#include "game/Clock.h"
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

Router::Router(const Store &store, const Clock &clock, const RateLimits &limits,
    QList<QHostAddress> trustedProxies)
    : m_store(store)
    , m_clock(clock)
    , m_playerRequests({ limits.requestsPerSecond, limits.requestsPerSecond })
    , m_log([](const QString &line) { std::fprintf(stderr, "%s\n", qPrintable(line)); })
    , m_trustedProxies(std::move(trustedProxies))
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
    const qint64 now = m_clock.nowMs();
    if (const auto cached = m_players.constFind(hash);
        cached != m_players.cend() && now < cached->untilMs)
        return cached->playerId;
    const auto player = m_store.playerByTokenHash(hash);
    if (!player) {
        m_players.remove(hash);
        return std::nullopt;
    }
    if (m_players.size() >= maxCachedPlayers)
        m_players.clear();
    m_players.insert(hash, { player->id, now + tokenCacheMs });
    return player->id;
}

HttpReply Router::dispatch(const HttpRequest &request)
{
    const quint64 losses = m_store.connectionLosses();
    HttpReply reply = route(request);
    // Whatever the route made of reads that failed (no such room, no such player) may be
    // wrong: the client is told to try again instead.
    if (m_store.isUnavailable() || m_store.connectionLosses() != losses) {
        reply = HttpReply::error(
            503, u"The game's database is not available; please try again shortly."_s);
    }
    // The path and status only: headers (tokens) and bodies stay out of the log.
    if (reply.status >= 400 && reply.status != 401) {
        m_log.refused(
            QString::fromLatin1(request.methodText), request.path, reply.status, m_clock.nowMs());
    }
    return reply;
}

void Router::logRefusal(const QByteArray &method, const QByteArray &target, int status)
{
    m_log.refused(QString::fromLatin1(method), QString::fromUtf8(target), status, m_clock.nowMs());
}

void Router::flushLog()
{
    m_log.flush(m_clock.nowMs());
}

QHostAddress Router::clientAddress(const HttpRequest &request) const
{
    if (request.forwardedFor.isEmpty() || !m_trustedProxies.contains(request.peer))
        return request.peer;
    // The last entry is the one our proxy added; earlier ones are the client's own say.
    const QHostAddress forwarded(
        QString::fromLatin1(request.forwardedFor.split(',').constLast().trimmed()));
    return forwarded.isNull() ? request.peer : forwarded;
}

QByteArray Router::clientKey(const QHostAddress &address)
{
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    if (isV4)
        return QByteArray::number(v4);
    const Q_IPV6ADDR v6 = address.toIPv6Address();
    return QByteArray(reinterpret_cast<const char *>(v6.c), 8);
}

HttpReply Router::route(const HttpRequest &request)
{
    bool pathKnown = false;
    for (const Route &route : m_routes) {
        const auto match = route.pattern.match(request.path);
        if (!match.hasMatch())
            continue;
        pathKnown = true;
        if (route.method != request.method)
            continue;
        ApiRequest api { request, match.capturedTexts().mid(1), {}, 0,
            clientKey(clientAddress(request)) };
        if (route.access == Access::Player) {
            const auto player = authenticate(request);
            if (!player)
                return HttpReply::unauthenticated();
            api.playerId = *player;
            const QByteArray key = QByteArray::number(*player);
            const qint64 now = m_clock.nowMs();
            if (!m_playerRequests.take(key, now))
                return HttpReply::tooManyRequests(m_playerRequests.retryAfterMs(key, now));
        }
        const bool form = route.body == Body::JsonOrForm && isFormEncoded(request);
        if (form) {
            api.body = formFields(request.body);
        } else if (!request.body.trimmed().isEmpty()) {
            QJsonParseError parseError;
            const QJsonDocument document = QJsonDocument::fromJson(request.body, &parseError);
            if (parseError.error != QJsonParseError::NoError || !document.isObject())
                return HttpReply::error(400, u"The request body must be a JSON object."_s);
            api.body = document.object();
        }
        const auto unclean
            = form ? TextCheck::uncleanField(api.body) : TextCheck::uncleanField(request.body);
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
