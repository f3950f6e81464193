#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <functional>

class GameScene;

// Shows the scene and runs its frame loop: at 60 frames per second while the scene is
// unpaused and something moves, and not at all otherwise. Each frame repaints only the
// rectangles that changed. Pointer events become scene points (y up) with a monotonic time.
class GameView : public QWidget {
    Q_OBJECT
public:
    explicit GameView(GameScene &scene, QWidget *parent = nullptr);
    ~GameView() override;

    // Called after each frame and each pointer event with the areas that changed (window
    // coordinates), before they are repainted; the panel adjusts its clip and input area there.
    std::function<void(const QList<QRect> &changed)> onFrame;

    bool isRunning() const { return m_frames.isActive(); }
    // Starts the frame loop unless the scene is paused or the view hidden; it stops by itself
    // once the scene rests.
    void wake();
    // Repaints the whole view, after the scene was rebuilt or the window's clip changed.
    void repaintAll();

    // Outlines the window and the area that takes pointer events (for debugging the overlay).
    void setDebugOutline(bool enabled);
    void setInputArea(const QRect &area);

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void frame();
    double nextFrameTime();
    void repaintChanges();
    QPointF scenePoint(const QMouseEvent &event) const;

    GameScene &m_scene;
    QTimer m_frames;
    // The frame clock runs while frames run: time spent stopped or paused does not pass for
    // the scene, so a flight resumes where it was instead of jumping.
    QElapsedTimer m_sinceFrame;
    bool m_debugOutline = false;
    QRect m_inputArea;
};
