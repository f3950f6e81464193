// The coordinator's hold on the real overlay: what it asks reaches the overlay and its scene,
// and the scene's reports reach the coordinator's callbacks. Needs a display (Xvfb).

#include "overlay/OverlayDisplay.h"
#include "overlay/Overlay.h"
#include "scene/GameScene.h"
#include "scene/LabelNode.h"

#include <QGuiApplication>
#include <QTest>

using namespace Qt::StringLiterals;

class OverlayDisplayTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void showsMovesAndConfiguresTheOverlay()
    {
        OverlayDisplay display;
        display.show(true);
        QVERIFY(display.overlay().isVisible());
        // Beyond the last screen: the last one.
        display.moveToScreen(int(QGuiApplication::screens().size()) + 3);
        QCOMPARE(display.overlay().screenIndex(), int(QGuiApplication::screens().size()) - 1);
        QVERIFY(display.overlay().isVisible());

        const auto hint = [&] {
            const Node *hint = display.overlay().scene().root().findChild(u"hint");
            return static_cast<const LabelNode *>(hint)->text();
        };
        display.configure(std::nullopt, true, true, 1.5);
        QVERIFY(hint().startsWith(u"Тренировка"));
        display.configure(std::nullopt, false, false, 0);
        QVERIFY(hint().startsWith(u"Hoop ready"));
        QCOMPARE(display.latestRelease(), std::nullopt);

        display.show(false);
        QVERIFY(!display.overlay().isVisible());
    }

    void theScenesReportsReachTheCallbacks()
    {
        OverlayDisplay display;
        QStringList reports;
        GameDisplay::SceneCallbacks callbacks;
        callbacks.onPracticeScore = [&] { reports.append(u"practice"_s); };
        callbacks.onTransfer = [&](const Entry &) { reports.append(u"transfer"_s); };
        callbacks.onShot = [&](const QString &id, const Entry &) { reports.append(id); };
        callbacks.onScore = [&](const QString &id, const CrossingSample &, const CrossingSample &) {
            reports.append(u"score "_s + id);
        };
        display.setSceneCallbacks(std::move(callbacks));
        GameScene &scene = display.overlay().scene();
        scene.onPracticeScore();
        scene.onTransfer(Entry {});
        scene.onShot(u"s-1"_s, Entry {});
        scene.onScore(u"s-1"_s, {}, {});
        QCOMPARE(reports, (QStringList { u"practice"_s, u"transfer"_s, u"s-1"_s, u"score s-1"_s }));
    }
};

QTEST_MAIN(OverlayDisplayTest)
#include "OverlayDisplayTest.moc"
