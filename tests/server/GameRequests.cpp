#include "GameRequests.h"

#include "ManualClock.h"

#include <QDateTime>
#include <QJsonArray>
#include <QTest>
#include <QUuid>

#include <cmath>

using namespace Qt::StringLiterals;

namespace {

constexpr double gravity = 1.3; // the clients' scene, field sides per second squared
constexpr double networkSlackSeconds = 0.5; // how much sooner than its flight a result may come
constexpr int flightMarginMs = 20; // for the server's clock, which counts whole milliseconds

QJsonObject findById(const QJsonArray &array, const QString &key, qint64 id)
{
    for (const auto &value : array) {
        if (value[key].toInteger() == id)
            return value.toObject();
    }
    return {};
}

} // namespace

GameRequests::GameRequests(const ApiClient &api)
    : letTimePass([](int ms) { QTest::qWait(ms); })
    , m_api(api)
{
}

GameRequests::GameRequests(const ApiClient &api, ManualClock &clock)
    : letTimePass([&clock](int ms) { clock.advance(ms); })
    , m_api(api)
{
}

GameRequests::Player GameRequests::newPlayer() const
{
    Player player;
    player.token = m_api.guest(&player.id);
    return player;
}

QJsonObject GameRequests::createRoom(const Player &owner, const QString &name) const
{
    return m_api.post(u"rooms"_s, { { u"name"_s, name } }, owner.token).object();
}

ApiClient::Reply GameRequests::join(const Player &player, const QString &code) const
{
    return m_api.post(u"rooms/join"_s, { { u"code"_s, code } }, player.token);
}

qint64 GameRequests::roomWith(const QList<Player> &players) const
{
    const QJsonObject room = createRoom(players.constFirst());
    for (qsizetype i = 1; i < players.size(); ++i)
        join(players.at(i), room[u"invite_code"_s].toString());
    return room[u"id"_s].toInteger();
}

GameRequests::TwoPlayerRoom GameRequests::twoPlayerRoom() const
{
    TwoPlayerRoom pair { newPlayer(), newPlayer() };
    pair.room = roomWith({ pair.first, pair.second });
    return pair;
}

ApiClient::Reply GameRequests::send(qint64 room, const Player &sender, const QString &requestId,
    std::optional<qint64> receiver, const QJsonObject &entry) const
{
    QJsonObject body { { u"request_id"_s, requestId }, { u"entry"_s, entry } };
    if (receiver)
        body.insert(u"receiver_id"_s, *receiver);
    return post(room, u"ball/send"_s, sender, body);
}

ApiClient::Reply GameRequests::sendToOnline(qint64 room, const Player &sender,
    const Player &receiver, const QString &requestId, const QJsonObject &entry) const
{
    heartbeat(room, receiver);
    return send(room, sender, requestId, receiver.id, entry);
}

QJsonObject GameRequests::round(qint64 room, const Player &player) const
{
    return state(room, player).object()[u"round"_s].toObject();
}

ApiClient::Reply GameRequests::ready(
    qint64 room, const Player &receiver, const QString &roundId) const
{
    return post(room, u"round/ready"_s, receiver, { { u"round_id"_s, roundId } });
}

QJsonObject GameRequests::activeRound(
    qint64 room, const Player &sender, const Player &receiver) const
{
    const QJsonObject snapshot = state(room, sender).object();
    const QJsonValue cooldownUntil = snapshot[u"room"_s][u"cooldown_until"_s];
    if (cooldownUntil.isString()) {
        const qint64 left = msOf(cooldownUntil) - msOf(snapshot[u"server_time"_s]);
        if (left > 0)
            letTimePass(int(left));
    }
    const QString requestId = QUuid::createUuid().toString(QUuid::WithoutBraces);
    if (sendToOnline(room, sender, receiver, requestId).status != 200)
        return {};
    const QJsonObject waiting = round(room, receiver);
    if (waiting.isEmpty() || ready(room, receiver, waiting[u"id"_s].toString()).status != 200)
        return {};
    return round(room, receiver);
}

bool GameRequests::playHit(qint64 room, const Player &sender, const Player &receiver) const
{
    const QJsonObject active = activeRound(room, sender, receiver);
    if (active.isEmpty())
        return false;
    const qint64 sequence = active[u"last_sequence"_s].toInteger();
    const QString shotId = QUuid::createUuid().toString(QUuid::WithoutBraces);
    return shot(room, receiver, active, shotId, sequence + 1).status == 200
        && hitResult(room, receiver, active, shotId, sequence + 2).status == 200;
}

