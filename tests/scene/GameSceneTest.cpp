#include "SceneTesting.h"

#include "scene/TrackpadThrow.h"

#include <QTest>

Q_DECLARE_METATYPE(Entry)
Q_DECLARE_METATYPE(Hoop)

using namespace Qt::StringLiterals;
using namespace SceneTesting;

namespace {

const QString roundHint = u"Легко! Потяни мяч ↗ и отпусти · Мы поможем попасть"_s;
const QString practiceHint
    = u"Тренировка · Потяни мяч ↗ и отпусти · Передача другу — в окне игры"_s;

QPointF pathPoint(const ShapeNode &shape, int i)
{
    return shape.path().elementAt(i < 0 ? shape.path().elementCount() + i : i);
}

} // namespace

// The scene through what it reports and draws: modes, countdown, releases, pointer, aim guide,
// passing, rescue and the host's frame loop.
class GameSceneTest : public QObject {
    Q_OBJECT
private slots:
    void modesFollowRoundAndHolder_data()
    {
        QTest::addColumn<bool>("withRound");
        QTest::addColumn<bool>("holder");
        QTest::addColumn<bool>("shown");
        QTest::addColumn<QString>("hint");
        QTest::newRow("idle") << false << false << false
                              << u"Hoop ready · Waiting for an incoming ball"_s;
        QTest::newRow("practice") << false << true << true << practiceHint;
        QTest::newRow("round, not holder") << true << false << true << roundHint;
        QTest::newRow("round, holder") << true << true << true << roundHint;
    }
    void modesFollowRoundAndHolder()
    {
        QFETCH(bool, withRound);
        QFETCH(bool, holder);
        QFETCH(bool, shown);
        QFETCH(QString, hint);
        auto scene = presented();
        const Hoop roundHoop { 0.7, 0.5, 0.2, 0.025 };
        const auto r
            = withRound ? std::optional(round(u"r1"_s, u"ACTIVE"_s, roundHoop)) : std::nullopt;
        scene->configure({ r, holder, true, 0 });
        FrameClock(*scene).step();

        QCOMPARE(ball(*scene).isHidden(), !shown);
        QCOMPARE(scene->ballHitRect().isEmpty(), !shown);
        QCOMPARE(drawn<LabelNode>(*scene, u"hint")->text(), hint);
        const Hoop drawnHoop = withRound ? roundHoop : GameScene::defaultHoop;
        const auto *rim = drawn<ShapeNode>(*scene, u"rim");
        QVERIFY(near(pathPoint(*rim, 0),
            field(*scene).point(drawnHoop.x - drawnHoop.width / 2, drawnHoop.y), 1e-6));
        // With a hoop to score on the ball waits on the start spot, the guide previewing a throw.
        QCOMPARE(isParked(*scene), shown);
        QCOMPARE(drawn(*scene, u"aimQualityGuide")->hasChildren(), shown);
        if (!shown)
            QVERIFY(near(ball(*scene).position(), QPointF(1920 * 0.35, 27 + 30)));
        else
            QVERIFY(near(scene->ballHitRect().center(), ball(*scene).position())
                && std::abs(scene->ballHitRect().width() - (2 * 27 + 40)) < 1e-9);
        QVERIFY(!scene->needsFrames());
        scene->celebrate();
        QVERIFY(scene->needsFrames()); // for the "+1" that rises
    }

    void degenerateSizesStillRun_data()
    {
        QTest::addColumn<QSizeF>("size");
        QTest::newRow("none") << QSizeF(0, 0);
        QTest::newRow("a line") << QSizeF(1920, 0.2);
    }
    void degenerateSizesStillRun()
    {
        QFETCH(QSizeF, size);
        auto scene = presented(size);
        scene->configure({ std::nullopt, true, false, 0 });
        scene->releaseBall({ 0.18, 0.18, 0.5, 0.9 });
        FrameClock(*scene).run(30);
        QVERIFY(std::isfinite(ball(*scene).position().x()));
    }

    void hoopOutOfAllReachIsLeftOut_data()
    {
        QTest::addColumn<Hoop>("hoop");
        QTest::newRow("huge") << Hoop { 1e300, 1e300, 1e300, 0.025 };
        QTest::newRow("infinitely wide")
            << Hoop { 0.5, 0.4, std::numeric_limits<double>::infinity(), 0.025 };
    }
    void hoopOutOfAllReachIsLeftOut()
    {
        QFETCH(Hoop, hoop);
        auto scene = presented();
        scene->configure({ round(u"r1"_s, u"ACTIVE"_s, hoop), false, true, 0 });
        QVERIFY(!drawn(*scene, u"visibleHoop")->hasChildren());
        FrameClock clock(*scene);
        scene->releaseBall({ 0.18, 0.18, 0.5, 0.9 });
        clock.step();
        QVERIFY(!isParked(*scene));
        QVERIFY(clock.runUntil([&] { return isParked(*scene); }, 120) < 120); // the miss rule
    }

