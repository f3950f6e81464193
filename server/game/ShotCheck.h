#pragma once

#include "wire/CrossingSample.h"
#include "wire/Entry.h"
#include "wire/Hoop.h"

#include <QString>

// Whether a registered throw is one the game can make, and whether a reported hoop crossing
// is a clean fall of it. Every round's throw starts on the start spot with a velocity the
// assisted throw produces. A client reports the two frames around the moment its ball's centre
// went down through the rim line; the server replays the release in closed form (the clients'
// scene: gravity 1.3 field sides per second squared, no drag) and accepts the crossing only
// when both frames lie on that flight and the flight has had time to happen.
namespace ShotCheck {

inline constexpr double gravity = 1.3; // field sides per second squared
inline constexpr double maxSampleGap = 0.1; // seconds between the two frames
inline constexpr double flightTolerance = 0.05; // field units between a frame and the flight
inline constexpr double startX = 0.18; // the start spot
inline constexpr double startY = 0.18;
inline constexpr double startTolerance = 0.01; // per coordinate, field units
inline constexpr double maxReleaseVx = 1.0; // the assisted throw's limits, field sides per second
inline constexpr double maxReleaseVy = 1.25;
inline constexpr qint64 networkSlackMs = 500; // how much sooner than its flight a result may come

enum class Release {
    Valid,
    AwayFromStart, // not released on the start spot
    TooFast, // faster than the assisted throw can be
};

enum class Verdict {
    Clean,
    NotFalling, // the centre did not go from above the rim line to on or below it
    BadTiming, // the frames are not in order, or further apart than maxSampleGap
    OutsideRim, // the ball, not only its centre, did not fit between the rim ends
    OffFlight, // a frame is not where the registered release carries the ball
    TooSoon, // the result came before the ball could have flown to its later frame
};

struct Point {
    double x = 0;
    double y = 0;
};

// `release` as the client sent it, before any clamping.
Release checkRelease(const Entry &release);

// Where the ball released with `release` is t seconds later.
Point flightAt(const Entry &release, double t);

// `release` is the registered release, one that checkRelease found valid.
Verdict check(const Entry &release, const Hoop &hoop, const CrossingSample &before,
    const CrossingSample &after);

// Whether a result whose later frame is `after` may arrive `sinceShotMs` after the server
// registered its shot: Clean or TooSoon.
Verdict checkArrival(const CrossingSample &after, qint64 sinceShotMs);

// Sentences for the player.
QString explanation(Release release);
QString explanation(Verdict verdict);

} // namespace ShotCheck
