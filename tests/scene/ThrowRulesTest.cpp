#include "scene/ThrowRules.h"
#include "scene/AimQuality.h"
#include "scene/GameScene.h"
#include "scene/SceneField.h"
#include "scene/ThrowGesture.h"
#include "scene/TrackpadThrow.h"

#include <QTest>

Q_DECLARE_METATYPE(Entry)
Q_DECLARE_METATYPE(Hoop)
Q_DECLARE_METATYPE(AimQuality::Grade)
Q_DECLARE_METATYPE(ThrowRules::Frame)

using namespace Qt::StringLiterals;
using Grade = AimQuality::Grade;

namespace {

constexpr Hoop hoop = GameScene::defaultHoop;
const QSizeF square(600, 600);

bool near(QPointF a, QPointF b, double tolerance = 1e-9)
{
    return std::abs(a.x() - b.x()) <= tolerance && std::abs(a.y() - b.y()) <= tolerance;
}

// A practice flight in a 600-point square scene, where field and scene coincide.
ThrowRules::Frame flight(QPointF at, QPointF velocity = {})
{
    ThrowRules::Frame frame;
    frame.sceneSize = square;
    frame.position = at * 600;
    frame.velocity = velocity * 600;
    frame.scoring = frame.practice = frame.inFlight = frame.clean = true;
    frame.hoop = hoop;
    frame.shot = u"shot"_s;
    return frame;
}

} // namespace

// The throw's rules over plain values: the field, the assisted throw, the grading of an aim,
// the gesture, and what one frame of a flight decides.
class ThrowRulesTest : public QObject {
    Q_OBJECT
private slots:
    void field_data()
    {
        QTest::addColumn<QSizeF>("size");
        QTest::addColumn<double>("side");
        QTest::addColumn<QPointF>("origin");
        // A small scene keeps a 400-point field that sticks out of it.
        QTest::newRow("300x200") << QSizeF(300, 200) << 400.0 << QPointF(-50, -100);
        QTest::newRow("1920x1080") << QSizeF(1920, 1080) << 1080.0 << QPointF(420, 0);
        QTest::newRow("1080x1920") << QSizeF(1080, 1920) << 1080.0 << QPointF(0, 420);
    }
    void field()
    {
        QFETCH(QSizeF, size);
        QFETCH(double, side);
        QFETCH(QPointF, origin);
        const SceneField f(size);
        QCOMPARE(f.side(), side);
        QVERIFY(near(f.point(0.5, 0.25), origin + QPointF(0.5, 0.25) * side));
        QVERIFY(near(f.normalized(origin + QPointF(side, 0)), QPointF(1, 0)));
    }

    void trackpadVelocity_data()
    {
        QTest::addColumn<QPointF>("drag");
        QTest::addColumn<bool>("counts");
        QTest::addColumn<QPointF>("velocity");
        // Up-right drags land near the ideal velocity, however long they are.
        QTest::newRow("long up-right")
            << QPointF(1, 1) << true << QPointF(0.584, 0.9559927272727273);
        QTest::newRow("short up-right")
            << QPointF(0.05, 0.05) << true << QPointF(0.5288, 0.9106327272727273);
        // Anything else is taken as it is, only clamped.
        QTest::newRow("down-left") << QPointF(-0.05, -0.05) << true << QPointF(-0.54, -0.62);
        QTest::newRow("up, clamped") << QPointF(0, 0.5) << true << QPointF(0, 1.25);
        QTest::newRow("right-down, clamped") << QPointF(0.5, -0.5) << true << QPointF(1, -1.25);
        // 5 points on a 1080-point field is a tap.
        QTest::newRow("tap") << QPointF(5.0 / 1080, 0) << false << QPointF();
        QTest::newRow("just long enough") << QPointF(0.012, 0) << true << QPointF(0.1296, 0);
    }
    void trackpadVelocity()
    {
        QFETCH(QPointF, drag);
        QFETCH(bool, counts);
        QFETCH(QPointF, velocity);
        const auto v = TrackpadThrow::velocity(drag.x(), drag.y());
        QCOMPARE(v.has_value(), counts);
        QVERIFY(!v || near(*v, velocity));
    }

    void aimQuality_data()
    {
        QTest::addColumn<Entry>("entry");
        QTest::addColumn<Grade>("grade");
        QTest::newRow("preview from the start spot")
            << Entry { 0.18, 0.18, 0.56768, 0.93741 } << Grade::Green;
        // Dropped from above at a distance d from the hoop's centre.
        QTest::newRow("d 0.07") << Entry { 0.69, 0.6, 0, 0 } << Grade::Green;
        QTest::newRow("d 0.1, touches the rim end") << Entry { 0.86, 0.6, 0, 0 } << Grade::Gray;
        QTest::newRow("d 0.14") << Entry { 0.62, 0.6, 0, 0 } << Grade::Gray;
        QTest::newRow("d 0.15") << Entry { 0.91, 0.6, 0, 0 } << Grade::Black;
        QTest::newRow("never that high") << Entry { 0.18, 0.18, 0.5, 0.5 } << Grade::Black;
        QTest::newRow("falling below it") << Entry { 0.76, 0.3, 0, -1 } << Grade::Black;
        QTest::newRow("at its height, at rest") << Entry { 0.76, 0.42, 0, 0 } << Grade::Black;
    }
    void aimQuality()
    {
        QFETCH(Entry, entry);
        QFETCH(Grade, grade);
        QCOMPARE(AimQuality::predict(entry, hoop), grade);
    }

