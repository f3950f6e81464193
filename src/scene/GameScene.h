#pragma once

#include "wire/CrossingSample.h"
#include "wire/Entry.h"
#include "wire/Hoop.h"
#include "wire/Round.h"
#include "scene/BallContactListener.h"
#include "scene/Node.h"

#include <QDateTime>
#include <QPainterPath>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class LabelNode;
class ShapeNode;
class b2Body;
class b2World;

// The throw scene: a ball, a hoop with backboard and net, a countdown and a hint line over a
// transparent background, with the ball flying in a Box2D world. It runs without a window:
// the host feeds it its size, frames and pointer events and paints its node tree.
//
// Coordinates are scene points, origin bottom-left, y up. Positions exchanged with the server
// are in field units: (0, 0) to (1, 1) across a square of side fieldSide() centred in the scene.
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
    // Box2D works in metres; the scene maps 150 points to one.
    static constexpr double pointsPerMetre = 150;
    // The fixed physics step; one per frame at 60 frames per second.
    static constexpr double timeStep = 1.0 / 60;

    struct PointerSample {
        QPointF location;
        // Monotonic seconds.
        double time = 0;
    };

    GameScene();
    ~GameScene();
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
    // Whether the next frames can change anything: a ball moving, an action or a countdown
    // running, a drag or a return under way.
    bool needsFrames() const;
    // Scene rectangles to repaint since the last call (appended).
    void collectDamage(std::vector<QRectF> &damage);
    const Node &root() const { return m_root; }

    // --- Pointer input, scene coordinates, monotonic time in seconds -------------------------
    void mouseDown(QPointF location, double uptime);
    void mouseDragged(QPointF location, double uptime);
    void mouseUp(QPointF location, double uptime);
    // Where a press counts as touching the ball: the ball plus 20 points; empty while hidden.
    QRectF ballHitRect() const;

    // --- The coordinator's operations ---------------------------------------------------------
    // Called whenever the room state changes. Only a new round or a change of practice mode
    // resets the throw and redraws the hoop; the rest is refreshed on every call.
    void configure(
        const std::optional<Round> &round, bool holder, bool available, double serverOffset);
    // The "+1" effect at the ball.
    void celebrate();
    // Passing the ball on failed: the ball comes back and the hint shows the message.
    void transferFailed(const QString &message);
    // Puts the ball into flight; a release inside the field during a round or practice is a
    // tracked shot.
    void releaseBall(const Entry &entry);
    // The ball began touching something it collides with (edge, backboard, rim end).
    void didBegin();

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

    // --- Field geometry, recomputed from the current size at every use -------------------------
    double fieldSide() const;
    QPointF origin() const;
    QPointF point(double x, double y) const;
    QPointF normalized(QPointF scenePoint) const;
    double ballRadius() const;

    // --- State --------------------------------------------------------------------------------
    bool isDragging() const { return m_dragging; }
    std::optional<QPointF> gestureStart() const { return m_gestureStart; }
    std::optional<QPointF> gestureEnd() const { return m_gestureEnd; }
    const std::vector<PointerSample> &samples() const { return m_samples; }
    double lastUpdate() const { return m_lastUpdate; }
    std::optional<CrossingSample> previous() const { return m_previous; }
    std::optional<double> shotStart() const { return m_shotStart; }
    const std::optional<QString> &shotID() const { return m_shotID; }
    bool isDirtyFlight() const { return m_dirtyFlight; }
    bool isWaitingForThrow() const { return m_waitingForThrow; }
    std::optional<double> returnAt() const { return m_returnAt; }
    const std::optional<QString> &roundID() const { return m_roundID; }
    std::optional<Hoop> hoop() const { return m_hoop; }
    bool isPractice() const { return m_practice; }
    int practiceHits() const { return m_practiceHits; }
    bool isActive() const { return m_active; }
    bool isSending() const { return m_sending; }
    std::optional<Entry> latestRelease() const { return m_latestRelease; }
    const std::optional<QDateTime> &ends() const { return m_ends; }
    double offset() const { return m_offset; }
    bool canTransfer() const { return m_canTransfer; }
    bool isInteractive() const { return m_interactive; }

    // --- The ball -----------------------------------------------------------------------------
    const ShapeNode &ball() const { return *m_ball; }
    const Node &hoopNode() const { return *m_hoopNode; }
    const LabelNode &timerLabel() const { return *m_timerLabel; }
    const LabelNode &hint() const { return *m_hint; }
    const Node &aimGuide() const { return *m_aimGuide; }
    QPointF ballPosition() const;
    // Points per second.
    QPointF ballVelocity() const;
    bool isBallDynamic() const;
    // The ball's body, for tests that place the ball or watch its contacts.
    b2Body *ballBody() const { return m_ballBody; }

private:
    void build();
    void rebuild();
    void drawHoop(const Hoop &hoop);
    void clearHoop();
    void resetForThrow();
    void drawAimGuide();
    void clearAimGuide();
    void updateCountdown();
    // The rules for a ball in flight: speed limit, pass, miss, hoop crossing, rescue.
    void updateFlight(double currentTime);
    void stepPhysics(double currentTime);
    void syncBallNode();
    void setBallPosition(QPointF scenePoint);
    void setBallVelocity(QPointF pointsPerSecond);
    void setBallDynamic(bool dynamic);
    void setBallHidden(bool hidden);
    void requestFrame();

    QSizeF m_size;
    bool m_presented = false;
    bool m_paused = false;

    Node m_root;
    ShapeNode *m_ball = nullptr;
    Node *m_hoopNode = nullptr;
    LabelNode *m_timerLabel = nullptr;
    LabelNode *m_hint = nullptr;
    Node *m_aimGuide = nullptr;
    // The aim guide's three nodes while it is shown; kept across frames so that an unchanged
    // guide costs no repaint.
    ShapeNode *m_guideOutline = nullptr;
    ShapeNode *m_guideTrajectory = nullptr;
    LabelNode *m_guideLabel = nullptr;

    bool m_dragging = false;
    std::optional<QPointF> m_gestureStart;
    std::optional<QPointF> m_gestureEnd;
    std::vector<PointerSample> m_samples;
    double m_lastUpdate = 0;
    std::optional<CrossingSample> m_previous;
    std::optional<double> m_shotStart;
    std::optional<QString> m_shotID;
    bool m_dirtyFlight = false;
    bool m_waitingForThrow = false;
    std::optional<double> m_returnAt;
    std::optional<QString> m_roundID;
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
    // Two path buffers for the aim guide, swapped with the trajectory node's.
    QPainterPath m_guidePath;

    // The world is rebuilt with the node tree; bodies belong to it.
    std::unique_ptr<b2World> m_world;
    BallContactListener m_contacts;
    b2Body *m_ballBody = nullptr;
    std::vector<b2Body *> m_hoopBodies;
    std::optional<double> m_physicsTime;
    double m_physicsBacklog = 0;
};
