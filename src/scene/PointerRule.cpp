#include "scene/PointerRule.h"

#include "scene/NodePainter.h"

#include <chrono>

namespace PointerRule {

QRect inputArea(const SceneInput &input, const QSizeF &sceneSize)
{
    if (!input.shown || !input.interactive)
        return {};
    const QRectF window(QPointF(0, 0), sceneSize);
    if (input.dragging)
        return window.toAlignedRect();
    return NodePainter::toDevice(input.ballHitRect, sceneSize.height())
        .intersected(window)
        .toAlignedRect();
}

QPointF toScene(QPointF windowPosition, qreal sceneHeight)
{
    return { windowPosition.x(), sceneHeight - windowPosition.y() };
}

double monotonicSeconds()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

} // namespace PointerRule