    // Without a hoop the last 0.12 s of the drag are flung, in field sides per second.
    void flick()
    {
        ThrowGesture gesture;
        gesture.press({ 100, 100 }, 1.0);
        gesture.drag({ 160, 160 }, 1.05);
        gesture.drag({ 190, 190 }, 1.15); // the press is too old now
        QVERIFY(gesture.isDragging());
        auto release = gesture.release({ 220, 220 }, 1.25, 600, false, {});
        QVERIFY(!gesture.isDragging());
        QVERIFY(!release.tap);
        QVERIFY(near(release.velocity, QPointF(0.5, 0.5)));
        // A release at once takes at least 0.016 s, and the velocity is clamped.
        gesture.press({ 100, 100 }, 2);
        release = gesture.release({ 400, 100 }, 2, 600, false, {});
        QVERIFY(near(release.velocity, QPointF(3, 0)));
    }

    void assistedRelease()
    {
        ThrowGesture gesture;
        QCOMPARE(gesture.aimDrag(1000), QPointF(0.08, 0.08)); // the preview
        gesture.press({ 100, 100 }, 1);
        gesture.drag({ 150, 180 }, 1.2);
        QVERIFY(near(gesture.aimDrag(1000), QPointF(0.05, 0.08)));
        QVERIFY(gesture.release({ 103, 100 }, 1.3, 1000, true, {}).tap);
        gesture.press({ 100, 100 }, 2);
        const auto release = gesture.release({ 180, 180 }, 2.1, 1000, true, {});
        QVERIFY(near(release.velocity, *TrackpadThrow::velocity(0.08, 0.08)));
    }

    void crossesHoop_data()
    {
        QTest::addColumn<QPointF>("from");
        QTest::addColumn<QPointF>("to");
        QTest::addColumn<bool>("hit");
        QTest::addColumn<Hoop>("hoop");
        // f = 0.6, cx = 0.762: 0.002 + 0.025 <= 0.12.
        QTest::newRow("cx 0.762") << QPointF(0.75, 0.45) << QPointF(0.77, 0.40) << true << hoop;
        // The centre is inside the rim but the ball is not: 0.1 + 0.025 > 0.12.
        QTest::newRow("cx 0.86") << QPointF(0.86, 0.45) << QPointF(0.86, 0.40) << false << hoop;
        QTest::newRow("left of the rim")
            << QPointF(0.6, 0.45) << QPointF(0.6, 0.4) << false << hoop;
        QTest::newRow("upwards") << QPointF(0.76, 0.40) << QPointF(0.76, 0.45) << false << hoop;
        QTest::newRow("stays above") << QPointF(0.76, 0.47) << QPointF(0.76, 0.43) << false << hoop;
        QTest::newRow("from exactly its height")
            << QPointF(0.76, 0.42) << QPointF(0.76, 0.4) << false << hoop;
        QTest::newRow("to exactly its height")
            << QPointF(0.76, 0.5) << QPointF(0.76, 0.42) << true << hoop;
        // On a hoop of binary fractions, at x 0.5 ± 0.125 with radius 0.03125.
        QTest::newRow("just fits") << QPointF(0.59375, 0.6) << QPointF(0.59375, 0.4) << true
                                   << Hoop { 0.5, 0.5, 0.25, 0.03125 };
        QTest::newRow("touches a rim end")
            << QPointF(0.6, 0.6) << QPointF(0.6, 0.4) << false << Hoop { 0.5, 0.5, 0.25, 0.03125 };
    }
    void crossesHoop()
    {
        QFETCH(QPointF, from);
        QFETCH(QPointF, to);
        QFETCH(bool, hit);
        const CrossingSample before { from.x(), from.y(), 0.5 };
        const CrossingSample after { to.x(), to.y(), 0.52 };
        QFETCH(Hoop, hoop);
        QCOMPARE(ThrowRules::crossesHoop(before, after, hoop), hit);
    }

