#pragma once

#include <QPointF>

#include <optional>

// The assisted throw: turns a drag vector into a launch velocity. A drag up and to the right
// is pulled towards the velocity that carries the ball from the start spot (0.18, 0.18) to
// the default hoop (0.76, 0.42) in 1.1 s under the scene's gravity of 1.3 sides/s².
namespace TrackpadThrow {

// Field sides per second.
inline constexpr QPointF idealVelocity { 0.5272727272727273, 0.9331818181818183 };

// dx, dy: the drag in field sides. None for a drag too short to count (a tap).
std::optional<QPointF> velocity(double dx, double dy);

} // namespace TrackpadThrow
