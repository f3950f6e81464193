#include "scene/AimQuality.h"
#include "scene/GameScene.h"
#include "scene/TrackpadThrow.h"

#include <QTest>

Q_DECLARE_METATYPE(Entry)
Q_DECLARE_METATYPE(AimQuality::Grade)

using Grade = AimQuality::Grade;

// The assisted throw's mapping from a drag to a launch velocity, and the grading of an aim.
class ThrowHelpersTest : public QObject {
    Q_OBJECT
private slots:
    void trackpadVelocity_data()
    {
        QTest::addColumn<double>("dx");
        QTest::addColumn<double>("dy");
        QTest::addColumn<bool>("counts");
        QTest::addColumn<double>("vx");
        QTest::addColumn<double>("vy");
        // Up-right drags land near the ideal velocity, however long they are.
        QTest::newRow("long up-right") << 1.0 << 1.0 << true << 0.584 << 0.9559927272727273;
        QTest::newRow("short up-right") << 0.05 << 0.05 << true << 0.5288 << 0.9106327272727273;
        QTest::newRow("preview drag") << 0.08 << 0.08 << true << 0.56768 << 0.9374167272727274;
        // Anything else is taken as it is, only clamped.
        QTest::newRow("down-left") << -0.05 << -0.05 << true << -0.54 << -0.62;
        QTest::newRow("straight up, clamped") << 0.0 << 0.5 << true << 0.0 << 1.25;
        QTest::newRow("right and down, clamped") << 0.5 << -0.5 << true << 1.0 << -1.25;
        // 5 points on a 1080-point field is a tap.
        QTest::newRow("tap") << 5.0 / 1080 << 0.0 << false << 0.0 << 0.0;
        QTest::newRow("just long enough") << 0.012 << 0.0 << true << 0.1296 << 0.0;
    }
    void trackpadVelocity()
    {
        QFETCH(double, dx);
        QFETCH(double, dy);
        QFETCH(bool, counts);
        QFETCH(double, vx);
        QFETCH(double, vy);
        const auto v = TrackpadThrow::velocity(dx, dy);
        QCOMPARE(v.has_value(), counts);
        if (!counts)
            return;
        QVERIFY2(qAbs(v->x() - vx) < 1e-9, qPrintable(QString::number(v->x(), 'g', 17)));
        QVERIFY2(qAbs(v->y() - vy) < 1e-9, qPrintable(QString::number(v->y(), 'g', 17)));
    }

    void everyUpRightDragIsNearTheIdealVelocity()
    {
        for (double dx = 0.02; dx <= 1.0; dx += 0.07) {
            for (double dy = 0.02; dy <= 1.0; dy += 0.07) {
                const auto v = TrackpadThrow::velocity(dx, dy);
                QVERIFY(v);
                QVERIFY(qAbs(v->x() - TrackpadThrow::idealVelocity.x()) <= 0.1 + 1e-12);
                QVERIFY(qAbs(v->y() - TrackpadThrow::idealVelocity.y()) <= 0.06 + 1e-12);
            }
        }
    }

    void aimQuality_data()
    {
        QTest::addColumn<Entry>("entry");
        QTest::addColumn<Grade>("grade");
        const auto preview = *TrackpadThrow::velocity(0.08, 0.08);
        QTest::newRow("idle preview from the start spot")
            << Entry { 0.18, 0.18, preview.x(), preview.y() } << Grade::Green;
        QTest::newRow("ideal velocity") << Entry { 0.18, 0.18, TrackpadThrow::idealVelocity.x(),
            TrackpadThrow::idealVelocity.y() }
                                        << Grade::Green;
        // Dropped from above at a distance d from the hoop's centre.
        QTest::newRow("d 0") << Entry { 0.76, 0.6, 0, 0 } << Grade::Green;
        QTest::newRow("d 0.07") << Entry { 0.69, 0.6, 0, 0 } << Grade::Green;
        QTest::newRow("d 0.1, touches the rim end") << Entry { 0.86, 0.6, 0, 0 } << Grade::Gray;
        QTest::newRow("d 0.14") << Entry { 0.62, 0.6, 0, 0 } << Grade::Gray;
        QTest::newRow("d 0.15") << Entry { 0.91, 0.6, 0, 0 } << Grade::Black;
        QTest::newRow("never reaches the height") << Entry { 0.18, 0.18, 0.5, 0.5 } << Grade::Black;
        QTest::newRow("down-left drag") << Entry { 0.18, 0.18, -0.54, -0.62 } << Grade::Black;
        // Below the hoop and falling: the height was passed before the release.
        QTest::newRow("falling below the hoop") << Entry { 0.76, 0.3, 0, -1 } << Grade::Black;
        QTest::newRow("at the height, at rest") << Entry { 0.76, 0.42, 0, 0 } << Grade::Black;
    }
    void aimQuality()
    {
        QFETCH(Entry, entry);
        QFETCH(Grade, grade);
        QCOMPARE(AimQuality::predict(entry, GameScene::defaultHoop), grade);
    }

    void aimQualityNames()
    {
        QCOMPARE(AimQuality::rawValue(Grade::Green), u"green");
        QCOMPARE(AimQuality::rawValue(Grade::Gray), u"gray");
        QCOMPARE(AimQuality::rawValue(Grade::Black), u"black");
    }
};

QTEST_APPLESS_MAIN(ThrowHelpersTest)
#include "ThrowHelpersTest.moc"