    // What a frame decides, apart from the crossing: in field units, a 600-point square scene.
    void judge_data()
    {
        QTest::addColumn<ThrowRules::Frame>("frame");
        QTest::addColumn<QPointF>("velocity");
        QTest::addColumn<QString>("outcome");
        enum { Transfer = 1, Round = 2, Parked = 4, Unscored = 8 };
        const auto f = [](QPointF at, QPointF v = {}, int flags = 0) {
            ThrowRules::Frame frame = flight(at, v);
            frame.canTransfer = flags & Transfer;
            frame.practice = !(flags & (Round | Unscored));
            frame.inFlight = !(flags & Parked);
            frame.scoring = !(flags & Unscored);
            return frame;
        };
        QTest::newRow("flying") << f({ 0.5, 0.5 }, { 1, 2 }) << QPointF(1, 2) << QString();
        QTest::newRow("speed limit") << f({ 0.5, 0.5 }, { 4, -5 }) << QPointF(3, -3) << QString();
        QTest::newRow("below the floor line") << f({ 0.5, 0.07 }) << QPointF() << u"return 0.4"_s;
        QTest::newRow("above it") << f({ 0.5, 0.09 }) << QPointF() << QString();
        QTest::newRow("past the right side") << f({ 1.021, 0.5 }) << QPointF() << u"return 0.4"_s;
        QTest::newRow("miss, return already due")
            << f({ 0.5, 0.05 }, {}, Parked) << QPointF() << QString();
        QTest::newRow("miss, nothing to score")
            << f({ 0.5, 0.05 }, {}, Unscored) << QPointF() << QString();
        QTest::newRow("lost to the left") << f({ -0.03, 0.5 }) << QPointF() << u"lost"_s;
        QTest::newRow("lost above") << f({ 0.5, 1.03 }) << QPointF() << u"lost"_s;
        QTest::newRow("just inside") << f({ 0.5, 1.02 }) << QPointF() << QString();
        QTest::newRow("pass right")
            << f({ 1.0, 0.5 }, { 4, 0 }, Transfer) << QPointF(3, 0) << u"pass"_s;
        QTest::newRow("pass left") << f({ 0.0, 0.5 }, {}, Transfer) << QPointF() << u"pass"_s;
        QTest::newRow("pass top") << f({ 0.5, 1.0 }, {}, Transfer) << QPointF() << u"pass"_s;
        QTest::newRow("no pass inside") << f({ 0.99, 0.5 }, {}, Transfer) << QPointF() << QString();
        QTest::newRow("not passing") << f({ 1.01, 0.5 }) << QPointF() << QString();
        QTest::newRow("no pass in a round")
            << f({ 1.01, 0.5 }, {}, Transfer | Round) << QPointF() << QString();
        QTest::newRow("no pass while parked")
            << f({ 1.01, 0.5 }, {}, Transfer | Parked) << QPointF() << QString();
    }
    void judge()
    {
        QFETCH(ThrowRules::Frame, frame);
        QFETCH(QPointF, velocity);
        QFETCH(QString, outcome);
        const auto d = ThrowRules::judge(frame);
        QVERIFY(near(d.velocity, velocity * 600));
        QStringList seen;
        if (d.pass)
            seen << u"pass"_s;
        if (d.returnIn)
            seen << u"return "_s + QString::number(*d.returnIn);
        if (d.lost)
            seen << u"lost"_s;
        QCOMPARE(seen.join(u' '), outcome);
        QCOMPARE(d.shot.has_value(), !d.lost);
    }

    void passedEntryIsClampedIntoTheField()
    {
        ThrowRules::Frame frame = flight({ 1.1, 0.5 }, { 1.5, 0.25 });
        frame.canTransfer = true;
        QCOMPARE(ThrowRules::judge(frame).pass.value_or(Entry {}), (Entry { 1.0, 0.5, 1.5, 0.25 }));
    }

    // A crossing in a frame: the sample, the hit, one hit per shot, the practice return.
    void crossing_data()
    {
        QTest::addColumn<bool>("practice");
        QTest::addColumn<bool>("clean");
        QTest::addColumn<bool>("hit");
        QTest::newRow("round") << false << true << true;
        QTest::newRow("practice") << true << true << true;
        QTest::newRow("touched on the way") << false << false << false;
    }
    void crossing()
    {
        QFETCH(bool, practice);
        QFETCH(bool, clean);
        QFETCH(bool, hit);
        ThrowRules::Frame frame = flight({ 0.76, 0.4 });
        frame.practice = practice;
        frame.clean = clean;
        frame.previous = CrossingSample { 0.76, 0.45, 0.9 };
        frame.elapsed = 0.95;
        const auto decision = ThrowRules::judge(frame);
        QCOMPARE(decision.hit, hit);
        QCOMPARE(decision.shot.has_value(), !hit);
        QCOMPARE(decision.returnIn.value_or(-1), hit && practice ? 0.8 : -1.0);
        QCOMPARE(decision.sample.has_value(), clean);
        if (clean)
            QCOMPARE(*decision.sample, (CrossingSample { 0.76, 0.4, 0.95 }));
        // Nothing to score on, or no shot: no sample.
        frame.hoop.reset();
        QVERIFY(!ThrowRules::judge(frame).sample);
    }
};

QTEST_APPLESS_MAIN(ThrowRulesTest)
#include "ThrowRulesTest.moc"
