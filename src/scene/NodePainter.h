#pragma once

#include <QRectF>

class Node;
class QPainter;

// Draws a node tree with QPainter, antialiased. The scene's y axis points up and the
// painter's down, so the tree is drawn flipped into a device of the scene's height.
namespace NodePainter {

// `exposed` (scene coordinates) skips subtrees that lie wholly outside it; an empty
// rectangle draws everything. The painter's own clip still applies.
void paint(QPainter &painter, const Node &root, qreal sceneHeight, const QRectF &exposed = {});

// A scene rectangle as a device rectangle for a scene of the given height (the same flip
// turns a device rectangle back into a scene one).
QRectF toDevice(const QRectF &sceneRect, qreal sceneHeight);

} // namespace NodePainter
