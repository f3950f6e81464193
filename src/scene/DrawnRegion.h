#pragma once

#include <QList>
#include <QRect>
#include <QRegion>

class Node;

// The window pixels that the scene's drawing covers, kept up to date area by area. Without a
// compositor a translucent window shows black wherever it is transparent, so the window is
// clipped to this region.
class DrawnRegion {
public:
    // Draws the tree into each area (window coordinates, y down) and replaces the region there
    // by the pixels that came out at least half opaque.
    void refresh(const Node &root, qreal sceneHeight, const QList<QRect> &areas);
    const QRegion &region() const { return m_region; }

private:
    QRegion m_region;
};
