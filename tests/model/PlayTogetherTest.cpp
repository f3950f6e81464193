// Two coordinators playing on the real tosswick-server: one round passed and hit, one missed,
// and a session the server forgets. The rules themselves are checked with scripted servers.

#include "ScenePlayer.h"
#include "TestServer.h"

#include <QCoro/QCoroTask>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

#include <utility>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

constexpr int serverTimeoutMs = 20'000;
// An active round lasts this long on the test server, so a miss ends within a test.
const QStringList serverArguments { u"--test-round-ms"_s, u"5000"_s, u"--test-cooldown-ms"_s,
    u"200"_s };

// "points received misses" of that player in the model's room state, if it has one.
QString scoreOf(const AppModel &model, qint64 player)
{
    for (const Score &score : model.snapshot() ? model.snapshot()->scores : QList<Score>())
        if (score.userId == player)
            return u"%1 %2 %3"_s.arg(score.points).arg(score.received).arg(score.misses);
    return QString();
}

} // namespace

class PlayTogetherTest : public QObject {
    Q_OBJECT

    TestServer m_server;

    // A in a room of their own and B joined to it.
    std::pair<std::unique_ptr<ScenePlayer>, std::unique_ptr<ScenePlayer>> playersInOneRoom()
    {
        QString error;
        auto players = ScenePlayer::inOneRoom(quint16(m_server.httpUrl().port()), error, {});
        if (!error.isEmpty())
            QTest::qFail(qPrintable(error), __FILE__, __LINE__);
        return players;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_server.start(serverArguments), qPrintable(m_server.errorText()));
    }

    void passAndHit()
    {
        auto [a, b] = playersInOneRoom();
        QVERIFY(!QTest::currentTestFailed());

        a->model().setSelectedReceiver(b->id());
        QCOMPARE(a->model().sendButtonTitle(), u"Send to "_s + b->model().user()->name);
        QCoro::waitFor(a->model().transfer(ScenePlayer::sendButtonEntry));
        QCOMPARE(a->model().message(), u"Ball sent to "_s + b->model().user()->name);
        // The receiver's scene holds the round, the ball parked at the start spot.
        QTRY_VERIFY_WITH_TIMEOUT(b->display().shownRound(), serverTimeoutMs);
        QVERIFY(b->display().ballParked());
        // Its ready report turned the round active; the overlay shows.
        QTRY_VERIFY_WITH_TIMEOUT(
            b->model().snapshot()->round && b->model().snapshot()->round->isActive(),
            serverTimeoutMs);
        QCOMPARE(b->model().snapshot()->round->id, b->display().shownRound());
        QVERIFY(b->display().visible());

        QElapsedTimer sinceHit;
        std::optional<qint64> dismissedAfter;
        QObject::connect(&b->model(), &AppModel::messageChanged, &b->model(), [&] {
            if (b->model().message() == u"Nice shot! +1"_s)
                sinceHit.start();
        });
        b->model().setOnSuccess([&] { dismissedAfter = sinceHit.elapsed(); });

        b->display().throwTowardsTheHoop();
        QTRY_VERIFY_WITH_TIMEOUT(sinceHit.isValid(), serverTimeoutMs);
        // The server took the result, which it refuses for a shot it has not registered;
        // recorded once the room state is read again.
        QTRY_COMPARE_WITH_TIMEOUT(b->model().savedResults().size(), 1, serverTimeoutMs);
        QCOMPARE(b->display().celebrations(), 1);
        const SavedBasketResult hit = b->model().savedResults().first();
        QCOMPARE(u"%1 %2"_s.arg(hit.room).arg(hit.practice), u"Lobby 0"_s);
        QVERIFY(b->model().lastResult().startsWith(u"Попадание · +1 · "_s));

        QTRY_VERIFY_WITH_TIMEOUT(dismissedAfter, 5000);
        QVERIFY2(*dismissedAfter >= 790, qPrintable(QString::number(*dismissedAfter)));
        QVERIFY(!b->display().visible());

        // A's next room state: B holds the ball and has the point.
        QTRY_VERIFY_WITH_TIMEOUT(
            a->model().snapshot()->room.ballOwnerId == b->id() && !a->model().snapshot()->round,
            serverTimeoutMs);
        QCOMPARE(scoreOf(a->model(), b->id()), u"1 1 0"_s);
        QVERIFY(a->model().savedResults().isEmpty());
    }

    void missEndsInATimeout()
    {
        auto [a, b] = playersInOneRoom();
        QVERIFY(!QTest::currentTestFailed());

        // To whoever is online: only B.
        QCoro::waitFor(a->model().transfer(ScenePlayer::sendButtonEntry));
        QCOMPARE(a->model().message(), u"Ball sent to an available player"_s);
        QTRY_VERIFY_WITH_TIMEOUT(b->model().snapshot() && b->model().snapshot()->round
                && b->model().snapshot()->round->isActive(),
            serverTimeoutMs);
        b->display().throwStraightUp();

        // The round runs out on the server: a miss for B, who keeps the ball.
        QTRY_COMPARE_WITH_TIMEOUT(scoreOf(a->model(), b->id()), u"0 1 1"_s, serverTimeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(!b->model().snapshot()->round, serverTimeoutMs);
        QCOMPARE(b->model().snapshot()->room.ballOwnerId, b->id());
        QCOMPARE(b->model().savedResults().size() + b->display().celebrations(), 0);
    }

    void heartbeatRejectedByTheServerStartsANewGuestSession()
    {
        auto a = ScenePlayer::at(u"127.0.0.1"_s, quint16(m_server.httpUrl().port()), {});
        QCOMPARE(a->startRoom(), QString());
        const qint64 guest = a->id();
        QStringList shown;
        QObject::connect(&a->model(), &AppModel::messageChanged, &a->model(),
            [&] { shown.append(a->model().message()); });

        // The server forgets the session, as it would after its sessions were reset.
        {
            auto db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"server"_s);
            db.setDatabaseName(m_server.databasePath());
            db.setConnectOptions(u"QSQLITE_BUSY_TIMEOUT=5000"_s);
            QVERIFY(db.open());
            QSqlQuery forget(db);
            QVERIFY(
                forget.prepare(u"UPDATE players SET token_hash = randomblob(32) WHERE id = ?"_s));
            forget.addBindValue(guest);
            QVERIFY(forget.exec());
            QCOMPARE(forget.numRowsAffected(), 1);
        }
        QSqlDatabase::removeDatabase(u"server"_s);

        QTRY_VERIFY_WITH_TIMEOUT(
            a->model().user() && a->id() != guest && !a->model().working(), serverTimeoutMs);
        QVERIFY(shown.contains(u"Restoring guest session…"_s));
        QCOMPARE(a->model().message(), u"Create a room or enter a secret Room ID to join."_s);
        QCOMPARE(a->model().roomID(), std::nullopt);
        QVERIFY(a->model().rooms().isEmpty());
        // No reconnection follows: the old room is not the new guest's.
        QTest::qWait(4000);
        QVERIFY(!shown.contains(u"Connection lost · reconnecting…"_s) && !a->model().connected());
    }
};

QTEST_MAIN(PlayTogetherTest)
#include "PlayTogetherTest.moc"