ApiClient::Reply GameRequests::shot(qint64 room, const Player &receiver, const QJsonObject &round,
    const QString &shotId, qint64 sequence, const QJsonObject &release) const
{
    return post(room, u"round/shot"_s, receiver,
        { { u"round_id"_s, round[u"id"_s] }, { u"nonce"_s, round[u"nonce"_s] },
            { u"shot_id"_s, shotId }, { u"sequence"_s, sequence }, { u"release"_s, release } });
}

ApiClient::Reply GameRequests::result(qint64 room, const Player &receiver, const QJsonObject &round,
    const QString &shotId, qint64 sequence, const QJsonObject &before,
    const QJsonObject &after) const
{
    const double early = after[u"t"_s].toDouble() - networkSlackSeconds;
    if (early > 0)
        letTimePass(static_cast<int>(std::ceil(early * 1000)) + flightMarginMs);
    return post(room, u"round/result"_s, receiver,
        { { u"round_id"_s, round[u"id"_s] }, { u"nonce"_s, round[u"nonce"_s] },
            { u"shot_id"_s, shotId }, { u"sequence"_s, sequence }, { u"before"_s, before },
            { u"after"_s, after } });
}

ApiClient::Reply GameRequests::hitResult(qint64 room, const Player &receiver,
    const QJsonObject &round, const QString &shotId, qint64 sequence) const
{
    const QJsonObject release = throwRelease();
    return result(room, receiver, round, shotId, sequence, sampleAt(release, hitSeconds - 0.02),
        sampleAt(release, hitSeconds + 0.02));
}

qint64 GameRequests::msOf(const QJsonValue &timestamp)
{
    return QDateTime::fromString(timestamp.toString(), Qt::ISODateWithMs).toMSecsSinceEpoch();
}

QJsonObject GameRequests::defaultEntry()
{
    return { { u"x"_s, 0.0 }, { u"y"_s, 0.5 }, { u"vx"_s, 0.4 }, { u"vy"_s, 0.2 } };
}

QJsonObject GameRequests::throwRelease()
{
    // From the start spot (0.18, 0.18) to the rim centre (0.76, 0.42) in hitSeconds under
    // gravity: vx about 0.53, vy about 0.93, the velocity the clients' assisted throw aims at.
    constexpr double x = 0.18;
    constexpr double y = 0.18;
    constexpr double t = hitSeconds;
    return { { u"x"_s, x }, { u"y"_s, y }, { u"vx"_s, (0.76 - x) / t },
        { u"vy"_s, (0.42 - y + 0.5 * gravity * t * t) / t } };
}

QJsonObject GameRequests::sampleAt(const QJsonObject &release, double t, double dx)
{
    const double x = release[u"x"_s].toDouble() + release[u"vx"_s].toDouble() * t;
    const double y
        = release[u"y"_s].toDouble() + release[u"vy"_s].toDouble() * t - 0.5 * gravity * t * t;
    return { { u"x"_s, x + dx }, { u"y"_s, y }, { u"t"_s, t } };
}

QString GameRequests::scoreOf(const QJsonObject &snapshot, qint64 playerId)
{
    return scoreText(findById(snapshot[u"scores"_s].toArray(), u"user_id"_s, playerId));
}

QString GameRequests::statusOf(const QJsonObject &snapshot, qint64 playerId)
{
    return findById(snapshot[u"members"_s].toArray(), u"id"_s, playerId)[u"status"_s].toString();
}

QString GameRequests::scoreText(const QJsonObject &score)
{
    QStringList parts;
    for (const auto key : { u"points", u"received", u"misses", u"best" })
        parts.append(score[key].isDouble() ? QString::number(score[key].toInteger()) : u"-"_s);
    return parts.join(u' ');
}