    void sameRoundKeepsTheFlightANewRoundParksTheBall()
    {
        auto scene = presented();
        ScoreLog log(*scene);
        FrameClock clock(*scene);
        scene->configure({ round(u"r1"_s, u"WAITING_RECEIVER"_s), false, true, 0 });
        scene->configure({ round(u"r1"_s, u"ACTIVE"_s), false, true, 0 });
        scene->releaseBall({ 0.18, 0.18, 0.5, 0.9 });
        QCOMPARE(log.shots.size(), 1u); // now active
        clock.run(10);
        const QPointF flying = ball(*scene).position();
        scene->configure({ round(u"r1"_s), false, false, 2.5 });
        clock.step();
        QVERIFY(ball(*scene).position().y() > flying.y()); // still rising
        scene->configure({ round(u"r2"_s), false, true, 0 });
        QVERIFY(isParked(*scene));
        // From a round back to practice, the same: a new mode parks the ball.
        scene->releaseBall({ 0.18, 0.18, 0.5, 0.9 });
        clock.run(5);
        scene->configure({ std::nullopt, true, false, 0 });
        QVERIFY(isParked(*scene));
    }

    void countdown_data()
    {
        QTest::addColumn<QString>("endsAt");
        QTest::addColumn<double>("remaining");
        QTest::addColumn<double>("offset");
        QTest::addColumn<QString>("text");
        const QString whole = u"2025-01-01T10:00:00Z"_s;
        QTest::newRow("125 s") << whole << 125.0 << 0.0 << u"125"_s;
        QTest::newRow("0.2 s") << whole << 0.2 << 0.0 << u"01"_s;
        QTest::newRow("6.5 s") << whole << 6.5 << 0.0 << u"07"_s;
        // The server's clock is 3 s ahead: 3 s fewer remain.
        QTest::newRow("offset") << whole << 10.0 << 3.0 << u"07"_s;
        QTest::newRow("fractions") << u"2025-01-01T10:00:00.750Z"_s << 6.5 << 0.0 << u"08"_s;
        QTest::newRow("unreadable") << u"tomorrow"_s << 7.0 << 0.0 << QString();
        QTest::newRow("no zone") << u"2025-01-01T10:00:00"_s << 7.0 << 0.0 << QString();
        // At zero the round is over for this player: the ball goes, the next frame clears "00".
        QTest::newRow("run out") << whole << 0.0 << 0.0 << u"00"_s;
    }
    void countdown()
    {
        QFETCH(QString, endsAt);
        QFETCH(double, remaining);
        QFETCH(double, offset);
        QFETCH(QString, text);
        auto scene = presented();
        const QDateTime ends = QDateTime::fromMSecsSinceEpoch(1735725600000, Qt::UTC);
        scene->setWallClock([&] { return ends.addMSecs(-qint64(remaining * 1000)); });
        scene->configure(
            { round(u"r1"_s, u"ACTIVE"_s, GameScene::defaultHoop, endsAt), false, true, offset });
        FrameClock clock(*scene);
        clock.step();
        const auto *timer = drawn<LabelNode>(*scene, u"timer");
        QCOMPARE(timer->text(), text);
        QCOMPARE(scene->needsFrames(), !text.isEmpty());
        const bool over = text == u"00"_s;
        QCOMPARE(scene->isInteractive(), !over);
        QCOMPARE(ball(*scene).isHidden(), over);
        if (over) {
            clock.step();
            QCOMPARE(timer->text(), QString());
            QVERIFY(!drawn(*scene, u"aimQualityGuide")->hasChildren());
            QVERIFY(!scene->needsFrames());
            QVERIFY(drawn(*scene, u"rim"));
        }
        // Not shown while the round is not active.
        scene->configure({ round(u"r1"_s, u"WAITING_RECEIVER"_s, GameScene::defaultHoop, endsAt),
            false, true, offset });
        clock.step();
        QCOMPARE(timer->text(), QString());
    }

