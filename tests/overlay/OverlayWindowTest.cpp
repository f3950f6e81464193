#include "SceneTesting.h"
#include "XvfbDisplay.h"
#include "overlay/GamePanel.h"
#include "overlay/GameView.h"
#include "overlay/Overlay.h"

#include <QApplication>
#include <QMouseEvent>
#include <QProcess>
#include <QScreen>
#include <QTest>
#include <QTimeZone>
#include <QWindow>

using namespace Qt::StringLiterals;
using namespace SceneTesting;

namespace {

// Generous: the machine running the tests may be busy.
constexpr int patience = 15000;

// Runs an X tool to its end; false when it failed.
bool runTool(const QString &program, const QStringList &arguments, QString *output = nullptr)
{
    QProcess process;
    process.start(program, arguments);
    const bool ran = process.waitForFinished(patience)
        && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (output)
        *output = QString::fromLocal8Bit(process.readAllStandardOutput());
    return ran;
}

const QString xdotool = u"xdotool"_s, xrandr = u"xrandr"_s;

// X tools speak device pixels; Qt, with a scale factor, logical ones.
int toDevice(int logical)
{
    return qRound(logical * QGuiApplication::primaryScreen()->devicePixelRatio());
}

bool movePointer(QPoint to)
{
    return runTool(xdotool,
        { u"mousemove"_s, u"--sync"_s, QString::number(toDevice(to.x())),
            QString::number(toDevice(to.y())) });
}

// A plain window below the overlay that records the presses it receives.
class ClickTarget : public QWidget {
public:
    int presses = 0;

protected:
    void mousePressEvent(QMouseEvent *) override { ++presses; }
};

} // namespace

