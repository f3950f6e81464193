#include "scene/Node.h"

#include <algorithm>

Node::Node(QString name)
    : m_name(std::move(name))
{
}

Node::~Node() = default;

void Node::setName(const QString &name)
{
    m_name = name;
}

void Node::setPosition(QPointF position)
{
    assign(m_position, position);
}

void Node::setRotation(qreal radians)
{
    assign(m_rotation, radians);
}

void Node::setAlpha(qreal alpha)
{
    assign(m_alpha, alpha);
}

void Node::setHidden(bool hidden)
{
    assign(m_hidden, hidden);
}

void Node::adopt(std::unique_ptr<Node> child)
{
    child->m_parent = this;
    m_children.push_back(std::move(child));
    m_children.back()->markSubtreeChanged();
}

void Node::removeChild(const Node *child)
{
    const auto found = std::find_if(
        m_children.begin(), m_children.end(), [child](const auto &c) { return c.get() == child; });
    if (found == m_children.end())
        return;
    m_removedDamage |= (*found)->m_painted;
    m_children.erase(found);
    markSubtreeChanged();
}

void Node::removeAllChildren()
{
    if (m_children.empty())
        return;
    for (const auto &child : m_children)
        m_removedDamage |= child->m_painted;
    m_children.clear();
    markSubtreeChanged();
}

Node *Node::findChild(QStringView name) const
{
    for (const auto &child : m_children) {
        if (child->m_name == name)
            return child.get();
        if (Node *below = child->findChild(name))
            return below;
    }
    return nullptr;
}

void Node::run(const NodeAction &action)
{
    m_action = RunningAction { action, std::nullopt, m_position, m_alpha };
}

void Node::advanceActions(double now)
{
    for (std::size_t i = 0; i < m_children.size();) {
        Node *child = m_children[i].get();
        child->advanceActions(now);
        if (child->advanceOwnAction(now))
            removeChild(child);
        else
            ++i;
    }
}

// Returns whether the node asks to be taken out of the tree.
bool Node::advanceOwnAction(double now)
{
    if (!m_action)
        return false;
    RunningAction &running = *m_action;
    if (!running.start) {
        running.start = now;
        running.startPosition = m_position;
        running.startAlpha = m_alpha;
    }
    const double duration = running.action.duration;
    const double progress
        = duration > 0 ? std::clamp((now - *running.start) / duration, 0.0, 1.0) : 1.0;
    setPosition(running.startPosition + running.action.moveBy * progress);
    if (running.action.fadeTo)
        setAlpha(running.startAlpha + (*running.action.fadeTo - running.startAlpha) * progress);
    if (progress < 1)
        return false;
    const bool remove = running.action.removeWhenDone;
    m_action.reset();
    return remove;
}

QTransform Node::sceneTransform() const
{
    QTransform transform;
    for (const Node *n = this; n; n = n->m_parent) {
        QTransform own;
        own.translate(n->m_position.x(), n->m_position.y());
        own.rotateRadians(n->m_rotation);
        transform = transform * own;
    }
    return transform;
}

QRectF Node::sceneBounds() const
{
    QRectF bounds;
    uniteSceneBounds(sceneTransform(), bounds);
    return bounds;
}

void Node::uniteSceneBounds(const QTransform &toScene, QRectF &bounds) const
{
    if (m_hidden)
        return;
    const QRectF own = localBounds();
    if (!own.isEmpty())
        bounds |= toScene.mapRect(own);
    for (const auto &child : m_children) {
        QTransform childToScene;
        childToScene.translate(child->m_position.x(), child->m_position.y());
        childToScene.rotateRadians(child->m_rotation);
        child->uniteSceneBounds(childToScene * toScene, bounds);
    }
}

void Node::markChanged()
{
    m_changed = true;
    markSubtreeChanged();
}

// Flags this node and its ancestors up to the first one already flagged: a flagged node's
// ancestors are always flagged too.
void Node::markSubtreeChanged()
{
    m_subtreeChanged = true;
    for (Node *n = m_parent; n && !n->m_subtreeChanged; n = n->m_parent)
        n->m_subtreeChanged = true;
}

void Node::refreshPainted()
{
    m_painted = sceneBounds();
    m_changed = false;
    m_subtreeChanged = false;
    m_removedDamage = {};
    for (const auto &child : m_children)
        child->refreshPainted();
}

void Node::collectDamage(std::vector<QRectF> &damage)
{
    if (!m_subtreeChanged)
        return;
    if (!m_removedDamage.isEmpty()) {
        damage.push_back(m_removedDamage);
        m_removedDamage = {};
    }
    if (m_changed) {
        if (!m_painted.isEmpty())
            damage.push_back(m_painted);
        refreshPainted();
        if (!m_painted.isEmpty())
            damage.push_back(m_painted);
        return;
    }
    for (const auto &child : m_children)
        child->collectDamage(damage);
    m_painted = sceneBounds();
    m_subtreeChanged = false;
}
