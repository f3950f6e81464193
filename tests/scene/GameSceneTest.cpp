#include "SceneTesting.h"

#include "scene/TrackpadThrow.h"

#include <QTest>

Q_DECLARE_METATYPE(Entry)

using namespace Qt::StringLiterals;
using namespace SceneTesting;

namespace {

const QString roundHint = u"Легко! Потяни мяч ↗ и отпусти · Мы поможем попасть"_s;
const QString practiceHint
    = u"Тренировка · Потяни мяч ↗ и отпусти · Передача другу — в окне игры"_s;

} // namespace

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
        QTest::newRow("round, holder") << true << true << roundHint;
    }
    void modesFollowRoundAndHolder()
    {
        QFETCH(bool, withRound);
        QFETCH(bool, holder);
        QFETCH(QString, hint);
        const bool shown = withRound || holder;
        const Hoop hoop = withRound ? Hoop { 0.7, 0.5, 0.2, 0.025 } : GameScene::defaultHoop;
        const auto r = withRound ? std::optional(round(u"r1"_s, u"ACTIVE"_s, hoop)) : std::nullopt;
        auto scene = presented(SceneDefinition { r, holder, true, 0 });
        FrameClock { *scene }.step();
        QCOMPARE(drawn<LabelNode>(*scene, u"hint")->text(), hint);
        QVERIFY(near(drawn<ShapeNode>(*scene, u"rim")->path().elementAt(0),
            field(*scene).point(hoop.x - hoop.width / 2, hoop.y), 1e-6));
        QCOMPARE(isParked(*scene), shown);
        QCOMPARE(drawn(*scene, u"aimQualityGuide")->hasChildren(), shown);
        QVERIFY(scene->ballHitRect().isEmpty() != shown && !scene->needsFrames());
    }

    // The digits shown by the server's clock, 3 s ahead of the local one; none once over.
    void countdown_data()
    {
        QTest::addColumn<QString>("endsAt");
        QTest::addColumn<double>("remaining"); // by the local clock
        QTest::addColumn<QString>("text");
        const QString whole = u"2025-01-01T10:00:00Z"_s;
        QTest::newRow("125 s") << whole << 128.0 << u"125"_s;
        QTest::newRow("0.2 s") << whole << 3.2 << u"01"_s;
        QTest::newRow("fractions") << u"2025-01-01T10:00:00.750Z"_s << 9.5 << u"08"_s;
        QTest::newRow("unreadable") << u"tomorrow"_s << 7.0 << QString();
        QTest::newRow("run out") << whole << 2.0 << u"00"_s;
    }
    void countdown()
    {
        QFETCH(QString, endsAt);
        QFETCH(double, remaining);
        QFETCH(QString, text);
        auto scene = presented();
        const QDateTime ends = QDateTime::fromMSecsSinceEpoch(1735725600000, Qt::UTC);
        scene->setWallClock([&] { return ends.addMSecs(-qint64(remaining * 1000)); });
        const auto r = round(u"r1"_s, u"ACTIVE"_s, GameScene::defaultHoop, endsAt);
        scene->configure({ r, false, true, 3 });
        FrameClock { *scene }.step();
        QCOMPARE(drawn<LabelNode>(*scene, u"timer")->text(), text);
        const bool over = text == u"00"_s;
        QVERIFY(scene->needsFrames() == !text.isEmpty() && scene->isInteractive() == !over
            && ball(*scene).isHidden() == over);
    }

    // A release flies from its entry, clamped to 3 field sides per second; one inside the field
    // during an active round is a shot reported to the host. One no screen holds is ignored.
    void release_data()
    {
        QTest::addColumn<bool>("active");
        QTest::addColumn<Entry>("entry");
        QTest::addColumn<bool>("reported");
        QTest::addColumn<double>("vx"); // NaN: ignored
        QTest::newRow("active round") << true << upRight << true << 0.5;
        QTest::newRow("clamped") << true << Entry { 0.3, 0.3, 10, 0.5 } << true << 3.0;
        QTest::newRow("off the field") << true << Entry { 1.01, 0.5, -0.3, 0.2 } << false << -0.3;
        QTest::newRow("round not active") << false << upRight << false << 0.5;
        QTest::newRow("NaN") << true << Entry { qQNaN(), 0.2, 0.5, 0.9 } << false << qQNaN();
    }
    void release()
    {
        QFETCH(bool, active);
        QFETCH(Entry, entry);
        QFETCH(bool, reported);
        QFETCH(double, vx);
        auto scene = presented(SceneDefinition {
            round(u"r1"_s, active ? u"ACTIVE"_s : u"WAITING_RECEIVER"_s), false, true, 0 });
        ScoreLog log(*scene);
        scene->releaseBall(entry);
        FrameClock clock { *scene };
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
        QVERIFY(!reported
            || (!QUuid(log.shots.front().first).isNull() && log.shots.front().second == entry));
    }

    // Press, drag and release in points from the start spot, 0.25 s apart: the guide grades the
    // drag while held, the assisted throw ignores where the pointer goes meanwhile.
    void pointer_data()
    {
        QTest::addColumn<QPointF>("press");
        QTest::addColumn<QPointF>("drag");
        QTest::addColumn<QPointF>("up");
        QTest::addColumn<QString>("guide"); // after the drag
        QTest::addColumn<bool>("thrown");
        const double reach = 27 + 20;
        const QString green = u"↗ Отличный прицел"_s;
        QTest::newRow("outside the ball, the preview")
            << QPointF(reach + 1, 0) << QPointF(100, 90) << QPointF(108, 108) << green << false;
        QTest::newRow("throw") << QPointF() << QPointF(100, 90) << QPointF(108, 108) << green
                               << true;
        QTest::newRow("down-left") << QPointF() << QPointF(-54, -54) << QPointF(-54, -54)
                                   << u"↗ Мимо · попробуй выше и вправо"_s << true;
    }
    void pointer()
    {
        QFETCH(QPointF, press);
        QFETCH(QPointF, drag);
        QFETCH(QPointF, up);
        QFETCH(QString, guide);
        QFETCH(bool, thrown);
        auto scene = presented(inRound);
        ScoreLog log(*scene);
        FrameClock clock { *scene };
        const QPointF start = field(*scene).point(GameScene::startSpot);
        scene->mouseDown(start + press, 2.0);
        QCOMPARE(scene->isDragging(), press.x() < 27 + 20);
        scene->mouseDragged(start + drag, 2.2);
        QVERIFY(near(ball(*scene).position(), start));
        clock.step();
        const auto *label = drawn<LabelNode>(*scene, u"aimText");
        QCOMPARE(label ? label->text() : QString(), guide);
        scene->mouseUp(start + up, 2.25);
        QCOMPARE(log.shots.size(), thrown ? 1u : 0u);
        QVERIFY(thrown || isParked(*scene));
        if (!thrown)
            return;
        const auto v = TrackpadThrow::velocity(up.x() / 1080, up.y() / 1080);
        QCOMPARE(log.shots.front().second, (Entry { 0.18, 0.18, v->x(), v->y() }));
        clock.run(5); // picked up in flight, the ball goes back to the start spot
        scene->mouseDown(ball(*scene).position(), 3.0);
        QVERIFY(near(ball(*scene).position(), start));
    }

    // Dropped onto the left rim end, the first touch brings the ball back 0.8 s later, and a
    // touched flight never scores; a ball lost off the scene comes back.
    void ballsComeBack()
    {
        auto scene = presented(inRound, QSizeF(600, 600));
        ScoreLog log(*scene);
        FrameClock clock { *scene };
        scene->releaseBall({ 0.65, 0.6, 0, 0 });
        clock.step();
        const double x = ballInField(*scene).x();
        const int touch = clock.runUntil([&] { return ballInField(*scene).x() != x; }, 60);
        const int back = clock.runUntil([&] { return isParked(*scene); }, 120);
        QVERIFY2(touch < 60 && back >= 47 && back <= 49, qPrintable(QString::number(back)));
        QVERIFY(log.scores.empty());
        scene->releaseBall({ -0.5, 0.5, 0, 0 }); // lost 300 points left: back at 30 % of the scene
        clock.step();
        QVERIFY(near(ball(*scene).position(), QPointF(600 * 0.3, 600 * 0.3), 1));
    }

    void practicePassesTheBallOutOfTheField()
    {
        auto scene = presented(SceneDefinition { std::nullopt, true, true, 0 });
        ScoreLog log(*scene);
        FrameClock clock { *scene };
        scene->releaseBall({ 0.9, 0.8, 1.5, 0.2 });
        clock.runUntil([&] { return !log.transfers.empty(); }, 60);
        clock.run(10);
        QCOMPARE(log.transfers.size(), 1u);
        const Entry &e = log.transfers.front();
        QVERIFY(e.x == 1.0 && e.y > 0.8 && e.y < 0.85 && qAbs(e.vx - 1.5) < 1e-3);
        scene->transferFailed(u"Нет связи с сервером"_s);
        QVERIFY(isParked(*scene));
        QCOMPARE(drawn<LabelNode>(*scene, u"hint")->text(), u"Нет связи с сервером"_s);
    }

    // The same round keeps a flight; a new round or mode, size or view parks the ball on the
    // start spot, dropping a throw under way; a size set before the scene is shown waits.
    void whatParksTheBall()
    {
        GameScene scene;
        scene.setSize(QSizeF(1920, 1080));
        scene.configure({ round(u"r1"_s, u"WAITING_RECEIVER"_s), false, true, 0 });
        scene.setSize(QSizeF(1280, 800));
        QVERIFY(near(ball(scene).position(), QPointF(420, 0) + GameScene::startSpot * 1080));
        scene.didMoveToView();
        ScoreLog log(scene);
        FrameClock clock { scene };
        scene.configure(inRound);
        scene.releaseBall(upRight);
        QCOMPARE(log.shots.size(), 1u); // now active
        clock.run(10);
        const QPointF flying = ball(scene).position();
        scene.configure({ round(u"r1"_s), false, false, 2.5 });
        clock.step();
        QVERIFY(ball(scene).position().y() > flying.y()); // still rising
        const std::function<void()> changes[] = { [&] { scene.configure(practice); },
            [&] { scene.configure(inRound); }, [&] { scene.setSize(QSizeF(2560, 1440)); },
            [&] { scene.willMoveFromView(), scene.didMoveToView(); } };
        for (const auto &change : changes) {
            scene.releaseBall(upRight);
            clock.run(5);
            change();
            QVERIFY(isParked(scene));
        }
    }
};

QTEST_MAIN(GameSceneTest)
#include "GameSceneTest.moc"
