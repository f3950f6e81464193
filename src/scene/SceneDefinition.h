#pragma once

#include "wire/Round.h"

#include <optional>

// What the coordinator shows the scene for, handed to GameScene::configure whenever its room
// state changes.
struct SceneDefinition {
    // The player's round; none between rounds.
    std::optional<Round> round;
    // The player holds the ball: without a round that is practice.
    bool holder = false;
    // The ball may be passed on to another player.
    bool available = false;
    // Server clock minus local clock, in seconds, for the round's countdown.
    double serverOffset = 0;
};
