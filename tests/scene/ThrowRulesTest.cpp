#include "scene/ThrowRules.h"
#include "scene/AimQuality.h"
#include "scene/SceneField.h"
#include "scene/ThrowGesture.h"
#include "scene/TrackpadThrow.h"

#include <QTest>

Q_DECLARE_METATYPE(Entry)
Q_DECLARE_METATYPE(AimQuality::Grade)
Q_DECLARE_METATYPE(ThrowRules::Frame)

using namespace Qt::StringLiterals;
using Grade = AimQuality::Grade;

static constexpr Hoop hoop = Hoop::standard();

class ThrowRulesTest : public QObject {
    Q_OBJECT
private slots:
    // The centred square of the scene's shorter side; a small scene keeps a 400-point field.
    void field()
    {
        QCOMPARE(SceneField({ 300, 200 }).point(0.5, 0.25), QPointF(-50 + 200, -100 + 100));
        QCOMPARE(SceneField({ 1920, 1080 }).point(0.5, 0.25), QPointF(420 + 540, 270));
        QCOMPARE(SceneField({ 1080, 1920 }).normalized({ 1080, 420 }), QPointF(1, 0));
    }

    void trackpadVelocity_data()
    {
        QTest::addColumn<QPointF>("drag");
        QTest::addColumn<QPointF>("velocity"); // null: a tap
        // Up-right drags land near the ideal velocity, however long; others are only clamped.
        QTest::newRow("long") << QPointF(1, 1) << QPointF(0.584, 0.9559927272727273);
        QTest::newRow("short") << QPointF(0.05, 0.05) << QPointF(0.5288, 0.9106327272727273);
        QTest::newRow("down-left") << QPointF(-0.05, -0.05) << QPointF(-0.54, -0.62);
        QTest::newRow("up, clamped") << QPointF(0, 0.5) << QPointF(0, 1.25);
        QTest::newRow("right-down, clamped") << QPointF(0.5, -0.5) << QPointF(1, -1.25);
        QTest::newRow("tap: 5 points of 1080") << QPointF(5.0 / 1080, 0) << QPointF();
        QTest::newRow("just long enough") << QPointF(0.012, 0) << QPointF(0.1296, 0);
    }
    void trackpadVelocity()
    {
        QFETCH(QPointF, drag);
        QFETCH(QPointF, velocity);
        QCOMPARE(TrackpadThrow::velocity(drag.x(), drag.y()).value_or(QPointF()), velocity);
    }

