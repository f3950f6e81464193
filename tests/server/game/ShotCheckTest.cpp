#include "game/ShotCheck.h"

#include <QtTest>

#include <limits>

using namespace Qt::StringLiterals;
using ShotCheck::Release;
using ShotCheck::Verdict;

Q_DECLARE_METATYPE(Entry)
Q_DECLARE_METATYPE(Hoop)
Q_DECLARE_METATYPE(CrossingSample)
Q_DECLARE_METATYPE(ShotCheck::Verdict)
Q_DECLARE_METATYPE(ShotCheck::Release)

namespace {

// The assisted throw from the start spot: it reaches the centre of the standard rim at 1.1 s
// (the rounds test checks that against its own flight).
constexpr Entry idealThrow { 0.18, 0.18, 0.5272727272727273, 0.9331818181818183 };
// Dropped from the top of the field above the rim centre: at the rim line after ~0.945 s.
constexpr Entry drop { 0.76, 1.0, 0, 0 };

CrossingSample onFlight(const Entry &release, double t, double dx = 0, double dy = 0)
{
    const ShotCheck::Point p = ShotCheck::flightAt(release, t);
    return { p.x + dx, p.y + dy, t };
}

Entry moved(Entry release, double dx, double dy, double dvx = 0)
{
    release.x += dx;
    release.y += dy;
    release.vx += dvx;
    return release;
}

} // namespace

// The server's judgement of a reported crossing against the registered release.
class ShotCheckTest : public QObject {
    Q_OBJECT

private slots:
    void checkRelease_data()
    {
        QTest::addColumn<Entry>("release");
        QTest::addColumn<Release>("verdict");
        constexpr double nan = std::numeric_limits<double>::quiet_NaN();
        QTest::newRow("assisted throw") << idealThrow << Release::Valid;
        QTest::newRow("0.009 off the spot on both axes")
            << moved(idealThrow, 0.009, -0.009) << Release::Valid;
        QTest::newRow("0.011 right of the spot")
            << moved(idealThrow, 0.011, 0) << Release::AwayFromStart;
        QTest::newRow("0.011 below the spot")
            << moved(idealThrow, 0, -0.011) << Release::AwayFromStart;
        QTest::newRow("at rest above the hoop")
            << Entry { 0.76, 0.5, 0, 0 } << Release::AwayFromStart;
        QTest::newRow("position not a number")
            << Entry { nan, 0.18, 0.5, 0.9 } << Release::AwayFromStart;
        QTest::newRow("fastest the assisted throw goes")
            << Entry { 0.18, 0.18, -1.0, 1.25 } << Release::Valid;
        QTest::newRow("vx beyond 1") << Entry { 0.18, 0.18, 1.01, 0.9 } << Release::TooFast;
        QTest::newRow("vx beyond -1") << Entry { 0.18, 0.18, -1.01, 0.9 } << Release::TooFast;
        QTest::newRow("vy beyond -1.25") << Entry { 0.18, 0.18, 0.5, -1.26 } << Release::TooFast;
        QTest::newRow("vy beyond 1.25") << Entry { 0.18, 0.18, 0.5, 1.26 } << Release::TooFast;
        QTest::newRow("speed not a number") << Entry { 0.18, 0.18, 0.5, nan } << Release::TooFast;
    }

    void checkRelease()
    {
        QFETCH(Entry, release);
        QFETCH(Release, verdict);
        QCOMPARE(ShotCheck::explanation(ShotCheck::checkRelease(release)),
            ShotCheck::explanation(verdict));
    }

    void checkArrival_data()
    {
        QTest::addColumn<double>("afterT");
        QTest::addColumn<qint64>("sinceShotMs");
        QTest::addColumn<Verdict>("verdict");
        // 0.5 s of the flight may be lost to network delays.
        QTest::newRow("1.1 s flight, 601 ms later") << 1.1 << qint64(601) << Verdict::Clean;
        QTest::newRow("1.1 s flight, 599 ms later") << 1.1 << qint64(599) << Verdict::TooSoon;
        QTest::newRow("2.2 s flight, 5 ms later") << 2.2 << qint64(5) << Verdict::TooSoon;
        QTest::newRow("shot registered after the result") << 0.6 << qint64(-1) << Verdict::TooSoon;
        QTest::newRow("time not a number")
            << std::numeric_limits<double>::quiet_NaN() << qint64(60000) << Verdict::TooSoon;
    }

    void checkArrival()
    {
        QFETCH(double, afterT);
        QFETCH(qint64, sinceShotMs);
        QFETCH(Verdict, verdict);
        QCOMPARE(
            ShotCheck::explanation(ShotCheck::checkArrival({ 0.76, 0.41, afterT }, sinceShotMs)),
            ShotCheck::explanation(verdict));
    }

