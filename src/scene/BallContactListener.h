#pragma once

#include <box2d/b2_world_callbacks.h>

#include <functional>

// Reports the moments the ball (category 1) begins touching something of category 2.
class BallContactListener : public b2ContactListener {
public:
    static constexpr unsigned short ballCategory = 1;
    static constexpr unsigned short solidCategory = 2;

    std::function<void()> onBallContact;

    void BeginContact(b2Contact *contact) override;
};