    void aimQuality_data()
    {
        QTest::addColumn<Entry>("entry");
        QTest::addColumn<Grade>("grade");
        QTest::newRow("preview from the start spot")
            << Entry { 0.18, 0.18, 0.56768, 0.93741 } << Grade::Green;
        // Dropped from above at a distance d from the hoop's centre.
        QTest::newRow("d 0.07") << Entry { 0.69, 0.6, 0, 0 } << Grade::Green;
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

    // Without a hoop the last 0.12 s (at least 0.016 s) are flung, clamped; with one, the assisted
    // throw from the drag since the press.
    void gesture()
    {
        ThrowGesture g;
        g.press({ 100, 100 }, 1.0);
        g.drag({ 160, 160 }, 1.05);
        g.drag({ 190, 190 }, 1.15); // the press is too old now
        QCOMPARE(g.release({ 220, 220 }, 1.25, 600, false, {}).velocity, QPointF(0.5, 0.5));
        QVERIFY(!g.isDragging());
        g.press({ 100, 100 }, 2);
        QCOMPARE(g.release({ 400, 100 }, 2, 600, false, {}).velocity, QPointF(3, 0));

        QCOMPARE(g.aimDrag(1000), QPointF(0.08, 0.08)); // the preview
        g.press({ 100, 100 }, 1);
        g.drag({ 150, 180 }, 1.2);
        QCOMPARE(g.aimDrag(1000), QPointF(0.05, 0.08));
        QVERIFY(g.release({ 103, 100 }, 1.3, 1000, true, {}).tap);
        g.press({ 100, 100 }, 2);
        const auto release = g.release({ 180, 180 }, 2.1, 1000, true, {});
        QCOMPARE(release.velocity, *TrackpadThrow::velocity(0.08, 0.08));
    }

    // Samples before and after, on a hoop at (0.5, 0.5), rim ends ±0.125, ball radius 0.03125.
    void crossesHoop_data()
    {
        QTest::addColumn<QLineF>("path");
        QTest::addColumn<bool>("hit");
        QTest::newRow("crosses between the samples") << QLineF(0.3, 0.6, 0.5, 0.45) << true;
        QTest::newRow("misses between the samples") << QLineF(0.2, 0.6, 0.5, 0.45) << false;
        QTest::newRow("left of the rim") << QLineF(0.3, 0.55, 0.3, 0.45) << false;
        QTest::newRow("stays above") << QLineF(0.5, 0.55, 0.5, 0.51) << false;
        QTest::newRow("from exactly its height") << QLineF(0.5, 0.5, 0.5, 0.45) << false;
        QTest::newRow("to exactly its height") << QLineF(0.5, 0.6, 0.5, 0.5) << true;
        QTest::newRow("just fits") << QLineF(0.59375, 0.6, 0.59375, 0.4) << true;
        QTest::newRow("touches a rim end") << QLineF(0.6, 0.6, 0.6, 0.4) << false;
    }
    void crossesHoop()
    {
        QFETCH(QLineF, path);
        QFETCH(bool, hit);
        QCOMPARE(ThrowRules::crossesHoop({ path.x1(), path.y1(), 0.5 },
                     { path.x2(), path.y2(), 0.52 }, { 0.5, 0.5, 0.25, 0.03125 }),
            hit);
    }

    // What a frame decides, in field units, in a 600-point square scene: "v" the velocity when
    // it moves, "done" when no shot is tracked any more.
    void judge_data()
    {
        QTest::addColumn<ThrowRules::Frame>("frame");
        QTest::addColumn<QString>("outcome");
        enum { Transfer = 1, Round = 2, Parked = 4, Unscored = 8, Crossing = 16, Touched = 32 };
        const auto f = [](QPointF at, QPointF v = {}, int flags = 0) {
            const CrossingSample above { 0.76, 0.45, 0.9 }; // the hoop's centre
            return ThrowRules::Frame { { 600, 600 }, at * 600, v * 600, !(flags & Unscored),
                !(flags & (Round | Unscored)), bool(flags & Transfer), !(flags & Parked), hoop,
                u"shot"_s, !(flags & Touched),
                flags & Crossing ? std::optional(above) : std::nullopt, 0 };
        };
        QTest::newRow("flying") << f({ 0.5, 0.5 }, { 1, 2 }) << u"v 1 2"_s;
        QTest::newRow("speed limit") << f({ 0.5, 0.5 }, { 4, -5 }) << u"v 3 -3"_s;
        QTest::newRow("below the floor line") << f({ 0.5, 0.07 }) << u"return 0.4"_s;
        QTest::newRow("above it") << f({ 0.5, 0.09 }) << QString();
        QTest::newRow("past the right side") << f({ 1.021, 0.5 }) << u"return 0.4"_s;
        QTest::newRow("miss, return already due") << f({ 0.5, 0.05 }, {}, Parked) << QString();
        QTest::newRow("miss, nothing to score") << f({ 0.5, 0.05 }, {}, Unscored) << QString();
        QTest::newRow("lost to the left") << f({ -0.03, 0.5 }) << u"lost done"_s;
        QTest::newRow("lost above") << f({ 0.5, 1.03 }) << u"lost done"_s;
        QTest::newRow("just inside") << f({ 0.5, 1.02 }) << QString();
        QTest::newRow("pass right, clamped into the field")
            << f({ 1.1, 0.5 }, { 4, 0.25 }, Transfer) << u"v 3 0.25 pass 1 0.5 3 0.25"_s;
        QTest::newRow("pass left") << f({ 0.0, 0.5 }, {}, Transfer) << u"pass 0 0.5 0 0"_s;
        QTest::newRow("pass top") << f({ 0.5, 1.01 }, {}, Transfer) << u"pass 0.5 1 0 0"_s;
        QTest::newRow("no pass inside") << f({ 0.99, 0.5 }, {}, Transfer) << QString();
        QTest::newRow("not passing") << f({ 1.01, 0.5 }) << QString();
        QTest::newRow("no pass in a round") << f({ 1.01, 0.5 }, {}, Transfer | Round) << QString();
        QTest::newRow("parked") << f({ 1.01, 0.5 }, {}, Transfer | Parked) << QString();
        // One hit per shot; a practice hit brings the ball back.
        QTest::newRow("hit in a round") << f({ 0.76, 0.4 }, {}, Round | Crossing) << u"hit done"_s;
        QTest::newRow("practice hit") << f({ 0.76, 0.4 }, {}, Crossing) << u"return 0.8 hit done"_s;
        QTest::newRow("a touched flight never scores")
            << f({ 0.76, 0.4 }, {}, Round | Crossing | Touched) << QString();
    }
    void judge()
    {
        QFETCH(ThrowRules::Frame, frame);
        QFETCH(QString, outcome);
        const auto d = ThrowRules::judge(frame);
        QStringList seen;
        if (!d.velocity.isNull())
            seen << u"v %1 %2"_s.arg(d.velocity.x() / 600).arg(d.velocity.y() / 600);
        if (d.pass)
            seen << u"pass"_s << QString::number(d.pass->x) << QString::number(d.pass->y)
                 << QString::number(d.pass->vx) << QString::number(d.pass->vy);
        if (d.returnIn)
            seen << u"return "_s + QString::number(*d.returnIn);
        seen << (d.lost ? u"lost"_s : QString()) << (d.hit ? u"hit"_s : QString())
             << (d.shot ? QString() : u"done"_s);
        seen.removeAll(QString());
        QCOMPARE(seen.join(u' '), outcome);
    }
};

QTEST_APPLESS_MAIN(ThrowRulesTest)
#include "ThrowRulesTest.moc"
