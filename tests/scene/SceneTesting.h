#pragma once

#include "scene/GameScene.h"
#include "scene/LabelNode.h"
#include "scene/SceneField.h"
#include "scene/ShapeNode.h"

#include <tuple>

// Drives a GameScene the way its window does, presented at a size and stepped at 60 frames per
// second, and reads what it reports and draws.
namespace SceneTesting {

inline Round round(const QString &id, const QString &state = QStringLiteral("ACTIVE"),
    const Hoop &hoop = GameScene::defaultHoop, std::optional<QString> endsAt = std::nullopt)
{
    Round r;
    std::tie(r.id, r.state, r.hoop, r.endsAt) = std::tie(id, state, hoop, endsAt);
    return r;
}

// Practice, and an active round "r1".
inline const SceneDefinition practice { std::nullopt, true, false, 0 };
inline const SceneDefinition inRound { round(QStringLiteral("r1")), false, true, 0 };

inline std::unique_ptr<GameScene> presented(
    std::optional<SceneDefinition> definition = {}, QSizeF size = { 1920, 1080 })
{
    auto scene = std::make_unique<GameScene>();
    scene->setSize(size);
    scene->didMoveToView();
    if (definition)
        scene->configure(*definition);
    return scene;
}

constexpr Entry upRight { 0.18, 0.18, 0.5, 0.9 }; // from the start spot, gently

inline SceneField field(const GameScene &scene)
{
    return SceneField(scene.size());
}

// A drawn node by name, anywhere in the tree; null when it is not drawn.
template <class T = Node> const T *drawn(const GameScene &scene, QStringView name)
{
    return static_cast<const T *>(scene.root().findChild(name));
}

inline const ShapeNode &ball(const GameScene &scene)
{
    return *drawn<ShapeNode>(scene, u"ball");
}

inline QPointF ballInField(const GameScene &scene)
{
    return field(scene).normalized(ball(scene).position());
}

// Scene points pass through the world's single precision.
inline bool near(QPointF a, QPointF b, double tolerance = 1e-3)
{
    return std::abs(a.x() - b.x()) <= tolerance && std::abs(a.y() - b.y()) <= tolerance;
}

// Parked: shown on the start spot, nothing in flight.
inline bool isParked(const GameScene &scene)
{
    return !ball(scene).isHidden()
        && near(ball(scene).position(), field(scene).point(GameScene::startSpot))
        && !scene.isDragging();
}

struct FrameClock {
    GameScene &scene;
    double start = 100;
    int frame = 0;
    void step() { scene.update(start + ++frame * GameScene::timeStep); }
    void run(int frames) { runUntil({}, frames); }
    // Steps until the condition holds, at most a number of frames; the frames taken.
    int runUntil(const std::function<bool()> &condition, int frames = 600)
    {
        int taken = 0;
        for (; !(condition && condition()) && taken < frames; ++taken)
            step();
        return taken;
    }
};

// Records what the scene reports to its host.
struct ScoreLog {
    int practiceScores = 0;
    std::vector<std::tuple<QString, CrossingSample, CrossingSample>> scores;
    std::vector<std::pair<QString, Entry>> shots;
    std::vector<Entry> transfers;

    explicit ScoreLog(GameScene &scene)
    {
        scene.onPracticeScore = [this] { ++practiceScores; };
        scene.onScore
            = [this](const QString &id, auto b, auto a) { scores.emplace_back(id, b, a); };
        scene.onShot = [this](const QString &id, const Entry &e) { shots.emplace_back(id, e); };
        scene.onTransfer = [this](const Entry &entry) { transfers.push_back(entry); };
    }
};

} // namespace SceneTesting
