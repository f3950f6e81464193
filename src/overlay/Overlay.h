#pragma once

#include <QObject>

#include <memory>

class GamePanel;
class GameScene;
class QScreen;

// Puts the throw scene over the desktop: one panel on the chosen screen's available area,
// rebuilt on every change of the screens, also of the primary one, and kept in the visibility
// it had. The overlay owns the one scene for its whole life; the scene's state survives every
// rebuild of the panel.
// Hidden, the scene is paused: no frame, physics step or animation runs.
class Overlay : public QObject {
    Q_OBJECT
    Q_PROPERTY(int screenIndex READ screenIndex WRITE setScreenIndex NOTIFY screenIndexChanged)
    Q_PROPERTY(bool visible READ isVisible NOTIFY visibleChanged)
public:
    explicit Overlay(QObject *parent = nullptr);
    ~Overlay() override;

    GameScene &scene() { return *m_scene; }
    // None before the first show or rebuild, and while there is no screen.
    GamePanel *panel() const { return m_panel.get(); }

    // Index into the application's list of screens. Takes effect at the next rebuild, which
    // brings an index beyond the last screen back to the last one.
    int screenIndex() const { return m_screenIndex; }
    void setScreenIndex(int index);

    bool isVisible() const { return m_visible; }
    // Shows or hides the overlay, building the panel first when there is none.
    void show(bool visible);
    // Recreates the panel on the selected screen, shown if the overlay is visible.
    void rebuild();

signals:
    void screenIndexChanged();
    void visibleChanged();

private:
    void watchScreen(QScreen *screen);
    void scheduleRebuild();

    std::unique_ptr<GameScene> m_scene;
    // Declared after the scene, so destroyed before it: the panel presents the scene.
    std::unique_ptr<GamePanel> m_panel;
    int m_screenIndex = 0;
    // Kept apart from the panel: a screen that comes back after all were gone shows the
    // overlay again if it was meant to be visible.
    bool m_visible = false;
    bool m_rebuildPending = false;
};