    // A release flies from its entry, clamped to 3 field sides per second; one inside the field
    // during an active round is a shot reported to the host.
    void release_data()
    {
        QTest::addColumn<bool>("active");
        QTest::addColumn<Entry>("entry");
        QTest::addColumn<bool>("reported");
        QTest::addColumn<double>("vx");
        QTest::newRow("active round") << true << Entry { 0.18, 0.18, 0.5, 0.9 } << true << 0.5;
        QTest::newRow("clamped") << true << Entry { 0.3, 0.3, 10, 0.5 } << true << 3.0;
        QTest::newRow("clamped left") << true << Entry { 0.7, 0.3, -10, 0.5 } << true << -3.0;
        QTest::newRow("right of the field")
            << true << Entry { 1.01, 0.5, -0.3, 0.2 } << false << -0.3;
        QTest::newRow("round not active")
            << false << Entry { 0.18, 0.18, 0.5, 0.9 } << false << 0.5;
    }
    void release()
    {
        QFETCH(bool, active);
        QFETCH(Entry, entry);
        QFETCH(bool, reported);
        QFETCH(double, vx);
        auto scene = presented();
        ScoreLog log(*scene);
        scene->configure(
            { round(u"r1"_s, active ? u"ACTIVE"_s : u"WAITING_RECEIVER"_s), false, true, 0 });
        scene->releaseBall(entry);
        QVERIFY(near(ballInField(*scene), QPointF(entry.x, entry.y), 1e-6));
        QCOMPARE(scene->latestRelease().value_or(Entry {}), entry);
        FrameClock(*scene).step();
        QVERIFY(std::abs(ballInField(*scene).x() - entry.x - vx / 60) < 1e-5);
        QCOMPARE(log.shots.size(), reported ? 1u : 0u);
        if (reported) {
            QCOMPARE(log.shots.front().first.size(), 36); // a UUID
            QCOMPARE(log.shots.front().second, entry);
        }
    }

    void releaseWithAnUnusableEntryIsIgnored()
    {
        auto scene = presented();
        ScoreLog log(*scene);
        scene->configure({ round(u"r1"_s), false, true, 0 });
        const double nan = std::numeric_limits<double>::quiet_NaN();
        const double inf = std::numeric_limits<double>::infinity();
        for (const Entry &entry : { Entry { nan, 0.2, 0.5, 0.9 }, Entry { 0.18, 0.18, inf, 0.9 },
                 Entry { 1e300, 0.2, 0.5, 0.9 } })
            scene->releaseBall(entry);
        FrameClock(*scene).run(3);
        QVERIFY(isParked(*scene));
        QVERIFY(log.shots.empty());
        QVERIFY(!scene->latestRelease());
    }

    void pressDragAndRelease()
    {
        auto scene = presented();
        ScoreLog log(*scene);
        scene->configure({ round(u"r1"_s), false, true, 0 });
        const QPointF start = field(*scene).point(GameScene::startSpot);
        const double reach = 27 + 20;

        // Outside the ball's rectangle nothing happens.
        scene->mouseDown(start + QPointF(reach + 1, 0), 1.0);
        QVERIFY(!scene->isDragging());
        // A tap parks the ball again and reports nothing; held, it shows no guide.
        FrameClock clock(*scene);
        const Node *guide = drawn(*scene, u"aimQualityGuide");
        scene->mouseDown(start + QPointF(reach - 1, 0), 1.0);
        QVERIFY(scene->isDragging());
        clock.step();
        QVERIFY(!guide->hasChildren());
        scene->mouseUp(start + QPointF(reach + 4, 0), 1.1);
        QVERIFY(isParked(*scene));
        QVERIFY(log.shots.empty());

        // The assisted throw ignores where the pointer goes: the ball stays on the start spot.
        scene->mouseDown(start, 2.0);
        scene->mouseDragged(start + QPointF(100, 90), 2.20);
        QVERIFY(near(ball(*scene).position(), start));
        clock.step();
        QVERIFY(guide->hasChildren());
        scene->mouseUp(start + QPointF(108, 108), 2.25);
        QVERIFY(!guide->hasChildren());
        QCOMPARE(log.shots.size(), 1u);
        const Entry &entry = log.shots.front().second;
        const auto expected = TrackpadThrow::velocity(0.1, 0.1);
        QCOMPARE(entry, (Entry { 0.18, 0.18, expected->x(), expected->y() }));

        // Picking up the flying ball puts it back on the start spot.
        clock.run(5);
        QVERIFY(!guide->hasChildren());
        QVERIFY(!isParked(*scene));
        scene->mouseDown(ball(*scene).position(), 3.0);
        QVERIFY(scene->isDragging());
        QVERIFY(near(ball(*scene).position(), start));
        clock.run(60);
        QVERIFY(near(ball(*scene).position(), start));
    }

