#include "ApiClient.h"
#include "GameRequests.h"
#include "InProcessServer.h"
#include "store/DatabaseUrl.h"
#include "store/Store.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QThread>
#include <QtTest>

#include <array>
#include <functional>

using namespace Qt::StringLiterals;
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
        const auto own = InProcessServer::Thread::Own;
        QVERIFY2(m_first.start(arguments, own) && m_second.startBeside(m_first, arguments, own),
            qPrintable(m_first.errorText() + m_second.errorText()));
        for (InProcessServer *node : { &m_first, &m_second })
            m_apis.push_back(std::make_unique<ApiClient>(node->httpUrl()));
        m_game = std::make_unique<GameRequests>(*m_apis[0], m_first.clock());
        QString error;
        QVERIFY2(Store::openPostgresConnection(
                     u"holder"_s, DatabaseUrl::parse(m_first.database()), u"test"_s, error),
            qPrintable(error));
        m_db = QSqlDatabase::database(u"holder"_s, false);
    }

    void onlyOneOfTwoActionsAtOnce_data()
    {
        QTest::addColumn<bool>("results");
        QTest::newRow("two passes of the ball") << false;
        QTest::newRow("a miss and a hit for one throw") << true;
    }

    // One of the two is refused as the other's outcome: one round opens; one throw gets one
    // judgement.
    void onlyOneOfTwoActionsAtOnce()
    {
        QFETCH(bool, results);
        const GameRequests &game = *m_game;
        const auto [sender, receiver, room] = game.twoPlayerRoom();
        Request first = [&](const GameRequests &on) { return on.send(room, sender, u"a"_s); };
        Request second = [&](const GameRequests &on) { return on.send(room, sender, u"b"_s); };
        QCOMPARE(game.heartbeat(room, receiver).status, 200);
        if (results) {
            const QJsonObject round = game.activeRound(room, sender, receiver);
            QCOMPARE(game.shot(room, receiver, round, u"s1"_s, 1).status, 200);
            // The flight's time passes on both nodes before the results come.
            for (InProcessServer *node : { &m_first, &m_second })
                node->clock().advance(int(GameRequests::hitSeconds * 1000) + 100);
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
        const QString statuses = race(room, first, second);
        QVERIFY2(statuses.count(u"409"_s) == 1, qPrintable(statuses));
    }

private:
    // Runs `first` on the first node and `second` on the second while the room's rows are
    // held, lets them go once both nodes wait for them and answers the two statuses.
    QString race(qint64 room, const Request &first, const Request &second)
    {
        m_db.transaction();
        QSqlQuery hold(m_db);
        for (const QString &rows : { u"rooms WHERE id = %1"_s, u"rounds WHERE room_id = %1"_s,
                 u"shots WHERE round_id IN (SELECT id FROM rounds WHERE room_id = %1)"_s })
            hold.exec(u"SELECT 1 FROM "_s + rows.arg(room) + u" FOR UPDATE"_s);
        std::array<int, 2> statuses {};
        std::unique_ptr<QThread> threads[2];
        for (int node = 0; node < 2; ++node) {
            threads[node].reset(QThread::create([&, node] {
                GameRequests atOnce(*m_apis[node]);
                atOnce.letTimePass = [](int) {};
                statuses[node] = (node == 0 ? first : second)(atOnce).status;
            }));
            threads[node]->start();
        }
        QSqlQuery waiting(m_db);
        const bool bothWait = QTest::qWaitFor([&] {
            return waiting.exec(u"SELECT count(*) FROM pg_stat_activity WHERE datname = "
                                "current_database() AND wait_event_type = 'Lock'"_s)
                && waiting.next() && waiting.value(0).toInt() == 2;
        });
        m_db.commit();
        for (const auto &thread : threads)
            thread->wait();
        return bothWait ? u"%1 %2"_s.arg(statuses[0]).arg(statuses[1]) : u"no wait"_s;
    }

    InProcessServer m_first;
    InProcessServer m_second;
    std::vector<std::unique_ptr<ApiClient>> m_apis;
    std::unique_ptr<GameRequests> m_game;
    QSqlDatabase m_db;
};

QTEST_GUILESS_MAIN(ServerNodesTest)
#include "ServerNodesTest.moc"
