#include "ShotCheck.h"

#include <cmath>

using namespace Qt::StringLiterals;

namespace ShotCheck {

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

// Every test is written so that a NaN fails it.
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
    }
    return {};
}

} // namespace ShotCheck