    void check_data()
    {
        QTest::addColumn<Entry>("release");
        QTest::addColumn<Hoop>("hoop");
        QTest::addColumn<CrossingSample>("before");
        QTest::addColumn<CrossingSample>("after");
        QTest::addColumn<Verdict>("verdict");

        const Hoop standard = Hoop::standard();
        const auto row = [&](const char *name, Entry release, CrossingSample before,
                             CrossingSample after, Verdict verdict, Hoop hoop = Hoop::standard()) {
            QTest::newRow(name) << release << hoop << before << after << verdict;
        };
        const CrossingSample idealBefore = onFlight(idealThrow, 1.09);
        const CrossingSample idealAfter = onFlight(idealThrow, 1.11);

        row("clean fall through the centre", idealThrow, idealBefore, idealAfter, Verdict::Clean);
        row("registered flight 0.12 to the left", moved(idealThrow, -0.12, 0), idealBefore,
            idealAfter, Verdict::OffFlight);
        row("registered flight 0.04 to the left", moved(idealThrow, -0.04, 0), idealBefore,
            idealAfter, Verdict::Clean);
        row("registered flight 0.12 lower", moved(idealThrow, 0, -0.12), idealBefore, idealAfter,
            Verdict::OffFlight);
        row("registered flight 0.04 higher", moved(idealThrow, 0, 0.04), idealBefore, idealAfter,
            Verdict::Clean);
        row("registered flight 0.11 faster sideways", moved(idealThrow, 0, 0, 0.11), idealBefore,
            idealAfter, Verdict::OffFlight);
        row("later frame alone 0.06 off", idealThrow, idealBefore, onFlight(idealThrow, 1.11, 0.06),
            Verdict::OffFlight);
        row("both frames 0.045 off", idealThrow, onFlight(idealThrow, 1.09, 0.045),
            onFlight(idealThrow, 1.11, 0.045), Verdict::Clean);
        row("both frames 0.055 off", idealThrow, onFlight(idealThrow, 1.09, 0.055),
            onFlight(idealThrow, 1.11, 0.055), Verdict::OffFlight);

        const Entry rising { 0.76, 0.30, 0, 1.0 };
        row("upward through the rim line", rising, onFlight(rising, 0.10), onFlight(rising, 0.15),
            Verdict::NotFalling);
        row("earlier frame exactly at the rim line", drop, { 0.76, standard.y, 0.94 },
            onFlight(drop, 0.97), Verdict::NotFalling);
        row("later frame exactly at the rim line", drop, onFlight(drop, 0.92),
            { 0.76, standard.y, 0.95 }, Verdict::Clean);
        row("both frames above the rim line", drop, onFlight(drop, 0.85), onFlight(drop, 0.90),
            Verdict::NotFalling);

        row("frames at the same moment", drop, { 0.76, 0.43, 0.94 }, { 0.76, 0.41, 0.94 },
            Verdict::BadTiming);
        row("frames 0.11 s apart", drop, onFlight(drop, 0.89), onFlight(drop, 1.00),
            Verdict::BadTiming);
        row("frames 0.1 s apart", drop, onFlight(drop, 0.90), onFlight(drop, 1.00), Verdict::Clean);
        row("frames in reverse order", drop, { 0.76, onFlight(drop, 0.92).y, 0.97 },
            { 0.76, onFlight(drop, 0.97).y, 0.92 }, Verdict::BadTiming);
        row("frame before the release", drop, { 0.76, 0.43, -0.01 }, { 0.76, 0.41, 0.05 },
            Verdict::BadTiming);
        row("time not a number", drop, { 0.76, 0.43, std::numeric_limits<double>::quiet_NaN() },
            onFlight(drop, 0.97), Verdict::BadTiming);

        // A hoop whose numbers are exact in binary, so the rim ends are met exactly.
        const Hoop exact { 0.5, 0.5, 0.5, 0.125 };
        const auto dropAt = [](double x) { return Entry { x, 0.75, 0, 0 }; };
        row("ball touching the far rim end", dropAt(0.625), onFlight(dropAt(0.625), 0.5625),
            onFlight(dropAt(0.625), 0.625), Verdict::Clean, exact);
        row("ball touching the near rim end", dropAt(0.375), onFlight(dropAt(0.375), 0.5625),
            onFlight(dropAt(0.375), 0.625), Verdict::Clean, exact);
        row("ball just past the far rim end", dropAt(0.625 + 1.0 / 1024),
            onFlight(dropAt(0.625 + 1.0 / 1024), 0.5625),
            onFlight(dropAt(0.625 + 1.0 / 1024), 0.625), Verdict::OutsideRim, exact);

        const Entry overRimEnd { 0.86, 1.0, 0, 0 };
        row("centre inside the rim, ball over its end", overRimEnd, onFlight(overRimEnd, 0.92),
            onFlight(overRimEnd, 0.97), Verdict::OutsideRim);
        // The frames straddle the rim end: only the interpolated crossing decides.
        const Entry nearEnd { 0.84, 1.0, 0, 0 };
        row("crossing near an inside earlier frame", nearEnd, onFlight(nearEnd, 0.94, -0.04),
            onFlight(nearEnd, 0.99, 0.04), Verdict::Clean);
        row("crossing near an outside earlier frame", nearEnd, onFlight(nearEnd, 0.94, 0.04),
            onFlight(nearEnd, 0.99, -0.04), Verdict::OutsideRim);
    }

    void check()
    {
        QFETCH(Entry, release);
        QFETCH(Hoop, hoop);
        QFETCH(CrossingSample, before);
        QFETCH(CrossingSample, after);
        QFETCH(Verdict, verdict);
        QCOMPARE(ShotCheck::explanation(ShotCheck::check(release, hoop, before, after)),
            ShotCheck::explanation(verdict));
    }
};

QTEST_APPLESS_MAIN(ShotCheckTest)
#include "ShotCheckTest.moc"
