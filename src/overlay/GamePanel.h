#pragma once

#include "overlay/InputShape.h"
#include "scene/DrawnRegion.h"

#include <QTimer>
#include <QWidget>

class GameScene;
class GameView;
class QScreen;

// The overlay's window: frameless, translucent, above other windows, on every virtual desktop,
// never focused, covering `frame` (global coordinates) on one screen. It takes pointer events
// only where the pointer rule allows. Without a compositing manager it clips itself to what
// the scene draws, since its transparent pixels would show black.
class GamePanel : public QWidget {
    Q_OBJECT
public:
    // The panel presents `scene` (which must outlive it) at the frame's size.
    GamePanel(GameScene &scene, QScreen *screen, const QRect &frame);
    ~GamePanel() override;

    GameView *view() const { return m_view; }
    // Shows the panel above other windows without activating it.
    void showOnTop();
    bool isCompositing() const { return m_compositing; }
    // The window area that takes pointer events now (logical coordinates).
    QRect inputArea() const { return m_input.area(); }

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void afterFrame(const QList<QRect> &changed);
    void refreshInput();
    void checkCompositor();
    void applyClip();

    GameScene &m_scene;
    GameView *m_view;
    InputShape m_input;
    DrawnRegion m_drawn;
    bool m_compositing = true;
    bool m_debugOutline = false;
    // A compositing manager can come and go at any time; nothing announces it to us.
    QTimer m_compositorCheck;
};
