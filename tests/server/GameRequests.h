#pragma once

#include "ApiClient.h"

#include <QJsonObject>
#include <QString>

#include <functional>
#include <optional>

class ManualClock;

// The requests the server tests repeat, as a Tosswick client sends them, each answering with
// the server's reply.
class GameRequests {
public:
    struct Player {
        QByteArray token;
        qint64 id = 0;
    };
    // Two new players in a new room, the first its owner.
    struct TwoPlayerRoom {
        Player first;
        Player second;
        qint64 room = 0;
    };

    // Against a server on the real clock (waits sleep), or on this clock (waits move it).
    explicit GameRequests(const ApiClient &api);
    GameRequests(const ApiClient &api, ManualClock &clock);

    // Lets `ms` pass on the server's clock: before a result, so that its flight could have
    // happened since its shot, and for a cooldown to end.
    std::function<void(int ms)> letTimePass;

    Player newPlayer() const;
    // A new room owned by `owner`; its reply (a Room).
    QJsonObject createRoom(
        const Player &owner, const QString &name = QStringLiteral("Test room")) const;
    ApiClient::Reply join(const Player &player, const QString &code) const;
    // A room with these players, the first its owner; answers its id.
    qint64 roomWith(const QList<Player> &players) const;
    TwoPlayerRoom twoPlayerRoom() const;

    ApiClient::Reply post(qint64 room, const QString &suffix, const Player &player,
        const QJsonObject &body = {}) const
    {
        return m_api.post(QStringLiteral("rooms/%1/%2").arg(room).arg(suffix), body, player.token);
    }
    ApiClient::Reply state(qint64 room, const Player &player) const
    {
        return m_api.get(QStringLiteral("rooms/%1/state").arg(room), player.token);
    }
    ApiClient::Reply heartbeat(qint64 room, const Player &player, bool dnd = false) const
    {
        return post(room, QStringLiteral("heartbeat"), player,
            { { QStringLiteral("socket_id"), QStringLiteral("1.1") },
                { QStringLiteral("dnd"), dnd } });
    }

    ApiClient::Reply send(qint64 room, const Player &sender, const QString &requestId,
        std::optional<qint64> receiver = std::nullopt,
        const QJsonObject &entry = defaultEntry()) const;
    // Makes the receiver online with a heartbeat and sends them the ball.
    ApiClient::Reply sendToOnline(qint64 room, const Player &sender, const Player &receiver,
        const QString &requestId, const QJsonObject &entry = defaultEntry()) const;
    // The round in play as the player sees it (an empty object when there is none).
    QJsonObject round(qint64 room, const Player &player) const;
    ApiClient::Reply ready(qint64 room, const Player &receiver, const QString &roundId) const;
    // Sends the ball to the receiver (made online) once the cooldown has passed, and reports
    // ready; answers the round as the receiver sees it, an empty object on failure.
    QJsonObject activeRound(qint64 room, const Player &sender, const Player &receiver) const;
    // Plays such a round to a hit; false when any step fails.
    bool playHit(qint64 room, const Player &sender, const Player &receiver) const;

    ApiClient::Reply shot(qint64 room, const Player &receiver, const QJsonObject &round,
        const QString &shotId, qint64 sequence, const QJsonObject &release = throwRelease()) const;
    // Posts a result once its flight up to `after` could have happened (see letTimePass).
    ApiClient::Reply result(qint64 room, const Player &receiver, const QJsonObject &round,
        const QString &shotId, qint64 sequence, const QJsonObject &before,
        const QJsonObject &after) const;
    // A result whose samples fall through the hoop on the flight of throwRelease().
    ApiClient::Reply hitResult(qint64 room, const Player &receiver, const QJsonObject &round,
        const QString &shotId, qint64 sequence) const;

    // Runs steps on a new room of p0 (its owner, holding the ball), p1, p2 and p3, and a
    // stranger x: "<player> <action>[!] [<other player or a JSON body>] [= <status> [<fields
    // named in errors>] ["<first error text>"]]", where a request without a status must succeed
    // and a refusal must say why ("!": the room does not exist; a send's request id is its step);
    // or a check: "holder <player>" (and no round), "status <player> <word>", "members <n>",
    // "rooms <player> <n>", "active <player> none", "score <player> <points received misses
    // best>", "cooldown <ms left>", "round <state or none>"; or "wait <ms>". Answers the first
    // failed step with what it saw; empty when all pass.
    QString run(const QString &script) const;

    // A timestamp of the server's replies in milliseconds since the epoch.
    static qint64 msOf(const QJsonValue &timestamp);
    static QJsonObject defaultEntry();
    // The assisted throw from the start spot: it falls through the centre of the standard
    // hoop hitSeconds after its release.
    static QJsonObject throwRelease();
    static constexpr double hitSeconds = 1.1;
    // Where a ball released as `release` is t seconds later, moved by dx: the clients' flight.
    static QJsonObject sampleAt(const QJsonObject &release, double t, double dx = 0);
    // A player's score in a snapshot as "points received misses best" ("- - - -" when absent).
    static QString scoreOf(const QJsonObject &snapshot, qint64 playerId);
    static QString scoreText(const QJsonObject &score);
    static QString statusOf(const QJsonObject &snapshot, qint64 playerId);

private:
    const ApiClient &m_api;
};
