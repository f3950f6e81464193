#include "scene/NodePainter.h"
#include "scene/LabelNode.h"
#include "scene/ShapeNode.h"

#include <QImage>
#include <QPainter>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// The alpha of each pixel of a 100 × 100 device the tree is painted on.
QImage render(const Node &root, const QRectF &exposed = {})
{
    QImage image(100, 100, QImage::Format_Alpha8);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    NodePainter::paint(painter, root, image.height(), exposed);
    return image;
}

const auto alphaAt = [](const QImage &image, int x, int y) { return qAlpha(image.pixel(x, y)); };

} // namespace

// What the painter puts on a device: scene y up, what children inherit, labels upright.
class NodePainterTest : public QObject {
    Q_OBJECT
private slots:
    // Scene y up, and only what meets the exposed area (scene points).
    void drawsInSceneCoordinatesWithYUp()
    {
        const auto root = ShapeNode::circle(10.3);
        root->setFillColor(Qt::red);
        root->setPosition({ 50, 30 }); // device row 70
        const QImage all = render(*root);
        QVERIFY(alphaAt(all, 50, 70) == 255 && alphaAt(all, 50, 30) == 0);
        QCOMPARE(alphaAt(render(*root, QRectF(60, 60, 30, 30)), 50, 70), 0);
        QCOMPARE(alphaAt(render(*root, QRectF(55, 35, 30, 30)), 50, 70), 255);
    }

    // A child is drawn at its parent's alpha times its own, turned with it, hidden with it.
    void childrenInheritAlphaTurnAndHiding()
    {
        Node root;
        auto *group = root.addChild(std::make_unique<Node>());
        group->setAlpha(0.5);
        group->setPosition({ 50, 50 });
        auto *bar = group->addChild(ShapeNode::roundedRect({ 60, 6 }, 0));
        bar->setFillColor(Qt::blue);
        bar->setAlpha(0.5);
        QVERIFY(qAbs(alphaAt(render(root), 25, 50) - 64) <= 1);
        group->setRotation(M_PI / 2);
        const QImage turned = render(root);
        QVERIFY(alphaAt(turned, 25, 50) == 0 && qAbs(alphaAt(turned, 50, 25) - 64) <= 1);
        group->setHidden(true);
        QCOMPARE(alphaAt(render(root), 50, 50), 0);
    }

    // Ink above the baseline at device row 80, on both sides of the position.
    void labelsStandUprightOnTheirBaseline()
    {
        LabelNode label;
        QFont font;
        font.setPixelSize(30);
        label.setFont(font);
        label.setText(u"TT"_s);
        label.setPosition({ 50, 20 });
        const QImage image = render(label);
        int ink[2][2] = {}; // [below the baseline][right of the position]
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 100; ++x)
                ink[y > 80][x >= 50] += alphaAt(image, x, y) > 0;
        QVERIFY(ink[0][0] > 25 && ink[0][1] > 25 && ink[1][0] + ink[1][1] < 5);
    }
};

QTEST_MAIN(NodePainterTest)
#include "NodePainterTest.moc"
