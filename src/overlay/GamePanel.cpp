#include "overlay/GamePanel.h"

#include "overlay/GameView.h"
#include "overlay/X11Window.h"
#include "scene/GameScene.h"
#include "scene/PointerRule.h"

#include <QScreen>

namespace {

// TOSSWICK_OVERLAY_DEBUG=1 outlines the window and the area that takes pointer events.
bool debugOutlineRequested()
{
    return qEnvironmentVariableIntValue("TOSSWICK_OVERLAY_DEBUG") != 0;
}

// A mask must not be empty: an empty one means no clipping at all.
const QRegion nothingShown(-2, -2, 1, 1);

QRegion outline(const QRect &area, int width)
{
    return QRegion(area).subtracted(QRegion(area.adjusted(width, width, -width, -width)));
}

} // namespace

GamePanel::GamePanel(GameScene &scene, QScreen *screen, const QRect &frame)
    : QWidget(nullptr,
        Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus
            | Qt::NoDropShadowWindowHint)
    , m_scene(scene)
    , m_view(new GameView(scene, this))
    , m_input(this)
    , m_debugOutline(debugOutlineRequested())
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_X11DoNotAcceptFocus);
    setFocusPolicy(Qt::NoFocus);
    setWindowTitle(QStringLiteral("Tosswick overlay"));
    setScreen(screen);
    setGeometry(frame);
    m_view->setGeometry(rect());
    m_view->setDebugOutline(m_debugOutline);

    // The native window exists from here on; the desktop hints must be there before mapping.
    X11Window::showOnAllDesktops(winId());
    m_input.set({});

    m_scene.setSize(QSizeF(frame.size()));
    m_scene.didMoveToView();
    m_view->onFrame = [this](const QList<QRect> &changed) { afterFrame(changed); };

    m_compositorCheck.setInterval(1000);
    connect(&m_compositorCheck, &QTimer::timeout, this, &GamePanel::checkCompositor);
    m_compositing = !X11Window::isAvailable() || X11Window::compositorRunning(winId());
    if (!m_compositing)
        m_drawn.refresh(m_scene.root(), height(), { rect() });
    applyClip();
}

GamePanel::~GamePanel()
{
    m_scene.willMoveFromView();
}

void GamePanel::showOnTop()
{
    show();
    raise();
}

void GamePanel::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (X11Window::isAvailable())
        m_compositorCheck.start();
    checkCompositor();
    refreshInput();
}

void GamePanel::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    m_compositorCheck.stop();
    refreshInput();
}

void GamePanel::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_view->setGeometry(rect());
    // The scene always has the view's size, also when a window manager overrides ours.
    m_scene.setSize(QSizeF(size()));
}

void GamePanel::afterFrame(const QList<QRect> &changed)
{
    if (!m_compositing && !changed.isEmpty()) {
        m_drawn.refresh(m_scene.root(), height(), changed);
        applyClip();
    }
    refreshInput();
}

void GamePanel::refreshInput()
{
    const PointerRule::SceneInput state { isVisible(), m_scene.isInteractive(),
        m_scene.isDragging(), m_scene.ballHitRect() };
    const QRect before = m_input.area();
    m_input.set(PointerRule::inputArea(state, QSizeF(size())));
    m_view->setInputArea(m_input.area());
    if (m_debugOutline && !m_compositing && m_input.area() != before)
        applyClip();
}

void GamePanel::checkCompositor()
{
    const bool compositing = !X11Window::isAvailable() || X11Window::compositorRunning(winId());
    if (compositing == m_compositing)
        return;
    m_compositing = compositing;
    if (!m_compositing)
        m_drawn.refresh(m_scene.root(), height(), { rect() });
    applyClip();
    m_view->repaintAll();
}

void GamePanel::applyClip()
{
    if (m_compositing) {
        clearMask();
        return;
    }
    QRegion shown = m_drawn.region();
    if (m_debugOutline)
        shown += outline(rect(), 2) + outline(m_input.area(), 1);
    setMask(shown.isEmpty() ? nothingShown : shown);
}
