#include "ApiClient.h"
#include "GameRequests.h"
#include "InProcessServer.h"
#include "WireClient.h"
#include "WireFrames.h"

#include <QJsonDocument>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace WireFrames;
using Player = GameRequests::Player;

// The room.changed frames the server sends when what members see changes, and only then; on
// a clock the test moves.
class RoomEventsServerTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(
            m_server.start(InProcessServer::withoutRateLimits()), qPrintable(m_server.errorText()));
        m_api = std::make_unique<ApiClient>(m_server.httpUrl());
        m_game = std::make_unique<GameRequests>(*m_api, m_server.clock());
    }

    void silenceIsAnnounced()
    {
        const auto [a, b, room] = m_game->twoPlayerRoom();
        WireClient client;
        QVERIFY(subscribe(client, room, a));
        m_game->heartbeat(room, b);
        QVERIFY(isRoomChanged(client.next(), room));
        // Nobody sends anything now: the server itself notices b went offline, when b's
        // presence runs out and not before.
        m_server.clock().advance(InProcessServer::presenceMs - 1);
        QVERIFY(nothingElseArrived(client));
        m_server.clock().advance(1);
        // Sent within the clock's move, so ahead of the pong to a ping sent after it.
        client.send(ping());
        QVERIFY(isRoomChanged(client.next(), room));
        QVERIFY(client.next() == pong());
        QCOMPARE(GameRequests::statusOf(m_game->state(room, a).object(), b.id), u"OFFLINE"_s);
    }

    // A deleted room's last event still reaches its members (leaving is ClusterEventsTest's).
    void everyRoundStepAndDeletionIsOneFrame()
    {
        const auto [a, b, room] = m_game->twoPlayerRoom();
        WireClient client;
        QVERIFY(subscribe(client, room, b));
        m_game->heartbeat(room, b);
        QVERIFY(isRoomChanged(client.next(), room));
        m_game->heartbeat(room, b); // changes nothing, so tells nothing
        QVERIFY(m_game->playHit(room, a, b)); // send, ready, shot, result
        QCOMPARE(m_api->request("DELETE", u"rooms/%1"_s.arg(room), {}, a.token).status, 204);
        for (int step = 0; step < 5; ++step)
            QVERIFY2(isRoomChanged(client.next(), room), qPrintable(QString::number(step)));
        QVERIFY(nothingElseArrived(client));
    }

private:
    bool subscribe(WireClient &client, qint64 room, const Player &player)
    {
        return subscribeToRoom(client, m_server.wsUrl(), *m_api, room, player.token);
    }

    static bool isRoomChanged(const std::optional<QJsonObject> &frame, qint64 room)
    {
        return frame && frame->value(u"event"_s) == u"room.changed"_s
            && frame->value(u"channel"_s).toString() == u"private-room."_s + QString::number(room)
            && !dataText(*frame)[u"event_id"_s].toString().isEmpty();
    }

    InProcessServer m_server;
    std::unique_ptr<ApiClient> m_api;
    std::unique_ptr<GameRequests> m_game;
};

QTEST_GUILESS_MAIN(RoomEventsServerTest)
#include "RoomEventsServerTest.moc"
