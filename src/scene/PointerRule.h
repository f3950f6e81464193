#pragma once

#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QSizeF>

// How pointer input reaches the scene. The window and the scene share origin and size, but
// the scene's y grows upwards and the window's downwards.
namespace PointerRule {

struct SceneInput {
    bool shown = false;
    bool interactive = false;
    bool dragging = false;
    QRectF ballHitRect; // scene coordinates
};

// The window area (logical, y down) that takes pointer events: all of it while the ball is
// held (the drag may leave the ball), the ball's hit rectangle while it can be grabbed, and
// nothing while the ball is hidden or the window is not shown.
QRect inputArea(const SceneInput &input, const QSizeF &sceneSize);

// A window position as a scene point, and back (the same flip).
QPointF toScene(QPointF windowPosition, qreal sceneHeight);

// Seconds on a monotonic clock, for pointer samples.
double monotonicSeconds();

} // namespace PointerRule
