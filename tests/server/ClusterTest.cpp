#include "HaproxyProcess.h"
#include "PostgresCluster.h"
#include "ScenePlayer.h"
#include "TestServer.h"
#include "net/Realtime.h"

#include <QtTest>

#include <array>

using namespace Qt::StringLiterals;

namespace {

constexpr int waitMs = 20'000;
// Long enough for a player to reconnect through the proxy within the round.
const QStringList gameFlags { u"--test-ready-ms"_s, u"5000"_s, u"--test-round-ms"_s, u"8000"_s,
    u"--test-cooldown-ms"_s, u"200"_s };

} // namespace

// Three nodes on one PostgreSQL behind HAProxy, as deployed, and two players' coordinators
// playing through the proxy while a node dies (a database restart is ServerOutageTest's).
class ClusterTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(m_database.start(), qPrintable(m_database.errorText()));
        m_url = m_database.createDatabase();
        QVERIFY2(!m_url.isEmpty(), qPrintable(m_database.errorText()));
        QList<quint16> ports;
        for (TestServer &node : m_nodes) {
            QVERIFY2(
                node.start(QStringList { u"--db"_s, m_url, u"--trusted-proxy"_s, u"127.0.0.1"_s }
                    + gameFlags),
                qPrintable(node.errorText()));
            ports.append(quint16(node.httpUrl().port()));
        }
        QVERIFY2(m_proxy.start(ports), qPrintable(m_proxy.errorText()));
        QString error;
        std::tie(m_a, m_b) = ScenePlayer::inOneRoom(quint16(m_proxy.httpUrl().port()), error);
        QCOMPARE(error, QString());
    }

    // The players' sockets on two nodes; A passes, B scores, and A sees the point.
    void passAndHitAcrossNodes()
    {
        // Round robin spreads the sockets: B's moves on until another node than A's serves it.
        for (int moves = 0; servingNode(*m_b) == servingNode(*m_a) && moves < 8; ++moves)
            m_b->model().lostConnection();
        QVERIFY(servingNode(*m_a) >= 0 && servingNode(*m_b) >= 0);
        QVERIFY(servingNode(*m_a) != servingNode(*m_b));

        QCOMPARE(m_a->passTo(*m_b), QString());
        m_b->display().throwTowardsTheHoop();
        QVERIFY(ScenePlayer::waitUntil([&] { return roundOver(*m_a); }, waitMs));
        QCOMPARE(scoreOf(*m_a, *m_b), u"1 points, 1 received, 0 missed"_s);
    }

    // The node under A's socket dies mid-round: A reconnects through the proxy to another
    // node and throws again; the round runs out once, for one miss.
    void nodeKilledMidRound()
    {
        QCOMPARE(m_b->passTo(*m_a), QString());
        const int node = servingNode(*m_a);
        QVERIFY(node >= 0);
        m_nodes[node].kill();
        QVERIFY(ScenePlayer::waitUntil([&] { return !m_a->model().connected(); }, waitMs));
        const int next = servingNode(*m_a);
        QVERIFY(next >= 0 && next != node);

        QVERIFY(ScenePlayer::waitUntil(
            [&] { return m_a->display().visible() && m_a->display().ballParked(); }, waitMs));
        m_a->display().throwStraightUp();
        QVERIFY(ScenePlayer::waitUntil([&] { return roundOver(*m_b); }, waitMs));
        QTest::qWait(1000); // time for a second node's timer to count a second miss
        QCOMPARE(scoreOf(*m_b, *m_a), u"0 points, 1 received, 1 missed"_s);
    }

private:
    // The node that subscribed the player's socket, by the line it logs; -1 when none does
    // within the wait.
    int servingNode(ScenePlayer &player)
    {
        int found = -1;
        ScenePlayer::waitUntil(
            [&] {
                const auto socket = player.model().realtime().socketID();
                if (!player.model().connected() || !socket)
                    return false;
                const QString line = u"realtime: socket %1 subscribed"_s.arg(*socket);
                for (int i = 0; i < int(m_nodes.size()); ++i) {
                    if (m_nodes[i].isRunning() && m_nodes[i].log().contains(line))
                        found = i;
                }
                return found >= 0;
            },
            waitMs);
        return found;
    }

    static bool roundOver(ScenePlayer &player)
    {
        return player.model().snapshot() && !player.model().snapshot()->round;
    }

    // The scores as `seer`'s last snapshot shows them, from whichever node served it.
    static QString scoreOf(ScenePlayer &seer, const ScenePlayer &player)
    {
        for (const Score &score : seer.model().snapshot()->scores) {
            if (score.userId == player.id())
                return u"%1 points, %2 received, %3 missed"_s.arg(score.points)
                    .arg(score.received)
                    .arg(score.misses);
        }
        return {};
    }

    PostgresCluster m_database;
    QString m_url;
    std::array<TestServer, 3> m_nodes;
    HaproxyProcess m_proxy;
    std::unique_ptr<ScenePlayer> m_a;
    std::unique_ptr<ScenePlayer> m_b;
};

QTEST_MAIN(ClusterTest)
#include "ClusterTest.moc"
