#include "ShotCheck.h"

#include <cmath>

using namespace Qt::StringLiterals;

// Every test in this file is written so that a NaN fails it.
namespace ShotCheck {

Release checkRelease(const Entry &release)
{
    if (!(std::abs(release.x - startX) <= startTolerance
            && std::abs(release.y - startY) <= startTolerance))
        return Release::AwayFromStart;
    if (!(std::abs(release.vx) <= maxReleaseVx && std::abs(release.vy) <= maxReleaseVy))
        return Release::TooFast;
    return Release::Valid;
}

Point flightAt(const Entry &release, double t)
{
    return { release.x + release.vx * t, release.y + release.vy * t - 0.5 * gravity * t * t };
}

namespace {

bool onFlight(const Entry &release, const CrossingSample &sample)
{
    const Point expected = flightAt(release, sample.t);
    return std::hypot(sample.x - expected.x, sample.y - expected.y) <= flightTolerance;
}

} // namespace

Verdict check(const Entry &release, const Hoop &hoop, const CrossingSample &before,
    const CrossingSample &after)
{
    if (!(before.y > hoop.y && hoop.y >= after.y))
        return Verdict::NotFalling;
    const double gap = after.t - before.t;
    if (!(before.t >= 0 && gap > 0 && gap <= maxSampleGap))
        return Verdict::BadTiming;
    // The same arithmetic as the clients' own crossing test, so a ball exactly at the rim end
    // is judged alike on both sides.
    const double f = (before.y - hoop.y) / (before.y - after.y);
    const double crossingX = before.x + (after.x - before.x) * f;
    if (!(std::abs(crossingX - hoop.x) + hoop.radius <= hoop.width * 0.5))
        return Verdict::OutsideRim;
    if (!onFlight(release, before) || !onFlight(release, after))
        return Verdict::OffFlight;
    return Verdict::Clean;
}

Verdict checkArrival(const CrossingSample &after, qint64 sinceShotMs)
{
    // In milliseconds so that a whole number of them compares without rounding noise.
    const double flightMs = after.t * 1000.0;
    if (!(flightMs - static_cast<double>(networkSlackMs) <= static_cast<double>(sinceShotMs)))
        return Verdict::TooSoon;
    return Verdict::Clean;
}

QString explanation(Release release)
{
    switch (release) {
    case Release::Valid:
        return u"The throw starts on the start spot."_s;
    case Release::AwayFromStart:
        return u"A throw must start on the start spot."_s;
    case Release::TooFast:
        return u"The throw is faster than a throw can be."_s;
    }
    return {};
}

QString explanation(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Clean:
        return u"The ball fell cleanly through the hoop."_s;
    case Verdict::NotFalling:
        return u"The ball did not fall through the hoop."_s;
    case Verdict::BadTiming:
        return u"The crossing frames are out of order or too far apart."_s;
    case Verdict::OutsideRim:
        return u"The ball did not pass between the rim ends."_s;
    case Verdict::OffFlight:
        return u"The crossing does not match the registered throw."_s;
    case Verdict::TooSoon:
        return u"The result came sooner than the ball could have flown through the hoop."_s;
    }
    return {};
}

} // namespace ShotCheck
