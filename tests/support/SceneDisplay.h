#pragma once

#include "scene/GameDisplay.h"
#include "scene/GameScene.h"

#include <QSignalSpy>
#include <QSizeF>
#include <QTimer>

#include <functional>

// A GameDisplay over a real GameScene without a window, stepped at 60 frames per second as the
// overlay's view steps it, for coordinator tests and timing tools. The test plays the pointer.
class SceneDisplay : public GameDisplay {
public:
    explicit SceneDisplay(QSizeF size = QSizeF(1920, 1080));

    GameScene &scene() { return m_scene; }
    bool visible() const { return m_visible; }
    int celebrations() const { return m_celebrations; }
    // Called after every configure, with the round the scene now shows (none: idle).
    std::function<void(const std::optional<QString> &roundID)> onConfigured;
    const std::optional<QString> &shownRound() const { return m_shownRound; }
    // Whether the scene draws the ball on the start spot.
    bool ballParked() const;

    // Pointer throws from the parked ball, as a hand would make them, one frame per move:
    // the assisted throw up and to the right that scores, and a short one straight up that
    // falls back without reaching the hoop.
    void throwTowardsTheHoop() { drag(QPointF(0.02, 0.02)); }
    void throwStraightUp() { drag(QPointF(0, 0.01)); }

    void show(bool shown) override { m_visible = shown; }
    void moveToScreen(int) override { }
    void configure(const std::optional<Round> &round, bool holder, bool available,
        double serverOffset) override;
    void celebrate() override;
    void transferFailed(const QString &reason) override { m_scene.transferFailed(reason); }
    std::optional<Entry> latestRelease() const override { return m_scene.latestRelease(); }
    void setSceneCallbacks(SceneCallbacks callbacks) override;

private:
    // Drags from the start spot by `step` field sides per frame for four frames, then lets go.
    void drag(QPointF step);
    void waitForNextFrame() { QSignalSpy(&m_frameTimer, &QTimer::timeout).wait(); }
    double frameTime() const { return m_frames * GameScene::timeStep; }

    GameScene m_scene;
    QTimer m_frameTimer;
    qint64 m_frames = 0;
    std::optional<QString> m_shownRound;
    bool m_visible = false;
    int m_celebrations = 0;
};
