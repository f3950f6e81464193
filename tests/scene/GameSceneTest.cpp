#include "SceneTesting.h"

#include "scene/LabelNode.h"
#include "scene/ShapeNode.h"
#include "scene/TrackpadThrow.h"

#include <box2d/box2d.h>

#include <QTest>
#include <QUuid>

Q_DECLARE_METATYPE(Entry)
Q_DECLARE_METATYPE(Hoop)

using namespace Qt::StringLiterals;
using namespace SceneTesting;

namespace {

bool near(double a, double b, double tolerance = 1e-6)
{
    return std::abs(a - b) <= tolerance;
}

bool near(QPointF a, QPointF b, double tolerance = 1e-3)
{
    return near(a.x(), b.x(), tolerance) && near(a.y(), b.y(), tolerance);
}

QString describe(QPointF p)
{
    return u"(%1, %2)"_s.arg(p.x(), 0, 'g', 10).arg(p.y(), 0, 'g', 10);
}

// The categories of the fixtures that hold a scene point.
std::vector<uint16> categoriesAt(GameScene &scene, QPointF scenePoint)
{
    struct Query : b2QueryCallback {
        std::vector<uint16> found;
        b2Vec2 point;
        bool ReportFixture(b2Fixture *fixture) override
        {
            if (fixture->TestPoint(point))
                found.push_back(fixture->GetFilterData().categoryBits);
            return true;
        }
    } query;
    const b2Vec2 p(float(scenePoint.x() / GameScene::pointsPerMetre),
        float(scenePoint.y() / GameScene::pointsPerMetre));
    query.point = p;
    b2AABB box;
    box.lowerBound = p - b2Vec2(0.001f, 0.001f);
    box.upperBound = p + b2Vec2(0.001f, 0.001f);
    scene.ballBody()->GetWorld()->QueryAABB(&query, box);
    return query.found;
}

QPointF pathStart(const ShapeNode &shape)
{
    return shape.path().elementAt(0);
}

QPointF pathEnd(const ShapeNode &shape)
{
    return shape.path().elementAt(shape.path().elementCount() - 1);
}

// A hoop whose numbers survive the trip through the physics world's single precision in a
// 600-point scene, for crossings that must sit exactly at the hoop's height.
constexpr Hoop exactHoop { 0.5, 0.5, 0.25, 0.03125 };

} // namespace

// The scene's rules without a window: geometry, modes, throws, crossings and the countdown.
class GameSceneTest : public QObject {
    Q_OBJECT
private slots:
    void fieldGeometry_data()
    {
        QTest::addColumn<QSizeF>("size");
        QTest::addColumn<double>("side");
        QTest::addColumn<QPointF>("origin");
        QTest::addColumn<QPointF>("rimCentre");
        QTest::addColumn<double>("rimHalfWidth");
        QTest::addColumn<double>("ballRadius");
        // A small scene keeps a 400-point field that sticks out of it.
        QTest::newRow("300x200") << QSizeF(300, 200) << 400.0 << QPointF(-50, -100)
                                 << QPointF(254, 68) << 48.0 << 10.0;
        QTest::newRow("1920x1080") << QSizeF(1920, 1080) << 1080.0 << QPointF(420, 0)
                                   << QPointF(1240.8, 453.6) << 129.6 << 27.0;
        QTest::newRow("portrait 1080x1920") << QSizeF(1080, 1920) << 1080.0 << QPointF(0, 420)
                                            << QPointF(820.8, 873.6) << 129.6 << 27.0;
    }
    void fieldGeometry()
    {
        QFETCH(QSizeF, size);
        QFETCH(double, side);
        QFETCH(QPointF, origin);
        QFETCH(QPointF, rimCentre);
        QFETCH(double, rimHalfWidth);
        QFETCH(double, ballRadius);
        auto scene = presented(size);
        QCOMPARE(scene->fieldSide(), side);
        QVERIFY(near(scene->origin(), origin, 1e-9));
        QVERIFY(near(scene->point(0, 0), origin, 1e-9));
        QVERIFY(near(scene->point(1, 1), origin + QPointF(side, side), 1e-9));
        QVERIFY(near(scene->normalized(scene->point(0.3, 0.7)), QPointF(0.3, 0.7), 1e-12));
        QVERIFY(near(scene->ballRadius(), ballRadius));

        // The default hoop is drawn even with nothing to score on.
        const auto *rim = static_cast<const ShapeNode *>(scene->hoopNode().findChild(u"rim"));
        QVERIFY(rim);
        QVERIFY2(near(pathStart(*rim), rimCentre - QPointF(rimHalfWidth, 0), 1e-6),
            qPrintable(describe(pathStart(*rim))));
        QVERIFY(near(pathEnd(*rim), rimCentre + QPointF(rimHalfWidth, 0), 1e-6));
        QVERIFY(near(scene->ball().localBounds().width(), 2 * ballRadius + 4, 1e-6));
    }

