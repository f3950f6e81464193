#include "scene/TrackpadThrow.h"

#include <algorithm>
#include <cmath>

namespace TrackpadThrow {

std::optional<QPointF> velocity(double dx, double dy)
{
    if (std::hypot(dx, dy) < 0.012)
        return std::nullopt;
    const QPointF u(std::clamp(dx * 10.8, -1.0, 1.0), std::clamp(dy * 12.4, -1.25, 1.25));
    if (dx <= 0 || dy <= 0)
        return u; // not up and to the right: no help
    const double vx = idealVelocity.x() + std::clamp((u.x() - idealVelocity.x()) * 0.12, -0.1, 0.1);
    // The vertical pull is 0.6 times as strong: height errors matter more than width errors.
    const double vy
        = idealVelocity.y() + std::clamp((u.y() - idealVelocity.y()) * 0.072, -0.06, 0.06);
    return QPointF(vx, vy);
}

} // namespace TrackpadThrow
