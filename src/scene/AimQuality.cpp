#include "scene/AimQuality.h"

#include <cmath>

namespace AimQuality {

Grade predict(const Entry &entry, const Hoop &hoop)
{
    const double disc = entry.vy * entry.vy - 2.6 * (hoop.y - entry.y);
    if (disc < 0)
        return Grade::Black;
    // The later, descending moment at the hoop's height.
    const double t = (entry.vy + std::sqrt(disc)) / 1.3;
    if (t <= 0)
        return Grade::Black;
    const double d = std::abs(entry.x + entry.vx * t - hoop.x);
    const double half = hoop.width * 0.5;
    if (d < half - hoop.radius - 0.015)
        return Grade::Green;
    if (d < half + hoop.radius)
        return Grade::Gray;
    return Grade::Black;
}

QStringView rawValue(Grade grade)
{
    switch (grade) {
    case Grade::Green:
        return u"green";
    case Grade::Gray:
        return u"gray";
    case Grade::Black:
        break;
    }
    return u"black";
}

} // namespace AimQuality