    void degenerateSizesStillRun_data()
    {
        QTest::addColumn<QSizeF>("size");
        QTest::newRow("none") << QSizeF(0, 0);
        QTest::newRow("half a point") << QSizeF(0.5, 0.5);
        QTest::newRow("one point") << QSizeF(1, 1);
        QTest::newRow("a line") << QSizeF(1920, 0.2);
    }
    void degenerateSizesStillRun()
    {
        QFETCH(QSizeF, size);
        auto scene = presented(size);
        scene->configure(std::nullopt, true, false, 0);
        FrameClock clock(*scene);
        scene->releaseBall({ 0.18, 0.18, 0.5, 0.9 });
        clock.run(30);
        QCOMPARE(scene->fieldSide(), 400.0);
        QVERIFY(std::isfinite(scene->ballPosition().x()));
    }

    void modesFollowRoundAndHolder_data()
    {
        QTest::addColumn<bool>("withRound");
        QTest::addColumn<bool>("holder");
        QTest::addColumn<bool>("practice");
        QTest::addColumn<bool>("hasHoop");
        QTest::addColumn<bool>("ballShown");
        QTest::addColumn<QString>("hint");
        QTest::newRow("idle") << false << false << false << false << false
                              << u"Hoop ready · Waiting for an incoming ball"_s;
        QTest::newRow("practice")
            << false << true << true << true << true
            << u"Тренировка · Потяни мяч ↗ и отпусти · Передача другу — в окне игры"_s;
        QTest::newRow("round, not holder")
            << true << false << false << true << true
            << u"Легко! Потяни мяч ↗ и отпусти · Мы поможем попасть"_s;
        QTest::newRow("round, holder") << true << true << false << true << true
                                       << u"Легко! Потяни мяч ↗ и отпусти · Мы поможем попасть"_s;
    }
    void modesFollowRoundAndHolder()
    {
        QFETCH(bool, withRound);
        QFETCH(bool, holder);
        QFETCH(bool, practice);
        QFETCH(bool, hasHoop);
        QFETCH(bool, ballShown);
        QFETCH(QString, hint);
        auto scene = presented();
        const Hoop roundHoop { 0.7, 0.5, 0.2, 0.025 };
        const auto r
            = withRound ? std::optional(round(u"r1"_s, u"ACTIVE"_s, roundHoop)) : std::nullopt;
        scene->configure(r, holder, true, 0);

        QCOMPARE(scene->isPractice(), practice);
        QCOMPARE(scene->isInteractive(), ballShown);
        QCOMPARE(scene->hoop().has_value(), hasHoop);
        if (withRound)
            QCOMPARE(*scene->hoop(), roundHoop);
        else if (hasHoop)
            QCOMPARE(*scene->hoop(), GameScene::defaultHoop);
        QCOMPARE(scene->ball().isHidden(), !ballShown);
        QCOMPARE(scene->ballHitRect().isEmpty(), !ballShown);
        QCOMPARE(scene->hint().text(), hint);
        QVERIFY(!scene->isBallDynamic());
        if (hasHoop) {
            // Parked on the start spot, waiting to be picked up.
            QVERIFY(scene->isWaitingForThrow());
            QVERIFY(near(scene->ballPosition(), scene->point(0.18, 0.18)));
            const double r = scene->ballRadius();
            QVERIFY(near(scene->ballHitRect().topLeft(),
                scene->point(0.18, 0.18) - QPointF(r + 20, r + 20)));
            QVERIFY(near(scene->ballHitRect().width(), 2 * r + 40));
        } else {
            QVERIFY(near(scene->ballPosition(), QPointF(1920 * 0.35, 27 + 30)));
        }
        // The backboard stops the ball only when the hoop counts; a hoop for show has none.
        const auto *board = scene->hoopNode().findChild(u"backboard");
        QVERIFY(board);
        const auto solids = categoriesAt(*scene, board->position());
        QCOMPARE(solids.size(), hasHoop ? 1u : 0u);
        if (hasHoop)
            QCOMPARE(solids.front(), BallContactListener::solidCategory);
        // The rim ends always are solid.
        for (const auto &child : scene->hoopNode().children()) {
            if (child->name() == u"rimEnd")
                QCOMPARE(categoriesAt(*scene, child->position()).size(), 1u);
        }
    }

    void hoopOutOfAllReachIsLeftOut_data()
    {
        QTest::addColumn<Hoop>("hoop");
        QTest::newRow("huge") << Hoop { 1e300, 1e300, 1e300, 0.025 };
        QTest::newRow("far left") << Hoop { -1e10, 0.4, 0.2, 0.025 };
        QTest::newRow("infinitely wide")
            << Hoop { 0.5, 0.4, std::numeric_limits<double>::infinity(), 0.025 };
    }
    void hoopOutOfAllReachIsLeftOut()
    {
        QFETCH(Hoop, hoop);
        auto scene = presented();
        scene->configure(round(u"r1"_s, u"ACTIVE"_s, hoop), false, true, 0);
        QVERIFY(!scene->hoopNode().hasChildren());
        FrameClock clock(*scene);
        scene->releaseBall({ 0.18, 0.18, 0.5, 0.9 });
        clock.run(120);
        QVERIFY(scene->isWaitingForThrow()); // back by the miss rule
        // The next round's hoop is drawn again.
        scene->configure(round(u"r2"_s), false, true, 0);
        QVERIFY(scene->hoopNode().findChild(u"rim"));
    }

