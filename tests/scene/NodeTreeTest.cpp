#include "scene/LabelNode.h"
#include "scene/ShapeNode.h"

#include <QGuiApplication>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QRectF unite(const std::vector<QRectF> &rects)
{
    QRectF all;
    for (const QRectF &r : rects)
        all |= r;
    return all;
}

bool covers(const std::vector<QRectF> &damage, const QRectF &area)
{
    QRegion region;
    for (const QRectF &r : damage)
        region += r.toAlignedRect();
    return (QRegion(area.toAlignedRect()) - region).isEmpty();
}

} // namespace

// The retained tree: lookup, transforms, actions and the damage the view repaints.
class NodeTreeTest : public QObject {
    Q_OBJECT
private slots:
    void findsNodesDepthFirstByName()
    {
        Node root;
        auto *group = root.addChild(std::make_unique<Node>(u"visibleHoop"_s));
        auto *rim = group->addChild(ShapeNode::line({ -10, 0 }, { 10, 0 }));
        rim->setName(u"rim"_s);
        auto *label = root.addChild(std::make_unique<LabelNode>(u"rim"_s));
        QCOMPARE(root.findChild(u"visibleHoop"), group);
        QCOMPARE(root.findChild(u"rim"), rim); // the deeper one comes first in depth-first order
        QCOMPARE(rim->parent(), group);
        group->removeChild(rim);
        QCOMPARE(root.findChild(u"rim"), label);
        QVERIFY(!root.findChild(u"net"));
    }

    void childrenFollowTheirParentsTransform()
    {
        Node root;
        auto *ball = root.addChild(ShapeNode::circle(10));
        auto *seam = ball->addChild(ShapeNode::line({ -10, 0 }, { 10, 0 }));
        ball->setPosition({ 100, 50 });
        ball->setRotation(M_PI / 2);
        const QPointF end = seam->sceneTransform().map(QPointF(10, 0));
        QVERIFY(qAbs(end.x() - 100) < 1e-9);
        QVERIFY(qAbs(end.y() - 60) < 1e-9); // turned a quarter counter-clockwise
        const QRectF bounds = ball->sceneBounds();
        QVERIFY(bounds.contains(QRectF(90, 40, 20, 20)));
        ball->setHidden(true);
        QVERIFY(ball->sceneBounds().isEmpty());
    }

    void moveAndFadeActionRunsOnTheFrameClockThenRemoves()
    {
        Node root;
        auto *plusOne = root.addChild(std::make_unique<LabelNode>(u"plusOne"_s));
        plusOne->setPosition({ 10, 20 });
        plusOne->run({ QPointF(0, 80), 0.0, 0.65, true });
        root.advanceActions(100.0); // the first frame starts it
        QCOMPARE(plusOne->position(), QPointF(10, 20));
        root.advanceActions(100.325);
        QVERIFY(qAbs(plusOne->position().y() - 60) < 1e-9);
        QVERIFY(qAbs(plusOne->alpha() - 0.5) < 1e-9);
        QVERIFY(root.findChild(u"plusOne"));
        root.advanceActions(100.65);
        QVERIFY(!root.findChild(u"plusOne"));
    }

    void damageCoversOldAndNewPlaceOfWhatMoved()
    {
        Node root;
        auto *ball = root.addChild(ShapeNode::circle(10));
        ball->setFillColor(Qt::red);
        auto *hoop = root.addChild(ShapeNode::line({ 400, 300 }, { 500, 300 }));
        hoop->setStrokeColor(Qt::blue);
        hoop->setLineWidth(5);
        std::vector<QRectF> damage;
        root.collectDamage(damage);
        QVERIFY(covers(damage, QRectF(-10, -10, 20, 20)));
        QVERIFY(covers(damage, QRectF(400, 297.5, 100, 5)));

        damage.clear();
        root.collectDamage(damage);
        QVERIFY(damage.empty()); // nothing changed, nothing to repaint

        ball->setPosition({ 100, 0 });
        ball->setPosition({ 100, 0 });
        root.collectDamage(damage);
        QVERIFY(covers(damage, QRectF(-10, -10, 20, 20)));
        QVERIFY(covers(damage, QRectF(90, -10, 20, 20)));
        QVERIFY(!unite(damage).intersects(QRectF(390, 290, 120, 20))); // the hoop stays as it is
    }

    void damageOfRemovedAndHiddenNodes()
    {
        Node root;
        auto *group = root.addChild(std::make_unique<Node>(u"aimGuide"_s));
        auto *path = group->addChild(ShapeNode::line({ 0, 0 }, { 200, 100 }));
        path->setStrokeColor(Qt::green);
        auto *label = root.addChild(std::make_unique<LabelNode>(u"hint"_s));
        label->setText(u"Hoop ready"_s);
        label->setPosition({ 600, 40 });
        std::vector<QRectF> damage;
        root.collectDamage(damage);

        // A child added and removed before painting leaves no damage (it lay on the label).
        root.removeChild(root.addChild(ShapeNode::line({ 590, 40 }, { 610, 40 })));
        damage.clear();
        group->removeAllChildren();
        root.collectDamage(damage);
        QVERIFY(covers(damage, QRectF(0, 0, 200, 100)));
        QVERIFY(!unite(damage).intersects(label->sceneBounds()));

        damage.clear();
        const QRectF shown = label->sceneBounds();
        label->setHidden(true);
        root.collectDamage(damage);
        QVERIFY(covers(damage, shown));

        damage.clear();
        label->setText(u"Hoop ready, longer"_s); // hidden: changes nothing on screen
        label->setHidden(false);
        root.collectDamage(damage);
        QVERIFY(covers(damage, label->sceneBounds()));
        QVERIFY(label->sceneBounds().width() > shown.width());

        damage.clear();
        const QRectF last = label->sceneBounds();
        root.removeChild(label);
        root.collectDamage(damage);
        QVERIFY(covers(damage, last));
    }
};

QTEST_MAIN(NodeTreeTest)
#include "NodeTreeTest.moc"