class OverlayWindowTest : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        m_target = std::make_unique<ClickTarget>();
        m_target->setGeometry(QGuiApplication::primaryScreen()->availableGeometry());
        m_overlay = std::make_unique<Overlay>();
    }

    void cleanup()
    {
        m_overlay.reset();
        m_target.reset();
        runTool(xdotool, { u"mouseup"_s, u"1"_s });
        m_compositor.terminate(); // nothing when it never ran
        m_compositor.waitForFinished(patience);
        if (QGuiApplication::screens().size() > 1) {
            runTool(xrandr, { u"--delmonitor"_s, u"right"_s });
            runTool(xrandr, { u"--delmonitor"_s, u"left"_s });
            // Back to the one whole screen, not just to one of the two halves.
            QTRY_VERIFY_WITH_TIMEOUT(QGuiApplication::screens().size() == 1
                    && toDevice(QGuiApplication::primaryScreen()->geometry().width()) == 1920,
                patience);
        }
    }

    void panelCoversTheAvailableAreaOnEveryDesktop()
    {
        GamePanel *panel = showOverlay();
        QVERIFY(panel);
        const QRect available = QGuiApplication::screens().constFirst()->availableGeometry();
        QCOMPARE(panel->geometry(), available);

        // As the window manager sees it: on every desktop, in no task list, never focused.
        QString properties;
        QVERIFY(runTool(u"xprop"_s,
            { u"-id"_s, QString::number(panel->winId()), u"_NET_WM_DESKTOP"_s, u"_NET_WM_STATE"_s,
                u"WM_HINTS"_s },
            &properties));
        for (const auto *expected :
            { "_NET_WM_DESKTOP(CARDINAL) = 4294967295", "STATE_STICKY", "STATE_SKIP_TASKBAR",
                "STATE_SKIP_PAGER", "STATE_ABOVE", "accepts input or input focus: False" })
            QVERIFY2(properties.contains(QLatin1StringView(expected)), qPrintable(properties));
    }

    // A press away from the ball, or on a hidden one, reaches the window beneath; one at the
    // ball grabs it, and a drag throws it. Only a composited window takes presses beside the
    // ball: without a compositor the window ends where the drawing ends.
    void pressesGoToTheBallOrThroughTheWindow_data()
    {
        QTest::addColumn<bool>("compositor");
        QTest::addColumn<bool>("holder");
        QTest::addColumn<QString>("where");
        QTest::newRow("practice, far from the ball") << false << true << u"far"_s;
        QTest::newRow("idle, on the hidden ball") << false << false << u"on"_s;
        QTest::newRow("compositor, 15 points beyond the ball's edge")
            << true << true << u"beside"_s;
        QTest::newRow("no compositor, on the ball") << false << true << u"on"_s;
    }
    void pressesGoToTheBallOrThroughTheWindow()
    {
        QFETCH(bool, compositor);
        QFETCH(bool, holder);
        QFETCH(QString, where);
        QVERIFY(!compositor || startCompositor());
        QVERIFY(showFocusedTarget());
        GamePanel *panel = showOverlay();
        QVERIFY(panel);
        QTRY_COMPARE_WITH_TIMEOUT(panel->isCompositing(), compositor, patience);
        GameScene &scene = m_overlay->scene();
        scene.configure({ std::nullopt, holder, false, 0 });
        const double r = field(scene).ballRadius();
        const QPointF offset
            = where == u"far"_s ? QPointF(400, 300) : QPointF(where == u"beside"_s ? r + 15 : 5, 0);
        const QPoint press
            = panel->geometry().topLeft() + inWindow(panel, ball(scene).position() + offset);
        const bool grabbed = holder && where != u"far"_s;
        QVERIFY(movePointer(press));
        const auto area = [panel] { return panel->inputArea(); }; // at the ball only
        const QPoint local = press - panel->geometry().topLeft();
        QTRY_VERIFY_WITH_TIMEOUT(
            !holder || (!area().isEmpty() && area().contains(local) == grabbed), patience);
        QVERIFY(runTool(xdotool, { u"mousedown"_s, u"1"_s }));
        if (!grabbed) {
            QVERIFY(runTool(xdotool, { u"mouseup"_s, u"1"_s }));
            QTRY_COMPARE_WITH_TIMEOUT(m_target->presses, 1, patience);
            QVERIFY(!scene.isDragging());
            return;
        }
        QTRY_VERIFY_WITH_TIMEOUT(scene.isDragging(), patience);
        // Held, the ball keeps the pointer wherever it goes; the press took no focus.
        QCOMPARE(area(), panel->rect());
        QCOMPARE(QGuiApplication::focusWindow(), m_target->windowHandle());
        QVERIFY(movePointer(press + QPoint(160, -160))); // up and to the right
        QVERIFY(runTool(xdotool, { u"mouseup"_s, u"1"_s }));
        QTRY_VERIFY_WITH_TIMEOUT(!scene.isDragging(), patience);
        // Thrown up and to the right, and no press went through.
        const auto thrown = scene.latestRelease();
        QVERIFY(thrown && thrown->vx > 0.4 && thrown->vy > 0.8 && m_target->presses == 0);
    }

    // The loop stops once nothing moves; the frame that clears the "00" must still come.
    void aCountdownThatRunsOutLeavesNoDigits()
    {
        GamePanel *panel = showOverlay();
        QVERIFY(panel);
        GameScene &scene = m_overlay->scene();
        const QDateTime ends(QDate(2025, 1, 1), QTime(10, 0), QTimeZone::utc());
        auto now = std::make_shared<QDateTime>(ends.addSecs(-1));
        scene.setWallClock([now] { return *now; });
        scene.configure(
            { round(u"r1"_s, u"ACTIVE"_s, GameScene::defaultHoop, u"2025-01-01T10:00:00Z"_s), false,
                true, 0 });
        const auto *timer = drawn<LabelNode>(scene, u"timer");
        QTRY_COMPARE_WITH_TIMEOUT(timer->text(), u"01"_s, patience);
        QVERIFY(panel->view()->isRunning());

        *now = ends;
        QTRY_VERIFY_WITH_TIMEOUT(!panel->view()->isRunning(), patience);
        QCOMPARE(timer->text(), QString());
    }

    // Without a compositor the window is clipped to what is drawn, following the ball; once
    // one starts the whole window shows.
    void withoutACompositorTheWindowShowsOnlyWhatIsDrawn()
    {
        GamePanel *panel = showOverlay();
        QVERIFY(panel && !panel->isCompositing());
        GameScene &scene = m_overlay->scene();
        scene.configure(practice);
        const QPoint parked = inWindow(panel, ball(scene).position());
        QTRY_VERIFY_WITH_TIMEOUT(panel->mask().contains(parked), patience);
        QVERIFY(!panel->mask().contains(QPoint(5, 5)));
        scene.releaseBall(upRight);
        QTRY_VERIFY_WITH_TIMEOUT(!panel->mask().contains(parked), patience);
        QTRY_VERIFY_WITH_TIMEOUT(
            panel->mask().contains(inWindow(panel, ball(scene).position())), patience);
        QVERIFY(startCompositor());
        QTRY_VERIFY_WITH_TIMEOUT(panel->isCompositing() && panel->mask().isEmpty(), patience);
    }

    // Hidden, the scene pauses and its loop stops; the lost screen's overlay moves to the one
    // left and stays hidden until shown again, the game intact.
    void losingTheScreenMovesTheOverlayAndKeepsItsVisibility()
    {
        QVERIFY(splitIntoTwoScreens());
        m_overlay->setScreenIndex(1);
        GamePanel *panel = showOverlay();
        QVERIFY(panel);
        GameScene &scene = m_overlay->scene();
        scene.configure(practice);
        QCOMPARE(panel->geometry().left(), 960);
        m_overlay->show(false);
        QVERIFY(scene.isPaused() && !panel->view()->isRunning() && panel->inputArea().isEmpty());

        QVERIFY(runTool(xrandr, { u"--delmonitor"_s, u"right"_s }));
        QTRY_VERIFY_WITH_TIMEOUT(
            m_overlay->panel() && m_overlay->panel()->geometry().left() == 0, patience);
        QVERIFY(!m_overlay->panel()->isVisible() && m_overlay->screenIndex() == 0);
        panel = showOverlay();
        QVERIFY(panel && !scene.isPaused() && isParked(scene) && scene.isInteractive());
    }

