#include "ApiClient.h"
#include "GameRequests.h"
#include "TestServer.h"

#include <QJsonArray>
#include <QRegularExpression>
#include <QtTest>

using namespace Qt::StringLiterals;
using Player = GameRequests::Player;

// Creating, joining, listing, activating, leaving and deleting rooms over real HTTP.
class ServerRoomsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(m_server.start(), qPrintable(m_server.errorText()));
        m_api = std::make_unique<ApiClient>(m_server.httpUrl());
        m_game = std::make_unique<GameRequests>(*m_api);
    }

    void createMakesTheCreatorOwnerMemberAndHolder()
    {
        const Player owner = m_game->newPlayer();
        const ApiClient::Reply reply
            = m_api->post(u"rooms"_s, { { u"name"_s, u" Lunch  crew "_s } }, owner.token);
        QCOMPARE(reply.status, 201);
        const QJsonObject room = reply.object();
        QCOMPARE(room[u"name"_s].toString(), u"Lunch crew"_s);
        QCOMPARE(room[u"owner_id"_s].toInteger(), owner.id);
        QCOMPARE(room[u"ball_owner_id"_s].toInteger(), owner.id);
        QVERIFY(QRegularExpression(u"\\A[A-Z0-9]{12}\\z"_s)
                    .match(room[u"invite_code"_s].toString())
                    .hasMatch());
        QVERIFY(!room.contains(u"cooldown_until"_s));
        const QJsonObject state = m_game->state(room[u"id"_s].toInteger(), owner).object();
        QCOMPARE(state[u"members"_s].toArray().size(), 1);
        QCOMPARE(state[u"members"_s][0][u"id"_s].toInteger(), owner.id);
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
        QTest::addColumn<QString>("transform");
        QTest::addColumn<int>("status");
        QTest::newRow("as given") << u"same"_s << 200;
        QTest::newRow("lower case with blanks") << u"lower"_s << 200;
        QTest::newRow("unknown") << u"unknown"_s << 422;
        QTest::newRow("empty") << u"empty"_s << 422;
    }

    void joinCodes()
    {
        QFETCH(QString, transform);
        QFETCH(int, status);
        const Player owner = m_game->newPlayer();
        const Player guest = m_game->newPlayer();
        const QJsonObject room = m_game->createRoom(owner);
        const QString code = room[u"invite_code"_s].toString();
        QString sent = code;
        if (transform == u"lower")
            sent = u"  "_s + code.toLower() + u" "_s;
        else if (transform == u"unknown")
            sent = u"ZZZZZZZZZZZZ"_s;
        else if (transform == u"empty")
            sent = u" "_s;
        const ApiClient::Reply reply = m_game->join(guest, sent);
        QCOMPARE(reply.status, status);
        const qint64 id = room[u"id"_s].toInteger();
        if (status == 200) {
            QCOMPARE(reply.object()[u"id"_s].toInteger(), id);
            // Joining again keeps one membership.
            QCOMPARE(m_game->join(guest, code).status, 200);
            const QJsonArray members = m_game->state(id, guest).object()[u"members"_s].toArray();
            QCOMPARE(members.size(), 2);
            QCOMPARE(members[1][u"id"_s].toInteger(), guest.id);
        } else {
            QVERIFY(reply.object()[u"errors"_s][u"code"_s][0].isString());
            QCOMPARE(m_game->state(id, guest).status, 403);
        }
    }

    void listShowsThePlayersRoomsInJoinOrder()
    {
        const Player owner = m_game->newPlayer();
        const Player other = m_game->newPlayer();
        const qint64 first = m_game->createRoom(owner, u"First"_s)[u"id"_s].toInteger();
        const QJsonObject foreign = m_game->createRoom(other, u"Theirs"_s);
        const qint64 second = m_game->createRoom(owner, u"Second"_s)[u"id"_s].toInteger();
        m_game->join(owner, foreign[u"invite_code"_s].toString());
        const QJsonArray rooms = m_api->get(u"rooms"_s, owner.token).document().array();
        QCOMPARE(rooms.size(), 3);
        QCOMPARE(rooms[0][u"id"_s].toInteger(), first);
        QCOMPARE(rooms[1][u"id"_s].toInteger(), second);
        QCOMPARE(rooms[2][u"id"_s].toInteger(), foreign[u"id"_s].toInteger());
        QCOMPARE(m_api->get(u"rooms"_s, other.token).document().array().size(), 1);
    }

    void activateSetsTheActiveRoom_data()
    {
        QTest::addColumn<QString>("who");
        QTest::addColumn<int>("status");
        QTest::newRow("member") << u"member"_s << 204;
        QTest::newRow("non-member") << u"stranger"_s << 403;
        QTest::newRow("no such room") << u"nowhere"_s << 404;
    }

    void activateSetsTheActiveRoom()
    {
        QFETCH(QString, who);
        QFETCH(int, status);
        const Player owner = m_game->newPlayer();
        const Player player = who == u"member" ? owner : m_game->newPlayer();
        const qint64 room = who == u"nowhere" ? 999999 : m_game->roomWith({ owner });
        QCOMPARE(m_game->post(room, u"activate"_s, player).status, status);
        const QJsonObject me = m_api->get(u"me"_s, player.token).object();
        if (status == 204)
            QCOMPARE(me[u"active_room_id"_s].toInteger(), room);
        else
            QVERIFY(!me.contains(u"active_room_id"_s));
    }

    void leavingPassesTheBallAndClearsTheActiveRoom()
    {
        const Player owner = m_game->newPlayer();
        const Player second = m_game->newPlayer();
        const Player third = m_game->newPlayer();
        const Player fourth = m_game->newPlayer();
        const qint64 room = m_game->roomWith({ owner, second, third, fourth });
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
    }

    // After a round the holder is no longer the first member; another member leaving keeps it.
    void leavingWithoutTheBallKeepsALaterHolder()
    {
        const Player sender = m_game->newPlayer();
        const Player receiver = m_game->newPlayer();
        const Player third = m_game->newPlayer();
        const qint64 room = m_game->roomWith({ sender, receiver, third });
        QVERIFY(m_game->playHit(room, sender, receiver));
        const auto holder = [&] {
            return m_game->state(room, sender).object()[u"room"_s][u"ball_owner_id"_s].toInteger();
        };
        QCOMPARE(holder(), receiver.id);
        QCOMPARE(m_game->post(room, u"leave"_s, third).status, 204);
        QCOMPARE(holder(), receiver.id);
    }

    void receiverLeavingEndsTheRoundAndReturnsTheBall()
    {
        const auto [sender, receiver, room] = m_game->twoPlayerRoom();
        QCOMPARE(m_game->sendToOnline(room, sender, receiver, u"then-gone"_s).status, 200);
        QCOMPARE(m_game->post(room, u"leave"_s, receiver).status, 204);
        const QJsonObject state = m_game->state(room, sender).object();
        QCOMPARE(state[u"state"_s].toString(), u"IDLE"_s);
        QCOMPARE(state[u"room"_s][u"ball_owner_id"_s].toInteger(), sender.id);
    }

    void lastLeaverDeletesTheRoom()
    {
        const Player owner = m_game->newPlayer();
        const QJsonObject room = m_game->createRoom(owner);
        const qint64 id = room[u"id"_s].toInteger();
        QCOMPARE(m_game->post(id, u"leave"_s, owner).status, 204);
        QCOMPARE(m_game->state(id, owner).status, 404);
        QCOMPARE(m_game->join(m_game->newPlayer(), room[u"invite_code"_s].toString()).status, 422);
    }

    void deleteIsTheOwnersAlone_data()
    {
        QTest::addColumn<QString>("who");
        QTest::addColumn<int>("status");
        QTest::newRow("owner") << u"owner"_s << 204;
        QTest::newRow("member") << u"member"_s << 403;
        QTest::newRow("stranger") << u"stranger"_s << 403;
        QTest::newRow("owner who left") << u"former owner"_s << 403;
    }

    void deleteIsTheOwnersAlone()
    {
        QFETCH(QString, who);
        QFETCH(int, status);
        const auto [owner, member, room] = m_game->twoPlayerRoom();
        m_game->post(room, u"activate"_s, member);
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

    void deletedRoomIdsAreNotReused()
    {
        const Player owner = m_game->newPlayer();
        const qint64 first = m_game->roomWith({ owner });
        m_api->request("DELETE", u"rooms/%1"_s.arg(first), "{}", owner.token);
        const qint64 second = m_game->roomWith({ owner });
        QVERIFY(second > first);
    }

    // Both players read the room before the change, so a snapshot kept from before it would
    // show.
    void snapshotFollowsMembership_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("ownerStatus");
        QTest::addColumn<int>("members");
        QTest::addColumn<int>("guestStatus");
        QTest::newRow("guest joins") << u"join"_s << 200 << 2 << 200;
        QTest::newRow("guest leaves") << u"leave"_s << 200 << 1 << 403;
        QTest::newRow("owner deletes") << u"delete"_s << 404 << 0 << 404;
    }

    void snapshotFollowsMembership()
    {
        QFETCH(QString, change);
        QFETCH(int, ownerStatus);
        QFETCH(int, members);
        QFETCH(int, guestStatus);
        const Player owner = m_game->newPlayer();
        const Player guest = m_game->newPlayer();
        const QJsonObject room = m_game->createRoom(owner);
        const qint64 id = room[u"id"_s].toInteger();
        const QString code = room[u"invite_code"_s].toString();
        if (change != u"join")
            m_game->join(guest, code);
        QCOMPARE(m_game->state(id, owner).status, 200);
        m_game->state(id, guest);
        if (change == u"join")
            m_game->join(guest, code);
        else if (change == u"leave")
            m_game->post(id, u"leave"_s, guest);
        else
            m_api->request("DELETE", u"rooms/%1"_s.arg(id), "{}", owner.token);
        const ApiClient::Reply seen = m_game->state(id, owner);
        QCOMPARE(seen.status, ownerStatus);
        if (ownerStatus == 200)
            QCOMPARE(seen.object()[u"members"_s].toArray().size(), members);
        QCOMPARE(m_game->state(id, guest).status, guestStatus);
    }

    void cleanupTestCase() { QVERIFY(m_server.stop()); }

private:
    TestServer m_server;
    std::unique_ptr<ApiClient> m_api;
    std::unique_ptr<GameRequests> m_game;
};

QTEST_GUILESS_MAIN(ServerRoomsTest)
#include "ServerRoomsTest.moc"
