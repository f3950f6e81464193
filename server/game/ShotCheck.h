#pragma once

#include "CrossingSample.h"
#include "Entry.h"
#include "Hoop.h"

#include <QString>

// Whether a reported hoop crossing is a clean fall of the registered throw. A client reports
// the two frames around the moment its ball's centre went down through the rim line; the
// server replays the release in closed form (the clients' scene: gravity 1.3 field sides per
// second squared, no drag) and accepts the crossing only when both frames lie on that flight.
namespace ShotCheck {

inline constexpr double gravity = 1.3; // field sides per second squared
inline constexpr double maxSampleGap = 0.1; // seconds between the two frames
inline constexpr double flightTolerance = 0.05; // field units between a frame and the flight

enum class Verdict {
    Clean,
    NotFalling, // the centre did not go from above the rim line to on or below it
    BadTiming, // the frames are not in order, or further apart than maxSampleGap
    OutsideRim, // the ball, not only its centre, did not fit between the rim ends
    OffFlight, // a frame is not where the registered release carries the ball
};

struct Point {
    double x = 0;
    double y = 0;
};

// Where the ball released with `release` is t seconds later.
Point flightAt(const Entry &release, double t);

// `release` is the stored release (velocities already held to Entry::maxSpeed).
Verdict check(const Entry &release, const Hoop &hoop, const CrossingSample &before,
    const CrossingSample &after);

// A sentence for the player.
QString explanation(Verdict verdict);

} // namespace ShotCheck
