#include "scene/NodePainter.h"
#include "scene/LabelNode.h"
#include "scene/ShapeNode.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QImage render(const Node &root, const QRectF &exposed = {})
{
    QImage image(100, 100, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    NodePainter::paint(painter, root, image.height(), exposed);
    return image;
}

int alphaAt(const QImage &image, int x, int y)
{
    return qAlpha(image.pixel(x, y));
}

} // namespace

// What the painter puts on a device: scene y up, antialiased, alpha and hiding inherited.
class NodePainterTest : public QObject {
    Q_OBJECT
private slots:
    // Scene y up, antialiased edges, and only what meets the exposed area (scene points).
    void drawsInSceneCoordinatesWithYUp()
    {
        Node root;
        auto *ball = root.addChild(ShapeNode::circle(10.3));
        ball->setFillColor(Qt::red);
        ball->setPosition({ 50, 30 });
        const QImage image = render(root);
        QCOMPARE(image.pixelColor(50, 70), QColor(Qt::red));
        QCOMPARE(alphaAt(image, 50, 30), 0);
        int partial = 0;
        for (int x = 0; x < 100; ++x)
            partial += alphaAt(image, x, 70) > 0 && alphaAt(image, x, 70) < 255;
        QCOMPARE(partial, 2);
        QCOMPARE(alphaAt(render(root, QRectF(60, 60, 30, 30)), 50, 70), 0);
        QCOMPARE(alphaAt(render(root, QRectF(55, 35, 30, 30)), 50, 70), 255);
    }

    void alphaMultipliesAndHidingCoversTheSubtree()
    {
        Node root;
        auto *group = root.addChild(std::make_unique<Node>(u"group"_s));
        group->setAlpha(0.5);
        auto *square = group->addChild(ShapeNode::roundedRect({ 40, 40 }, 0));
        square->setFillColor(Qt::blue);
        square->setAlpha(0.5);
        square->setPosition({ 50, 50 });
        QVERIFY(qAbs(alphaAt(render(root), 50, 50) - 64) <= 1);
        group->setHidden(true);
        QCOMPARE(alphaAt(render(root), 50, 50), 0);
    }

    void childrenTurnWithTheirParent()
    {
        Node root;
        auto *ball = root.addChild(std::make_unique<Node>());
        ball->setPosition({ 50, 50 });
        auto *seam = ball->addChild(ShapeNode::line({ -30, 0 }, { 30, 0 }));
        seam->setStrokeColor(Qt::black);
        seam->setLineWidth(3);
        QVERIFY(alphaAt(render(root), 25, 50) > 200);
        ball->setRotation(M_PI / 2);
        const QImage turned = render(root);
        QCOMPARE(alphaAt(turned, 25, 50), 0);
        QVERIFY(alphaAt(turned, 50, 25) > 200);
    }

    void labelsStandUprightOnTheirBaseline()
    {
        Node root;
        auto *label = root.addChild(std::make_unique<LabelNode>());
        QFont font;
        font.setPixelSize(30);
        label->setFont(font);
        label->setText(u"TT"_s);
        label->setPosition({ 50, 20 }); // baseline at device row 80
        const QImage image = render(root);
        int above = 0;
        int below = 0;
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 100; ++x)
                if (alphaAt(image, x, y) > 0)
                    (y <= 80 ? above : below) += 1;
        QVERIFY(above > 50);
        QVERIFY(below < above / 10);
        // Centred: ink on both sides of the position.
        int left = 0;
        int right = 0;
        for (int x = 0; x < 100; ++x)
            (x < 50 ? left : right) += alphaAt(image, x, 70) > 0;
        QVERIFY(left > 0 && right > 0);
        QVERIFY(label->sceneBounds().contains(QRectF(45, 21, 10, 15)));
    }
};

QTEST_MAIN(NodePainterTest)
#include "NodePainterTest.moc"
