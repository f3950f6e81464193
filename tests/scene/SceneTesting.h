#pragma once

#include "scene/GameScene.h"
#include "scene/LabelNode.h"
#include "scene/SceneField.h"
#include "scene/ShapeNode.h"

#include <memory>
#include <utility>
#include <vector>

// Drives a GameScene the way its window does, presented at a size and stepped at 60 frames per
// second, and reads what it reports and draws.
namespace SceneTesting {

inline Round round(const QString &id, const QString &state = QStringLiteral("ACTIVE"),
    const Hoop &hoop = GameScene::defaultHoop, std::optional<QString> endsAt = std::nullopt)
{
    Round r;
    r.id = id;
    r.state = state;
    r.hoop = hoop;
    r.endsAt = std::move(endsAt);
    return r;
}

inline std::unique_ptr<GameScene> presented(QSizeF size = QSizeF(1920, 1080))
{
    auto scene = std::make_unique<GameScene>();
    scene->setSize(size);
    scene->didMoveToView();
    return scene;
}

// Presented and configured: in an active round "r1", or in practice without one.
inline std::unique_ptr<GameScene> playing(bool practice = false, QSizeF size = QSizeF(1920, 1080))
{
    auto scene = presented(size);
    if (practice)
        scene->configure({ std::nullopt, true, false, 0 });
    else
        scene->configure({ round(QStringLiteral("r1")), false, true, 0 });
    return scene;
}

// A gentle throw up and to the right from the start spot.
constexpr Entry upRight { 0.18, 0.18, 0.5, 0.9 };

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

// Where the ball is drawn, in field units.
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

class FrameClock {
public:
    explicit FrameClock(GameScene &scene, double start = 100)
        : m_scene(scene)
        , m_start(start)
    {
    }
    void step() { m_scene.update(m_start + ++m_frame * GameScene::timeStep); }
    void run(int frames)
    {
        for (int i = 0; i < frames; ++i)
            step();
    }
    // Steps until the condition holds, at most a number of frames; the frames taken.
    template <class Condition> int runUntil(Condition condition, int frames = 600)
    {
        int taken = 0;
        for (; !condition() && taken < frames; ++taken)
            step();
        return taken;
    }

private:
    GameScene &m_scene;
    int m_frame = 0;
    double m_start;
};

struct Crossing {
    QString shotID;
    CrossingSample before;
    CrossingSample after;
};

// Records what the scene reports to its host.
struct ScoreLog {
    int practiceScores = 0;
    std::vector<Crossing> scores;
    std::vector<std::pair<QString, Entry>> shots;
    std::vector<Entry> transfers;

    explicit ScoreLog(GameScene &scene)
    {
        scene.onPracticeScore = [this] { ++practiceScores; };
        scene.onScore
            = [this](const QString &id, const CrossingSample &before, const CrossingSample &after) {
                  scores.push_back({ id, before, after });
              };
        scene.onShot
            = [this](const QString &id, const Entry &entry) { shots.emplace_back(id, entry); };
        scene.onTransfer = [this](const Entry &entry) { transfers.push_back(entry); };
    }
};

} // namespace SceneTesting
