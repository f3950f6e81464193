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
constexpr double inf = std::numeric_limits<double>::infinity();

QPointF pathPoint(const ShapeNode &shape, int i)
{
    return shape.path().elementAt(i < 0 ? shape.path().elementCount() + i : i);
}

QString text(const GameScene &scene, QStringView name)
{
    return drawn<LabelNode>(scene, name)->text();
}

bool guideShown(const GameScene &scene)
{
    return drawn(scene, u"aimQualityGuide")->hasChildren();
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
        QTest::addColumn<QString>("hint");
        QTest::newRow("idle") << false << false << u"Hoop ready · Waiting for an incoming ball"_s;
        QTest::newRow("practice") << false << true << practiceHint;
        QTest::newRow("round, not holder") << true << false << roundHint;
        QTest::newRow("round, holder") << true << true << roundHint;
    }
    void modesFollowRoundAndHolder()
    {
        QFETCH(bool, withRound);
        QFETCH(bool, holder);
        QFETCH(QString, hint);
        const bool shown = withRound || holder;
        auto scene = presented();
        const Hoop hoop = withRound ? Hoop { 0.7, 0.5, 0.2, 0.025 } : GameScene::defaultHoop;
        scene->configure(
            { withRound ? std::optional(round(u"r1"_s, u"ACTIVE"_s, hoop)) : std::nullopt, holder,
                true, 0 });
        FrameClock(*scene).step();

        QCOMPARE(text(*scene, u"hint"), hint);
        QVERIFY(near(pathPoint(*drawn<ShapeNode>(*scene, u"rim"), 0),
            field(*scene).point(hoop.x - hoop.width / 2, hoop.y), 1e-6));
        // With a hoop to score on the ball waits on the start spot, the guide previewing a throw.
        QCOMPARE(isParked(*scene), shown);
        QCOMPARE(guideShown(*scene), shown);
        const QRectF hit = scene->ballHitRect();
        if (!shown)
            QVERIFY(hit.isEmpty() && near(ball(*scene).position(), QPointF(1920 * 0.35, 27 + 30)));
        else
            QVERIFY(near(hit.center(), ball(*scene).position()) && hit.width() == 2 * 27 + 40);
        QVERIFY(!scene->needsFrames());
        scene->celebrate();
        QVERIFY(scene->needsFrames()); // for the "+1" that rises
    }

    // Sizes and hoops no screen has still run; a hoop out of all reach is left out, and the
    // ball comes back by the miss rule.
    void degenerateSizesAndHoopsStillRun_data()
    {
        QTest::addColumn<QSizeF>("size");
        QTest::addColumn<Hoop>("hoop");
        QTest::newRow("no size") << QSizeF(0, 0) << GameScene::defaultHoop;
        QTest::newRow("a line") << QSizeF(1920, 0.2) << GameScene::defaultHoop;
        QTest::newRow("huge hoop") << QSizeF(1920, 1080) << Hoop { 1e300, 1e300, 1e300, 0.025 };
        QTest::newRow("infinitely wide") << QSizeF(1920, 1080) << Hoop { 0.5, 0.4, inf, 0.025 };
    }
    void degenerateSizesAndHoopsStillRun()
    {
        QFETCH(QSizeF, size);
        QFETCH(Hoop, hoop);
        auto scene = presented(size);
        scene->configure({ round(u"r1"_s, u"ACTIVE"_s, hoop), false, true, 0 });
        const bool sane = hoop == GameScene::defaultHoop;
        QCOMPARE(drawn(*scene, u"visibleHoop")->hasChildren(), sane);
        FrameClock clock(*scene);
        scene->releaseBall(upRight);
        clock.run(sane ? 30 : 1);
        QVERIFY(std::isfinite(ball(*scene).position().x()));
        if (!sane)
            QVERIFY(clock.runUntil([&] { return isParked(*scene); }, 120) < 120);
    }

    void sameRoundKeepsTheFlightANewRoundParksTheBall()
    {
        auto scene = presented();
        ScoreLog log(*scene);
        FrameClock clock(*scene);
        scene->configure({ round(u"r1"_s, u"WAITING_RECEIVER"_s), false, true, 0 });
        scene->configure({ round(u"r1"_s, u"ACTIVE"_s), false, true, 0 });
        scene->releaseBall(upRight);
        QCOMPARE(log.shots.size(), 1u); // now active
        clock.run(10);
        const QPointF flying = ball(*scene).position();
        scene->configure({ round(u"r1"_s), false, false, 2.5 });
        clock.step();
        QVERIFY(ball(*scene).position().y() > flying.y()); // still rising
        scene->configure({ round(u"r2"_s), false, true, 0 });
        QVERIFY(isParked(*scene));
        // From a round back to practice, the same: a new mode parks the ball.
        scene->releaseBall(upRight);
        clock.run(5);
        scene->configure({ std::nullopt, true, false, 0 });
        QVERIFY(isParked(*scene));
    }

    // The digits shown, then cleared once the round is no longer active or no longer a round.
    void countdown_data()
    {
        QTest::addColumn<QString>("endsAt");
        QTest::addColumn<double>("remaining");
        QTest::addColumn<double>("offset");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("keepRound");
        const QString whole = u"2025-01-01T10:00:00Z"_s;
        QTest::newRow("125 s") << whole << 125.0 << 0.0 << u"125"_s << true;
        QTest::newRow("0.2 s, then practice") << whole << 0.2 << 0.0 << u"01"_s << false;
        // The server's clock is 3 s ahead: 3 s fewer remain.
        QTest::newRow("offset") << whole << 10.0 << 3.0 << u"07"_s << true;
        QTest::newRow("fractions")
            << u"2025-01-01T10:00:00.750Z"_s << 6.5 << 0.0 << u"08"_s << true;
        QTest::newRow("unreadable") << u"tomorrow"_s << 7.0 << 0.0 << QString() << true;
        QTest::newRow("no zone") << u"2025-01-01T10:00:00"_s << 7.0 << 0.0 << QString() << true;
        // At zero the round is over for this player: the ball goes, the next frame clears "00".
        QTest::newRow("run out") << whole << 0.0 << 0.0 << u"00"_s << true;
    }
    void countdown()
    {
        QFETCH(QString, endsAt);
        QFETCH(double, remaining);
        QFETCH(double, offset);
        QFETCH(QString, text);
        QFETCH(bool, keepRound);
        auto scene = presented();
        const QDateTime ends = QDateTime::fromMSecsSinceEpoch(1735725600000, Qt::UTC);
        scene->setWallClock([&] { return ends.addMSecs(-qint64(remaining * 1000)); });
        const auto r = round(u"r1"_s, u"ACTIVE"_s, GameScene::defaultHoop, endsAt);
        scene->configure({ r, false, true, offset });
        FrameClock clock(*scene);
        clock.step();
        QCOMPARE(::text(*scene, u"timer"), text);
        QCOMPARE(scene->needsFrames(), !text.isEmpty());
        const bool over = text == u"00"_s;
        QCOMPARE(scene->isInteractive(), !over);
        QCOMPARE(ball(*scene).isHidden(), over);
        if (over) {
            clock.step();
            QCOMPARE(::text(*scene, u"timer"), QString());
            QVERIFY(!guideShown(*scene) && !scene->needsFrames() && drawn(*scene, u"rim"));
        }
        scene->configure({ keepRound ? std::optional(round(
                               u"r1"_s, u"WAITING_RECEIVER"_s, GameScene::defaultHoop, endsAt))
                                     : std::nullopt,
            true, true, offset });
        clock.step();
        QCOMPARE(::text(*scene, u"timer"), QString());
    }

    // A release flies from its entry, clamped to 3 field sides per second; one inside the field
    // during an active round is a shot reported to the host. One no screen holds is ignored.
    void release_data()
    {
        QTest::addColumn<bool>("active");
        QTest::addColumn<Entry>("entry");
        QTest::addColumn<bool>("reported");
        QTest::addColumn<double>("vx");
        QTest::newRow("active round") << true << upRight << true << 0.5;
        QTest::newRow("clamped") << true << Entry { 0.3, 0.3, 10, 0.5 } << true << 3.0;
        QTest::newRow("clamped left") << true << Entry { 0.7, 0.3, -10, 0.5 } << true << -3.0;
        QTest::newRow("right of the field")
            << true << Entry { 1.01, 0.5, -0.3, 0.2 } << false << -0.3;
        QTest::newRow("round not active") << false << upRight << false << 0.5;
        QTest::newRow("NaN") << true << Entry { qQNaN(), 0.2, 0.5, 0.9 } << false << qQNaN();
        QTest::newRow("infinite") << true << Entry { 0.18, 0.18, inf, 0.9 } << false << qQNaN();
        QTest::newRow("far out") << true << Entry { 1e300, 0.2, 0.5, 0.9 } << false << qQNaN();
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
        FrameClock clock(*scene);
        if (std::isnan(vx)) { // ignored
            clock.run(3);
            QVERIFY(isParked(*scene) && log.shots.empty() && !scene->latestRelease());
            return;
        }
        QVERIFY(near(ballInField(*scene), QPointF(entry.x, entry.y), 1e-6));
        QCOMPARE(scene->latestRelease().value_or(Entry {}), entry);
        clock.step();
        QVERIFY(std::abs(ballInField(*scene).x() - entry.x - vx / 60) < 1e-5);
        QCOMPARE(log.shots.size(), reported ? 1u : 0u);
        if (reported) {
            QCOMPARE(log.shots.front().first.size(), 36); // a UUID
            QCOMPARE(log.shots.front().second, entry);
        }
    }

    // Press, drag and release in points from the start spot, 0.25 s apart; the assisted throw
    // ignores where the pointer goes while held.
    void pointer_data()
    {
        QTest::addColumn<QPointF>("press");
        QTest::addColumn<QPointF>("drag");
        QTest::addColumn<QPointF>("up");
        QTest::addColumn<bool>("held");
        QTest::addColumn<bool>("guide"); // while held, after the drag
        QTest::addColumn<bool>("thrown");
        const double reach = 27 + 20;
        QTest::newRow("outside the ball") << QPointF(reach + 1, 0) << QPointF(100, 90)
                                          << QPointF(108, 108) << false << true << false;
        QTest::newRow("tap") << QPointF(reach - 1, 0) << QPointF(reach - 1, 0)
                             << QPointF(reach + 4, 0) << true << false << false;
        QTest::newRow("throw") << QPointF() << QPointF(100, 90) << QPointF(108, 108) << true << true
                               << true;
    }
    void pointer()
    {
        QFETCH(QPointF, press);
        QFETCH(QPointF, drag);
        QFETCH(QPointF, up);
        QFETCH(bool, held);
        QFETCH(bool, guide);
        QFETCH(bool, thrown);
        auto scene = playing();
        ScoreLog log(*scene);
        FrameClock clock(*scene);
        const QPointF start = field(*scene).point(GameScene::startSpot);
        scene->mouseDown(start + press, 2.0);
        QCOMPARE(scene->isDragging(), held);
        scene->mouseDragged(start + drag, 2.2);
        QVERIFY(near(ball(*scene).position(), start));
        clock.step();
        QCOMPARE(guideShown(*scene), guide);
        scene->mouseUp(start + up, 2.25);
        QCOMPARE(log.shots.size(), thrown ? 1u : 0u);
        if (!thrown) {
            QVERIFY(isParked(*scene));
            return;
        }
        const auto v = TrackpadThrow::velocity(0.1, 0.1);
        QCOMPARE(log.shots.front().second, (Entry { 0.18, 0.18, v->x(), v->y() }));
        // Picking up the flying ball puts it back on the start spot, and it stays there.
        clock.run(5);
        QVERIFY(!guideShown(*scene) && !isParked(*scene));
        scene->mouseDown(ball(*scene).position(), 3.0);
        clock.run(60);
        QVERIFY(scene->isDragging() && near(ball(*scene).position(), start));
    }

    void aimGuideGradesTheThrow_data()
    {
        QTest::addColumn<QPointF>("drag");
        QTest::addColumn<QString>("trajectory");
        QTest::addColumn<QString>("text");
        // No drag: the preview of a gentle up-right throw.
        QTest::newRow("preview") << QPointF() << u"quality-green"_s << u"↗ Отличный прицел"_s;
        QTest::newRow("down-left")
            << QPointF(-0.05, -0.05) << u"quality-black"_s << u"↗ Мимо · попробуй выше и вправо"_s;
    }
    void aimGuideGradesTheThrow()
    {
        QFETCH(QPointF, drag);
        QFETCH(QString, trajectory);
        QFETCH(QString, text);
        auto scene = playing(true);
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
        QVERIFY(near(label->position(), start + QPointF(25, -38)));
    }

    // Dropped onto the left rim end: the first touch brings the ball back 0.8 s later, and a
    // touched flight never scores, wherever it falls after.
    void aTouchedFlightReturnsAndNeverScores()
    {
        auto scene = playing(false, QSizeF(600, 600));
        ScoreLog log(*scene);
        FrameClock clock(*scene);
        scene->releaseBall({ 0.65, 0.6, 0, 0 });
        clock.step();
        const double x = ballInField(*scene).x();
        QVERIFY(clock.runUntil([&] { return ballInField(*scene).x() != x; }, 60) < 60);
        clock.run(46);
        QVERIFY(!isParked(*scene));
        clock.run(3);
        QVERIFY(isParked(*scene) && log.scores.empty());
    }

    void lostBallIsRescued()
    {
        auto scene = playing(true);
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
        clock.run(10);
        QCOMPARE(log.transfers.size(), 1u);
        const Entry &entry = log.transfers.front();
        QCOMPARE(entry.x, 1.0); // clamped into the field
        QVERIFY(entry.y > 0.8 && entry.y < 0.85 && std::abs(entry.vx - 1.5) < 1e-3);
        // A configuration while the pass is under way keeps the ball out of sight.
        scene->configure({ std::nullopt, true, true, 0 });
        QVERIFY(ball(*scene).isHidden() && scene->ballHitRect().isEmpty());

        scene->transferFailed(u"Нет связи с сервером"_s);
        QVERIFY(isParked(*scene));
        QCOMPARE(text(*scene, u"hint"), u"Нет связи с сервером"_s);
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
        QCOMPARE(text(scene, u"hint"), practiceHint);
        QVERIFY(near(drawn<ShapeNode>(scene, u"rim")->path().elementAt(0),
            field(scene).point(0.76 - 0.12, 0.42)));

        // A new view drops the throw in flight.
        scene.releaseBall(upRight);
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
        std::vector<QRectF> damage;
        clock.step();
        scene->collectDamage(damage);
        QVERIFY(!scene->needsFrames()); // the ball waits, the guide is drawn
        damage.clear();
        clock.run(3);
        scene->collectDamage(damage);
        QVERIFY(damage.empty());

        // A flying ball damages only around itself.
        scene->releaseBall(upRight);
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
        QVERIFY(ball(*scene).position() == frozen && !scene->needsFrames());
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
