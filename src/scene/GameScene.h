#pragma once

#include "wire/CrossingSample.h"
#include "wire/Entry.h"
#include "wire/Hoop.h"
#include "scene/AimGuide.h"
#include "scene/SceneDefinition.h"
#include "scene/SceneWorld.h"
#include "scene/ThrowGesture.h"

#include <QDateTime>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

// The throw scene: a ball, a hoop with backboard and net, a countdown and a hint line over a
// transparent background, with the ball flying in a Box2D world. It runs without a window:
// the host feeds it its size, frames and pointer events and paints its node tree.
//
// It is made of the world and its nodes (SceneWorld), the pointer gesture (ThrowGesture), the
// rules of a flight (ThrowRules) and the aim guide (AimGuide); it keeps the state of the round
// and of the throw that ties them together. Coordinates and field units: see SceneField.
//
// Frame loop contract for the host: call update(t) once per frame (60 per second) with a
// monotonic frame time in seconds; it runs the game rules, the node actions and the physics
// step. Then collectDamage() names the scene rectangles to repaint. Stop the frame loop while
// !needsFrames(); the scene calls onFrameNeeded when something outside a frame changed it.
class GameScene {
public:
    // The hoop used when there is none to score on, and in practice.
    static constexpr Hoop defaultHoop = Hoop::standard();
    // Where the ball waits to be thrown, in field units.
    static constexpr QPointF startSpot { 0.18, 0.18 };
    static constexpr double timeStep = SceneWorld::timeStep;

    GameScene();
    GameScene(const GameScene &) = delete;
    GameScene &operator=(const GameScene &) = delete;

    // --- Hosting ---------------------------------------------------------------------------
    QSizeF size() const { return m_size; }
    // The scene always has its view's size. While presented, a change rebuilds the nodes and
    // parks the ball again (a throw in flight is dropped).
    void setSize(QSizeF size);
    // The scene is shown in a view: builds the node tree and the physics world anew (a throw
    // in flight is dropped, as on a size change).
    void didMoveToView();
    void willMoveFromView();
    bool isPresented() const { return m_presented; }
    // A paused scene runs no frame step, physics or actions.
    void setPaused(bool paused);
    bool isPaused() const { return m_paused; }

    // The frame step: game rules, node actions, one fixed physics step per elapsed 1/60 s.
    void update(double currentTime);
    // The frame time of the latest frame step.
    double lastUpdate() const { return m_lastUpdate; }
    // Whether the next frames can change anything: a ball moving, an action or a countdown
    // running, a drag or a return under way.
    bool needsFrames() const;
    // Scene rectangles to repaint since the last call (appended).
    void collectDamage(std::vector<QRectF> &damage);
    const Node &root() const { return m_world.root(); }

    // --- Pointer input, scene coordinates, monotonic time in seconds -------------------------
    void mouseDown(QPointF location, double uptime);
    void mouseDragged(QPointF location, double uptime);
    void mouseUp(QPointF location, double uptime);
    // Where a press counts as touching the ball: the ball plus 20 points; empty while hidden.
    QRectF ballHitRect() const;
    // The ball is shown and can be thrown.
    bool isInteractive() const { return m_interactive; }
    // The user holds the ball.
    bool isDragging() const { return m_gesture.isDragging(); }

    // --- The coordinator's operations ---------------------------------------------------------
    // Called whenever the room state changes. Only a new round or a change of practice mode
    // resets the throw and redraws the hoop; the rest is refreshed on every call.
    void configure(const SceneDefinition &definition);
    // The "+1" effect at the ball.
    void celebrate();
    // Passing the ball on failed: the ball comes back and the hint shows the message.
    void transferFailed(const QString &message);
    // Puts the ball into flight; a release inside the field during a round or practice is a
    // tracked shot.
    void releaseBall(const Entry &entry);
    // The most recent release of the ball.
    std::optional<Entry> latestRelease() const { return m_latestRelease; }

    // Wall clock for the round's countdown; tests replace it.
    void setWallClock(std::function<QDateTime()> clock);

    // --- Callbacks, installed by the owners; a missing one is skipped --------------------------
    std::function<void()> onPracticeScore;
    std::function<void(const Entry &)> onTransfer;
    std::function<void(const QString &shotID, const Entry &)> onShot;
    std::function<void(
        const QString &shotID, const CrossingSample &before, const CrossingSample &after)>
        onScore;
    // Something changed outside a frame step (configuration, input, celebration): the host
    // restarts its frame loop.
    std::function<void()> onFrameNeeded;

private:
    void build();
    void rebuild();
    void resetForThrow();
    void parkBall();
    void didBegin();
    void updateAimGuide();
    void updateCountdown();
    // The rules for a ball in flight: speed limit, pass, miss, hoop crossing, rescue.
    void updateFlight(double currentTime);
    void requestFrame();

    QSizeF m_size;
    bool m_presented = false;
    bool m_paused = false;

    SceneWorld m_world;
    ThrowGesture m_gesture;
    AimGuide m_aimGuide;

    double m_lastUpdate = 0;
    std::optional<CrossingSample> m_previous;
    std::optional<double> m_shotStart;
    std::optional<QString> m_shotID;
    // The ball touched an edge, the backboard or a rim end during the flight.
    bool m_dirtyFlight = false;
    bool m_waitingForThrow = false;
    std::optional<double> m_returnAt;
    std::optional<QString> m_roundID;
    // The hoop that counts; none when there is nothing to score on.
    std::optional<Hoop> m_hoop;
    bool m_practice = false;
    int m_practiceHits = 0;
    bool m_active = false;
    bool m_sending = false;
    std::optional<Entry> m_latestRelease;
    std::optional<QDateTime> m_ends;
    double m_offset = 0;
    bool m_canTransfer = false;
    bool m_interactive = false;

    std::function<QDateTime()> m_wallClock;
    // The countdown's last shown whole seconds, so the label is formatted once per second.
    std::optional<qint64> m_shownSeconds;
};
