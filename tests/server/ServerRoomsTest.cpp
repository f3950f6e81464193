#include "ApiClient.h"
#include "GameRequests.h"
#include "InProcessServer.h"

#include <QJsonArray>
#include <QRegularExpression>
#include <QtTest>

using namespace Qt::StringLiterals;
using Player = GameRequests::Player;

// Creating, joining, listing, activating, leaving and deleting rooms; heartbeats, member
// statuses and the room's snapshot; over real HTTP on a clock the test moves.
class ServerRoomsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(
            m_server.start(InProcessServer::withoutRateLimits()), qPrintable(m_server.errorText()));
        m_api = std::make_unique<ApiClient>(m_server.httpUrl());
        m_game = std::make_unique<GameRequests>(*m_api, m_server.clock());
    }

    // The creator owns and holds the room; the snapshot lists members in join order.
    void createMakesTheCreatorOwnerMemberAndHolder()
    {
        const Player owner = m_game->newPlayer(), second = m_game->newPlayer();
        const ApiClient::Reply reply
            = m_api->post(u"rooms"_s, { { u"name"_s, u" Lunch  crew "_s } }, owner.token);
        QCOMPARE(reply.status, 201);
        const QJsonObject room = reply.object();
        QCOMPARE(u"%1 %2 %3 %4"_s.arg(room[u"name"_s].toString())
                     .arg(room[u"owner_id"_s].toInteger() - owner.id)
                     .arg(room[u"ball_owner_id"_s].toInteger() - owner.id)
                     .arg(room.contains(u"cooldown_until"_s)),
            u"Lunch crew 0 0 0"_s);
        const QString code = room[u"invite_code"_s].toString();
        QVERIFY2(
            QRegularExpression(u"\\A[A-Z0-9]{12}\\z"_s).match(code).hasMatch(), qPrintable(code));
        const qint64 id = room[u"id"_s].toInteger();

        m_game->join(second, code);
        const ApiClient::Reply beat = m_game->heartbeat(id, second);
        QCOMPARE(beat.status, 200);
        const QJsonObject snapshot = beat.object();
        QCOMPARE(snapshot[u"room"_s][u"id"_s].toInteger(), id);
        QCOMPARE(snapshot[u"state"_s].toString(), u"IDLE"_s);
        QVERIFY(!snapshot.contains(u"round"_s));
        QVERIFY(!snapshot[u"members"_s][1][u"name"_s].toString().isEmpty());
        QCOMPARE(GameRequests::scoreOf(snapshot, second.id) + u", "_s
                + GameRequests::scoreText(snapshot[u"totals"_s].toObject()),
            u"0 0 0 0, 0 0 0 0"_s);
        const QString serverTime = snapshot[u"server_time"_s].toString();
        QVERIFY2(QRegularExpression(u"\\A\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z\\z"_s)
                     .match(serverTime)
                     .hasMatch(),
            qPrintable(serverTime));
        QCOMPARE(GameRequests::msOf(serverTime), m_server.clock().nowMs());
    }

    void roomNames_data()
    {
        QTest::addColumn<QJsonValue>("name");
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("defaultName");
        QTest::newRow("empty") << QJsonValue(u""_s) << 201 << true;
        QTest::newRow("blanks") << QJsonValue(u"   "_s) << 201 << true;
        QTest::newRow("absent") << QJsonValue(QJsonValue::Undefined) << 201 << true;
        QTest::newRow("number") << QJsonValue(5) << 422 << false;
        QTest::newRow("too long") << QJsonValue(QString(81, u'x')) << 422 << false;
    }

    void roomNames()
    {
        QFETCH(QJsonValue, name);
        QFETCH(int, status);
        QFETCH(bool, defaultName);
        const Player owner = m_game->newPlayer();
        QJsonObject body;
        if (!name.isUndefined())
            body.insert(u"name"_s, name);
        const ApiClient::Reply reply = m_api->post(u"rooms"_s, body, owner.token);
        QCOMPARE(reply.status, status);
        if (status == 422) {
            QVERIFY(reply.object()[u"errors"_s][u"name"_s][0].isString());
            QCOMPARE(m_api->get(u"rooms"_s, owner.token).document().array().size(), 0);
        }
        if (defaultName) {
            const QString playerName
                = m_api->get(u"me"_s, owner.token).object()[u"name"_s].toString();
            QCOMPARE(reply.object()[u"name"_s].toString(), playerName + u"'s room"_s);
        }
    }

    void joinCodes_data()
    {
        QTest::addColumn<QString>("sent"); // %1 stands for the code, %2 for it in lower case
        QTest::addColumn<int>("status");
        QTest::newRow("as given") << u"%1"_s << 200;
        QTest::newRow("lower case with blanks") << u"  %2 "_s << 200;
        QTest::newRow("unknown") << u"ZZZZZZZZZZZZ"_s << 422;
        QTest::newRow("empty") << u" "_s << 422;
    }

    void joinCodes()
    {
        QFETCH(QString, sent);
        QFETCH(int, status);
        const Player owner = m_game->newPlayer(), guest = m_game->newPlayer();
        const QJsonObject room = m_game->createRoom(owner);
        const QString code = room[u"invite_code"_s].toString();
        sent.replace(u"%1"_s, code).replace(u"%2"_s, code.toLower());
        const ApiClient::Reply reply = m_game->join(guest, sent);
        QCOMPARE(reply.status, status);
        const qint64 id = room[u"id"_s].toInteger();
        if (status == 200) {
            QCOMPARE(reply.object()[u"id"_s].toInteger(), id);
            // Joining again keeps one membership.
            QCOMPARE(m_game->join(guest, code).status, 200);
            QCOMPARE(ids(m_game->state(id, guest).object()[u"members"_s]),
                (QList<qint64> { owner.id, guest.id }));
        } else {
            QVERIFY(reply.object()[u"errors"_s][u"code"_s][0].isString());
            QCOMPARE(m_game->state(id, guest).status, 403);
        }
    }

    void listShowsThePlayersRoomsInJoinOrder()
    {
        const Player owner = m_game->newPlayer(), other = m_game->newPlayer();
        const qint64 first = m_game->createRoom(owner, u"First"_s)[u"id"_s].toInteger();
        const QJsonObject foreign = m_game->createRoom(other, u"Theirs"_s);
        const qint64 second = m_game->createRoom(owner, u"Second"_s)[u"id"_s].toInteger();
        m_game->join(owner, foreign[u"invite_code"_s].toString());
        QCOMPARE(ids(m_api->get(u"rooms"_s, owner.token).document().array()),
            (QList<qint64> { first, second, foreign[u"id"_s].toInteger() }));
        QCOMPARE(m_api->get(u"rooms"_s, other.token).document().array().size(), 1);
    }

    // Steps of GameRequests::run().
    void membership_data()
    {
        QTest::addColumn<QString>("script");
        const qint64 presence = InProcessServer::presenceMs;
        // The ball goes to the next member in join order; the last one out deletes the room.
        QTest::newRow("leaving") << u"p0 activate, p3 leave, holder p0, p0 leave, p0 state = 403, "
                                    "active p0 none, holder p1, members 2, p0 leave = 403, "
                                    "p1 leave, p2 leave, p2 state = 404, x join = 422 code"_s;
        // After a round the holder is no longer the first member: another member leaving keeps
        // it. The receiver of a round leaving ends it and gives the ball back to its sender.
        QTest::newRow("leaving after a round")
            << u"p0 hit p1, p2 leave, holder p1, wait 3000, p0 beat, p1 send p0, p0 leave, holder p1"_s;
        QTest::newRow("owner deletes") << u"p1 activate, p1 state, p0 delete, p1 state = 404, "
                                          "rooms p1 0, active p1 none"_s;
        QTest::newRow("member deletes") << u"p1 activate, p1 delete = 403, p1 state"_s;
        QTest::newRow("owner who left deletes")
            << u"p1 activate, p0 leave, p0 delete = 403, p1 state"_s;
        QTest::newRow("never seen") << u"status p1 OFFLINE"_s;
        QTest::newRow("heartbeat") << u"p1 beat, status p1 ONLINE"_s;
        QTest::newRow("heartbeat, silence short of presence")
            << u"p1 beat, wait %1, status p1 ONLINE"_s.arg(presence - 1);
        QTest::newRow("heartbeat, then silence")
            << u"p1 beat, wait %1, status p1 OFFLINE"_s.arg(presence);
        QTest::newRow("heartbeat with dnd") << u"p1 dnd, status p1 DO_NOT_DISTURB"_s;
        QTest::newRow("dnd, then silence") << u"p1 dnd, wait %1, status p1 OFFLINE"_s.arg(presence);
        QTest::newRow("dnd, then plain heartbeat") << u"p1 dnd, p1 beat, status p1 ONLINE"_s;
        QTest::newRow("disconnect") << u"p1 beat, p1 bye, status p1 OFFLINE"_s;
        QTest::newRow("receiving the round") << u"p1 beat, p0 send p1, status p1 BUSY"_s;
        QTest::newRow("heartbeat in another room") << u"p1 beat-elsewhere, status p1 OFFLINE"_s;
        // Strangers and missing rooms are refused; bad heartbeats leave no trace.
        QTest::newRow("stranger") << u"x state = 403, x beat = 403, x bye = 403, x activate = 403, "
                                     "members 4, active x none"_s;
        QTest::newRow("no such room") << u"p0 state! = 404, p0 beat! = 404, p0 bye! = 404, "
                                         "p0 activate! = 404, active p0 none"_s;
        QTest::newRow("bad heartbeats")
            << uR"(p1 beat {"dnd":false} = 422 socket_id, p1 beat {"socket_id":5,"dnd":false})"
               uR"( = 422 socket_id, p1 beat {"socket_id":"1.1","dnd":"yes"} = 422 dnd, )"
               uR"(status p1 OFFLINE)"_s;
    }

    void membership()
    {
        QFETCH(QString, script);
        QCOMPARE(m_game->run(script), QString());
    }

private:
    static QList<qint64> ids(const QJsonValue &array)
    {
        QList<qint64> list;
        for (const auto &item : array.toArray())
            list.append(item[u"id"_s].toInteger());
        return list;
    }

    InProcessServer m_server;
    std::unique_ptr<ApiClient> m_api;
    std::unique_ptr<GameRequests> m_game;
};

QTEST_GUILESS_MAIN(ServerRoomsTest)
#include "ServerRoomsTest.moc"
