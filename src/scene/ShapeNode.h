#pragma once

#include "scene/Node.h"

#include <QColor>
#include <QPainterPath>

// A node that strokes and fills a path in its own coordinates. An invalid colour means
// no stroke or no fill.
class ShapeNode : public Node {
public:
    explicit ShapeNode(QString name = {});

    static std::unique_ptr<ShapeNode> circle(qreal radius);
    static std::unique_ptr<ShapeNode> roundedRect(QSizeF size, qreal cornerRadius);
    static std::unique_ptr<ShapeNode> line(QPointF from, QPointF to);

    Kind kind() const override { return Kind::Shape; }

    const QPainterPath &path() const { return m_path; }
    void setPath(const QPainterPath &path);
    // Takes `candidate` when it differs from the current path and leaves the previous path in
    // it, so a caller that rebuilds a path every frame reuses the same two buffers.
    void swapPathIfDifferent(QPainterPath &candidate);

    QColor strokeColor() const { return m_stroke; }
    void setStrokeColor(const QColor &color);
    QColor fillColor() const { return m_fill; }
    void setFillColor(const QColor &color);
    qreal lineWidth() const { return m_lineWidth; }
    void setLineWidth(qreal width);

    QRectF localBounds() const override;

private:
    QPainterPath m_path;
    QColor m_stroke;
    QColor m_fill;
    qreal m_lineWidth = 1;
};
