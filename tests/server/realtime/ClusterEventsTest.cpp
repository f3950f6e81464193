#include "ApiClient.h"
#include "GameRequests.h"
#include "InProcessServer.h"
#include "WireClient.h"
#include "WireFrames.h"
#include "store/DatabaseUrl.h"
#include "store/NodeRegistry.h"
#include "store/Store.h"

#include <QJsonArray>
#include <QScopeGuard>
#include <QSemaphore>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace WireFrames;
using Player = GameRequests::Player;

// Two nodes on one PostgreSQL database, each on a clock of its own: a change made through one
// reaches the other's subscribers once, and presence and channel grants are shared.
class ClusterEventsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        const QStringList arguments = InProcessServer::withoutRateLimits();
        QVERIFY2(m_a.start(arguments) && m_b.startBeside(m_a, arguments),
            qPrintable(m_a.errorText() + m_b.errorText()));
        m_apiA = std::make_unique<ApiClient>(m_a.httpUrl());
        m_apiB = std::make_unique<ApiClient>(m_b.httpUrl());
        m_viaA = std::make_unique<GameRequests>(*m_apiA, m_a.clock());
        m_viaB = std::make_unique<GameRequests>(*m_apiB, m_b.clock());
    }

    // Heartbeats through either node: one frame per status change on each node, none for a
    // beat that changes nothing (a later change's frame comes next, as NOTIFYs arrive in
    // order). Both nodes sweep out the silent player; only one announces it.
    void presenceAcrossNodes()
    {
        const auto [a, b, room] = m_viaA->twoPlayerRoom();
        WireClient onA, onB;
        QVERIFY(subscribeToRoom(onA, m_a.wsUrl(), *m_apiA, room, a.token));
        QVERIFY(subscribeToRoom(onB, m_b.wsUrl(), *m_apiB, room, a.token));
        const auto bothHear = [&](const QString &reason) {
            return isRoomChanged(onA.next(), room, reason)
                && isRoomChanged(onB.next(), room, reason);
        };
        m_viaA->heartbeat(room, b);
        QVERIFY(bothHear(u"presence"_s));
        // Beats through A keep b online on B past the life of the first one.
        for (int step = 0; step < 4; ++step) {
            advanceBoth(InProcessServer::presenceMs / 3);
            m_viaA->heartbeat(room, b);
        }
        QCOMPARE(statusOf(*m_viaB, room, a, b), u"ONLINE"_s);
        m_viaB->heartbeat(room, b);
        m_viaB->heartbeat(room, b, true);
        QVERIFY(bothHear(u"presence"_s));
        QCOMPARE(statusOf(*m_viaA, room, a, b), u"DO_NOT_DISTURB"_s);

        advanceBoth(InProcessServer::presenceMs);
        QVERIFY(bothHear(u"presence"_s));
        QCOMPARE(m_viaB->join(m_viaB->newPlayer(), inviteCode(room, a)).status, 200);
        QVERIFY(bothHear(u"joined"_s));
        QCOMPARE(statusOf(*m_viaA, room, a, b), u"OFFLINE"_s);
    }

    // A node frozen past its life is taken for gone: the grants of its sockets go with it, and
    // once it runs again it closes those sockets, whose subscriptions no grant would end.
    void grantsOfAGoneNodeGo()
    {
        InProcessServer c;
        c.clock().advance(m_a.clock().nowMs() - c.clock().nowMs());
        QVERIFY2(
            c.startBeside(m_a, InProcessServer::withoutRateLimits(), InProcessServer::Thread::Own),
            qPrintable(c.errorText()));
        const auto [a, b, room] = m_viaA->twoPlayerRoom();
        WireClient onC;
        QVERIFY(subscribeToRoom(onC, c.wsUrl(), *m_apiA, room, a.token));
        const QString grants
            = u"SELECT count(*) FROM channel_grants WHERE room_id = %1"_s.arg(room);
        QCOMPARE(databaseValue(grants).toInt(), 1);

        QSemaphore frozen;
        const auto thaw = qScopeGuard([&frozen] { frozen.release(); });
        c.postToItsThread([&frozen] { frozen.acquire(); });
        for (int step = 0; step < 3; ++step)
            advanceBoth(NodeRegistry::lifeMs / 2);
        QCOMPARE(databaseValue(grants).toInt(), 0);

        frozen.release();
        c.clock().advance(1);
        QVERIFY(onC.waitClosed() && onC.closeCode() == 4200);
    }

    // The sockets are on B, authorised through A; the leave and the joins go through A, and B
    // hears of each once, its snapshots following. Notifications sent while B's listening
    // connection is down are lost: once it listens again, its snapshots are read afresh and
    // its subscribers told to refresh.
    void changesThroughOneNodeReachTheOther()
    {
        const auto [a, b, room] = m_viaA->twoPlayerRoom();
        WireClient stays, leaves;
        QVERIFY(subscribeToRoom(stays, m_b.wsUrl(), *m_apiA, room, a.token));
        QVERIFY(subscribeToRoom(leaves, m_b.wsUrl(), *m_apiA, room, b.token));
        QCOMPARE(m_viaB->state(room, a).object()[u"members"_s].toArray().size(), 2);
        QCOMPARE(m_viaA->post(room, u"leave"_s, b).status, 204);
        QVERIFY(isRoomChanged(stays.next(), room, u"left"_s) && nothingElseArrived(leaves));
        QCOMPARE(m_viaB->state(room, a).object()[u"members"_s].toArray().size(), 1);

        QCOMPARE(terminateListeners(), 2);
        QCOMPARE(m_viaA->join(m_viaA->newPlayer(), inviteCode(room, a)).status, 200);
        QVERIFY(isRoomChanged(stays.next(), room, u"resync"_s));
        QCOMPARE(m_viaB->state(room, a).object()[u"members"_s].toArray().size(), 2);
        QCOMPARE(m_viaA->join(m_viaA->newPlayer(), inviteCode(room, a)).status, 200);
        QVERIFY(isRoomChanged(stays.next(), room, u"joined"_s));
        QVERIFY(nothingElseArrived(stays));
    }