    void configureWithTheSameRoundLeavesAFlyingBallAlone()
    {
        auto scene = presented();
        FrameClock clock(*scene);
        scene->configure(round(u"r1"_s, u"WAITING_RECEIVER"_s), false, true, 0);
        QVERIFY(!scene->isActive());
        scene->configure(round(u"r1"_s, u"ACTIVE"_s), false, true, 0);
        QVERIFY(scene->isActive());
        clock.step();
        scene->releaseBall({ 0.18, 0.18, 0.55, 0.93 });
        clock.run(10);
        const QPointF flying = scene->ballPosition();
        const QString shot = scene->shotID().value_or(QString());
        QVERIFY(!shot.isEmpty());

        scene->configure(
            round(u"r1"_s, u"ACTIVE"_s, GameScene::defaultHoop, u"2025-01-01T10:00:00Z"_s), false,
            false, 2.5);
        QCOMPARE(scene->ballPosition(), flying);
        QVERIFY(scene->isBallDynamic());
        QCOMPARE(scene->shotID().value_or(QString()), shot);
        QVERIFY(scene->ends().has_value());
        QCOMPARE(scene->offset(), 2.5);
        QVERIFY(!scene->canTransfer());

        // A new round parks the ball again.
        scene->configure(round(u"r2"_s, u"ACTIVE"_s), false, true, 0);
        QVERIFY(scene->isWaitingForThrow());
        QVERIFY(!scene->shotID());
        QVERIFY(near(scene->ballPosition(), scene->point(0.18, 0.18)));
    }

    void deadlineIsReadWithAndWithoutFractions_data()
    {
        QTest::addColumn<QString>("endsAt");
        QTest::addColumn<qint64>("msecsSinceEpoch");
        QTest::newRow("whole seconds") << u"2025-01-01T10:00:00Z"_s << qint64(1735725600000);
        QTest::newRow("fractions") << u"2025-01-01T10:00:00.250Z"_s << qint64(1735725600250);
        QTest::newRow("unreadable") << u"tomorrow"_s << qint64(-1);
        QTest::newRow("no zone") << u"2025-01-01T10:00:00"_s << qint64(-1);
    }
    void deadlineIsReadWithAndWithoutFractions()
    {
        QFETCH(QString, endsAt);
        QFETCH(qint64, msecsSinceEpoch);
        auto scene = presented();
        scene->configure(
            round(u"r1"_s, u"ACTIVE"_s, GameScene::defaultHoop, endsAt), false, true, 0);
        QCOMPARE(scene->ends().has_value(), msecsSinceEpoch >= 0);
        if (scene->ends())
            QCOMPARE(scene->ends()->toMSecsSinceEpoch(), msecsSinceEpoch);
    }

    void countdown_data()
    {
        QTest::addColumn<double>("remaining");
        QTest::addColumn<double>("offset");
        QTest::addColumn<QString>("text");
        QTest::newRow("7 s") << 7.0 << 0.0 << u"07"_s;
        QTest::newRow("125 s") << 125.0 << 0.0 << u"125"_s;
        QTest::newRow("0.2 s") << 0.2 << 0.0 << u"01"_s;
        QTest::newRow("6.5 s") << 6.5 << 0.0 << u"07"_s;
        // The server's clock is 3 s ahead: 3 s fewer remain.
        QTest::newRow("offset") << 10.0 << 3.0 << u"07"_s;
    }
    void countdown()
    {
        QFETCH(double, remaining);
        QFETCH(double, offset);
        QFETCH(QString, text);
        auto scene = presented();
        const QDateTime ends = QDateTime::fromMSecsSinceEpoch(1735725600000, Qt::UTC);
        scene->setWallClock([&] { return ends.addMSecs(-qint64(remaining * 1000)); });
        scene->configure(
            round(u"r1"_s, u"ACTIVE"_s, GameScene::defaultHoop, u"2025-01-01T10:00:00Z"_s), false,
            true, offset);
        FrameClock clock(*scene);
        clock.step();
        QCOMPARE(scene->timerLabel().text(), text);
        QVERIFY(scene->isInteractive());
        QVERIFY(scene->needsFrames());
    }

    void countdownEndsTheRoundForThisPlayer()
    {
        auto scene = presented();
        QDateTime now = QDateTime::fromMSecsSinceEpoch(1735725599000, Qt::UTC);
        scene->setWallClock([&] { return now; });
        scene->configure(
            round(u"r1"_s, u"ACTIVE"_s, GameScene::defaultHoop, u"2025-01-01T10:00:00Z"_s), false,
            true, 0);
        FrameClock clock(*scene);
        clock.step();
        QCOMPARE(scene->timerLabel().text(), u"01"_s);
        now = now.addMSecs(1000);
        clock.step();
        QCOMPARE(scene->timerLabel().text(), u"00"_s);
        QVERIFY(scene->needsFrames()); // for the frame that clears it
        QVERIFY(!scene->isActive());
        QVERIFY(!scene->isInteractive());
        QVERIFY(scene->ball().isHidden());
        QVERIFY(scene->ballHitRect().isEmpty());
        QVERIFY(!scene->hoopNode().isHidden());
        clock.step();
        QCOMPARE(scene->timerLabel().text(), QString());
        QVERIFY(!scene->aimGuide().hasChildren());
        // A press where the ball was does nothing.
        scene->mouseDown(scene->point(0.18, 0.18), 1);
        QVERIFY(!scene->isDragging());
    }

