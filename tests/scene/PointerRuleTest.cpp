#include "scene/PointerRule.h"
#include "scene/DrawnRegion.h"
#include "scene/ShapeNode.h"

#include <QApplication>
#include <QTest>

using PointerRule::SceneInput;
Q_DECLARE_METATYPE(SceneInput)

// Which part of the overlay takes pointer events, and the drawn-pixel region that clips the window
// when no compositor runs.
class PointerRuleTest : public QObject {
    Q_OBJECT
private slots:
    // A 1920 × 1080 scene; the ball's hit rectangle in scene coordinates (y up).
    void inputArea_data()
    {
        QTest::addColumn<SceneInput>("input");
        QTest::addColumn<QRect>("expected");
        const QRectF hit(100, 100, 94, 94);
        QTest::newRow("ball to grab: its rectangle, flipped")
            << SceneInput { true, true, false, hit } << QRect(100, 886, 94, 94);
        QTest::newRow("held ball: the whole window")
            << SceneInput { true, true, true, hit } << QRect(0, 0, 1920, 1080);
        QTest::newRow("hidden ball") << SceneInput { true, false, false, {} } << QRect();
        QTest::newRow("hidden, was held") << SceneInput { true, false, true, hit } << QRect();
        QTest::newRow("window not shown") << SceneInput { false, true, true, hit } << QRect();
        QTest::newRow("partly off the window: clipped")
            << SceneInput { true, true, false, QRectF(-20, 1040, 94, 94) } << QRect(0, 0, 74, 40);
        QTest::newRow("fractions rounded outwards") << SceneInput { true, true, false,
            QRectF(10.5, 20.25, 40, 40) } << QRect(10, 1019, 41, 41);
    }
    void inputArea()
    {
        QFETCH(SceneInput, input);
        QFETCH(QRect, expected);
        const QRect area = PointerRule::inputArea(input, QSizeF(1920, 1080));
        QCOMPARE(area.isEmpty() ? QRect() : area, expected);
    }

    void drawnRegionHoldsThePaintedPixelsOnly()
    {
        Node root;
        auto *ball = root.addChild(ShapeNode::circle(20));
        ball->setFillColor(Qt::red);
        ball->setPosition({ 100, 100 }); // window centre (100, 300) in a 400-high scene
        DrawnRegion drawn;
        drawn.refresh(root, 400, { QRect(0, 0, 400, 400) });
        const QRegion &r = drawn.region();
        QVERIFY(r.contains(QPoint(100, 300)) && r.contains(QPoint(100, 285)));
        QVERIFY(!r.contains(QPoint(83, 283)) && !r.contains(QPoint(200, 200))); // not its square
        // Refreshing the old and the new place moves it; an area not refreshed keeps its pixels.
        ball->setPosition({ 200, 200 });
        drawn.refresh(root, 400, { QRect(70, 270, 60, 60), QRect(170, 170, 60, 60) });
        QVERIFY(!drawn.region().contains(QPoint(100, 300)));
        ball->setPosition({ 50, 50 });
        drawn.refresh(root, 400, { QRect(20, 320, 60, 60) });
        QVERIFY(
            drawn.region().contains(QPoint(200, 200)) && drawn.region().contains(QPoint(50, 350)));
    }
};

QTEST_MAIN(PointerRuleTest)
#include "PointerRuleTest.moc"
