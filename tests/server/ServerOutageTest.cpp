#include "ApiClient.h"
#include "GameRequests.h"
#include "InProcessServer.h"
#include "PostgresCluster.h"
#include "store/DatabaseUrl.h"
#include "store/Store.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

#include <csignal>

using namespace Qt::StringLiterals;

namespace {

const QString unavailable = u"The game's database is not available; please try again shortly."_s;

} // namespace

// The PostgreSQL server going away under a running node and coming back: requests are
// refused at once meanwhile, and the node serves again without a restart.
class ServerOutageTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // On its own thread: a node stuck in the database cannot hold the test.
        QVERIFY2(m_server.start(InProcessServer::withoutRateLimits(), InProcessServer::Thread::Own),
            qPrintable(m_server.errorText()));
        m_api = std::make_unique<ApiClient>(m_server.httpUrl());
        m_game = std::make_unique<GameRequests>(*m_api, m_server.clock());
    }

    // An administrator's shutdown: its notice (57P01) and then refused connections are both
    // taken for the database gone, as a crash's are.
    void servesAgainAfterTheDatabaseIsBack()
    {
        const GameRequests::Player player = m_game->newPlayer();
        const qint64 room = m_game->createRoom(player)[u"id"_s].toInteger();
        QCOMPARE(m_api->get(u"rooms"_s, player.token).status, 200);

        PostgresCluster &cluster = PostgresCluster::shared();
        QVERIFY2(cluster.stop(), qPrintable(cluster.errorText()));
        // Whatever the request, and whether its player is known to the node already.
        const QList<std::pair<QByteArray, QString>> requests { { "GET", u"rooms"_s },
            { "POST", u"rooms"_s }, { "GET", u"rooms/%1/state"_s.arg(room) },
            { "POST", u"guest"_s }, { "GET", u"me"_s } };
        for (const auto &[method, path] : requests) {
            const ApiClient::Reply reply = m_api->request(
                method, path, method == "POST" ? QByteArray("{}") : QByteArray(), player.token);
            QCOMPARE(reply.status, 503);
            QCOMPARE(reply.object()[u"message"_s].toString(), unavailable);
        }
        QElapsedTimer health;
        health.start();
        QCOMPARE(m_api->get(u"/healthz"_s, {}).status, 503);
        QCOMPARE_LT(health.elapsed(), 1000);

        QVERIFY2(cluster.start(), qPrintable(cluster.errorText()));
        QTRY_COMPARE(m_api->get(u"/healthz"_s, {}).status, 200);
        const ApiClient::Reply rooms = m_api->get(u"rooms"_s, player.token);
        QCOMPARE(rooms.status, 200);
        QCOMPARE(rooms.document().array().first()[u"id"_s].toInteger(), room);
    }

    // A server that stops answering, its host still there: the node cuts the connection.
    void answersWhileItsConnectionGetsNoAnswer()
    {
        const GameRequests::Player player = m_game->newPlayer();
        const qint64 backend = nodeBackend();
        QVERIFY(backend > 0 && ::kill(pid_t(backend), SIGSTOP) == 0);
        QElapsedTimer health;
        health.start();
        const int status = m_api->get(u"/healthz"_s, {}).status;
        const qint64 elapsed = health.elapsed();
        ::kill(pid_t(backend), SIGCONT);
        QVERIFY2(status == 503 && elapsed < 1000, qPrintable(QString::number(elapsed)));
        QTRY_COMPARE(m_api->get(u"rooms"_s, player.token).status, 200);
    }

private:
    // The process of the database server that serves the node's connection.
    qint64 nodeBackend() const
    {
        qint64 pid = 0;
        {
            QString error;
            Store::openPostgresConnection(
                u"observer"_s, DatabaseUrl::parse(m_server.database()), u"test"_s, error);
            QSqlQuery query(QSqlDatabase::database(u"observer"_s, false));
            if (query.exec(u"SELECT pid FROM pg_stat_activity WHERE application_name = "
                           "'tosswick-server'"_s)
                && query.next())
                pid = query.value(0).toLongLong();
        }
        QSqlDatabase::removeDatabase(u"observer"_s);
        return pid;
    }

    InProcessServer m_server;
    std::unique_ptr<ApiClient> m_api;
    std::unique_ptr<GameRequests> m_game;
};

QTEST_GUILESS_MAIN(ServerOutageTest)
#include "ServerOutageTest.moc"
