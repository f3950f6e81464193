#include "scene/NodePainter.h"

#include "scene/LabelNode.h"
#include "scene/ShapeNode.h"

#include <QPainter>

#include <QtMath>

namespace {

void paintNode(QPainter &painter, const Node &node, const QRectF &exposed)
{
    if (node.isHidden() || node.alpha() <= 0)
        return;
    if (!exposed.isEmpty() && !node.sceneBounds().intersects(exposed))
        return;
    painter.save();
    painter.translate(node.position());
    if (node.rotation() != 0)
        painter.rotate(qRadiansToDegrees(node.rotation()));
    painter.setOpacity(painter.opacity() * node.alpha());

    switch (node.kind()) {
    case Node::Kind::Shape: {
        const auto &shape = static_cast<const ShapeNode &>(node);
        if (shape.strokeColor().isValid())
            painter.setPen(QPen(shape.strokeColor(), shape.lineWidth(), Qt::SolidLine, Qt::RoundCap,
                Qt::RoundJoin));
        else
            painter.setPen(Qt::NoPen);
        painter.setBrush(
            shape.fillColor().isValid() ? QBrush(shape.fillColor()) : QBrush(Qt::NoBrush));
        painter.drawPath(shape.path());
        break;
    }
    case Node::Kind::Label: {
        const auto &label = static_cast<const LabelNode &>(node);
        if (!label.text().isEmpty()) {
            painter.save();
            painter.scale(1, -1); // text stays upright in the flipped scene
            painter.setFont(label.font());
            painter.setPen(label.color());
            painter.drawText(QPointF(label.textOffset(), 0), label.text());
            painter.restore();
        }
        break;
    }
    case Node::Kind::Group:
        break;
    }

    for (const auto &child : node.children())
        paintNode(painter, *child, exposed);
    painter.restore();
}

} // namespace

namespace NodePainter {

void paint(QPainter &painter, const Node &root, qreal sceneHeight, const QRectF &exposed)
{
    painter.save();
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    painter.setTransform(QTransform(1, 0, 0, -1, 0, sceneHeight), true);
    paintNode(painter, root, exposed);
    painter.restore();
}

QRectF toDevice(const QRectF &sceneRect, qreal sceneHeight)
{
    return QRectF(
        sceneRect.left(), sceneHeight - sceneRect.bottom(), sceneRect.width(), sceneRect.height());
}

} // namespace NodePainter
