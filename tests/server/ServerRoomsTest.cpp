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

    // The ball goes to the next member in join order; the last one out deletes the room.
    void leavingPassesTheBallAndClearsTheActiveRoom()
    {
        const Player owner = m_game->newPlayer(), second = m_game->newPlayer();
        const Player third = m_game->newPlayer(), fourth = m_game->newPlayer();
        const QJsonObject created = m_game->createRoom(owner);
        const qint64 room = created[u"id"_s].toInteger();
        const QString code = created[u"invite_code"_s].toString();
        for (const Player &player : { second, third, fourth })
            m_game->join(player, code);
        m_game->post(room, u"activate"_s, owner);
        // A member without the ball leaves the holder as it was.
        QCOMPARE(m_game->post(room, u"leave"_s, fourth).status, 204);
        QCOMPARE(m_game->state(room, third).object()[u"room"_s][u"ball_owner_id"_s].toInteger(),
            owner.id);
        QCOMPARE(m_game->post(room, u"leave"_s, owner).status, 204);
        QCOMPARE(m_game->state(room, owner).status, 403);
        QVERIFY(!m_api->get(u"me"_s, owner.token).object().contains(u"active_room_id"_s));
        const QJsonObject state = m_game->state(room, third).object();
        QCOMPARE(state[u"room"_s][u"ball_owner_id"_s].toInteger(), second.id);
        QCOMPARE(state[u"members"_s].toArray().size(), 2);
        QCOMPARE(m_game->post(room, u"leave"_s, owner).status, 403);
        QCOMPARE(m_game->post(room, u"leave"_s, second).status, 204);
        QCOMPARE(m_game->post(room, u"leave"_s, third).status, 204);
        QCOMPARE(m_game->state(room, third).status, 404);
        QCOMPARE(m_game->join(m_game->newPlayer(), code).status, 422);
    }

    // After a round the holder is no longer the first member: another member leaving keeps
    // it. The receiver of a round leaving ends it and gives the ball back to its sender.
    void leavingKeepsOrReturnsALaterHolder()
    {
        const Player sender = m_game->newPlayer(), receiver = m_game->newPlayer();
        const Player third = m_game->newPlayer();
        const qint64 room = m_game->roomWith({ sender, receiver, third });
        QVERIFY(m_game->playHit(room, sender, receiver));
        QCOMPARE(m_game->post(room, u"leave"_s, third).status, 204);
        const auto holder = [&]() -> QString {
            const QJsonObject state = m_game->state(room, receiver).object();
            return state[u"state"_s].toString() + u' '
                + QString::number(state[u"room"_s][u"ball_owner_id"_s].toInteger());
        };
        QCOMPARE(holder(), u"IDLE %1"_s.arg(receiver.id));
        m_server.clock().advance(3000); // the cooldown
        QCOMPARE(m_game->sendToOnline(room, receiver, sender, u"then-gone"_s).status, 200);
        QCOMPARE(m_game->post(room, u"leave"_s, sender).status, 204);
        QCOMPARE(holder(), u"IDLE %1"_s.arg(receiver.id));
    }

    void deleteIsTheOwnersAlone_data()
    {
        QTest::addColumn<QString>("who");
        QTest::addColumn<int>("status");
        QTest::newRow("owner") << u"owner"_s << 204;
        QTest::newRow("member") << u"member"_s << 403;
        QTest::newRow("owner who left") << u"former owner"_s << 403;
    }

    void deleteIsTheOwnersAlone()
    {
        QFETCH(QString, who);
        QFETCH(int, status);
        const auto [owner, member, room] = m_game->twoPlayerRoom();
        m_game->post(room, u"activate"_s, member);
        // Read before, so a snapshot kept from then would show.
        QCOMPARE(m_game->state(room, member).status, 200);
        if (who == u"former owner")
            QCOMPARE(m_game->post(room, u"leave"_s, owner).status, 204);
        const Player deleter = who.endsWith(u"owner") ? owner
            : who == u"member"                        ? member
                                                      : m_game->newPlayer();
        const ApiClient::Reply reply
            = m_api->request("DELETE", u"rooms/%1"_s.arg(room), "{}", deleter.token);
        QCOMPARE(reply.status, status);
        if (status == 204) {
            QCOMPARE(m_game->state(room, member).status, 404);
            QCOMPARE(m_api->get(u"rooms"_s, member.token).document().array().size(), 0);
            QVERIFY(!m_api->get(u"me"_s, member.token).object().contains(u"active_room_id"_s));
        } else {
            QVERIFY(!reply.object()[u"message"_s].toString().isEmpty());
            QCOMPARE(m_game->state(room, member).status, 200);
        }
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

    // Strangers and missing rooms are refused; bad heartbeats are refused and leave no trace.
    void roomRequests_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("body"); // null: a GET
        QTest::addColumn<QString>("who"); // "stranger", "owner" or "owner elsewhere"
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("field");
        const QByteArray beat = R"({"socket_id":"1.1","dnd":false})";
        for (const auto &[path, body] :
            { std::pair(u"state"_s, QByteArray()), std::pair(u"heartbeat"_s, beat),
                std::pair(u"disconnect"_s, beat), std::pair(u"activate"_s, beat) }) {
            QTest::addRow("%s by a stranger", qPrintable(path))
                << path << body << u"stranger"_s << 403 << QString();
            QTest::addRow("%s of no room", qPrintable(path))
                << path << body << u"owner elsewhere"_s << 404 << QString();
        }
        QTest::newRow("no socket id") << u"heartbeat"_s << QByteArray(R"({"dnd":false})")
                                      << u"owner"_s << 422 << u"socket_id"_s;
        QTest::newRow("numeric socket id")
            << u"heartbeat"_s << QByteArray(R"({"socket_id":5,"dnd":false})") << u"owner"_s << 422
            << u"socket_id"_s;
        QTest::newRow("dnd as text")
            << u"heartbeat"_s << QByteArray(R"({"socket_id":"1.1","dnd":"yes"})") << u"owner"_s
            << 422 << u"dnd"_s;
    }

    void roomRequests()
    {
        QFETCH(QString, path);
        QFETCH(QByteArray, body);
        QFETCH(QString, who);
        QFETCH(int, status);
        QFETCH(QString, field);
        const Player owner = m_game->newPlayer();
        const qint64 room = m_game->roomWith({ owner });
        const Player sender = who == u"stranger"_s ? m_game->newPlayer() : owner;
        const qint64 target = who == u"owner elsewhere"_s ? room + 1000 : room;
        const ApiClient::Reply reply = m_api->request(body.isNull() ? "GET" : "POST",
            u"rooms/%1/%2"_s.arg(target).arg(path), body, sender.token);
        QCOMPARE(reply.status, status);
        QVERIFY(!reply.object()[u"message"_s].toString().isEmpty());
        if (!field.isNull())
            QVERIFY(reply.object()[u"errors"_s][field][0].isString());
        const QJsonObject snapshot = m_game->state(room, owner).object();
        QCOMPARE(snapshot[u"members"_s].toArray().size(), 1);
        QCOMPARE(GameRequests::statusOf(snapshot, owner.id), u"OFFLINE"_s);
        QVERIFY(!m_api->get(u"me"_s, sender.token).object().contains(u"active_room_id"_s));
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
