#include "scene/DrawnRegion.h"

#include "scene/NodePainter.h"

#include <QBitmap>
#include <QImage>
#include <QPainter>

void DrawnRegion::refresh(const Node &root, qreal sceneHeight, const QList<QRect> &areas)
{
    for (const QRect &area : areas) {
        if (area.isEmpty())
            continue;
        QImage image(area.size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            painter.translate(-area.topLeft());
            NodePainter::paint(
                painter, root, sceneHeight, NodePainter::toDevice(area, sceneHeight));
        }
        const QRegion drawn(QBitmap::fromImage(image.createAlphaMask()));
        m_region = m_region.subtracted(QRegion(area)).united(drawn.translated(area.topLeft()));
    }
}
