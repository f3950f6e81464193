#include "scene/SceneField.h"

#include <algorithm>

SceneField::SceneField(QSizeF sceneSize)
    : m_side(std::max(std::min(sceneSize.width(), sceneSize.height()), 400.0))
    , m_origin((sceneSize.width() - m_side) * 0.5, (sceneSize.height() - m_side) * 0.5)
{
}

QPointF SceneField::point(double x, double y) const
{
    return m_origin + QPointF(x * m_side, y * m_side);
}

QPointF SceneField::normalized(QPointF scenePoint) const
{
    const QPointF fromOrigin = scenePoint - m_origin;
    return QPointF(fromOrigin.x() / m_side, fromOrigin.y() / m_side);
}