    void noDeadlineOrInactiveRoundShowsNoCountdown()
    {
        auto scene = presented();
        scene->configure(round(u"r1"_s, u"WAITING_RECEIVER"_s, GameScene::defaultHoop,
                             u"2025-01-01T10:00:00Z"_s),
            false, true, 0);
        FrameClock clock(*scene);
        clock.step();
        QCOMPARE(scene->timerLabel().text(), QString());
        QVERIFY(scene->isInteractive());
    }

    void releaseClampsTheLaunchSpeed()
    {
        auto scene = presented();
        scene->configure(std::nullopt, true, false, 0);
        scene->releaseBall({ 0.18, 0.18, 10, -0.5 });
        QVERIFY(scene->isBallDynamic());
        QVERIFY(!scene->isWaitingForThrow());
        QVERIFY(near(scene->ballVelocity().x(), 3 * 1080, 1e-2));
        QVERIFY(near(scene->ballVelocity().y(), -0.5 * 1080, 1e-2));
        QCOMPARE(scene->latestRelease().value_or(Entry {}), (Entry { 0.18, 0.18, 10, -0.5 }));
    }

    void releaseTracksAShotOnlyInsideTheField_data()
    {
        QTest::addColumn<bool>("active");
        QTest::addColumn<Entry>("entry");
        QTest::addColumn<bool>("tracked");
        QTest::addColumn<bool>("reported");
        QTest::newRow("active round") << true << Entry { 0.18, 0.18, 0.5, 0.9 } << true << true;
        QTest::newRow("flick outside the field")
            << true << Entry { 1.2, 0.5, 0.3, 0.2 } << false << false;
        QTest::newRow("below the field")
            << true << Entry { 0.5, -0.01, 0.3, 0.2 } << false << false;
        QTest::newRow("round not yet active")
            << false << Entry { 0.18, 0.18, 0.5, 0.9 } << false << false;
    }
    void releaseTracksAShotOnlyInsideTheField()
    {
        QFETCH(bool, active);
        QFETCH(Entry, entry);
        QFETCH(bool, tracked);
        QFETCH(bool, reported);
        auto scene = presented();
        ScoreLog log(*scene);
        scene->configure(
            round(u"r1"_s, active ? u"ACTIVE"_s : u"WAITING_RECEIVER"_s), false, true, 0);
        FrameClock clock(*scene);
        clock.run(3);
        scene->releaseBall(entry);
        QVERIFY(scene->isBallDynamic()); // it flies in any case
        QVERIFY(near(scene->ballPosition(), scene->point(entry.x, entry.y)));
        QCOMPARE(scene->shotID().has_value(), tracked);
        QCOMPARE(log.shots.size(), reported ? 1u : 0u);
        if (tracked) {
            QCOMPARE(scene->shotID()->size(), 36);
            QVERIFY(!QUuid::fromString(*scene->shotID()).isNull());
            QCOMPARE(scene->shotStart().value_or(0), clock.now());
        }
        if (reported) {
            QCOMPARE(log.shots.front().first, *scene->shotID());
            QCOMPARE(log.shots.front().second, entry);
        }
    }

    void releaseWithAnUnusableEntryIsIgnored()
    {
        auto scene = presented();
        ScoreLog log(*scene);
        scene->configure(round(u"r1"_s), false, true, 0);
        const double nan = std::numeric_limits<double>::quiet_NaN();
        const double inf = std::numeric_limits<double>::infinity();
        for (const Entry &entry : { Entry { nan, 0.2, 0.5, 0.9 }, Entry { 0.18, 0.18, inf, 0.9 },
                 Entry { 1e300, 0.2, 0.5, 0.9 } }) {
            scene->releaseBall(entry);
            QVERIFY(scene->isWaitingForThrow());
            QVERIFY(!scene->isBallDynamic());
            QVERIFY(near(scene->ballPosition(), scene->point(0.18, 0.18)));
        }
        QVERIFY(log.shots.empty());
        QVERIFY(!scene->latestRelease());
    }

