#include "overlay/Overlay.h"

#include "overlay/GamePanel.h"
#include "overlay/GameView.h"
#include "scene/GameScene.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>

Overlay::Overlay(QObject *parent)
    : QObject(parent)
    , m_scene(std::make_unique<GameScene>())
{
    m_scene->onFrameNeeded = [this] {
        if (m_panel)
            m_panel->view()->wake();
    };
    for (QScreen *screen : QGuiApplication::screens())
        watchScreen(screen);
    connect(qGuiApp, &QGuiApplication::screenAdded, this, [this](QScreen *screen) {
        watchScreen(screen);
        scheduleRebuild();
    });
    connect(qGuiApp, &QGuiApplication::screenRemoved, this, &Overlay::scheduleRebuild);
    // The primary screen always comes first: a new primary changes what the index names.
    connect(qGuiApp, &QGuiApplication::primaryScreenChanged, this, &Overlay::scheduleRebuild);
}

Overlay::~Overlay() = default;

void Overlay::setScreenIndex(int index)
{
    index = std::max(index, 0);
    if (index == m_screenIndex)
        return;
    m_screenIndex = index;
    emit screenIndexChanged();
}

void Overlay::show(bool visible)
{
    const bool changed = visible != m_visible;
    m_visible = visible;
    m_scene->setPaused(!visible);
    if (!m_panel)
        rebuild();
    else if (visible)
        m_panel->showOnTop();
    else
        m_panel->hide();
    if (changed)
        emit visibleChanged();
}

void Overlay::rebuild()
{
    m_panel.reset();
    const QList<QScreen *> screens = QGuiApplication::screens();
    if (screens.isEmpty())
        return;
    setScreenIndex(std::min(m_screenIndex, int(screens.size()) - 1));
    QScreen *screen = screens.at(m_screenIndex);
    m_panel = std::make_unique<GamePanel>(*m_scene, screen, screen->availableGeometry());
    if (m_visible)
        m_panel->showOnTop();
}

void Overlay::watchScreen(QScreen *screen)
{
    connect(screen, &QScreen::geometryChanged, this, &Overlay::scheduleRebuild);
    connect(screen, &QScreen::availableGeometryChanged, this, &Overlay::scheduleRebuild);
}

// Screen signals come in bursts and while the screen list is still changing; one rebuild
// after the burst, from the event loop, sees the final list.
void Overlay::scheduleRebuild()
{
    if (m_rebuildPending)
        return;
    m_rebuildPending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_rebuildPending = false;
            rebuild();
        },
        Qt::QueuedConnection);
}