    void aimGuideGradesTheThrow_data()
    {
        QTest::addColumn<QPointF>("drag");
        QTest::addColumn<QString>("trajectory");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QColor>("textColor");
        // No drag: the preview of a gentle up-right throw.
        QTest::newRow("preview") << QPointF() << u"quality-green"_s << u"↗ Отличный прицел"_s
                                 << QColor(0x34, 0xC7, 0x59);
        QTest::newRow("down-left") << QPointF(-0.05, -0.05) << u"quality-black"_s
                                   << u"↗ Мимо · попробуй выше и вправо"_s << QColor(Qt::white);
    }
    void aimGuideGradesTheThrow()
    {
        QFETCH(QPointF, drag);
        QFETCH(QString, trajectory);
        QFETCH(QString, text);
        QFETCH(QColor, textColor);
        auto scene = presented();
        scene->configure({ std::nullopt, true, false, 0 });
        const SceneField f = field(*scene);
        const QPointF start = f.point(GameScene::startSpot);
        if (!drag.isNull()) {
            scene->mouseDown(start, 1);
            scene->mouseDragged(start + drag * f.side(), 1.05);
        }
        FrameClock(*scene).step();
        const Node *guide = drawn(*scene, u"aimQualityGuide");
        const auto *path = static_cast<const ShapeNode *>(guide->findChild(trajectory));
        QVERIFY2(path, qPrintable(trajectory));
        QCOMPARE(guide->children().size(), 3u);
        QCOMPARE(guide->children().front()->name(), u"aimOutline"_s); // below the trajectory
        // From the ball along the flight: the first point 0.02 s on.
        const QPointF v = *TrackpadThrow::velocity(
            drag.isNull() ? 0.08 : drag.x(), drag.isNull() ? 0.08 : drag.y());
        QVERIFY(near(pathPoint(*path, 0), start));
        QVERIFY(near(pathPoint(*path, 1),
            f.point(GameScene::startSpot + v * 0.02 - QPointF(0, 0.65 * 0.0004)), 1e-4));
        QVERIFY(path->path().elementCount() <= 121);
        // It ends above the floor line and within the field's sides.
        QVERIFY(pathPoint(*path, -1).y() >= f.point(0, 0.08).y());
        QVERIFY(pathPoint(*path, -1).x() <= f.point(1.02, 0).x());
        const auto *label = static_cast<const LabelNode *>(guide->findChild(u"aimText"));
        QCOMPARE(label->text(), text);
        QCOMPARE(label->color(), textColor);
        QVERIFY(near(label->position(), start + QPointF(25, -38)));
    }

    // Dropped onto the left rim end: the first touch brings the ball back 0.8 s later, and a
    // touched flight never scores, wherever it falls after.
    void aTouchedFlightReturnsAndNeverScores()
    {
        auto scene = presented(QSizeF(600, 600));
        ScoreLog log(*scene);
        scene->configure({ round(u"r1"_s), false, true, 0 });
        FrameClock clock(*scene);
        scene->releaseBall({ 0.65, 0.6, 0, 0 });
        clock.step();
        const double x = ballInField(*scene).x();
        QVERIFY(clock.runUntil([&] { return ballInField(*scene).x() != x; }, 60) < 60);
        clock.run(46);
        QVERIFY(!isParked(*scene));
        clock.run(3);
        QVERIFY(isParked(*scene));
        QVERIFY(log.scores.empty());
    }

    void lostBallIsRescued()
    {
        auto scene = presented();
        ScoreLog log(*scene);
        scene->configure({ std::nullopt, true, false, 0 });
        scene->releaseBall({ -0.5, 0.5, 0, 0 }); // 120 points left of the scene
        FrameClock(*scene).step();
        // At 30 % of the scene at rest, then one physics step of falling.
        QVERIFY(near(ball(*scene).position(), QPointF(1920 * 0.3, 1080 * 0.3), 1));
    }

