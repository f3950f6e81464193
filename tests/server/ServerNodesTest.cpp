#include "ApiClient.h"
#include "GameRequests.h"
#include "InProcessServer.h"
#include "store/DatabaseUrl.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QtTest>

#include <algorithm>
#include <array>
#include <functional>
#include <optional>

using namespace Qt::StringLiterals;
using Player = GameRequests::Player;
using Request = std::function<ApiClient::Reply(const GameRequests &)>;

// Two nodes on one PostgreSQL database, each on a thread of its own, acting on one room at
// once. The test holds the room's rows while both requests come in, so that each node gets
// as far as it can before the other one writes: a rule that does not lock the room first
// reads a state the other is about to change.
class ServerNodesTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        const QStringList arguments = InProcessServer::withoutRateLimits();
        QVERIFY2(m_first.start(arguments, InProcessServer::Thread::Own),
            qPrintable(m_first.errorText()));
        QVERIFY2(m_second.startBeside(m_first, arguments, InProcessServer::Thread::Own),
            qPrintable(m_second.errorText()));
        for (InProcessServer *node : { &m_first, &m_second }) {
            m_apis.push_back(std::make_unique<ApiClient>(node->httpUrl()));
            m_games.push_back(std::make_unique<GameRequests>(*m_apis.back(), node->clock()));
        }
        const DatabaseUrl url = DatabaseUrl::parse(m_first.database());
        m_db = QSqlDatabase::addDatabase(u"QPSQL"_s, u"holder"_s);
        m_db.setHostName(url.host);
        m_db.setPort(url.port);
        m_db.setUserName(url.user);
        m_db.setDatabaseName(url.database);
        QVERIFY2(m_db.open(), qPrintable(m_db.lastError().text()));
    }

    void cleanupTestCase() { m_db.close(); }

    void onlyOneOfTwoActionsAtOnce_data()
    {
        QTest::addColumn<QString>("action");
        QTest::newRow("two passes of the ball") << u"send"_s;
        QTest::newRow("a miss and a hit for one throw") << u"results"_s;
    }

    // One of the two is refused as the other's outcome: one round opens; one throw gets one
    // judgement.
    void onlyOneOfTwoActionsAtOnce()
    {
        QFETCH(QString, action);
        const GameRequests &game = *m_games.front();
        const auto [sender, receiver, room] = game.twoPlayerRoom();
        Request first;
        Request second;
        if (action == u"send"_s) {
            for (const auto &node : m_games)
                QCOMPARE(node->heartbeat(room, receiver).status, 200);
            first = [&](const GameRequests &on) { return on.send(room, sender, u"a"_s); };
            second = [&](const GameRequests &on) { return on.send(room, sender, u"b"_s); };
        } else {
            const QJsonObject round = game.activeRound(room, sender, receiver);
            QVERIFY(!round.isEmpty());
            QCOMPARE(game.shot(room, receiver, round, u"s1"_s, 1).status, 200);
            // The flight's time passes on both nodes before the results come.
            const int flightMs = int(GameRequests::hitSeconds * 1000) + 100;
            m_first.clock().advance(flightMs);
            m_second.clock().advance(flightMs);
            const QJsonObject release = GameRequests::throwRelease();
            first = [=](const GameRequests &on) {
                return on.result(room, receiver, round, u"s1"_s, 2,
                    GameRequests::sampleAt(release, 1.08, 0.07),
                    GameRequests::sampleAt(release, 1.12, 0.07));
            };
            second = [=](const GameRequests &on) {
                return on.hitResult(room, receiver, round, u"s1"_s, 2);
            };
        }
        const auto statuses = race(room, first, second);
        QVERIFY2(statuses, "the nodes did not both wait for the room");
        QVERIFY2(std::count(statuses->cbegin(), statuses->cend(), 409) == 1,
            qPrintable(u"replies %1 and %2"_s.arg((*statuses)[0]).arg((*statuses)[1])));
    }

private:
    // Runs `first` on the first node and `second` on the second while the room's rows are
    // held, lets them go once both nodes wait for them and answers the two statuses (none
    // when the nodes did not both wait).
    std::optional<std::array<int, 2>> race(qint64 room, const Request &first, const Request &second)
    {
        if (!m_db.transaction())
            return std::nullopt;
        QSqlQuery hold(m_db);
        const QString roomRows[] = { u"SELECT 1 FROM rooms WHERE id = %1 FOR UPDATE"_s,
            u"SELECT 1 FROM rounds WHERE room_id = %1 FOR UPDATE"_s,
            u"SELECT 1 FROM shots WHERE round_id IN (SELECT id FROM rounds WHERE room_id = %1) "
            "FOR UPDATE"_s };
        for (const QString &statement : roomRows)
            hold.exec(statement.arg(room));
        std::array<int, 2> statuses {};
        const auto requester = [this, &statuses](int node, const Request &request) {
            return QThread::create([this, &statuses, node, request] {
                GameRequests atOnce(*m_apis[node]);
                atOnce.letTimePass = [](int) {};
                statuses[node] = request(atOnce).status;
            });
        };
        const std::unique_ptr<QThread> threads[] = { std::unique_ptr<QThread>(requester(0, first)),
            std::unique_ptr<QThread>(requester(1, second)) };
        for (const auto &thread : threads)
            thread->start();
        QSqlQuery waiting(m_db);
        const bool bothWait = QTest::qWaitFor([&] {
            return waiting.exec(u"SELECT count(*) FROM pg_stat_activity WHERE datname = "
                                "current_database() AND wait_event_type = 'Lock'"_s)
                && waiting.next() && waiting.value(0).toInt() == 2;
        });
        m_db.commit();
        for (const auto &thread : threads)
            thread->wait();
        if (!bothWait)
            return std::nullopt;
        return statuses;
    }

    InProcessServer m_first;
    InProcessServer m_second;
    std::vector<std::unique_ptr<ApiClient>> m_apis;
    std::vector<std::unique_ptr<GameRequests>> m_games;
    QSqlDatabase m_db;
};

QTEST_GUILESS_MAIN(ServerNodesTest)
#include "ServerNodesTest.moc"
