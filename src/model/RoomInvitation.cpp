#include "model/RoomInvitation.h"

#include "model/UrlParts.h"

#include <QHash>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace {

// A server address: one of the schemes, a host, and nothing that a base URL must not carry.
std::optional<QString> serverScheme(const QString &text, const QStringList &schemes)
{
    const auto parts = UrlParts::split(text);
    if (!parts || !schemes.contains(parts->scheme) || parts->host.isEmpty() || parts->userInfo
        || parts->query || parts->fragment)
        return std::nullopt;
    return parts->scheme;
}

} // namespace

std::optional<RoomInvitation> RoomInvitation::parse(const QString &link)
{
    const auto parts = UrlParts::split(link);
    if (!parts || parts->scheme != u"tosswick"_s || parts->host != u"join"_s)
        return std::nullopt;
    const auto items = parts->queryItems();
    if (!items)
        return std::nullopt;
    QHash<QString, QString> values;
    for (const auto &[name, value] : *items) {
        if (values.contains(name))
            return std::nullopt;
        values.insert(name, value);
    }
    for (const auto &name : { u"room"_s, u"api"_s, u"ws"_s, u"key"_s }) {
        if (!values.contains(name))
            return std::nullopt;
    }

    const QString room = values.value(u"room"_s).toUpper();
    // Anchored with \A…\z: "$" would also accept a decoded line break at the end.
    static const QRegularExpression roomPattern(
        QRegularExpression::anchoredPattern(u"[A-Z0-9]{8,64}"_s));
    if (!roomPattern.match(room).hasMatch())
        return std::nullopt;

    const QString api = values.value(u"api"_s);
    const QString websocket = values.value(u"ws"_s);
    const auto apiScheme = serverScheme(api, { u"http"_s, u"https"_s });
    const auto wsScheme = serverScheme(websocket, { u"ws"_s, u"wss"_s });
    if (!apiScheme || !wsScheme)
        return std::nullopt;
    if (*apiScheme == u"https"_s && *wsScheme != u"wss"_s)
        return std::nullopt;

    const QString key = values.value(u"key"_s);
    static const QRegularExpression keyPattern(
        QRegularExpression::anchoredPattern(u"[A-Za-z0-9_.-]{1,128}"_s));
    if (!keyPattern.match(key).hasMatch())
        return std::nullopt;

    return RoomInvitation { room, UrlParts::trimSlashes(api), websocket, key };
}
