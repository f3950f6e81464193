#pragma once

#include "wire/Hoop.h"
#include "scene/BallContactListener.h"
#include "scene/Node.h"

#include <QPointF>
#include <QSizeF>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class LabelNode;
class ShapeNode;
class b2Body;
class b2World;

// What the scene is made of: the node tree (edge, ball with its seams, hoop with backboard, rim
// and net, countdown, hint, the aim guide's group) and the Box2D world that moves the ball.
// Both are built anew for each size; the bodies belong to the world.
class SceneWorld {
public:
    // Box2D works in metres; the scene maps 150 points to one.
    static constexpr double pointsPerMetre = 150;
    // The fixed physics step; one per frame at 60 frames per second.
    static constexpr double timeStep = 1.0 / 60;

    SceneWorld();
    ~SceneWorld();
    SceneWorld(const SceneWorld &) = delete;
    SceneWorld &operator=(const SceneWorld &) = delete;

    // The ball starts at (width × 0.35, r + 30), dynamic and shown. The hint's text survives.
    void build(QSizeF size, const Hoop &hoop, bool solidHoop);
    // Replaces the drawn hoop. A solid hoop has a backboard to bounce off; the rim ends always
    // are solid. A hoop out of all reach (a corrupt round) is neither drawn nor solid.
    void drawHoop(const Hoop &hoop, bool solid);
    // The "+1" that rises and fades at the ball.
    void celebrate();

    Node &root() { return m_root; }
    const Node &root() const { return m_root; }
    LabelNode &timer() { return *m_timer; }
    const LabelNode &timer() const { return *m_timer; }
    LabelNode &hint() { return *m_hint; }
    Node &aimGuideGroup() { return *m_aimGuide; }

    QPointF ballPosition() const;
    // Points per second.
    QPointF ballVelocity() const;
    void setBallPosition(QPointF scenePoint);
    void setBallVelocity(QPointF pointsPerSecond);
    void stopSpin();
    // A ball that is not dynamic stays where it is put and collides with nothing.
    void setBallDynamic(bool dynamic);
    bool isBallMoving() const;
    void setBallHidden(bool hidden);
    bool isBallHidden() const;
    bool isAnimating() const;

    // Runs the node actions and as many fixed physics steps as the frame clock asks for.
    void step(double currentTime);
    // After a pause: the paused time is not simulated.
    void restartClock();

    // The ball began touching something solid (edge, backboard, rim end).
    std::function<void()> onBallContact;

private:
    void syncBallNode();

    QSizeF m_size;
    Node m_root;
    ShapeNode *m_ball = nullptr;
    Node *m_hoopNode = nullptr;
    LabelNode *m_timer = nullptr;
    LabelNode *m_hint = nullptr;
    Node *m_aimGuide = nullptr;

    std::unique_ptr<b2World> m_world;
    BallContactListener m_contacts;
    b2Body *m_ballBody = nullptr;
    std::vector<b2Body *> m_hoopBodies;
    std::optional<double> m_physicsTime;
    double m_physicsBacklog = 0;
};
