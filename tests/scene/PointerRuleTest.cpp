#include "scene/PointerRule.h"
#include "scene/DrawnRegion.h"
#include "scene/ShapeNode.h"

#include <QApplication>
#include <QTest>

using PointerRule::SceneInput;
Q_DECLARE_METATYPE(SceneInput)

// Which part of the overlay takes pointer events, the y flip into scene points, and the
// drawn-pixel region that clips the window when no compositor runs.
class PointerRuleTest : public QObject {
    Q_OBJECT
private slots:
    void inputArea_data()
    {
        QTest::addColumn<SceneInput>("input");
        QTest::addColumn<QRect>("expected");
        // A 1920 × 1080 scene; the ball's hit rectangle in scene coordinates (y up).
        const QRectF hit(100, 100, 94, 94);
        QTest::newRow("ball can be grabbed: its rectangle, flipped")
            << SceneInput { true, true, false, hit } << QRect(100, 886, 94, 94);
        QTest::newRow("held ball: the whole window, also off the ball")
            << SceneInput { true, true, true, hit } << QRect(0, 0, 1920, 1080);
        QTest::newRow("hidden ball: nothing") << SceneInput { true, false, false, {} } << QRect();
        QTest::newRow("hidden ball that was held: nothing")
            << SceneInput { true, false, true, hit } << QRect();
        QTest::newRow("window not shown: nothing")
            << SceneInput { false, true, true, hit } << QRect();
        QTest::newRow("rectangle partly off the window is clipped")
            << SceneInput { true, true, false, QRectF(-20, 1040, 94, 94) } << QRect(0, 0, 74, 40);
        QTest::newRow("fractional rectangle is rounded outwards") << SceneInput { true, true, false,
            QRectF(10.5, 20.25, 40, 40) } << QRect(10, 1019, 41, 41);
    }

    void inputArea()
    {
        QFETCH(SceneInput, input);
        QFETCH(QRect, expected);
        const QRect area = PointerRule::inputArea(input, QSizeF(1920, 1080));
        QCOMPARE(area.isEmpty(), expected.isEmpty());
        if (!expected.isEmpty())
            QCOMPARE(area, expected);
    }

    void windowPointsFlipIntoScenePoints_data()
    {
        QTest::addColumn<QPointF>("window");
        QTest::addColumn<QPointF>("scene");
        QTest::newRow("top-left") << QPointF(0, 0) << QPointF(0, 1080);
        QTest::newRow("bottom-left") << QPointF(0, 1080) << QPointF(0, 0);
        QTest::newRow("inside, fractional") << QPointF(250.5, 980.25) << QPointF(250.5, 99.75);
    }

    void windowPointsFlipIntoScenePoints()
    {
        QFETCH(QPointF, window);
        QFETCH(QPointF, scene);
        QCOMPARE(PointerRule::toScene(window, 1080), scene);
        QCOMPARE(PointerRule::toScene(scene, 1080), window); // the flip is its own inverse
    }

    void drawnRegionHoldsThePaintedPixelsOnly()
    {
        Node root;
        auto *ball = root.addChild(ShapeNode::circle(20));
        ball->setFillColor(Qt::red);
        ball->setPosition({ 100, 100 }); // window centre (100, 300) in a 400-high scene
        auto *faint = root.addChild(ShapeNode::circle(20));
        faint->setFillColor(QColor(255, 255, 255, 40)); // too transparent to keep
        faint->setPosition({ 300, 300 });

        DrawnRegion drawn;
        drawn.refresh(root, 400, { QRect(0, 0, 400, 400) });
        QVERIFY(drawn.region().contains(QPoint(100, 300)));
        QVERIFY(drawn.region().contains(QPoint(100, 285)));
        QVERIFY(!drawn.region().contains(QPoint(83, 283))); // the corner of the ball's square
        QVERIFY(!drawn.region().contains(QPoint(300, 100)));
        QVERIFY(!drawn.region().contains(QPoint(200, 200)));

        // Moving the ball: refreshing the old and the new place moves the region.
        ball->setPosition({ 200, 200 });
        drawn.refresh(root, 400, { QRect(70, 270, 60, 60), QRect(170, 170, 60, 60) });
        QVERIFY(!drawn.region().contains(QPoint(100, 300)));
        QVERIFY(drawn.region().contains(QPoint(200, 200)));

        // An area that is not refreshed keeps what it had.
        ball->setPosition({ 50, 50 });
        drawn.refresh(root, 400, { QRect(20, 320, 60, 60) });
        QVERIFY(drawn.region().contains(QPoint(200, 200)));
        QVERIFY(drawn.region().contains(QPoint(50, 350)));
    }
};

QTEST_MAIN(PointerRuleTest)
#include "PointerRuleTest.moc"
