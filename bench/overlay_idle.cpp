// Shows the overlay for a while and prints the CPU share of this process over that time.
//
//   overlay_idle [SECONDS] [parked|none|throwing]
//
// parked:   practice mode, the ball waits on its start spot (nothing moves);
// none:     no round and not holding the ball, so the ball is hidden;
// throwing: practice mode, the ball is thrown again each time it is back (frames run).
// The first second (building and first paint) is not measured.

#include "overlay/GamePanel.h"
#include "overlay/GameView.h"
#include "overlay/Overlay.h"
#include "scene/GameScene.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTextStream>
#include <QTimer>

#include <sys/resource.h>

namespace {

double cpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int seconds = args.size() > 1 ? args.at(1).toInt() : 30;
    const QString mode = args.size() > 2 ? args.at(2) : QStringLiteral("parked");
    if (seconds <= 0 || (mode != u"parked" && mode != u"none" && mode != u"throwing")) {
        QTextStream(stderr) << "usage: overlay_idle [SECONDS] [parked|none|throwing]\n";
        return 2;
    }

    Overlay overlay;
    overlay.show(true);
    GameScene &scene = overlay.scene();
    scene.configure({ std::nullopt, mode != u"none", false, 0 });
    QTimer thrower;
    if (mode == u"throwing") {
        QObject::connect(&thrower, &QTimer::timeout, &app, [&scene] {
            // The aim guide shows while the ball waits.
            if (scene.root().findChild(u"aimQualityGuide")->hasChildren())
                scene.releaseBall(
                    { GameScene::startSpot.x(), GameScene::startSpot.y(), 0.53, 0.95 });
        });
        thrower.start(100);
    }

    double startCpu = 0;
    QElapsedTimer wall;
    QTimer::singleShot(1000, &app, [&] {
        startCpu = cpuSeconds();
        wall.start();
    });
    QTimer::singleShot(1000 + seconds * 1000, &app, [&] {
        const double cpu = cpuSeconds() - startCpu;
        const double elapsed = double(wall.nsecsElapsed()) / 1e9;
        const GamePanel *panel = overlay.panel();
        QTextStream(stdout) << "mode " << mode << ", " << elapsed << " s shown"
                            << ", compositor " << (panel && panel->isCompositing() ? "yes" : "no")
                            << ", frame loop "
                            << (panel && panel->view()->isRunning() ? "running" : "stopped")
                            << ": CPU " << cpu << " s = " << 100 * cpu / elapsed
                            << " % of one core\n";
        app.quit();
    });
    return app.exec();
}