    void pressDragAndRelease()
    {
        auto scene = presented();
        ScoreLog log(*scene);
        scene->configure(round(u"r1"_s), false, true, 0);
        const QPointF start = scene->point(0.18, 0.18);

        // Outside the ball's rectangle nothing happens.
        scene->mouseDown(start + QPointF(scene->ballRadius() + 21, 0), 1.0);
        QVERIFY(!scene->isDragging());

        // A tap parks the ball again and reports nothing.
        scene->mouseDown(start + QPointF(scene->ballRadius() + 19, 0), 1.0);
        QVERIFY(scene->isDragging());
        scene->mouseUp(start + QPointF(scene->ballRadius() + 24, 0), 1.1);
        QVERIFY(!scene->isDragging());
        QVERIFY(scene->isWaitingForThrow());
        QVERIFY(log.shots.empty());
        QVERIFY(!scene->isBallDynamic());

        // The assisted throw ignores where the pointer goes: the ball stays on the start spot.
        scene->mouseDown(start, 2.0);
        scene->mouseDragged(start + QPointF(40, 30), 2.05);
        scene->mouseDragged(start + QPointF(80, 70), 2.10);
        scene->mouseDragged(start + QPointF(100, 90), 2.20);
        QVERIFY(near(scene->ballPosition(), start));
        // Samples older than 0.12 s are dropped.
        QCOMPARE(scene->samples().size(), 2u);
        QCOMPARE(scene->gestureStart().value_or(QPointF()), start);
        QCOMPARE(scene->gestureEnd().value_or(QPointF()), start + QPointF(100, 90));
        scene->mouseUp(start + QPointF(108, 108), 2.25);
        QVERIFY(scene->isBallDynamic());
        QCOMPARE(log.shots.size(), 1u);
        const Entry &entry = log.shots.front().second;
        const auto expected = TrackpadThrow::velocity(0.1, 0.1);
        QCOMPARE(entry.x, 0.18);
        QCOMPARE(entry.y, 0.18);
        QVERIFY(near(entry.vx, expected->x(), 1e-9));
        QVERIFY(near(entry.vy, expected->y(), 1e-9));

        // Picking up the flying ball puts it back on the start spot and forgets the shot.
        FrameClock clock(*scene);
        clock.run(5);
        const QPointF flying = scene->ballPosition();
        QVERIFY(!near(flying, start));
        scene->mouseDown(flying, 3.0);
        QVERIFY(scene->isDragging());
        QVERIFY(!scene->shotID());
        QVERIFY(scene->isWaitingForThrow());
        QVERIFY(near(scene->ballPosition(), start));
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
        QTest::newRow("straight up") << QPointF(0, 0.2) << u"quality-black"_s
                                     << u"↗ Мимо · попробуй выше и вправо"_s << QColor(Qt::white);
    }
    void aimGuideGradesTheThrow()
    {
        QFETCH(QPointF, drag);
        QFETCH(QString, trajectory);
        QFETCH(QString, text);
        QFETCH(QColor, textColor);
        auto scene = presented();
        scene->configure(std::nullopt, true, false, 0);
        const QPointF start = scene->point(0.18, 0.18);
        if (!drag.isNull()) {
            scene->mouseDown(start, 1);
            scene->mouseDragged(start + drag * scene->fieldSide(), 1.05);
        }
        FrameClock clock(*scene);
        clock.step();
        const Node *guide = scene->root().findChild(u"aimQualityGuide");
        QVERIFY(guide);
        const auto *path = static_cast<const ShapeNode *>(guide->findChild(trajectory));
        QVERIFY2(path, qPrintable(trajectory));
        QCOMPARE(guide->children().size(), 3u);
        QCOMPARE(guide->children().front()->kind(), Node::Kind::Shape); // the outline below
        QVERIFY(near(pathStart(*path), start));
        QVERIFY(path->path().elementCount() <= 121);
        QVERIFY(path->path().elementCount() >= 2);
        // The path ends above the floor line and within the field's sides.
        QVERIFY(pathEnd(*path).y() >= scene->point(0, 0.08).y());
        QVERIFY(pathEnd(*path).x() <= scene->point(1.02, 0).x());
        const auto *label = static_cast<const LabelNode *>(guide->findChild(u"aimText"));
        QVERIFY(label);
        QCOMPARE(label->text(), text);
        QCOMPARE(label->color(), textColor);
        QCOMPARE(label->alignment(), LabelNode::Alignment::Left);
        QVERIFY(near(label->position(), start + QPointF(25, -38)));
    }

    void aimGuideGoesAwayForATapAndInFlight()
    {
        auto scene = presented();
        scene->configure(std::nullopt, true, false, 0);
        FrameClock clock(*scene);
        const QPointF start = scene->point(0.18, 0.18);
        scene->mouseDown(start, 1);
        scene->mouseDragged(start + QPointF(3, 3), 1.05);
        clock.step();
        QVERIFY(!scene->aimGuide().hasChildren());
        scene->mouseDragged(start + QPointF(90, 90), 1.1);
        clock.step();
        QVERIFY(scene->aimGuide().hasChildren());
        scene->mouseUp(start + QPointF(90, 90), 1.15);
        QVERIFY(!scene->aimGuide().hasChildren());
        clock.step();
        QVERIFY(!scene->aimGuide().hasChildren());
    }

