#include "SceneTesting.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace SceneTesting;

Q_DECLARE_METATYPE(Entry)

namespace {

// The default assisted throw with the pointer: press on the parked ball, drag 0.08 field sides
// up and to the right in a few moves, let go.
void throwByHand(GameScene &scene, FrameClock &clock)
{
    const QPointF start = field(scene).point(GameScene::startSpot);
    const double side = field(scene).side();
    double uptime = 50;
    scene.mouseDown(start, uptime);
    for (int i = 1; i <= 4; ++i) {
        uptime += 1.0 / 60;
        clock.step();
        scene.mouseDragged(start + QPointF(0.02, 0.02) * side * i, uptime);
    }
    clock.step();
    scene.mouseUp(start + QPointF(0.08, 0.08) * side, uptime + 1.0 / 60);
}

} // namespace

// Whole throws through the real physics at 60 frames per second.
class ThrowSimulationTest : public QObject {
    Q_OBJECT
private slots:
    void assistedThrowScoresInARound_data()
    {
        QTest::addColumn<QSizeF>("size");
        QTest::newRow("1920x1080") << QSizeF(1920, 1080);
        QTest::newRow("3840x2160") << QSizeF(3840, 2160);
        QTest::newRow("portrait 1080x1920") << QSizeF(1080, 1920);
    }
    void assistedThrowScoresInARound()
    {
        QFETCH(QSizeF, size);
        auto scene = presented(size);
        const ScoreLog log(*scene);
        scene->configure({ round(u"r1"_s), false, true, 0 });
        FrameClock clock(*scene);
        clock.step();
        QVERIFY(drawn(*scene, u"quality-green")); // the guide promises a hit

        throwByHand(*scene, clock);
        QCOMPARE(log.shots.size(), 1u);
        const Entry &entry = log.shots.front().second;
        QCOMPARE(entry.x, 0.18);
        QVERIFY(std::abs(entry.vy - 0.93741672) < 1e-6);

        clock.runUntil([&] { return !log.scores.empty(); }, 180);
        QCOMPARE(log.scores.size(), 1u);
        const Crossing &hit = log.scores.front();
        QCOMPARE(hit.shotID, log.shots.front().first);
        const Hoop &hoop = GameScene::defaultHoop;
        QVERIFY(hit.before.y > hoop.y && hit.after.y <= hoop.y);
        QVERIFY(std::abs(hit.after.x - hoop.x) + hoop.radius <= hoop.width / 2);
        // About the 1.1 s the ideal throw takes, one frame apart.
        QVERIFY(std::abs(hit.after.t - hit.before.t - GameScene::timeStep) < 1e-9);
        QVERIFY2(hit.after.t > 0.9 && hit.after.t < 1.4, qPrintable(QString::number(hit.after.t)));

        // The ball falls on, then comes back to the start spot; nothing scores twice.
        QVERIFY(clock.runUntil([&] { return isParked(*scene); }, 240) < 240);
        QCOMPARE(log.scores.size(), 1u);
    }

    void assistedThrowScoresInPractice()
    {
        auto scene = presented();
        const ScoreLog log(*scene);
        scene->configure({ std::nullopt, true, false, 0 });
        FrameClock clock(*scene);
        clock.step();
        for (int shot = 1; shot <= 2; ++shot) {
            throwByHand(*scene, clock);
            clock.runUntil([&] { return log.practiceScores == shot; }, 180);
            QCOMPARE(log.practiceScores, shot);
            QCOMPARE(drawn<LabelNode>(*scene, u"hint")->text(),
                u"Попадание! 🏀 Тренировка · "_s + QString::number(shot));
            QVERIFY(drawn(*scene, u"plusOne"));
            // Back on the start spot 0.8 s after the hit.
            clock.run(47);
            QVERIFY(!isParked(*scene));
            clock.run(2);
            QVERIFY(isParked(*scene));
        }
        QVERIFY(log.scores.empty());
        QVERIFY(log.shots.empty());
    }

    void flightFollowsTheBallisticCurve_data()
    {
        QTest::addColumn<QSizeF>("size");
        QTest::newRow("1080") << QSizeF(1920, 1080);
        QTest::newRow("2160") << QSizeF(3840, 2160);
        QTest::newRow("small") << QSizeF(300, 200);
    }
    void flightFollowsTheBallisticCurve()
    {
        QFETCH(QSizeF, size);
        auto scene = presented(size);
        scene->configure({ std::nullopt, true, false, 0 });
        FrameClock clock(*scene);
        clock.step();
        const Entry entry { 0.5, 0.6, 0.2, 0.3 };
        scene->releaseBall(entry);
        for (int frame = 1; frame <= 30; ++frame) {
            clock.step();
            const double t = frame * GameScene::timeStep;
            const QPointF n = ballInField(*scene);
            // The fixed step lags the exact curve by half a step's fall at most.
            QVERIFY(std::abs(n.x() - (entry.x + entry.vx * t)) < 1e-4);
            QVERIFY(std::abs(n.y() - (entry.y + entry.vy * t - 0.65 * t * t))
                < 0.65 * t * GameScene::timeStep + 1e-4);
        }
    }

    // The scene's edges are solid from inside: a ball thrown hard at one bounces back instead
    // of leaving the scene and being rescued.
    void theEdgesKeepTheBallIn_data()
    {
        QTest::addColumn<Entry>("entry");
        QTest::newRow("top") << Entry { 0.5, 0.6, 0, 3 };
        QTest::newRow("right") << Entry { 0.9, 0.5, 3, 0 };
        QTest::newRow("left") << Entry { 0.1, 0.5, -3, 0.5 };
    }
    void theEdgesKeepTheBallIn()
    {
        QFETCH(Entry, entry);
        auto scene = presented();
        scene->configure({ std::nullopt, true, false, 0 });
        FrameClock clock(*scene);
        clock.step();
        scene->releaseBall(entry);
        const QRectF inside(QPointF(0, 0), scene->size());
        for (int frame = 0; frame < 30; ++frame) {
            clock.step();
            QVERIFY2(inside.contains(ball(*scene).position()), qPrintable(QString::number(frame)));
        }
    }

    // A frame clock that stalls does not make the ball race; one that stutters keeps real time.
    void physicsFollowsTheFrameClock()
    {
        auto steady = presented();
        auto stuttering = presented();
        auto stalled = presented();
        for (auto *scene : { steady.get(), stuttering.get(), stalled.get() }) {
            scene->configure({ std::nullopt, true, false, 0 });
            scene->update(10);
            scene->releaseBall({ 0.5, 0.6, 0, 0 });
        }
        for (int frame = 1; frame <= 30; ++frame)
            steady->update(10 + frame / 60.0);
        // Uneven frames: 20 ms, 13.3 ms, ... adding up to the same half second.
        double t = 10;
        for (int frame = 1; frame <= 15; ++frame) {
            stuttering->update(t += 0.02);
            stuttering->update(t += 1.0 / 30 - 0.02);
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
