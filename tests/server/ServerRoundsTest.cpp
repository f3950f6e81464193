#include "ApiClient.h"
#include "GameRequests.h"
#include "InProcessServer.h"
#include "PostgresCluster.h"
#include "TestServer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

using namespace Qt::StringLiterals;
using Player = GameRequests::Player;

namespace {

// The server's own durations.
constexpr qint64 roundMs = 20000;
constexpr qint64 graceMs = 1000;

constexpr auto msOf = GameRequests::msOf;

} // namespace

// Passing the ball, rounds, shots, results, scores and what the server's timer does to
// rounds nobody finishes, over real HTTP on a clock the test moves; and what survives a kill -9
// of the real program.
class ServerRoundsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(
            m_server.start(InProcessServer::withoutRateLimits()), qPrintable(m_server.errorText()));
        m_api = std::make_unique<ApiClient>(m_server.httpUrl());
        m_game = std::make_unique<GameRequests>(*m_api, m_server.clock());
    }

    // The receiver alone is told the round's secret; only they may take it, once it is theirs.
    void sendOpensAWaitingRoundTheReceiverTakes()
    {
        const auto [sender, receiver, room] = m_game->twoPlayerRoom();
        const QJsonObject entry { { u"x"_s, -0.5 }, { u"y"_s, 1.7 }, { u"vx"_s, 9.0 },
            { u"vy"_s, -4.0 } };
        QCOMPARE(m_game->sendToOnline(room, sender, receiver, u"req-1"_s, entry).status, 200);
        const QJsonObject seen = m_game->state(room, receiver).object();
        QCOMPARE(seen[u"state"_s].toString(), u"ROUND"_s);
        QVERIFY(!seen[u"room"_s].toObject().contains(u"ball_owner_id"_s));
        QJsonObject waiting = seen[u"round"_s].toObject();
        const QString roundId = waiting.take(u"id"_s).toString();
        QVERIFY(!waiting.take(u"nonce"_s).toString().isEmpty() && !roundId.isEmpty());
        QCOMPARE(QJsonDocument(waiting).toJson(QJsonDocument::Compact),
            R"({"entry":{"vx":3,"vy":-3,"x":0,"y":1},"hoop":{"radius":0.025,"width":0.24,"x":0.76,)"
            R"("y":0.42},"last_sequence":0,"receiver_id":%1,"sender_id":%2,)"
            R"("state":"WAITING_RECEIVER"})"_ba.replace("%1", QByteArray::number(receiver.id))
                .replace("%2", QByteArray::number(sender.id)));
        const QJsonObject senderView = m_game->round(room, sender);
        QVERIFY(senderView[u"id"_s] == roundId && !senderView.contains(u"nonce"_s));

        // An early shot, the sender, another round, then the receiver twice.
        const QList<int> statuses {
            m_game->shot(room, receiver, seen[u"round"_s].toObject(), u"early"_s, 1).status,
            m_game->ready(room, sender, roundId).status,
            m_game->ready(room, receiver, u"another-round"_s).status,
            m_game->ready(room, receiver, roundId).status,
            m_game->ready(room, receiver, roundId).status
        };
        QCOMPARE(statuses, QList<int>({ 409, 403, 409, 200, 200 }));
        const QJsonObject snapshot = m_game->state(room, receiver).object();
        QCOMPARE(
            u"%1 %2 %3 %4"_s.arg(snapshot[u"round"_s][u"state"_s].toString())
                .arg(msOf(snapshot[u"round"_s][u"ends_at"_s]) - msOf(snapshot[u"server_time"_s]))
                .arg(score(snapshot, receiver), GameRequests::statusOf(snapshot, receiver.id)),
            u"ACTIVE %1 0 1 0 0 BUSY"_s.arg(roundMs));
    }

    // Steps of GameRequests::run(). A send needs an available member, or picks an online one;
    // a hit scores, hands over the ball and starts the cooldown. A round ends at its deadline,
    // once: a ball nobody took goes back and counts nothing, even sent again with its request
    // id; a round whose receiver let the time run out counts one miss and leaves them the ball.
    void steps_data()
    {
        QTest::addColumn<QString>("script");
        const auto row
            = [](const char *name, const QString &script) { QTest::newRow(name) << script; };
        row("random receiver: the online member", u"p1 dnd, p2 beat, p0 send, status p2 BUSY"_s);
        row("not the holder", u"p1 beat, p2 send p1 = 403, holder p0"_s);
        row("round in play", u"p1 beat, p2 beat, p0 send p2, p0 send p1 = 409, status p1 ONLINE"_s);
        row("receiver offline", u"p0 send p1 = 422 receiver_id \"p1 is not available\""_s);
        row("receiver in do not disturb",
            u"p1 dnd, p0 send p1 = 422 receiver_id \"p1 is not available\", holder p0"_s);
        row("receiver is the sender", u"p0 beat, p0 send p0 = 422 receiver_id"_s);
        row("receiver not a member", u"p0 send x = 422 receiver_id"_s);
        row("nobody online", u"p0 send = 422 receiver_id \"No players online\""_s);
        row("entry missing a number",
            uR"(p1 beat, p0 send {"request_id":"r","entry":{"x":0,"y":0.5,"vx":0.4}} = 422 entry)"_s);
        row("no request id",
            uR"(p1 beat, p0 send {"entry":{"x":0,"y":0.5,"vx":0.4,"vy":0}} = 422 request_id)"_s);
        row("hit, then the cooldown",
            u"p0 hit p1, holder p1, cooldown 3000, score p1 1 1 0 1, score p0 0 0 0 0, p0 beat, "
            "p1 send p0 = 409, wait 2999, p1 send p0 = 409, wait 1, p1 send p0"_s);
        row("never taken",
            u"p1 beat, p0 send p1, p0 send p1, wait 14999, round WAITING_RECEIVER, wait 1, "
            "holder p0, cooldown 0, score p1 0 0 0 0, p0 send p1, holder p0, wait 21000, "
            "holder p0, score p1 0 0 0 0"_s);
        row("never finished",
            u"p0 take p1, wait 20999, round ACTIVE, wait 1, holder p1, cooldown 3000, "
            "score p1 0 1 1 0, score p0 0 0 0 0, wait 21000, holder p1, score p1 0 1 1 0"_s);
    }

    void steps()
    {
        QFETCH(QString, script);
        QCOMPARE(m_game->run(script), QString());
    }

    // After a shot with sequence 5, another shot or a result, its body changed by the patch.
    // A result may come 0.5 s sooner than its flight, for network delays; no sooner. A refused
    // result uses up its throw, but another throw in the round still counts. A retry of the
    // result that scored (its reply was lost) counts nothing again; one that differs is refused.
    void throws_data()
    {
        QTest::addColumn<QString>("kind"); // "shot", "sender's shot", "result" or "retry"
        QTest::addColumn<qint64>("waitMs"); // from the first shot
        QTest::addColumn<double>("dx"); // of the result's frames
        QTest::addColumn<QByteArray>("patch");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("error"); // field, then the text it contains
        QTest::addColumn<QString>("outcome"); // state, last sequence, points
        const auto row = [](const char *name, const char *kind, qint64 waitMs, double dx,
                             const char *patch, int status, const QString &error,
                             const char *outcome) {
            QTest::newRow(name) << QString::fromLatin1(kind) << waitMs << dx << QByteArray(patch)
                                << status << error << QString::fromLatin1(outcome);
        };
        row("next shot", "shot", 0, 0, "{}", 200, {}, "ROUND 6 0");
        row("repeated sequence", "shot", 0, 0, R"({"sequence":5})", 409, {}, "ROUND 5 0");
        row("lower sequence", "shot", 0, 0, R"({"sequence":2})", 409, {}, "ROUND 5 0");
        row("wrong nonce", "shot", 0, 0, R"({"nonce":"00000000000000000000000000000000"})", 403, {},
            "ROUND 5 0");
        row("wrong round", "shot", 0, 0, R"({"round_id":"00000000-0000-4000-8000-000000000000"})",
            409, {}, "ROUND 5 0");
        row("not the receiver", "sender's shot", 0, 0, "{}", 403, {}, "ROUND 5 0");
        row("repeated shot id", "shot", 0, 0, R"({"shot_id":"shot"})", 409, {}, "ROUND 5 0");
        row("release not numbers", "shot", 0, 0,
            R"({"release":{"x":0.18,"y":0.18,"vx":"fast","vy":0.9}})", 422, u"release "_s,
            "ROUND 5 0");
        row("release at rest above the hoop", "shot", 0, 0,
            R"({"release":{"x":0.76,"y":0.5,"vx":0,"vy":0}})", 422, u"release "_s, "ROUND 5 0");
        row("result as soon as the flight allows", "result", 625, 0, "{}", 200, {}, "IDLE - 1");
        row("result 1 ms sooner", "result", 624, 0, "{}", 422, u"after sooner"_s, "ROUND 5 0");
        row("result 0.07 off the flight", "result", 700, 0.07, "{}", 422,
            u"after registered throw"_s, "ROUND 5 0");
        row("result of an unregistered shot", "result", 700, 0, R"({"shot_id":"other"})", 409, {},
            "ROUND 5 0");
        row("result sequence not above the shot", "result", 700, 0, R"({"sequence":5})", 409, {},
            "ROUND 5 0");
        row("retry", "retry", 700, 0, "{}", 200, {}, "IDLE - 1");
        row("retry, another sequence", "retry", 700, 0, R"({"sequence":7})", 409, {}, "IDLE - 1");
        row("retry 0.001 aside", "retry", 700, 0.001, "{}", 409, {}, "IDLE - 1");
    }

    void throws()
    {
        QFETCH(QString, kind);
        QFETCH(qint64, waitMs);
        QFETCH(double, dx);
        QFETCH(QByteArray, patch);
        QFETCH(int, status);
        QFETCH(QString, error);
        QFETCH(QString, outcome);
        const auto [sender, receiver, room] = m_game->twoPlayerRoom();
        const QJsonObject round = m_game->activeRound(room, sender, receiver);
        const QJsonObject release = GameRequests::throwRelease();
        QCOMPARE(m_game->shot(room, receiver, round, u"shot"_s, 5, release).status, 200);
        m_server.clock().advance(waitMs);
        const bool isShot = kind.endsWith(u"shot"_s);
        const QString path = isShot ? u"round/shot"_s : u"round/result"_s;
        const auto bodyWith = [&](double dxBefore, double dxAfter) {
            QJsonObject body { { u"round_id"_s, round[u"id"_s] }, { u"nonce"_s, round[u"nonce"_s] },
                { u"shot_id"_s, isShot ? u"next"_s : u"shot"_s }, { u"sequence"_s, 6 } };
            if (isShot)
                return body.insert(u"release"_s, release), body;
            body.insert(u"before"_s, GameRequests::sampleAt(release, 1.075, dxBefore));
            body.insert(u"after"_s, GameRequests::sampleAt(release, 1.125, dxAfter));
            return body;
        };
        if (kind == u"retry")
            QCOMPARE(m_game->post(room, path, receiver, bodyWith(0, 0)).status, 200);
        // A retry differs in its later frame alone.
        QJsonObject body = bodyWith(kind == u"retry" ? 0 : dx, dx);
        const QJsonObject changes = QJsonDocument::fromJson(patch).object();
        for (auto change = changes.begin(); change != changes.end(); ++change)
            body.insert(change.key(), change.value());
        const ApiClient::Reply reply
            = m_game->post(room, path, kind == u"sender's shot" ? sender : receiver, body);
        QCOMPARE(reply.status, status);
        QVERIFY2((status == 200 || !reply.object()[u"message"_s].toString().isEmpty())
                && reply.object()[u"errors"_s][error.section(u' ', 0, 0)][0].toString().contains(
                    error.section(u' ', 1)),
            reply.body.constData());
        const auto seen = [&]() -> QString {
            const QJsonObject snapshot = m_game->state(room, receiver).object();
            const QJsonValue sequence = snapshot[u"round"_s][u"last_sequence"_s];
            return u"%1 %2 %3"_s.arg(snapshot[u"state"_s].toString(),
                sequence.isDouble() ? QString::number(sequence.toInteger()) : u"-"_s,
                score(snapshot, receiver).section(u' ', 0, 0));
        };
        QCOMPARE(seen(), outcome);
        if (isShot || status != 422)
            return;
        const ApiClient::Reply again = atOnce().hitResult(room, receiver, round, u"shot"_s, 7);
        QCOMPARE(again.status, 409);
        QVERIFY2(
            again.object()[u"message"_s].toString().contains(u"already"_s), again.body.constData());
        QCOMPARE(m_game->shot(room, receiver, round, u"next"_s, 8).status, 200);
        QCOMPARE(m_game->hitResult(room, receiver, round, u"next"_s, 9).status, 200);
        QCOMPARE(seen(), u"IDLE - 1"_s);
    }

    // A hit adds a point and lengthens the receiver's streak, a miss ends it; the best streak
    // stays. Scores are per room, a player's totals over all their rooms.
    void streaksAndTotals()
    {
        // "ab+": a passes to b, who hits; "-": a miss.
        const QStringList plays { u"ab+"_s, u"ba+"_s, u"ab+"_s, u"ba+"_s, u"ab-"_s, u"ba+"_s,
            u"ab+"_s };
        const auto [a, b, room] = m_game->twoPlayerRoom();
        const qint64 other = m_game->roomWith({ a, b });
        for (const QString &play : std::as_const(plays)) {
            const Player &from = play[0] == u'a' ? a : b;
            const Player &to = play[0] == u'a' ? b : a;
            if (play[2] == u'+') {
                QVERIFY(m_game->playHit(room, from, to));
            } else {
                QVERIFY(!m_game->activeRound(room, from, to).isEmpty());
                m_server.clock().advance(roundMs + graceMs);
            }
        }
        QVERIFY(m_game->playHit(other, a, b));
        const QJsonObject snapshot = m_game->state(room, b).object();
        // b's points, received, misses and best streak in the room, then over both rooms.
        QCOMPARE(score(snapshot, b) + u", "_s
                + GameRequests::scoreText(snapshot[u"totals"_s].toObject()),
            u"3 4 1 2, 4 5 1 2"_s);
    }

    // New throws stop at the round's end; results of throws made in time may come until the
    // grace after it is over, when the round is a miss.
    void throwsAroundTheRoundsEnd()
    {
        QStringList seen; // per moment: the late shot's status, the result's, the score
        for (const qint64 afterEndMs : { qint64(0), qint64(1), graceMs - 1, graceMs }) {
            const auto [sender, receiver, room] = m_game->twoPlayerRoom();
            const QJsonObject round = m_game->activeRound(room, sender, receiver);
            QCOMPARE(m_game->shot(room, receiver, round, u"in-time"_s, 1).status, 200);
            m_server.clock().advance(
                msOf(round[u"ends_at"_s]) - m_server.clock().nowMs() + afterEndMs);
            const int late = m_game->shot(room, receiver, round, u"late"_s, 2).status;
            // The in-time throw's flight is long over.
            const int result = atOnce().hitResult(room, receiver, round, u"in-time"_s, 3).status;
            seen.append(u"%1 %2 %3"_s.arg(late).arg(result).arg(
                score(m_game->state(room, sender).object(), receiver)));
        }
        QCOMPARE(seen,
            QStringList({ u"200 200 1 1 0 1"_s, u"409 200 1 1 0 1"_s, u"409 200 1 1 0 1"_s,
                u"409 409 0 1 1 0"_s }));
    }

    // The real program, killed and started again on its database, keeps all but presence.
    void killKeepsEverythingButPresence()
    {
        if (PostgresCluster::selected())
            QSKIP("on PostgreSQL the nodes share presence, which outlives a node");
        TestServer server;
        const QStringList shortReady { u"--test-ready-ms"_s, u"2000"_s };
        QVERIFY2(server.start(shortReady), qPrintable(server.errorText()));
        std::optional<ApiClient> api(server.httpUrl());
        const GameRequests before(*api);
        const auto [sender, receiver, room] = before.twoPlayerRoom();
        const qint64 waitingRoom = before.roomWith({ sender, receiver });
        QVERIFY(before.playHit(room, sender, receiver));
        before.post(room, u"activate"_s, receiver);
        QCOMPARE(before.sendToOnline(waitingRoom, sender, receiver, u"at-kill"_s).status, 200);

        server.kill();
        QVERIFY2(server.start(shortReady), qPrintable(server.errorText()));
        api.emplace(server.httpUrl());
        const GameRequests game(*api);
        QCOMPARE(api->get(u"me"_s, receiver.token).object()[u"active_room_id"_s].toInteger(), room);
        const QJsonObject snapshot = game.state(room, receiver).object();
        QCOMPARE(score(snapshot, receiver), u"1 1 0 1"_s);
        QCOMPARE(snapshot[u"room"_s][u"ball_owner_id"_s].toInteger(), receiver.id);
        QCOMPARE(GameRequests::statusOf(snapshot, receiver.id), u"OFFLINE"_s);
        // The round open at the kill is still timed: it goes back to its sender.
        QTRY_COMPARE_WITH_TIMEOUT(
            game.state(waitingRoom, sender).object()[u"room"_s][u"ball_owner_id"_s].toInteger(),
            sender.id, 10000);
        QVERIFY(server.stop());
    }

private:
    static QString score(const QJsonObject &snapshot, const Player &player)
    {
        return GameRequests::scoreOf(snapshot, player.id);
    }

    // Requests whose results go at once, whatever the flight: the test has moved the clock.
    GameRequests atOnce() const
    {
        GameRequests game(*m_api);
        game.letTimePass = [](int) {};
        return game;
    }

    InProcessServer m_server;
    std::unique_ptr<ApiClient> m_api;
    std::unique_ptr<GameRequests> m_game;
};

QTEST_GUILESS_MAIN(ServerRoundsTest)
#include "ServerRoundsTest.moc"