    void hoopCrossing_data()
    {
        QTest::addColumn<QSizeF>("size");
        QTest::addColumn<Hoop>("hoop");
        QTest::addColumn<QPointF>("from");
        QTest::addColumn<QPointF>("to");
        QTest::addColumn<bool>("hit");
        const QSizeF square(600, 600);
        const Hoop h = GameScene::defaultHoop;
        // f = 0.6, cx = 0.762: 0.002 + 0.025 <= 0.12.
        QTest::newRow("cx 0.762") << square << h << QPointF(0.75, 0.45) << QPointF(0.77, 0.40)
                                  << true;
        // The centre is inside the rim but the ball is not: 0.1 + 0.025 > 0.12.
        QTest::newRow("cx 0.86") << square << h << QPointF(0.86, 0.45) << QPointF(0.86, 0.40)
                                 << false;
        QTest::newRow("left of the rim")
            << square << h << QPointF(0.60, 0.45) << QPointF(0.60, 0.40) << false;
        QTest::newRow("upwards") << square << h << QPointF(0.76, 0.40) << QPointF(0.76, 0.45)
                                 << false;
        QTest::newRow("stays above")
            << square << h << QPointF(0.76, 0.47) << QPointF(0.76, 0.43) << false;
        // Values exact in the world's single precision.
        QTest::newRow("previous exactly at the height")
            << square << exactHoop << QPointF(0.5, 0.5) << QPointF(0.5, 0.375) << false;
        QTest::newRow("lands exactly at the height")
            << square << exactHoop << QPointF(0.5, 0.625) << QPointF(0.5, 0.5) << true;
        QTest::newRow("whole ball just fits")
            << square << exactHoop << QPointF(0.59375, 0.625) << QPointF(0.59375, 0.375) << true;
        QTest::newRow("ball overlaps the rim end")
            << square << exactHoop << QPointF(0.6, 0.625) << QPointF(0.6, 0.375) << false;
    }
    void hoopCrossing()
    {
        QFETCH(QSizeF, size);
        QFETCH(Hoop, hoop);
        QFETCH(QPointF, from);
        QFETCH(QPointF, to);
        QFETCH(bool, hit);
        auto scene = presented(size);
        ScoreLog log(*scene);
        scene->configure(round(u"r1"_s, u"ACTIVE"_s, hoop), false, true, 0);
        FrameClock clock(*scene);
        clock.step();
        scene->releaseBall({ 0.18, 0.18, 0.5, 0.9 });
        const QString shot = *scene->shotID();
        moveBallAcross(*scene, clock, from, to);
        QVERIFY(!scene->isDirtyFlight());
        QCOMPARE(log.scores.size(), hit ? 1u : 0u);
        QCOMPARE(scene->shotID().has_value(), !hit);
        QVERIFY(near(scene->previous()->y, to.y(), 1e-6));
        QVERIFY(near(scene->previous()->t, 2 * GameScene::timeStep, 1e-9));
        if (hit) {
            const auto &[id, before, after] = log.scores.front();
            QCOMPARE(id, shot);
            QVERIFY(near(before.x, from.x(), 1e-6) && near(before.y, from.y(), 1e-6));
            QVERIFY(near(after.x, to.x(), 1e-6) && near(after.y, to.y(), 1e-6));
            QVERIFY(near(before.t, GameScene::timeStep, 1e-9));
            QVERIFY(near(after.t, 2 * GameScene::timeStep, 1e-9));
        }
    }

    void oneHitPerShot()
    {
        auto scene = presented(QSizeF(600, 600));
        ScoreLog log(*scene);
        scene->configure(round(u"r1"_s), false, true, 0);
        FrameClock clock(*scene);
        scene->releaseBall({ 0.18, 0.18, 0.5, 0.9 });
        for (int pass = 0; pass < 2; ++pass) {
            moveBallAcross(*scene, clock, QPointF(0.76, 0.45), QPointF(0.76, 0.40));
        }
        QCOMPARE(log.scores.size(), 1u);
        // A round hit is left to fall and returns through the miss rule.
        QVERIFY(!scene->returnAt());
        placeBall(*scene, 0.5, 0.05);
        clock.step();
        QVERIFY(near(scene->returnAt().value_or(0), clock.now() + 0.4, 1e-9));
        clock.run(23);
        QVERIFY(!scene->isWaitingForThrow());
        clock.run(2);
        QVERIFY(scene->isWaitingForThrow());
        QVERIFY(near(scene->ballPosition(), scene->point(0.18, 0.18)));
    }

    void aTouchBeforeACleanFallNeverScores()
    {
        auto scene = presented(QSizeF(600, 600));
        ScoreLog log(*scene);
        scene->configure(round(u"r1"_s), false, true, 0);
        FrameClock clock(*scene);
        scene->releaseBall({ 0.18, 0.18, 0.5, 0.9 });
        clock.run(3);
        scene->didBegin(); // as the rim end would report it
        QVERIFY(scene->isDirtyFlight());
        QVERIFY(near(scene->returnAt().value_or(0), clock.now() + 0.8, 1e-9));
        moveBallAcross(*scene, clock, QPointF(0.76, 0.45), QPointF(0.76, 0.40));
        QVERIFY(log.scores.empty());
    }

    void theRimEndsReportContacts()
    {
        auto scene = presented();
        scene->configure(std::nullopt, true, false, 0);
        FrameClock clock(*scene);
        clock.step();
        // Dropped straight onto the left rim end.
        scene->releaseBall({ 0.64, 0.6, 0, 0 });
        QVERIFY(scene->shotID());
        for (int i = 0; i < 120 && !scene->isDirtyFlight(); ++i)
            clock.step();
        QVERIFY(scene->isDirtyFlight());
        QVERIFY(scene->returnAt());
        const double touched = *scene->returnAt() - 0.8;
        QVERIFY(scene->normalized(scene->ballPosition()).y() > 0.42);
        // Later contacts do not push the return back.
        clock.run(10);
        QCOMPARE(*scene->returnAt() - 0.8, touched);
    }

    void freeFallFollowsTheScenesGravity_data()
    {
        QTest::addColumn<QSizeF>("size");
        QTest::newRow("1080") << QSizeF(1920, 1080);
        QTest::newRow("2160") << QSizeF(3840, 2160);
        QTest::newRow("small") << QSizeF(300, 200);
    }
    void freeFallFollowsTheScenesGravity()
    {
        QFETCH(QSizeF, size);
        auto scene = presented(size);
        scene->configure(std::nullopt, true, false, 0);
        FrameClock clock(*scene);
        scene->releaseBall({ 0.5, 0.6, 0, 0 });
        clock.run(30);
        // Half a second of free fall at 1.3 sides per second squared.
        const double side = scene->fieldSide();
        QVERIFY(near(scene->ballVelocity().y(), -1.3 * side * 0.5, side * 1e-4));
        QVERIFY(near(scene->ballVelocity().x(), 0, 1e-6));
    }

