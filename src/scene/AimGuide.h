#pragma once

#include "wire/Hoop.h"

#include <QPainterPath>
#include <QPointF>

class LabelNode;
class Node;
class SceneField;
class ShapeNode;

// The aim guide: the predicted flight from the ball, coloured by its grade, over a wider white
// outline, and a line of words beside the ball. Its nodes live on across frames so that an
// unchanged guide changes no node and costs no repaint.
class AimGuide {
public:
    // The group the guide draws into (owned by the node tree); a rebuilt tree hands a new one.
    void attach(Node *group);
    // velocity: the launch velocity in field sides per second.
    void draw(const SceneField &field, QPointF ballAt, QPointF velocity, const Hoop &hoop);
    void clear();
    bool isShown() const;

private:
    Node *m_group = nullptr;
    ShapeNode *m_outline = nullptr;
    ShapeNode *m_trajectory = nullptr;
    LabelNode *m_label = nullptr;
    // Swapped with the trajectory node's path, so a redraw allocates nothing.
    QPainterPath m_path;
};
