#include "scene/ShapeNode.h"

ShapeNode::ShapeNode(QString name)
    : Node(std::move(name))
{
}

std::unique_ptr<ShapeNode> ShapeNode::circle(qreal radius)
{
    auto node = std::make_unique<ShapeNode>();
    QPainterPath path;
    path.addEllipse(QPointF(0, 0), radius, radius);
    node->setPath(path);
    return node;
}

std::unique_ptr<ShapeNode> ShapeNode::roundedRect(QSizeF size, qreal cornerRadius)
{
    auto node = std::make_unique<ShapeNode>();
    QPainterPath path;
    path.addRoundedRect(
        QRectF(QPointF(-size.width() / 2, -size.height() / 2), size), cornerRadius, cornerRadius);
    node->setPath(path);
    return node;
}

std::unique_ptr<ShapeNode> ShapeNode::line(QPointF from, QPointF to)
{
    auto node = std::make_unique<ShapeNode>();
    QPainterPath path(from);
    path.lineTo(to);
    node->setPath(path);
    return node;
}

void ShapeNode::setPath(const QPainterPath &path)
{
    m_path = path;
    markChanged();
}

void ShapeNode::swapPathIfDifferent(QPainterPath &candidate)
{
    if (candidate == m_path)
        return;
    m_path.swap(candidate);
    markChanged();
}

void ShapeNode::setStrokeColor(const QColor &color)
{
    assign(m_stroke, color);
}

void ShapeNode::setFillColor(const QColor &color)
{
    assign(m_fill, color);
}

void ShapeNode::setLineWidth(qreal width)
{
    assign(m_lineWidth, width);
}

QRectF ShapeNode::localBounds() const
{
    if (m_path.isEmpty())
        return {};
    // Half the pen sticks out of the path, plus a pixel of antialiasing.
    const qreal margin = (m_stroke.isValid() ? m_lineWidth / 2 : 0) + 1;
    return m_path.controlPointRect().adjusted(-margin, -margin, margin, margin);
}
