#pragma once

#include "scene/NodeAction.h"

#include <QPointF>
#include <QRectF>
#include <QString>
#include <QTransform>

#include <memory>
#include <optional>
#include <vector>

// One element of the scene's retained drawing tree. Coordinates are the scene's points with
// the origin at the bottom-left and y growing upwards; a node's position and rotation apply
// to everything below it, and so does its alpha (multiplied down the tree).
// A plain Node is a group; ShapeNode and LabelNode draw.
//
// Every change marks the node, so that the view can repaint only what changed
// (collectDamage) instead of the whole window.
class Node {
public:
    enum class Kind { Group, Shape, Label };

    explicit Node(QString name = {});
    virtual ~Node();
    Node(const Node &) = delete;
    Node &operator=(const Node &) = delete;

    virtual Kind kind() const { return Kind::Group; }

    const QString &name() const { return m_name; }
    void setName(const QString &name);

    QPointF position() const { return m_position; }
    void setPosition(QPointF position);
    // Radians, counter-clockwise.
    qreal rotation() const { return m_rotation; }
    void setRotation(qreal radians);
    qreal alpha() const { return m_alpha; }
    void setAlpha(qreal alpha);
    bool isHidden() const { return m_hidden; }
    void setHidden(bool hidden);

    Node *parent() const { return m_parent; }
    const std::vector<std::unique_ptr<Node>> &children() const { return m_children; }
    bool hasChildren() const { return !m_children.empty(); }

    // The tree owns its nodes; the returned pointer stays valid until the node is removed.
    template <class T> T *addChild(std::unique_ptr<T> child)
    {
        T *raw = child.get();
        adopt(std::move(child));
        return raw;
    }
    void removeChild(const Node *child);
    void removeAllChildren();
    // Depth-first search of the subtree below this node.
    Node *findChild(QStringView name) const;

    // One action at a time; a new one replaces the running one. advanceActions runs the
    // actions of the whole subtree at frame time `now` and removes the nodes that asked for it.
    void run(const NodeAction &action);
    bool hasAction() const { return m_action.has_value(); }
    void advanceActions(double now);

    // Maps this node's coordinates to the scene's.
    QTransform sceneTransform() const;
    // The area that painting this node alone covers, in its own coordinates.
    virtual QRectF localBounds() const { return {}; }
    // The area that painting the visible subtree covers, in scene coordinates.
    QRectF sceneBounds() const;

    // Appends the scene rectangles to repaint since the last call: where changed nodes were
    // painted and where they are now.
    void collectDamage(std::vector<QRectF> &damage);

protected:
    void markChanged();
    // Sets a drawn property; returns whether it changed.
    template <class T> bool assign(T &member, const T &value)
    {
        if (member == value)
            return false;
        member = value;
        markChanged();
        return true;
    }

private:
    struct RunningAction {
        NodeAction action;
        std::optional<double> start;
        QPointF startPosition;
        qreal startAlpha = 1;
    };

    void adopt(std::unique_ptr<Node> child);
    void markSubtreeChanged();
    void uniteSceneBounds(const QTransform &toScene, QRectF &bounds) const;
    void refreshPainted();
    bool advanceOwnAction(double now);

    QString m_name;
    QPointF m_position;
    qreal m_rotation = 0;
    qreal m_alpha = 1;
    bool m_hidden = false;
    Node *m_parent = nullptr;
    std::vector<std::unique_ptr<Node>> m_children;
    std::optional<RunningAction> m_action;

    bool m_changed = true;
    bool m_subtreeChanged = true;
    QRectF m_painted;
    QRectF m_removedDamage;
};
