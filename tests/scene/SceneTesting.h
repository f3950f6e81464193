#pragma once

#include "scene/GameScene.h"

#include <box2d/b2_body.h>

#include <memory>
#include <utility>
#include <vector>

// Drives a GameScene the way its window does: presented at a size, stepped at 60 frames per
// second on a frame clock of its own.
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

class FrameClock {
public:
    explicit FrameClock(GameScene &scene, double start = 100)
        : m_scene(scene)
        , m_frame(0)
        , m_start(start)
    {
    }
    double now() const { return m_start + m_frame * GameScene::timeStep; }
    // One frame: the frame step at the next frame time.
    void step()
    {
        ++m_frame;
        m_scene.update(now());
    }
    void run(int frames)
    {
        for (int i = 0; i < frames; ++i)
            step();
    }

private:
    GameScene &m_scene;
    int m_frame;
    double m_start;
};

// Holds the ball's centre still at a field position, touching nothing, as if it had flown
// there: the frame rules see it there at the next frame.
inline void placeBall(GameScene &scene, double x, double y)
{
    const QPointF p = scene.point(x, y) / GameScene::pointsPerMetre;
    scene.ballBody()->SetType(b2_staticBody);
    scene.ballBody()->SetTransform(b2Vec2(float(p.x()), float(p.y())), 0);
}

// Moves the ball from one field position to another over two frames, as a flight passing
// there would.
inline void moveBallAcross(GameScene &scene, FrameClock &clock, QPointF from, QPointF to)
{
    placeBall(scene, from.x(), from.y());
    clock.step();
    placeBall(scene, to.x(), to.y());
    clock.step();
}

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
    ScoreLog(const ScoreLog &) = delete;
    ScoreLog &operator=(const ScoreLog &) = delete;
};

} // namespace SceneTesting
