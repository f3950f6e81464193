#include "SceneTesting.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace SceneTesting;

namespace {

// The default assisted throw by hand: drag 0.08 field sides up and to the right, let go.
void throwByHand(GameScene &scene, FrameClock &clock)
{
    const QPointF start = field(scene).point(GameScene::startSpot);
    const QPointF step = QPointF(0.02, 0.02) * field(scene).side();
    double uptime = 50;
    scene.mouseDown(start, uptime);
    for (int i = 1; i <= 4; ++i) {
        clock.step();
        scene.mouseDragged(start + step * i, uptime += 1.0 / 60);
    }
    clock.step();
    scene.mouseUp(start + step * 4, uptime + 1.0 / 60);
}

} // namespace

// Whole throws through the real physics at 60 frames per second.
class ThrowSimulationTest : public QObject {
    Q_OBJECT
private slots:
    // Two throws in a row score: in a round each reported once with its crossing about the
    // 1.1 s the ideal throw takes, in practice counted on the hint, back 0.8 s after the hit.
    void assistedThrowScores_data()
    {
        QTest::addColumn<bool>("inPractice");
        QTest::addColumn<QSizeF>("size");
        QTest::newRow("round") << false << QSizeF(1920, 1080);
        QTest::newRow("round, 3840x2160") << false << QSizeF(3840, 2160);
        QTest::newRow("round, portrait") << false << QSizeF(1080, 1920);
        QTest::newRow("practice") << true << QSizeF(1920, 1080);
    }
    void assistedThrowScores()
    {
        QFETCH(bool, inPractice);
        QFETCH(QSizeF, size);
        auto scene = presented(inPractice ? practice : inRound, size);
        const ScoreLog log(*scene);
        FrameClock clock { *scene };
        const Hoop &hoop = GameScene::defaultHoop;
        for (int shot = 1; shot <= 2; ++shot) {
            throwByHand(*scene, clock);
            const auto scored = [&] { return log.practiceScores + int(log.scores.size()); };
            clock.runUntil([&] { return scored() == shot; }, 180);
            QCOMPARE(scored(), shot);
            if (inPractice) {
                QCOMPARE(drawn<LabelNode>(*scene, u"hint")->text(),
                    u"Попадание! 🏀 Тренировка · "_s + QString::number(shot));
                QVERIFY(drawn(*scene, u"plusOne"));
                const int back = clock.runUntil([&] { return isParked(*scene); }, 60);
                QVERIFY2(back >= 48 && back <= 49, qPrintable(QString::number(back)));
                continue;
            }
            const auto &[id, before, after] = log.scores.back();
            QCOMPARE(id, log.shots.back().first);
            QVERIFY(before.y > hoop.y && after.y <= hoop.y
                && std::abs(after.t - before.t - GameScene::timeStep) < 1e-9);
            QVERIFY2(after.t > 0.9 && after.t < 1.4, qPrintable(QString::number(after.t)));
            // The ball falls on, then comes back to the start spot; nothing scores twice.
            QVERIFY(clock.runUntil([&] { return isParked(*scene); }, 240) < 240);
            QCOMPARE(scored(), shot);
        }
        QCOMPARE(log.shots.size(), inPractice ? 0u : 2u);
    }

    // The scene's edges are solid from inside: a ball thrown hard at one bounces back instead
    // of leaving the scene and being rescued.
    void theEdgesKeepTheBallIn()
    {
        for (const Entry &entry :
            { Entry { 0.5, 0.6, 0, 3 }, Entry { 0.9, 0.5, 3, 0 }, Entry { 0.1, 0.5, -3, 0.5 } }) {
            auto scene = presented(practice);
            FrameClock clock { *scene };
            clock.step();
            scene->releaseBall(entry);
            for (int frame = 0; frame < 30; ++frame) {
                clock.step();
                QVERIFY2(QRectF(QPointF(), scene->size()).contains(ball(*scene).position()),
                    qPrintable(u"vx %1, frame %2"_s.arg(entry.vx).arg(frame)));
            }
        }
    }

    // A frame clock that stalls does not make the ball race; one that stutters keeps real time.
    void physicsFollowsTheFrameClock()
    {
        auto steady = presented(practice);
        auto stuttering = presented(practice);
        auto stalled = presented(practice);
        for (auto *scene : { steady.get(), stuttering.get(), stalled.get() }) {
            scene->update(10);
            scene->releaseBall({ 0.5, 0.6, 0, 0 });
        }
        // Uneven frames: 20 ms, 13.3 ms, ... adding up to the same half second.
        for (int frame = 1; frame <= 15; ++frame) {
            steady->update(10 + frame / 30.0 - 1.0 / 60);
            steady->update(10 + frame / 30.0);
            stuttering->update(10 + frame / 30.0 - 1.0 / 30 + 0.02);
            stuttering->update(10 + frame / 30.0);
        }
        QCOMPARE(ball(*stuttering).position(), ball(*steady).position());
        // Two seconds late: four steps at most, 1 + 2 + 3 + 4 steps' worth of fall.
        stalled->update(12);
        const double fall = field(*stalled).point(0.5, 0.6).y() - ball(*stalled).position().y();
        QVERIFY2(std::abs(fall - 1.3 * 1080 * 10 / 3600) < 0.01, qPrintable(QString::number(fall)));
    }
};

QTEST_MAIN(ThrowSimulationTest)
#include "ThrowSimulationTest.moc"