    void seamsTurnWithTheBody()
    {
        auto scene = presented();
        scene->configure(std::nullopt, true, false, 0);
        FrameClock clock(*scene);
        scene->releaseBall({ 0.5, 0.5, 0.1, 0.3 });
        scene->ballBody()->SetAngularVelocity(3);
        clock.run(10);
        const double angle = scene->ballBody()->GetAngle();
        QVERIFY(angle > 0.3);
        QVERIFY(near(scene->ball().rotation(), angle, 1e-9));
        const Node *seam = scene->ball().findChild(u"seam");
        QVERIFY(seam);
        const QPointF tip = seam->sceneTransform().map(QPointF(scene->ballRadius(), 0));
        const QPointF expected = scene->ballPosition()
            + scene->ballRadius() * QPointF(std::cos(angle), std::sin(angle));
        QVERIFY(near(tip, expected, 1e-3));
    }

    void lostBallIsRescued()
    {
        auto scene = presented();
        ScoreLog log(*scene);
        scene->configure(round(u"r1"_s), false, true, 0);
        FrameClock clock(*scene);
        scene->releaseBall({ 0.18, 0.18, 0.5, 0.9 });
        clock.step();
        const QPointF outside(-scene->ballRadius() - 5, 500);
        scene->ballBody()->SetTransform(b2Vec2(float(outside.x() / GameScene::pointsPerMetre),
                                            float(outside.y() / GameScene::pointsPerMetre)),
            0);
        clock.step();
        QVERIFY(!scene->shotID());
        // Rescued to 30 % of the scene at rest, then one physics step of falling.
        QVERIFY(near(scene->ballPosition(), QPointF(1920 * 0.3, 1080 * 0.3), 1));
        QVERIFY(std::abs(scene->ballVelocity().y()) < 1.3 * 1080 / 60 + 1);
        QVERIFY(log.scores.empty());
    }

    void practicePassesTheBallOutOfTheField()
    {
        auto scene = presented();
        ScoreLog log(*scene);
        scene->configure(std::nullopt, true, true, 0);
        FrameClock clock(*scene);
        scene->releaseBall({ 0.9, 0.8, 1.5, 0.2 });
        for (int i = 0; i < 60 && log.transfers.empty(); ++i)
            clock.step();
        QCOMPARE(log.transfers.size(), 1u);
        const Entry &entry = log.transfers.front();
        QCOMPARE(entry.x, 1.0); // clamped into the field
        QVERIFY(entry.y > 0.8 && entry.y < 0.85);
        QVERIFY(near(entry.vx, 1.5, 1e-3));
        QVERIFY(scene->isSending());
        QVERIFY(scene->ball().isHidden());
        QVERIFY(scene->ballHitRect().isEmpty());
        clock.run(10);
        QCOMPARE(log.transfers.size(), 1u);
        // A configuration while the pass is under way keeps the ball out of sight.
        scene->configure(std::nullopt, true, true, 0);
        QVERIFY(scene->ball().isHidden());

        scene->transferFailed(u"Нет связи с сервером"_s);
        QVERIFY(!scene->isSending());
        QVERIFY(!scene->ball().isHidden());
        QVERIFY(scene->isWaitingForThrow());
        QVERIFY(near(scene->ballPosition(), scene->point(0.18, 0.18)));
        QCOMPARE(scene->hint().text(), u"Нет связи с сервером"_s);
    }

    void practiceWithoutPassingReturnsByTheMissRule()
    {
        auto scene = presented();
        ScoreLog log(*scene);
        scene->configure(std::nullopt, true, false, 0);
        FrameClock clock(*scene);
        scene->releaseBall({ 0.9, 0.8, 1.5, 0.2 });
        for (int i = 0; i < 120 && !scene->isWaitingForThrow(); ++i)
            clock.step();
        QVERIFY(scene->isWaitingForThrow());
        QVERIFY(log.transfers.empty());
        QVERIFY(!scene->isSending());
    }

    void failedTransferInARoundPutsTheBallBack()
    {
        auto scene = presented();
        scene->configure(round(u"r1"_s), true, true, 0);
        scene->transferFailed(u"Игрок занят"_s);
        QVERIFY(near(scene->ballPosition(), QPointF(1920 * 0.3, 27 + 40)));
        QVERIFY(!scene->ball().isHidden());
        QCOMPARE(scene->hint().text(), u"Игрок занят"_s);
    }

    void celebrationRisesFadesAndGoes()
    {
        auto scene = presented();
        scene->configure(std::nullopt, true, false, 0);
        FrameClock clock(*scene);
        clock.step();
        scene->celebrate();
        const auto *plusOne = static_cast<const LabelNode *>(scene->root().findChild(u"plusOne"));
        QVERIFY(plusOne);
        QCOMPARE(plusOne->text(), u"+1"_s);
        QVERIFY(near(plusOne->position(), scene->ballPosition()));
        QVERIFY(scene->needsFrames());
        clock.run(20); // 0.33 s after it started
        QVERIFY(near(plusOne->position().y(), scene->ballPosition().y() + 80 * 19 / 39.0, 1));
        QVERIFY(plusOne->alpha() > 0.4 && plusOne->alpha() < 0.6);
        clock.run(25);
        QVERIFY(!scene->root().findChild(u"plusOne"));
    }

