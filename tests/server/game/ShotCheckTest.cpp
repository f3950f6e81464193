#include "game/ShotCheck.h"

#include <QtTest>

#include <limits>

using namespace Qt::StringLiterals;
using ShotCheck::explanation;
using ShotCheck::Release;
using ShotCheck::Verdict;

namespace {

// The assisted throw from the start spot: it reaches the centre of the standard rim at 1.1 s
// (the rounds test checks that against its own flight).
constexpr Entry idealThrow { 0.18, 0.18, 0.5272727272727273, 0.9331818181818183 };
// Dropped from the top of the field above the rim centre: at the rim line after ~0.945 s.
constexpr Entry drop { 0.76, 1.0, 0, 0 };

CrossingSample onFlight(const Entry &release, double t, double dx = 0)
{
    const ShotCheck::Point p = ShotCheck::flightAt(release, t);
    return { p.x + dx, p.y, t };
}

Entry moved(Entry release, double dx, double dy, double dvx = 0)
{
    release.x += dx;
    release.y += dy;
    release.vx += dvx;
    return release;
}

// Judged while the table is built: the test compares the verdicts' sentences.
template <typename Judged> void row(const char *name, Judged judged, Judged expected)
{
    QTest::newRow(name) << explanation(judged) << explanation(expected);
}

} // namespace

// The server's judgement of a registered release, of when a result arrives, and of a reported
// crossing against the release.
class ShotCheckTest : public QObject {
    Q_OBJECT

private slots:
    void verdicts_data()
    {
        QTest::addColumn<QString>("judged");
        QTest::addColumn<QString>("expected");
        constexpr double nan = std::numeric_limits<double>::quiet_NaN();
        const auto release = [](const Entry &entry) { return ShotCheck::checkRelease(entry); };
        row("assisted throw", release(idealThrow), Release::Valid);
        row("0.009 off the spot on both axes", release(moved(idealThrow, 0.009, -0.009)),
            Release::Valid);
        row("0.011 right of the spot", release(moved(idealThrow, 0.011, 0)),
            Release::AwayFromStart);
        row("0.011 below the spot", release(moved(idealThrow, 0, -0.011)), Release::AwayFromStart);
        row("position not a number", release({ nan, 0.18, 0.5, 0.9 }), Release::AwayFromStart);
        row("fastest the assisted throw goes", release({ 0.18, 0.18, -1.0, 1.25 }), Release::Valid);
        row("vx beyond -1", release({ 0.18, 0.18, -1.01, 0.9 }), Release::TooFast);
        row("vy beyond 1.25", release({ 0.18, 0.18, 0.5, 1.26 }), Release::TooFast);
        row("speed not a number", release({ 0.18, 0.18, 0.5, nan }), Release::TooFast);

        const auto check = [](const Entry &release, const CrossingSample &before,
                               const CrossingSample &after, const Hoop &hoop = Hoop::standard()) {
            return ShotCheck::check(release, hoop, before, after);
        };
        // The ideal throw's frames, each moved sideways, judged against a registered release.
        const auto ideal
            = [&](double beforeDx, double afterDx, const Entry &registered = idealThrow) {
                  return check(registered, onFlight(idealThrow, 1.09, beforeDx),
                      onFlight(idealThrow, 1.11, afterDx));
              };
        row("clean fall through the centre", ideal(0, 0), Verdict::Clean);
        row("registered 0.12 to the left", ideal(0, 0, moved(idealThrow, -0.12, 0)),
            Verdict::OffFlight);
        row("registered 0.04 to the left", ideal(0, 0, moved(idealThrow, -0.04, 0)),
            Verdict::Clean);
        row("registered 0.12 lower", ideal(0, 0, moved(idealThrow, 0, -0.12)), Verdict::OffFlight);
        row("registered 0.11 faster sideways", ideal(0, 0, moved(idealThrow, 0, 0, 0.11)),
            Verdict::OffFlight);
        row("later frame alone 0.06 off", ideal(0, 0.06), Verdict::OffFlight);
        row("both frames 0.045 off", ideal(0.045, 0.045), Verdict::Clean);
        row("both frames 0.055 off", ideal(0.055, 0.055), Verdict::OffFlight);

        const Entry rising { 0.76, 0.30, 0, 1.0 };
        const auto dropped = [&](double before, double after) {
            return check(drop, onFlight(drop, before), onFlight(drop, after));
        };
        const double rimY = Hoop::standard().y;
        row("upward through the rim line",
            check(rising, onFlight(rising, 0.1), onFlight(rising, 0.15)), Verdict::NotFalling);
        row("earlier frame exactly at the rim line",
            check(drop, { 0.76, rimY, 0.94 }, onFlight(drop, 0.97)), Verdict::NotFalling);
        row("later frame exactly at the rim line",
            check(drop, onFlight(drop, 0.92), { 0.76, rimY, 0.95 }), Verdict::Clean);
        row("both frames above the rim line", dropped(0.85, 0.9), Verdict::NotFalling);
        row("frames at the same moment", check(drop, { 0.76, 0.43, 0.94 }, { 0.76, 0.41, 0.94 }),
            Verdict::BadTiming);
        row("frames 0.11 s apart", dropped(0.89, 1.0), Verdict::BadTiming);
        row("frames 0.1 s apart", dropped(0.9, 1.0), Verdict::Clean);
        row("frames in reverse order",
            check(drop, { 0.76, onFlight(drop, 0.92).y, 0.97 },
                { 0.76, onFlight(drop, 0.97).y, 0.92 }),
            Verdict::BadTiming);
        row("frame before the release", check(drop, { 0.76, 0.43, -0.01 }, { 0.76, 0.41, 0.05 }),
            Verdict::BadTiming);
        row("frame time not a number", check(drop, { 0.76, 0.43, nan }, onFlight(drop, 0.97)),
            Verdict::BadTiming);

        // A hoop whose numbers are exact in binary, so the rim ends are met exactly.
        const Hoop exact { 0.5, 0.5, 0.5, 0.125 };
        const auto dropAt = [&](double x) {
            const Entry from { x, 0.75, 0, 0 };
            return check(from, onFlight(from, 0.5625), onFlight(from, 0.625), exact);
        };
        row("ball touching the far rim end", dropAt(0.625), Verdict::Clean);
        row("ball touching the near rim end", dropAt(0.375), Verdict::Clean);
        row("ball just past the far rim end", dropAt(0.625 + 1.0 / 1024), Verdict::OutsideRim);

        const Entry overRimEnd { 0.86, 1.0, 0, 0 };
        row("centre inside the rim, ball over its end",
            check(overRimEnd, onFlight(overRimEnd, 0.92), onFlight(overRimEnd, 0.97)),
            Verdict::OutsideRim);
        // The frames straddle the rim end: only the interpolated crossing decides.
        const Entry nearEnd { 0.84, 1.0, 0, 0 };
        row("crossing near an inside earlier frame",
            check(nearEnd, onFlight(nearEnd, 0.94, -0.04), onFlight(nearEnd, 0.99, 0.04)),
            Verdict::Clean);
        row("crossing near an outside earlier frame",
            check(nearEnd, onFlight(nearEnd, 0.94, 0.04), onFlight(nearEnd, 0.99, -0.04)),
            Verdict::OutsideRim);
    }

    void verdicts()
    {
        QFETCH(QString, judged);
        QFETCH(QString, expected);
        QCOMPARE(judged, expected);
    }
};

QTEST_APPLESS_MAIN(ShotCheckTest)
#include "ShotCheckTest.moc"
