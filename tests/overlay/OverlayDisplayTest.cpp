// What the coordinator asks reaches the real overlay, and its scene's reports come back.

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
        display.moveToScreen(int(QGuiApplication::screens().size()) + 3); // to the last one
        QVERIFY(display.overlay().isVisible()
            && display.overlay().screenIndex() == QGuiApplication::screens().size() - 1);
        GameScene &scene = display.overlay().scene();
        const auto *hint = static_cast<const LabelNode *>(scene.root().findChild(u"hint"));
        display.configure(std::nullopt, true, false, 0);
        QVERIFY(hint->text().startsWith(u"Тренировка"));
        display.transferFailed(u"Игрок занят"_s);
        QCOMPARE(hint->text(), u"Игрок занят"_s);
        scene.releaseBall({ 0.2, 0.3, 0.5, 0.9 });
        QCOMPARE(display.latestRelease().value_or(Entry {}).y, 0.3);
        display.show(false);
        QVERIFY(!display.overlay().isVisible());
    }

    void theScenesReportsReachTheCallbacks()
    {
        OverlayDisplay display;
        QStringList reports;
        display.setSceneCallbacks(
            { [&] { reports << u"practice"_s; }, [&](const Entry &) { reports << u"transfer"_s; },
                [&](const QString &id, const Entry &) { reports << id; },
                [&](const QString &id, auto, auto) { reports << u"score "_s + id; } });
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
