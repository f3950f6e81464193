#pragma once

#include "wire/Hoop.h"

#include <QPointF>
#include <QSizeF>

// The field of a scene of a given size. Positions exchanged with the server are in field units:
// (0, 0) to (1, 1) across a square of side side() centred in the scene; a scene smaller than
// 400 points keeps a 400-point field that sticks out of it. Scene points: origin bottom-left,
// y up.
class SceneField {
public:
    explicit SceneField(QSizeF sceneSize);

    double side() const { return m_side; }
    QPointF origin() const { return m_origin; }
    QPointF point(double x, double y) const;
    QPointF point(QPointF fieldPoint) const { return point(fieldPoint.x(), fieldPoint.y()); }
    QPointF normalized(QPointF scenePoint) const;
    double ballRadius() const { return Hoop::standard().radius * m_side; }

private:
    double m_side;
    QPointF m_origin;
};