    void sizeChangeRebuildsWhilePresented()
    {
        GameScene scene;
        scene.setSize(QSizeF(1920, 1080));
        scene.configure(std::nullopt, true, false, 0);
        scene.setSize(QSizeF(1280, 800)); // not shown yet: nothing is rebuilt
        QVERIFY(near(scene.ballPosition(), QPointF(420, 0) + QPointF(0.18, 0.18) * 1080));

        scene.didMoveToView();
        QVERIFY(near(scene.ballPosition(), scene.point(0.18, 0.18)));
        QVERIFY(near(scene.ballRadius(), 20));
        scene.mouseDown(scene.point(0.18, 0.18), 1);
        QVERIFY(scene.isDragging());
        scene.setSize(QSizeF(2560, 1440));
        QVERIFY(!scene.isDragging());
        QVERIFY(scene.isWaitingForThrow());
        QVERIFY(near(scene.ballPosition(), scene.point(0.18, 0.18)));
        QVERIFY(!scene.isBallDynamic());
        QCOMPARE(scene.hint().text(),
            u"Тренировка · Потяни мяч ↗ и отпусти · Передача другу — в окне игры"_s);
        const auto *rim = static_cast<const ShapeNode *>(scene.hoopNode().findChild(u"rim"));
        QVERIFY(near(pathStart(*rim), scene.point(0.76 - 0.12, 0.42)));
    }

    void newViewDropsTheThrowInFlight()
    {
        auto scene = presented();
        scene->configure(round(u"r1"_s), false, true, 0);
        FrameClock clock(*scene);
        scene->releaseBall({ 0.18, 0.18, 0.5, 0.9 });
        clock.run(10);
        QVERIFY(scene->shotID());
        scene->willMoveFromView();
        scene->didMoveToView();
        QVERIFY(!scene->shotID());
        QVERIFY(scene->isWaitingForThrow());
        QVERIFY(!scene->isBallDynamic());
        QVERIFY(near(scene->ballPosition(), scene->point(0.18, 0.18)));
        QCOMPARE(scene->hint().text(), u"Легко! Потяни мяч ↗ и отпусти · Мы поможем попасть"_s);
    }

    void aBallAtRestTouchesNothing()
    {
        auto scene = presented();
        scene->configure(std::nullopt, true, false, 0);
        FrameClock clock(*scene);
        // Parked right on a rim end, and then on the floor: nothing moves, nothing is touched.
        QVERIFY(!scene->isBallDynamic());
        for (const QPointF at : { QPointF(0.64, 0.42), QPointF(0.5, 0) }) {
            const QPointF p = scene->point(at.x(), at.y()) / GameScene::pointsPerMetre;
            scene->ballBody()->SetTransform(b2Vec2(float(p.x()), float(p.y())), 0);
            clock.run(30);
            QVERIFY(near(scene->normalized(scene->ballPosition()), at, 1e-6));
            QVERIFY(!scene->isDirtyFlight());
        }
    }

    void idleSceneNeedsNoFramesAndRepaintsNothing()
    {
        auto scene = presented();
        scene->configure(std::nullopt, true, false, 0);
        FrameClock clock(*scene);
        clock.step();
        std::vector<QRectF> damage;
        scene->collectDamage(damage);
        QVERIFY(!damage.empty());
        QVERIFY(!scene->needsFrames()); // the ball waits, the guide is drawn
        damage.clear();
        clock.run(3);
        scene->collectDamage(damage);
        QVERIFY(damage.empty());

        // A flying ball damages only around itself.
        scene->releaseBall({ 0.18, 0.18, 0.5, 0.9 });
        clock.step();
        damage.clear();
        scene->collectDamage(damage);
        clock.step();
        damage.clear();
        scene->collectDamage(damage);
        QVERIFY(scene->needsFrames());
        QRectF all;
        for (const QRectF &r : damage)
            all |= r;
        QVERIFY(!all.isEmpty());
        QVERIFY(all.width() < 4 * scene->ballRadius() + 40);
        QVERIFY(all.height() < 4 * scene->ballRadius() + 40);

        // Paused: nothing runs.
        scene->setPaused(true);
        const QPointF frozen = scene->ballPosition();
        clock.run(5);
        QCOMPARE(scene->ballPosition(), frozen);
        QVERIFY(!scene->needsFrames());
    }

    void hostIsToldWhenFramesAreNeeded()
    {
        auto scene = presented();
        int requests = 0;
        scene->onFrameNeeded = [&] { ++requests; };
        scene->configure(std::nullopt, true, false, 0);
        QCOMPARE(requests, 1);
        scene->celebrate();
        QCOMPARE(requests, 2);
        scene->setPaused(true);
        scene->transferFailed(u"x"_s);
        QCOMPARE(requests, 2); // not while paused
        scene->setPaused(false);
        QCOMPARE(requests, 3);
    }
};

QTEST_MAIN(GameSceneTest)
#include "GameSceneTest.moc"