private:
    GamePanel *showOverlay()
    {
        m_overlay->show(true);
        return exposedPanel();
    }

    // Screen changes still on their way rebuild the panel, so the current one is asked for
    // on every poll rather than held across the wait.
    GamePanel *exposedPanel()
    {
        const bool exposed = QTest::qWaitFor(
            [this] {
                const GamePanel *panel = m_overlay->panel();
                return panel && panel->windowHandle() && panel->windowHandle()->isExposed();
            },
            patience);
        return exposed ? m_overlay->panel() : nullptr;
    }

    static QPoint inWindow(const GamePanel *panel, QPointF scenePoint)
    {
        return QPoint(qRound(scenePoint.x()), qRound(panel->height() - scenePoint.y()));
    }

    // The window beneath the overlay, shown and holding the focus as the window being worked in.
    bool showFocusedTarget()
    {
        m_target->show();
        if (!QTest::qWaitForWindowExposed(m_target.get(), patience))
            return false;
        m_target->activateWindow();
        return QTest::qWaitFor(
            [this] { return QGuiApplication::focusWindow() == m_target->windowHandle(); },
            patience);
    }

    bool startCompositor()
    {
        m_compositor.start(u"xcompmgr"_s, {});
        return m_compositor.waitForStarted(patience);
    }

    // One wide X screen shown as two monitors, left and right.
    static bool splitIntoTwoScreens()
    {
        return runTool(
                   xrandr, { u"--setmonitor"_s, u"left"_s, u"960/254x1080/286+0+0"_s, u"screen"_s })
            && runTool(
                xrandr, { u"--setmonitor"_s, u"right"_s, u"960/254x1080/286+960+0"_s, u"none"_s })
            && QTest::qWaitFor([] { return QGuiApplication::screens().size() == 2; }, patience);
    }

    std::unique_ptr<ClickTarget> m_target;
    std::unique_ptr<Overlay> m_overlay;
    QProcess m_compositor;
};

int main(int argc, char *argv[])
{
    XvfbDisplay display;
    if (!display.start()) {
        qCritical("%s", qPrintable(display.errorText()));
        return 1;
    }
    QApplication app(argc, argv);
    OverlayWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "OverlayWindowTest.moc"
