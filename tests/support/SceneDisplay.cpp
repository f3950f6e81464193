#include "SceneDisplay.h"

#include "scene/SceneField.h"

#include <QLineF>

SceneDisplay::SceneDisplay(QSizeF size)
{
    m_scene.setSize(size);
    m_scene.didMoveToView();
    m_frameTimer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_frameTimer, &QTimer::timeout, [this] {
        ++m_frames;
        m_scene.update(frameTime());
    });
    m_frameTimer.start(1000 / 60);
}

void SceneDisplay::configure(
    const std::optional<Round> &round, bool holder, bool available, double serverOffset)
{
    m_scene.configure({ round, holder, available, serverOffset });
    m_shownRound = round ? std::optional(round->id) : std::nullopt;
    if (onConfigured)
        onConfigured(m_shownRound);
}

void SceneDisplay::celebrate()
{
    ++m_celebrations;
    m_scene.celebrate();
}

void SceneDisplay::setSceneCallbacks(SceneCallbacks callbacks)
{
    m_scene.onPracticeScore = std::move(callbacks.onPracticeScore);
    m_scene.onTransfer = std::move(callbacks.onTransfer);
    m_scene.onShot = std::move(callbacks.onShot);
    m_scene.onScore = std::move(callbacks.onScore);
}

void SceneDisplay::drag(QPointF step)
{
    const SceneField field(m_scene.size());
    const QPointF start = field.point(GameScene::startSpot);
    const double side = field.side();
    m_scene.mouseDown(start, frameTime());
    for (int i = 1; i <= 4; ++i) {
        waitForNextFrame();
        m_scene.mouseDragged(start + step * side * i, frameTime());
    }
    waitForNextFrame();
    m_scene.mouseUp(start + step * side * 4, frameTime());
}

bool SceneDisplay::ballParked() const
{
    const Node *ball = m_scene.root().findChild(u"ball");
    const QPointF at = SceneField(m_scene.size()).normalized(ball->position());
    return !ball->isHidden() && QLineF(at, GameScene::startSpot).length() < 1e-6;
}