QString GameRequests::run(const QString &script) const
{
    QList<Player> players;
    for (int i = 0; i < 5; ++i)
        players.append(newPlayer());
    const QJsonObject created = createRoom(players[0]);
    const qint64 room = created[u"id"_s].toInteger();
    const QString code = created[u"invite_code"_s].toString();
    for (int i = 1; i < 4; ++i)
        join(players[i], code);
    const auto player = [&](const QString &name) -> const Player & {
        return players[name == u"x" ? 4 : name.mid(1).toInt()];
    };
    // The room as any member who may still read it sees it.
    const auto snapshot = [&] {
        for (const Player &viewer : std::as_const(players)) {
            const ApiClient::Reply reply = state(room, viewer);
            if (reply.status == 200)
                return reply.object();
        }
        return QJsonObject();
    };
    for (const QString &step : script.split(u", "_s)) {
        QStringList words = step.split(u' ');
        QString seen;
        const QJsonObject now = words[0].size() > 2 ? snapshot() : QJsonObject();
        if (words[0] == u"wait") {
            letTimePass(words[1].toInt());
            continue;
        } else if (words[0] == u"holder") {
            seen = now[u"state"_s].toString() + u' '
                + (now[u"room"_s][u"ball_owner_id"_s].toInteger() == player(words[1]).id
                        ? words[1]
                        : u"another"_s);
            words = { words[0], u"IDLE"_s, words[1] };
        } else if (words[0] == u"status" || words[0] == u"score") {
            const qint64 id = player(words.takeAt(1)).id;
            seen = words[0] == u"status" ? statusOf(now, id) : scoreOf(now, id);
        } else if (words[0] == u"members") {
            seen = QString::number(now[u"members"_s].toArray().size());
        } else if (words[0] == u"cooldown") {
            const QJsonValue until = now[u"room"_s][u"cooldown_until"_s];
            seen
                = QString::number(until.isString() ? msOf(until) - msOf(now[u"server_time"_s]) : 0);
        } else if (words[0] == u"round") {
            seen = now[u"round"_s][u"state"_s].toString(u"none"_s);
        } else if (words[0] == u"rooms") {
            seen = QString::number(
                m_api.get(u"rooms"_s, player(words.takeAt(1)).token).document().array().size());
        } else if (words[0] == u"active") {
            const QJsonObject me = m_api.get(u"me"_s, player(words.takeAt(1)).token).object();
            seen = me.contains(u"active_room_id"_s) ? u"some"_s : u"none"_s;
        } else {
            const Player &who = player(words[0]);
            QString action = words[1];
            const qint64 at = action.endsWith(u'!') ? room + 100000 : room;
            action.remove(u'!');
            const QString target = words.value(2);
            const bool isTarget = target.size() <= 2 && !target.isEmpty() && target != u"=";
            ApiClient::Reply reply;
            if (target.startsWith(u'{'))
                reply = m_api.request("POST",
                    u"rooms/%1/%2"_s.arg(room).arg(
                        action == u"beat" ? u"heartbeat"_s : u"ball/send"_s),
                    target.toUtf8(), who.token);
            else if (action == u"beat" || action == u"dnd")
                reply = heartbeat(at, who, action == u"dnd");
            else if (action == u"beat-elsewhere")
                reply = heartbeat(roomWith({ who }), who);
            else if (action == u"bye" || action == u"leave" || action == u"activate")
                reply = post(at, action == u"bye" ? u"disconnect"_s : action, who);
            else if (action == u"delete")
                reply = m_api.request("DELETE", u"rooms/%1"_s.arg(room), "{}", who.token);
            else if (action == u"state")
                reply = state(at, who);
            else if (action == u"join")
                reply = join(who, code);
            else if (action == u"send")
                reply = send(room, who, step.section(u" ="_s, 0, 0),
                    isTarget ? std::optional(player(target).id) : std::nullopt);
            else if (action == u"hit")
                reply.status = playHit(room, who, player(target)) ? 200 : 0;
            else if (action == u"take")
                reply.status = activeRound(room, who, player(target)).isEmpty() ? 0 : 200;
            const bool refused = reply.status >= 400;
            seen = QString::number(refused || reply.status < 200 ? reply.status : 200);
            if (refused && reply.object()[u"message"_s].toString().isEmpty())
                seen += u" without a message"_s;
            const QJsonObject errors = reply.object()[u"errors"_s].toObject();
            if (reply.status == 422)
                seen += u' ' + errors.keys().join(u',');
            if (step.section(u" = "_s, 1).contains(u'"')) {
                QString text
                    = errors.isEmpty() ? QString() : errors.begin()->toArray()[0].toString();
                for (qsizetype i = 1; i < 4; ++i)
                    text.replace(
                        m_api.get(u"me"_s, players[i].token).object()[u"name"_s].toString(),
                        u"p"_s + QString::number(i));
                seen += u" \""_s + text + u'"';
            }
            const qsizetype equals = words.indexOf(u"="_s);
            words = QStringList { QString() }
                + (equals < 0 ? QStringList { u"200"_s } : words.mid(equals + 1));
        }
        if (seen != words.mid(1).join(u' '))
            return step + u": "_s + seen;
    }
    return {};
}