private:
    // Ends both nodes' listening connections from the database's side; how many it ended.
    int terminateListeners() const
    {
        return databaseValue(u"SELECT count(pg_terminate_backend(pid)) FROM pg_stat_activity "
                             "WHERE datname = current_database() "
                             "AND application_name = 'tosswick-server-events'"_s)
            .toInt();
    }

    // The first value of the query's first row, on a connection of the test's own; invalid
    // when there is none.
    QVariant databaseValue(const QString &statement) const
    {
        const QString connection = u"observer"_s;
        QString error;
        QVariant value;
        {
            Store::openPostgresConnection(
                connection, DatabaseUrl::parse(m_a.database()), u"test"_s, error);
            QSqlQuery query(QSqlDatabase::database(connection, false));
            if (query.exec(statement) && query.next())
                value = query.value(0);
        }
        QSqlDatabase::removeDatabase(connection);
        return value;
    }

    // b's status in the room as a sees it through `node`.
    static QString statusOf(const GameRequests &node, qint64 room, const Player &a, const Player &b)
    {
        return GameRequests::statusOf(node.state(room, a).object(), b.id);
    }

    void advanceBoth(qint64 ms)
    {
        m_a.clock().advance(ms);
        m_b.clock().advance(ms);
    }

    QString inviteCode(qint64 room, const Player &member) const
    {
        return m_viaA->state(room, member).object()[u"room"_s][u"invite_code"_s].toString();
    }

    static bool isRoomChanged(
        const std::optional<QJsonObject> &frame, qint64 room, const QString &reason)
    {
        return frame && frame->value(u"event"_s) == u"room.changed"_s
            && frame->value(u"channel"_s).toString() == u"private-room."_s + QString::number(room)
            && dataText(*frame)[u"reason"_s] == reason;
    }

    InProcessServer m_a;
    InProcessServer m_b;
    std::unique_ptr<ApiClient> m_apiA;
    std::unique_ptr<ApiClient> m_apiB;
    std::unique_ptr<GameRequests> m_viaA;
    std::unique_ptr<GameRequests> m_viaB;
};

QTEST_GUILESS_MAIN(ClusterEventsTest)
#include "ClusterEventsTest.moc"
