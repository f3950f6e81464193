#include "overlay/GameView.h"

#include "scene/GameScene.h"
#include "scene/NodePainter.h"
#include "scene/PointerRule.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include <vector>

namespace {

constexpr double framePeriod = 1.0 / 60;
// Antialiased edges and round caps reach a little beyond a node's bounds.
constexpr int paintMargin = 2;

} // namespace

GameView::GameView(GameScene &scene, QWidget *parent)
    : QWidget(parent)
    , m_scene(scene)
{
    m_frames.setTimerType(Qt::PreciseTimer);
    m_frames.setInterval(16);
    connect(&m_frames, &QTimer::timeout, this, &GameView::frame);
}

GameView::~GameView() = default;

void GameView::wake()
{
    if (m_scene.isPaused() || m_frames.isActive() || !isVisible())
        return;
    m_sinceFrame.invalidate();
    m_frames.start();
}

double GameView::nextFrameTime()
{
    const double elapsed = m_sinceFrame.isValid() ? m_sinceFrame.nsecsElapsed() / 1e9 : framePeriod;
    m_sinceFrame.start();
    return m_scene.lastUpdate() + elapsed;
}

void GameView::frame()
{
    if (m_scene.isPaused()) {
        m_frames.stop();
        return;
    }
    m_scene.update(nextFrameTime());
    repaintChanges();
    if (!m_scene.needsFrames())
        m_frames.stop();
}

void GameView::repaintChanges()
{
    std::vector<QRectF> damage;
    m_scene.collectDamage(damage);
    QList<QRect> changed;
    changed.reserve(qsizetype(damage.size()));
    for (const QRectF &sceneRect : damage) {
        const QRect area = NodePainter::toDevice(sceneRect, height())
                               .toAlignedRect()
                               .adjusted(-paintMargin, -paintMargin, paintMargin, paintMargin)
                               .intersected(rect());
        if (!area.isEmpty())
            changed.append(area);
    }
    if (onFrame)
        onFrame(changed);
    if (m_debugOutline) {
        update();
        return;
    }
    for (const QRect &area : std::as_const(changed))
        update(area);
}

void GameView::repaintAll()
{
    // The damage so far is covered by the full repaint.
    std::vector<QRectF> damage;
    m_scene.collectDamage(damage);
    update();
}

void GameView::setDebugOutline(bool enabled)
{
    m_debugOutline = enabled;
    update();
}

void GameView::setInputArea(const QRect &area)
{
    if (m_inputArea == area)
        return;
    if (m_debugOutline) {
        update(m_inputArea.adjusted(-1, -1, 1, 1));
        update(area.adjusted(-1, -1, 1, 1));
    }
    m_inputArea = area;
}

void GameView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    wake();
}

// Nothing on screen, nothing to run: a hidden view's scene is paused by its owner anyway.
void GameView::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    m_frames.stop();
}

void GameView::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    NodePainter::paint(
        painter, m_scene.root(), height(), NodePainter::toDevice(QRectF(event->rect()), height()));
    if (m_debugOutline) {
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(QColor(255, 0, 255), 2));
        painter.drawRect(rect().adjusted(1, 1, -1, -1));
        painter.setPen(QPen(QColor(0, 255, 255), 1, Qt::DashLine));
        if (!m_inputArea.isEmpty())
            painter.drawRect(m_inputArea.adjusted(0, 0, -1, -1));
    }
}

QPointF GameView::scenePoint(const QMouseEvent &event) const
{
    return PointerRule::toScene(event.position(), height());
}

void GameView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_scene.mouseDown(scenePoint(*event), PointerRule::monotonicSeconds());
    repaintChanges();
    wake();
}

void GameView::mouseMoveEvent(QMouseEvent *event)
{
    if (!(event->buttons() & Qt::LeftButton))
        return;
    m_scene.mouseDragged(scenePoint(*event), PointerRule::monotonicSeconds());
    wake();
}

void GameView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_scene.mouseUp(scenePoint(*event), PointerRule::monotonicSeconds());
    repaintChanges();
    wake();
}
