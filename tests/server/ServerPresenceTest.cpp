#include "ApiClient.h"
#include "GameRequests.h"
#include "InProcessServer.h"

#include <QJsonArray>
#include <QRegularExpression>
#include <QtTest>

using namespace Qt::StringLiterals;
using Player = GameRequests::Player;

// Heartbeats, member statuses and the room's snapshot over real HTTP, on a clock the test
// moves.
class ServerPresenceTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(
            m_server.start(InProcessServer::withoutRateLimits()), qPrintable(m_server.errorText()));
        m_api = std::make_unique<ApiClient>(m_server.httpUrl());
        m_game = std::make_unique<GameRequests>(*m_api, m_server.clock());
    }

    void statusFollowsHeartbeats_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<qint64>("silentMs"); // then nothing is heard of the member this long
        QTest::addColumn<QString>("status");
        QTest::newRow("never seen") << u"none"_s << qint64(0) << u"OFFLINE"_s;
        QTest::newRow("heartbeat") << u"beat"_s << qint64(0) << u"ONLINE"_s;
        QTest::newRow("heartbeat, then silence short of presence")
            << u"beat"_s << InProcessServer::presenceMs - 1 << u"ONLINE"_s;
        QTest::newRow("heartbeat, then silence")
            << u"beat"_s << InProcessServer::presenceMs << u"OFFLINE"_s;
        QTest::newRow("heartbeat with dnd") << u"dnd"_s << qint64(0) << u"DO_NOT_DISTURB"_s;
        QTest::newRow("dnd, then silence")
            << u"dnd"_s << InProcessServer::presenceMs << u"OFFLINE"_s;
        QTest::newRow("dnd then plain heartbeat") << u"dnd-beat"_s << qint64(0) << u"ONLINE"_s;
        QTest::newRow("disconnect") << u"disconnect"_s << qint64(0) << u"OFFLINE"_s;
        QTest::newRow("receiving the round") << u"receive"_s << qint64(0) << u"BUSY"_s;
        QTest::newRow("heartbeat in another room") << u"elsewhere"_s << qint64(0) << u"OFFLINE"_s;
    }

    void statusFollowsHeartbeats()
    {
        QFETCH(QString, action);
        QFETCH(qint64, silentMs);
        QFETCH(QString, status);
        const auto [owner, member, room] = m_game->twoPlayerRoom();
        if (action != u"none" && action != u"elsewhere")
            QCOMPARE(m_game->heartbeat(room, member, action.startsWith(u"dnd")).status, 200);
        if (action == u"dnd-beat")
            m_game->heartbeat(room, member, false);
        if (action == u"disconnect")
            QCOMPARE(m_game->post(room, u"disconnect"_s, member).status, 204);
        if (action == u"receive")
            QCOMPARE(m_game->send(room, owner, u"r-1"_s, member.id).status, 200);
        if (action == u"elsewhere")
            m_game->heartbeat(m_game->roomWith({ member }), member);
        m_server.clock().advance(silentMs);
        QCOMPARE(GameRequests::statusOf(m_game->state(room, owner).object(), member.id), status);
    }

    void snapshotHasEveryMemberInJoinOrder()
    {
        const Player owner = m_game->newPlayer();
        const Player second = m_game->newPlayer();
        const Player third = m_game->newPlayer();
        const qint64 room = m_game->roomWith({ owner, second, third });
        const ApiClient::Reply reply = m_game->heartbeat(room, second);
        QCOMPARE(reply.status, 200);
        const QJsonObject snapshot = reply.object();
        QCOMPARE(snapshot[u"room"_s][u"id"_s].toInteger(), room);
        QCOMPARE(snapshot[u"state"_s].toString(), u"IDLE"_s);
        QVERIFY(!snapshot.contains(u"round"_s));
        const QJsonArray members = snapshot[u"members"_s].toArray();
        QCOMPARE(members.size(), 3);
        const QList<qint64> ids { owner.id, second.id, third.id };
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(members[i][u"id"_s].toInteger(), ids[i]);
            QVERIFY(!members[i][u"name"_s].toString().isEmpty());
            QCOMPARE(GameRequests::scoreOf(snapshot, ids[i]),
                (QJsonObject { { u"user_id"_s, ids[i] }, { u"points"_s, 0 }, { u"received"_s, 0 },
                    { u"misses"_s, 0 }, { u"best"_s, 0 } }));
        }
        QCOMPARE(snapshot[u"totals"_s].toObject(),
            (QJsonObject {
                { u"received"_s, 0 }, { u"points"_s, 0 }, { u"misses"_s, 0 }, { u"best"_s, 0 } }));
        const QString serverTime = snapshot[u"server_time"_s].toString();
        QVERIFY2(QRegularExpression(u"\\A\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z\\z"_s)
                     .match(serverTime)
                     .hasMatch(),
            qPrintable(serverTime));
        QCOMPARE(GameRequests::msOf(serverTime), m_server.clock().nowMs());
    }

    void roomAccess_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("method");
        QTest::newRow("state") << u"state"_s << QByteArray("GET");
        QTest::newRow("heartbeat") << u"heartbeat"_s << QByteArray("POST");
        QTest::newRow("disconnect") << u"disconnect"_s << QByteArray("POST");
    }

    void roomAccess()
    {
        QFETCH(QString, path);
        QFETCH(QByteArray, method);
        const Player owner = m_game->newPlayer();
        const Player stranger = m_game->newPlayer();
        const qint64 room = m_game->roomWith({ owner });
        const QByteArray body = R"({"socket_id":"1.1","dnd":false})";
        const ApiClient::Reply foreign
            = m_api->request(method, u"rooms/%1/%2"_s.arg(room).arg(path),
                method == "GET" ? QByteArray() : body, stranger.token);
        QCOMPARE(foreign.status, 403);
        QVERIFY(!foreign.object()[u"message"_s].toString().isEmpty());
        const ApiClient::Reply missing
            = m_api->request(method, u"rooms/%1/%2"_s.arg(room + 1000).arg(path),
                method == "GET" ? QByteArray() : body, owner.token);
        QCOMPARE(missing.status, 404);
        // A stranger's heartbeat leaves no trace in the room.
        QCOMPARE(m_game->state(room, owner).object()[u"members"_s].toArray().size(), 1);
    }

    void heartbeatBodies_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("field");
        QTest::newRow("no socket id") << QByteArray(R"({"dnd":false})") << u"socket_id"_s;
        QTest::newRow("numeric socket id")
            << QByteArray(R"({"socket_id":5,"dnd":false})") << u"socket_id"_s;
        QTest::newRow("dnd as text")
            << QByteArray(R"({"socket_id":"1.1","dnd":"yes"})") << u"dnd"_s;
    }

    void heartbeatBodies()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, field);
        const Player owner = m_game->newPlayer();
        const qint64 room = m_game->roomWith({ owner });
        const ApiClient::Reply reply
            = m_api->request("POST", u"rooms/%1/heartbeat"_s.arg(room), body, owner.token);
        QCOMPARE(reply.status, 422);
        QVERIFY(reply.object()[u"errors"_s][field][0].isString());
        QCOMPARE(
            GameRequests::statusOf(m_game->state(room, owner).object(), owner.id), u"OFFLINE"_s);
    }

private:
    InProcessServer m_server;
    std::unique_ptr<ApiClient> m_api;
    std::unique_ptr<GameRequests> m_game;
};

QTEST_GUILESS_MAIN(ServerPresenceTest)
#include "ServerPresenceTest.moc"
