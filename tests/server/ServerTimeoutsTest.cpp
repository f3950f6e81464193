#include "ApiClient.h"
#include "GameRequests.h"
#include "TestServer.h"

#include <QtTest>

using namespace Qt::StringLiterals;
using Player = GameRequests::Player;

namespace {

// Shortened waits: a round waits 2 s for its receiver and lasts 3 s plus 0.3 s of grace.
const QStringList durations { u"--test-ready-ms"_s, u"2000"_s, u"--test-round-ms"_s, u"3000"_s,
    u"--test-grace-ms"_s, u"300"_s, u"--test-cooldown-ms"_s, u"200"_s, u"--test-presence-ms"_s,
    u"5000"_s };
constexpr int settleMs = 10000;

} // namespace

// What the server's timer does to rounds nobody finishes, and what survives a kill -9.
class ServerTimeoutsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(m_server.start(durations), qPrintable(m_server.errorText()));
        m_api = std::make_unique<ApiClient>(m_server.httpUrl());
        m_game = std::make_unique<GameRequests>(*m_api);
    }

    void untakenBallGoesBackToItsSender()
    {
        const auto [sender, receiver, room] = m_game->twoPlayerRoom();
        QCOMPARE(m_game->sendToOnline(room, sender, receiver, u"never-taken"_s).status, 200);
        QTRY_COMPARE_WITH_TIMEOUT(
            m_game->state(room, sender).object()[u"state"_s].toString(), u"IDLE"_s, settleMs);
        const QJsonObject snapshot = m_game->state(room, sender).object();
        QCOMPARE(snapshot[u"room"_s][u"ball_owner_id"_s].toInteger(), sender.id);
        for (const Player &player : { sender, receiver }) {
            const QJsonObject score = GameRequests::scoreOf(snapshot, player.id);
            QCOMPARE(score[u"received"_s].toInteger() + score[u"misses"_s].toInteger()
                    + score[u"points"_s].toInteger(),
                0);
        }
    }

    void roundPastItsDeadlineCountsOneMiss()
    {
        const auto [sender, receiver, room] = m_game->twoPlayerRoom();
        QVERIFY(!m_game->activeRound(room, sender, receiver).isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(
            m_game->state(room, sender).object()[u"state"_s].toString(), u"IDLE"_s, settleMs);
        QTest::qWait(1000); // a timer that fires twice would count a second miss here
        const QJsonObject snapshot = m_game->state(room, sender).object();
        QCOMPARE(snapshot[u"room"_s][u"ball_owner_id"_s].toInteger(), receiver.id);
        QVERIFY(snapshot[u"room"_s].toObject().contains(u"cooldown_until"_s));
        QCOMPARE(GameRequests::scoreOf(snapshot, receiver.id),
            (QJsonObject { { u"user_id"_s, receiver.id }, { u"points"_s, 0 }, { u"received"_s, 1 },
                { u"misses"_s, 1 }, { u"best"_s, 0 } }));
    }

    void resultAfterTheRoundEndedIsRefused()
    {
        const auto [sender, receiver, room] = m_game->twoPlayerRoom();
        const QJsonObject round = m_game->activeRound(room, sender, receiver);
        const QJsonObject release = GameRequests::throwRelease();
        QCOMPARE(m_game->shot(room, receiver, round, u"late"_s, 1, release).status, 200);
        QTRY_COMPARE_WITH_TIMEOUT(
            m_game->state(room, sender).object()[u"state"_s].toString(), u"IDLE"_s, settleMs);
        QCOMPARE(m_game->hitResult(room, receiver, round, u"late"_s, 2).status, 409);
        const QJsonObject score
            = GameRequests::scoreOf(m_game->state(room, sender).object(), receiver.id);
        QCOMPARE(score[u"points"_s].toInteger(), 0);
        QCOMPARE(score[u"misses"_s].toInteger(), 1);
    }

    void missEndsTheStreakButKeepsTheBest()
    {
        const Player a = m_game->newPlayer();
        const Player b = m_game->newPlayer();
        const Player c = m_game->newPlayer();
        const qint64 room = m_game->roomWith({ a, b, c });
        QVERIFY(m_game->playHit(room, a, b));
        QVERIFY(m_game->playHit(room, b, c));
        QVERIFY(m_game->playHit(room, c, b));
        QVERIFY(m_game->playHit(room, b, c));
        // b: hit, hit; now a miss, then one more hit: the best stays 2.
        QVERIFY(!m_game->activeRound(room, c, b).isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(
            m_game->state(room, b).object()[u"state"_s].toString(), u"IDLE"_s, settleMs);
        QVERIFY(m_game->playHit(room, b, c));
        QVERIFY(m_game->playHit(room, c, b));
        const QJsonObject score = GameRequests::scoreOf(m_game->state(room, b).object(), b.id);
        QCOMPARE(score[u"points"_s].toInteger(), 3);
        QCOMPARE(score[u"misses"_s].toInteger(), 1);
        QCOMPARE(score[u"best"_s].toInteger(), 2);
    }

    // Runs last: it restarts the server.
    void killKeepsEverythingButPresence()
    {
        const auto [sender, receiver, room] = m_game->twoPlayerRoom();
        const qint64 waitingRoom = m_game->roomWith({ sender, receiver });
        QVERIFY(m_game->playHit(room, sender, receiver));
        m_game->post(room, u"activate"_s, receiver);
        QCOMPARE(
            m_game->sendToOnline(waitingRoom, sender, receiver, u"open-at-kill"_s).status, 200);

        m_server.kill();
        QVERIFY2(m_server.start(durations), qPrintable(m_server.errorText()));
        m_api = std::make_unique<ApiClient>(m_server.httpUrl());
        m_game = std::make_unique<GameRequests>(*m_api);

        const QJsonObject me = m_api->get(u"me"_s, receiver.token).object();
        QCOMPARE(me[u"id"_s].toInteger(), receiver.id);
        QCOMPARE(me[u"active_room_id"_s].toInteger(), room);
        const QJsonObject snapshot = m_game->state(room, receiver).object();
        QCOMPARE(GameRequests::scoreOf(snapshot, receiver.id)[u"points"_s].toInteger(), 1);
        QCOMPARE(snapshot[u"room"_s][u"ball_owner_id"_s].toInteger(), receiver.id);
        QCOMPARE(GameRequests::statusOf(snapshot, receiver.id), u"OFFLINE"_s);
        // The round open at the kill is still timed: it goes back to its sender.
        QTRY_COMPARE_WITH_TIMEOUT(
            m_game->state(waitingRoom, sender).object()[u"room"_s][u"ball_owner_id"_s].toInteger(),
            sender.id, settleMs);
    }

    void cleanupTestCase() { QVERIFY(m_server.stop()); }

private:
    TestServer m_server;
    std::unique_ptr<ApiClient> m_api;
    std::unique_ptr<GameRequests> m_game;
};

QTEST_GUILESS_MAIN(ServerTimeoutsTest)
#include "ServerTimeoutsTest.moc"
