#include "ApiClient.h"
#include "GameRequests.h"
#include "HaproxyProcess.h"
#include "PostgresCluster.h"
#include "RoomSubscription.h"
#include "TestServer.h"
#include "WireClient.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

#include <array>

using namespace Qt::StringLiterals;
using Player = GameRequests::Player;

namespace {

constexpr int readyMs = 3000;
constexpr int roundMs = 4000;

} // namespace

// Three nodes on one PostgreSQL behind HAProxy, as deployed: requests and realtime sockets
// spread over the nodes, and the game goes on when a node is killed.
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
            QVERIFY2(node.start({ u"--db"_s, m_url, u"--trusted-proxy"_s, u"127.0.0.1"_s,
                         u"--test-ready-ms"_s, QString::number(readyMs), u"--test-round-ms"_s,
                         QString::number(roundMs) }),
                qPrintable(node.errorText()));
            ports.append(quint16(node.httpUrl().port()));
        }
        QVERIFY2(m_proxy.start(ports), qPrintable(m_proxy.errorText()));
        m_api = std::make_unique<ApiClient>(m_proxy.httpUrl());
        m_game = std::make_unique<GameRequests>(*m_api);
    }

    // Each player's requests and socket land on different nodes; every step reaches both
    // sockets once, and the point is in the shared database.
    void passAndHitAcrossNodes()
    {
        const auto [a, b, room] = m_game->twoPlayerRoom();
        WireClient first;
        WireClient second;
        QVERIFY(subscribeToRoom(first, m_proxy.wsUrl(), *m_api, room, a.token));
        QVERIFY(subscribeToRoom(second, m_proxy.wsUrl(), *m_api, room, b.token));
        QVERIFY(m_game->playHit(room, a, b));
        for (WireClient *client : { &first, &second }) {
            QSet<QString> ids;
            int frames = 0;
            while (const auto frame = client->next(std::chrono::milliseconds(1500))) {
                ++frames;
                ids.insert(dataText(*frame)[u"event_id"_s].toString());
            }
            QVERIFY2(frames >= 4, qPrintable(QString::number(frames))); // send, ready, shot, score
            QCOMPARE(ids.size(), frames); // none twice
        }
        QCOMPARE(pointsOf(b), 1);
    }

    // A node dies mid-round: the others serve on, and the round runs out exactly once.
    void nodeKilledMidRound()
    {
        const auto [a, b, room] = m_game->twoPlayerRoom();
        QVERIFY(!m_game->activeRound(room, a, b).isEmpty());
        m_nodes[0].kill();
        QTRY_COMPARE_WITH_TIMEOUT(
            m_game->state(room, a).object()[u"state"_s].toString(), u"IDLE"_s, roundMs + 5000);
        QTest::qWait(1000); // time for a second timer to count a second miss
        const QJsonObject score = GameRequests::scoreOf(m_game->state(room, a).object(), b.id);
        QCOMPARE(score[u"misses"_s].toInteger(), 1);
        QCOMPARE(score[u"received"_s].toInteger(), 1);
    }

private:
    int pointsOf(const Player &player)
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QPSQL"_s, u"check"_s);
        db.setHostName(m_database.socketDirectory());
        db.setPort(m_database.port());
        db.setUserName(QString::fromLatin1(PostgresCluster::user));
        db.setDatabaseName(m_url.section(u'/', -1));
        int points = -1;
        if (db.open()) {
            QSqlQuery query(db);
            query.prepare(u"SELECT SUM(points) FROM scores WHERE player_id = ?"_s);
            query.addBindValue(player.id);
            if (query.exec() && query.next())
                points = query.value(0).toInt();
        }
        db = {};
        QSqlDatabase::removeDatabase(u"check"_s);
        return points;
    }

    PostgresCluster m_database;
    QString m_url;
    std::array<TestServer, 3> m_nodes;
    HaproxyProcess m_proxy;
    std::unique_ptr<ApiClient> m_api;
    std::unique_ptr<GameRequests> m_game;
};

QTEST_GUILESS_MAIN(ClusterTest)
#include "ClusterTest.moc"
