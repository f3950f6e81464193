#include "ApiClient.h"
#include "GameRequests.h"
#include "InProcessServer.h"
#include "TestServer.h"

#include <QtTest>

using namespace Qt::StringLiterals;
using Player = GameRequests::Player;

namespace {

// The server's own durations.
constexpr qint64 readyMs = 15000;
constexpr qint64 roundMs = 20000;
constexpr qint64 graceMs = 1000;
constexpr qint64 cooldownMs = 3000;

} // namespace

// What the server's timer does to rounds nobody finishes, on a clock the test moves; and
// what survives a kill -9 of the real program.
class ServerTimeoutsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(
            m_server.start(InProcessServer::withoutRateLimits()), qPrintable(m_server.errorText()));
        m_api = std::make_unique<ApiClient>(m_server.httpUrl());
        m_game = std::make_unique<GameRequests>(*m_api, m_server.clock());
    }

    // A round ends at its deadline, once: a ball nobody took goes back and counts nothing;
    // a round whose receiver let the time run out counts one miss and leaves them the ball.
    void unfinishedRoundEndsOnce_data()
    {
        QTest::addColumn<bool>("taken");
        QTest::addColumn<qint64>("deadlineMs");
        QTest::addColumn<bool>("receiverHolds");
        QTest::addColumn<int>("misses");
        QTest::addColumn<qint64>("cooldown");
        QTest::newRow("never taken") << false << readyMs << false << 0 << qint64(0);
        QTest::newRow("never finished") << true << roundMs + graceMs << true << 1 << cooldownMs;
    }

    void unfinishedRoundEndsOnce()
    {
        QFETCH(bool, taken);
        QFETCH(qint64, deadlineMs);
        QFETCH(bool, receiverHolds);
        QFETCH(int, misses);
        QFETCH(qint64, cooldown);
        const auto [sender, receiver, room] = m_game->twoPlayerRoom();
        if (taken)
            QVERIFY(!m_game->activeRound(room, sender, receiver).isEmpty());
        else
            QCOMPARE(m_game->sendToOnline(room, sender, receiver, u"never-taken"_s).status, 200);
        m_server.clock().advance(deadlineMs - 1);
        QCOMPARE(m_game->state(room, sender).object()[u"state"_s].toString(), u"ROUND"_s);

        m_server.clock().advance(1);
        const QJsonObject snapshot = m_game->state(room, sender).object();
        QCOMPARE(snapshot[u"state"_s].toString(), u"IDLE"_s);
        const QJsonObject held = snapshot[u"room"_s].toObject();
        QCOMPARE(held[u"ball_owner_id"_s].toInteger(), receiverHolds ? receiver.id : sender.id);
        const qint64 cooldownLeft = held.contains(u"cooldown_until"_s)
            ? GameRequests::msOf(held[u"cooldown_until"_s])
                - GameRequests::msOf(snapshot[u"server_time"_s])
            : 0;
        QCOMPARE(cooldownLeft, cooldown);
        QCOMPARE(GameRequests::scoreOf(snapshot, receiver.id),
            (QJsonObject { { u"user_id"_s, receiver.id }, { u"points"_s, 0 },
                { u"received"_s, taken ? 1 : 0 }, { u"misses"_s, misses }, { u"best"_s, 0 } }));
        QCOMPARE(GameRequests::scoreOf(snapshot, sender.id)[u"received"_s].toInteger(), 0);

        // A timer that fired again would count or move something more.
        m_server.clock().advance(roundMs + graceMs);
        const QJsonObject later = m_game->state(room, sender).object();
        QCOMPARE(later[u"room"_s], snapshot[u"room"_s]);
        QCOMPARE(later[u"scores"_s], snapshot[u"scores"_s]);
    }

    // New throws stop at the round's end; results of throws made in time may come until the
    // grace after it is over, when the round is a miss.
    void throwsAroundTheRoundsEnd_data()
    {
        QTest::addColumn<qint64>("afterEndMs");
        QTest::addColumn<int>("shotStatus");
        QTest::addColumn<int>("resultStatus");
        QTest::newRow("at the end") << qint64(0) << 200 << 200;
        QTest::newRow("just after the end") << qint64(1) << 409 << 200;
        QTest::newRow("last moment of the grace") << graceMs - 1 << 409 << 200;
        QTest::newRow("grace over") << graceMs << 409 << 409;
    }

    void throwsAroundTheRoundsEnd()
    {
        QFETCH(qint64, afterEndMs);
        QFETCH(int, shotStatus);
        QFETCH(int, resultStatus);
        const auto [sender, receiver, room] = m_game->twoPlayerRoom();
        const QJsonObject round = m_game->activeRound(room, sender, receiver);
        QCOMPARE(m_game->shot(room, receiver, round, u"in-time"_s, 1).status, 200);
        m_server.clock().advance(
            GameRequests::msOf(round[u"ends_at"_s]) - m_server.clock().nowMs() + afterEndMs);

        QCOMPARE(m_game->shot(room, receiver, round, u"late"_s, 2).status, shotStatus);
        GameRequests atOnce(*m_api); // the in-time throw's flight is long over
        atOnce.letTimePass = [](int) {};
        QCOMPARE(atOnce.hitResult(room, receiver, round, u"in-time"_s, 3).status, resultStatus);
        const QJsonObject score
            = GameRequests::scoreOf(m_game->state(room, sender).object(), receiver.id);
        QCOMPARE(score[u"points"_s].toInteger(), resultStatus == 200 ? 1 : 0);
        QCOMPARE(score[u"misses"_s].toInteger(), resultStatus == 200 ? 0 : 1);
    }

    // The real program, killed and started again on its database.
    void killKeepsEverythingButPresence()
    {
        TestServer server;
        const QStringList shortReady { u"--test-ready-ms"_s, u"2000"_s };
        QVERIFY2(server.start(shortReady), qPrintable(server.errorText()));
        auto api = std::make_unique<ApiClient>(server.httpUrl());
        auto game = std::make_unique<GameRequests>(*api);
        const auto [sender, receiver, room] = game->twoPlayerRoom();
        const qint64 waitingRoom = game->roomWith({ sender, receiver });
        QVERIFY(game->playHit(room, sender, receiver));
        game->post(room, u"activate"_s, receiver);
        QCOMPARE(game->sendToOnline(waitingRoom, sender, receiver, u"open-at-kill"_s).status, 200);

        server.kill();
        QVERIFY2(server.start(shortReady), qPrintable(server.errorText()));
        api = std::make_unique<ApiClient>(server.httpUrl());
        game = std::make_unique<GameRequests>(*api);

        const QJsonObject me = api->get(u"me"_s, receiver.token).object();
        QCOMPARE(me[u"id"_s].toInteger(), receiver.id);
        QCOMPARE(me[u"active_room_id"_s].toInteger(), room);
        const QJsonObject snapshot = game->state(room, receiver).object();
        QCOMPARE(GameRequests::scoreOf(snapshot, receiver.id)[u"points"_s].toInteger(), 1);
        QCOMPARE(snapshot[u"room"_s][u"ball_owner_id"_s].toInteger(), receiver.id);
        QCOMPARE(GameRequests::statusOf(snapshot, receiver.id), u"OFFLINE"_s);
        // The round open at the kill is still timed: it goes back to its sender.
        QTRY_COMPARE_WITH_TIMEOUT(
            game->state(waitingRoom, sender).object()[u"room"_s][u"ball_owner_id"_s].toInteger(),
            sender.id, 10000);
        QVERIFY(server.stop());
    }

private:
    InProcessServer m_server;
    std::unique_ptr<ApiClient> m_api;
    std::unique_ptr<GameRequests> m_game;
};

QTEST_GUILESS_MAIN(ServerTimeoutsTest)
#include "ServerTimeoutsTest.moc"
