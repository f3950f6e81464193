#include "scene/LabelNode.h"
#include "scene/ShapeNode.h"

#include <QGuiApplication>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// The damage collected since the last call, as one region.
QRegion damage(Node &root)
{
    std::vector<QRectF> rects;
    root.collectDamage(rects);
    QRegion region;
    for (const QRectF &r : rects)
        region += r.toAlignedRect();
    return region;
}

bool covers(const QRegion &region, const QRectF &area)
{
    return (QRegion(area.toAlignedRect()) - region).isEmpty();
}

} // namespace

// The retained tree: lookup, actions and the damage the view repaints.
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
        QCOMPARE(root.findChild(u"rim"), rim); // the deeper one comes first in depth-first order
        group->removeChild(rim);
        QCOMPARE(root.findChild(u"rim"), label);
        QVERIFY(!root.findChild(u"net"));
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
        QCOMPARE(QPointF(plusOne->position().y(), plusOne->alpha()), QPointF(60, 0.5));
        QVERIFY(root.findChild(u"plusOne"));
        root.advanceActions(100.65);
        QVERIFY(!root.findChild(u"plusOne"));
    }

    // What changed is repainted where it was and where it is now, and nothing else.
    void damageCoversOldAndNewPlaces()
    {
        Node root;
        auto *ball = root.addChild(ShapeNode::circle(10));
        ball->setFillColor(Qt::red);
        auto *hoop = root.addChild(ShapeNode::line({ 400, 300 }, { 500, 300 }));
        hoop->setStrokeColor(Qt::blue);
        hoop->setLineWidth(5);
        auto *label = root.addChild(std::make_unique<LabelNode>(u"hint"_s));
        label->setText(u"Hoop ready"_s);
        label->setPosition({ 600, 40 });
        QRegion d = damage(root);
        QVERIFY(covers(d, QRectF(-10, -10, 20, 20)) && covers(d, QRectF(400, 297.5, 100, 5)));
        QVERIFY(damage(root).isEmpty()); // nothing changed, nothing to repaint

        ball->setPosition({ 100, 0 });
        ball->setPosition({ 100, 0 });
        // A child added and removed before painting leaves nothing (it lay on the label).
        root.removeChild(root.addChild(ShapeNode::line({ 590, 40 }, { 610, 40 })));
        d = damage(root);
        QVERIFY(covers(d, QRectF(-10, -10, 20, 20)) && covers(d, QRectF(90, -10, 20, 20)));
        QVERIFY(!d.intersects(QRect(390, 290, 120, 20)) && !d.intersects(QRect(600, 40, 1, 1)));

        const QRectF shown = label->sceneBounds();
        label->setHidden(true);
        QVERIFY(covers(damage(root), shown));
        label->setText(u"Hoop ready, longer"_s); // hidden: changes nothing on screen
        label->setHidden(false);
        QVERIFY(covers(damage(root), label->sceneBounds()));
        QVERIFY(label->sceneBounds().width() > shown.width());
        const QRectF last = label->sceneBounds();
        root.removeChild(label);
        QVERIFY(covers(damage(root), last));
        root.removeAllChildren(); // the ball is gone from where it was drawn last
        QVERIFY(covers(damage(root), QRectF(90, -10, 20, 20)));
    }
};

QTEST_MAIN(NodeTreeTest)
#include "NodeTreeTest.moc"