    void practicePassesTheBallOutOfTheField()
    {
        auto scene = presented();
        ScoreLog log(*scene);
        scene->configure({ std::nullopt, true, true, 0 });
        FrameClock clock(*scene);
        scene->releaseBall({ 0.9, 0.8, 1.5, 0.2 });
        clock.runUntil([&] { return !log.transfers.empty(); }, 60);
        QCOMPARE(log.transfers.size(), 1u);
        const Entry &entry = log.transfers.front();
        QCOMPARE(entry.x, 1.0); // clamped into the field
        QVERIFY(entry.y > 0.8 && entry.y < 0.85);
        QVERIFY(std::abs(entry.vx - 1.5) < 1e-3);
        QVERIFY(ball(*scene).isHidden());
        QVERIFY(scene->ballHitRect().isEmpty());
        clock.run(10);
        QCOMPARE(log.transfers.size(), 1u);
        // A configuration while the pass is under way keeps the ball out of sight.
        scene->configure({ std::nullopt, true, true, 0 });
        QVERIFY(ball(*scene).isHidden());

        scene->transferFailed(u"Нет связи с сервером"_s);
        QVERIFY(isParked(*scene));
        QCOMPARE(drawn<LabelNode>(*scene, u"hint")->text(), u"Нет связи с сервером"_s);
        // In a round the ball comes back low on the left instead.
        scene->configure({ round(u"r1"_s), true, true, 0 });
        scene->transferFailed(u"Игрок занят"_s);
        QVERIFY(near(ball(*scene).position(), QPointF(1920 * 0.3, 27 + 40)));
    }

    void sizeAndViewChangesRebuildWhilePresented()
    {
        GameScene scene;
        scene.setSize(QSizeF(1920, 1080));
        scene.configure({ std::nullopt, true, false, 0 });
        scene.setSize(QSizeF(1280, 800)); // not shown yet: nothing is rebuilt
        QVERIFY(near(ball(scene).position(), QPointF(420, 0) + GameScene::startSpot * 1080));
        scene.didMoveToView();
        QVERIFY(isParked(scene));
        QCOMPARE(ball(scene).localBounds().size(), QSizeF(2 * 20 + 4, 2 * 20 + 4));

        scene.mouseDown(field(scene).point(GameScene::startSpot), 1);
        scene.setSize(QSizeF(2560, 1440));
        QVERIFY(isParked(scene));
        QCOMPARE(drawn<LabelNode>(scene, u"hint")->text(), practiceHint);
        QVERIFY(near(drawn<ShapeNode>(scene, u"rim")->path().elementAt(0),
            field(scene).point(0.76 - 0.12, 0.42)));

        // A new view drops the throw in flight.
        scene.releaseBall({ 0.18, 0.18, 0.5, 0.9 });
        FrameClock(scene).run(10);
        scene.willMoveFromView();
        scene.didMoveToView();
        QVERIFY(isParked(scene));
        FrameClock(scene, 200).run(10);
        QVERIFY(isParked(scene));
    }

    void theHostRunsFramesOnlyWhileNeeded()
    {
        auto scene = presented();
        int requests = 0;
        scene->onFrameNeeded = [&] { ++requests; };
        scene->configure({ std::nullopt, true, false, 0 });
        QCOMPARE(requests, 1);
        FrameClock clock(*scene);
        clock.step();
        std::vector<QRectF> damage;
        scene->collectDamage(damage);
        QVERIFY(!scene->needsFrames()); // the ball waits, the guide is drawn
        damage.clear();
        clock.run(3);
        scene->collectDamage(damage);
        QVERIFY(damage.empty());

        // A flying ball damages only around itself.
        scene->releaseBall({ 0.18, 0.18, 0.5, 0.9 });
        QCOMPARE(requests, 2);
        clock.step();
        scene->collectDamage(damage);
        damage.clear();
        clock.step();
        scene->collectDamage(damage);
        QVERIFY(scene->needsFrames());
        QRectF all;
        for (const QRectF &r : damage)
            all |= r;
        QVERIFY(!all.isEmpty() && all.width() < 4 * 27 + 40 && all.height() < 4 * 27 + 40);

        // Paused: nothing runs, nothing is asked for.
        scene->setPaused(true);
        const QPointF frozen = ball(*scene).position();
        clock.run(5);
        QCOMPARE(ball(*scene).position(), frozen);
        QVERIFY(!scene->needsFrames());
        scene->celebrate();
        QCOMPARE(requests, 2);
        scene->setPaused(false);
        QCOMPARE(requests, 3);
        // The paused time is not simulated: one frame moves the ball by one step.
        clock.step();
        QVERIFY(QLineF(frozen, ball(*scene).position()).length() < 30);
    }
};

QTEST_MAIN(GameSceneTest)
#include "GameSceneTest.moc"
