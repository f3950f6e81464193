#include "SceneTesting.h"

#include "scene/LabelNode.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace SceneTesting;

namespace {

// The default assisted throw with the pointer: press on the parked ball, drag 0.08 field sides
// up and to the right in a few moves, let go.
void throwByHand(GameScene &scene, FrameClock &clock)
{
    const QPointF start = scene.point(0.18, 0.18);
    const double side = scene.fieldSide();
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
        QTest::newRow("1280x800") << QSizeF(1280, 800);
        QTest::newRow("portrait 1080x1920") << QSizeF(1080, 1920);
    }
    void assistedThrowScoresInARound()
    {
        QFETCH(QSizeF, size);
        auto scene = presented(size);
        const ScoreLog log(*scene);
        scene->configure(round(u"r1"_s), false, true, 0);
        FrameClock clock(*scene);
        clock.step();
        // The guide promises a hit before the throw.
        QVERIFY(scene->root().findChild(u"quality-green"));

        throwByHand(*scene, clock);
        QCOMPARE(log.shots.size(), 1u);
        const Entry &entry = log.shots.front().second;
        QCOMPARE(entry.x, 0.18);
        QCOMPARE(entry.y, 0.18);
        QVERIFY(std::abs(entry.vx - 0.56768) < 1e-6);
        QVERIFY(std::abs(entry.vy - 0.93741672) < 1e-6);

        for (int frame = 0; frame < 180 && log.scores.empty(); ++frame)
            clock.step();
        QCOMPARE(log.scores.size(), 1u);
        const Crossing &hit = log.scores.front();
        QCOMPARE(hit.shotID, log.shots.front().first);
        const Hoop &hoop = GameScene::defaultHoop;
        QVERIFY(hit.before.y > hoop.y);
        QVERIFY(hit.after.y <= hoop.y);
        QVERIFY(std::abs(hit.after.x - hoop.x) + hoop.radius <= hoop.width / 2);
        // About the 1.1 s the ideal throw takes, one frame apart.
        QVERIFY(std::abs(hit.after.t - hit.before.t - GameScene::timeStep) < 1e-9);
        QVERIFY2(hit.after.t > 0.9 && hit.after.t < 1.4, qPrintable(QString::number(hit.after.t)));

        // The ball falls on, then comes back to the start spot; nothing scores twice.
        for (int frame = 0; frame < 240 && !scene->isWaitingForThrow(); ++frame)
            clock.step();
        QVERIFY(scene->isWaitingForThrow());
        QCOMPARE(log.scores.size(), 1u);
    }

    void assistedThrowScoresInPractice()
    {
        auto scene = presented();
        const ScoreLog log(*scene);
        scene->configure(std::nullopt, true, false, 0);
        FrameClock clock(*scene);
        clock.step();
        for (int shot = 1; shot <= 2; ++shot) {
            throwByHand(*scene, clock);
            for (int frame = 0; frame < 180 && log.practiceScores < shot; ++frame)
                clock.step();
            QCOMPARE(log.practiceScores, shot);
            QCOMPARE(scene->practiceHits(), shot);
            QCOMPARE(scene->hint().text(), u"Попадание! 🏀 Тренировка · "_s + QString::number(shot));
            QVERIFY(scene->root().findChild(u"plusOne"));
            // Back on the start spot 0.8 s after the hit.
            QVERIFY(std::abs(*scene->returnAt() - clock.now() - 0.8) < 1e-9);
            clock.run(49);
            QVERIFY(scene->isWaitingForThrow());
        }
        QVERIFY(log.scores.empty());
        QVERIFY(log.shots.empty());
    }

    void flightFollowsTheBallisticCurveUntilItTouches()
    {
        auto scene = presented();
        scene->configure(std::nullopt, true, false, 0);
        FrameClock clock(*scene);
        clock.step();
        const Entry entry { 0.18, 0.18, 0.56768, 0.93741672 };
        scene->releaseBall(entry);
        for (int frame = 1; frame <= 60; ++frame) {
            clock.step();
            const double t = frame * GameScene::timeStep;
            const QPointF n = scene->normalized(scene->ballPosition());
            // The fixed step lags the exact curve by half a step's fall at most.
            QVERIFY(std::abs(n.x() - (entry.x + entry.vx * t)) < 1e-4);
            QVERIFY(std::abs(n.y() - (entry.y + entry.vy * t - 0.65 * t * t))
                < 0.65 * t * GameScene::timeStep + 1e-4);
        }
        QVERIFY(!scene->isDirtyFlight());
    }

    // The same throw gives the same flight, frame by frame, bounces included.
    void stepsAreDeterministic()
    {
        auto first = presented();
        auto second = presented();
        std::vector<QPointF> paths[2];
        for (auto *scene : { first.get(), second.get() }) {
            auto &path = paths[scene == first.get() ? 0 : 1];
            scene->configure(std::nullopt, true, false, 0);
            FrameClock clock(*scene);
            clock.step();
            scene->releaseBall({ 0.3, 0.2, 1.4, 1.9 });
            bool bounced = false;
            for (int frame = 0; frame < 600; ++frame) {
                clock.step();
                path.push_back(scene->ballPosition());
                bounced = bounced || scene->isDirtyFlight();
                if (scene->returnAt())
                    scene->releaseBall({ 0.3, 0.2, 1.4, 1.9 });
            }
            QVERIFY(bounced);
        }
        QCOMPARE(paths[0].size(), 600u);
        for (std::size_t i = 0; i < paths[0].size(); ++i)
            QVERIFY2(paths[0][i] == paths[1][i], qPrintable(QString::number(i)));
    }

    // A frame clock that stalls does not make the ball race; one that stutters keeps real time.
    void physicsFollowsTheFrameClock()
    {
        auto steady = presented();
        auto stuttering = presented();
        for (auto *scene : { steady.get(), stuttering.get() }) {
            scene->configure(std::nullopt, true, false, 0);
            scene->update(10);
            scene->releaseBall({ 0.5, 0.6, 0, 0 });
        }
        for (int frame = 1; frame <= 30; ++frame)
            steady->update(10 + frame / 60.0);
        // Uneven frames: 20 ms, 13.3 ms, ... adding up to the same half second.
        double t = 10;
        for (int frame = 1; frame <= 15; ++frame) {
            t += 0.02;
            stuttering->update(t);
            t += 1.0 / 30 - 0.02;
            stuttering->update(t);
        }
        QCOMPARE(stuttering->ballVelocity(), steady->ballVelocity());

        auto stalled = presented();
        stalled->configure(std::nullopt, true, false, 0);
        stalled->update(10);
        stalled->releaseBall({ 0.5, 0.6, 0, 0 });
        stalled->update(12); // two seconds late: four steps at most
        const double side = stalled->fieldSide();
        QVERIFY(std::abs(stalled->ballVelocity().y() + 1.3 * side * 4 / 60) < 1e-2 * side);
    }
};

QTEST_MAIN(ThrowSimulationTest)
#include "ThrowSimulationTest.moc"
