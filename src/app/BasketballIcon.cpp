#include "BasketballIcon.h"

#include <QPainter>
#include <QPainterPath>

namespace BasketballIcon {

QPixmap pixmap(int size)
{
    QPixmap image(size, size);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    // Drawn on a 64-unit square, the same geometry as data/tosswick.svg.
    painter.scale(size / 64.0, size / 64.0);
    const QColor seam(0x3a, 0x1a, 0x00);
    painter.setPen(QPen(seam, 3.0));
    painter.setBrush(QColor(0xFF, 0x95, 0x00));
    painter.drawEllipse(QPointF(32, 32), 29, 29);
    painter.setBrush(Qt::NoBrush);
    painter.drawLine(QPointF(32, 3), QPointF(32, 61));
    painter.drawLine(QPointF(3, 32), QPointF(61, 32));
    QPainterPath left;
    left.moveTo(12, 11);
    left.cubicTo(24, 22, 24, 42, 12, 53);
    QPainterPath right;
    right.moveTo(52, 11);
    right.cubicTo(40, 22, 40, 42, 52, 53);
    painter.drawPath(left);
    painter.drawPath(right);
    return image;
}

QIcon icon()
{
    QIcon result;
    for (int size : { 16, 22, 24, 32, 48, 64, 128, 256 })
        result.addPixmap(pixmap(size));
    return result;
}

} // namespace BasketballIcon
