#pragma once

#include "wire/CrossingSample.h"
#include "wire/Entry.h"
#include "wire/Hoop.h"

#include <QPointF>
#include <QSizeF>
#include <QString>

#include <optional>

// The rules of a ball in flight, over plain values: what one frame of a flight decides. The
// scene gathers the values from its world and carries the decision out.
namespace ThrowRules {

// Field sides per second squared.
inline constexpr double gravity = 1.3;
// Field sides per second, for each component of a velocity.
inline constexpr double maxSpeed = Entry::maxSpeed;
// Seconds until the ball comes back after a miss, and after a practice hit or a first contact.
inline constexpr double missReturnDelay = 0.4;
inline constexpr double hitReturnDelay = 0.8;

// The ball's centre went down through the hoop's height between two samples (from strictly
// above) and the whole ball passed between the rim ends.
bool crossesHoop(const CrossingSample &before, const CrossingSample &after, const Hoop &hoop);

// One frame of a flight, in scene points.
struct Frame {
    QSizeF sceneSize;
    QPointF position;
    // Points per second.
    QPointF velocity;
    // A round is active, or practice.
    bool scoring = false;
    bool practice = false;
    bool canTransfer = false;
    // Neither parked nor due back.
    bool inFlight = false;
    std::optional<Hoop> hoop;
    // The tracked shot: released in the field, not scored yet.
    std::optional<QString> shot;
    // The shot's flight touched nothing so far.
    bool clean = false;
    std::optional<CrossingSample> previous;
    // Seconds since the tracked shot's release.
    double elapsed = 0;
};

struct Decision {
    // Within the speed limit, points per second.
    QPointF velocity;
    // A practice throw left the field to the right, left or top: the ball is passed on with
    // this entry, and the frame ends there.
    std::optional<Entry> pass;
    // Seconds until the ball comes back: after a drop below the floor line or past the right
    // side, or after a practice hit.
    std::optional<double> returnIn;
    // The tracked shot's sample of this frame.
    std::optional<CrossingSample> sample;
    bool hit = false;
    // The shot still tracked after this frame: one hit per shot.
    std::optional<QString> shot;
    // Off the scene by more than the ball's radius, or not a number: rescued.
    bool lost = false;
};

Decision judge(const Frame &frame);

} // namespace ThrowRules
