// Two coordinators playing on the real tosswick-server: one round passed and hit.
// The rules themselves are checked with scripted servers.

#include "ScenePlayer.h"
#include "TestServer.h"

#include <QCoro/QCoroTask>
#include <QTest>

#include <utility>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

constexpr int serverTimeoutMs = 20'000;

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
    void initTestCase() { QVERIFY2(m_server.start(), qPrintable(m_server.errorText())); }

    void passAndHit()
    {
        auto [a, b] = playersInOneRoom();
        QVERIFY(!QTest::currentTestFailed());

        a->model().setSelectedReceiver(b->id());
        QCoro::waitFor(a->model().transfer(ScenePlayer::sendButtonEntry));
        QCOMPARE(a->model().message(), u"Ball sent to "_s + b->model().user()->name);
        // The receiver's scene holds the round.
        QTRY_VERIFY_WITH_TIMEOUT(b->display().shownRound(), serverTimeoutMs);
        // Its ready report turned the round active; the overlay shows.
        QTRY_VERIFY_WITH_TIMEOUT(
            b->model().snapshot()->round && b->model().snapshot()->round->isActive(),
            serverTimeoutMs);
        QVERIFY(b->display().visible());

        b->display().throwTowardsTheHoop();
        QTRY_COMPARE_WITH_TIMEOUT(b->model().message(), u"Nice shot! +1"_s, serverTimeoutMs);
        // The server took the result, which it refuses for a shot it has not registered;
        // recorded once the room state is read again.
        QTRY_COMPARE_WITH_TIMEOUT(b->model().savedResults().size(), 1, serverTimeoutMs);
        const SavedBasketResult hit = b->model().savedResults().first();
        QCOMPARE(u"%1 %2"_s.arg(hit.room).arg(hit.practice), u"Lobby 0"_s);
        QVERIFY(b->model().lastResult().startsWith(u"Попадание · +1 · "_s));

        QTRY_VERIFY_WITH_TIMEOUT(!b->display().visible(), 5000);

        // A's next room state: B holds the ball and has the point.
        QTRY_VERIFY_WITH_TIMEOUT(
            a->model().snapshot()->room.ballOwnerId == b->id() && !a->model().snapshot()->round,
            serverTimeoutMs);
        QCOMPARE(scoreOf(a->model(), b->id()), u"1 1 0"_s);
        QVERIFY(a->model().savedResults().isEmpty());
    }
};

QTEST_MAIN(PlayTogetherTest)
#include "PlayTogetherTest.moc"
