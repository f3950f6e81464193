// The throw scene's cost per frame: the frame step with the ball in flight, and painting a
// frame into an image of a full screen, only the damaged rectangles or the whole window.
//
//   tosswick-bench-scene --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

#include "scene/GameScene.h"
#include "scene/NodePainter.h"

#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRegion>

#include <memory>

namespace {

// A practice scene whose ball is always in the air: thrown again whenever it is parked.
class FlyingBall {
public:
    explicit FlyingBall(QSizeF size)
    {
        m_scene.setSize(size);
        m_scene.didMoveToView();
        m_scene.configure({ std::nullopt, true, false, 0 });
        frame();
    }

    GameScene &scene() { return m_scene; }

    void frame()
    {
        // The aim guide shows while the ball waits.
        if (m_scene.root().findChild(u"aimQualityGuide")->hasChildren())
            m_scene.releaseBall({ 0.18, 0.18, 0.6, 1.1 });
        m_time += GameScene::timeStep;
        m_scene.update(m_time);
    }

private:
    GameScene m_scene;
    double m_time = 100;
};

void frameStepInFlight(benchmark::State &state)
{
    FlyingBall flying(QSizeF(1920, 1080));
    for (auto _ : state)
        flying.frame();
}
BENCHMARK(frameStepInFlight);

QSizeF screenSize(const benchmark::State &state)
{
    return state.range(0) == 2160 ? QSizeF(3840, 2160) : QSizeF(1920, 1080);
}

// What the window does on a frame: repaint the damaged rectangles only.
void paintDamage(benchmark::State &state)
{
    const QSizeF size = screenSize(state);
    FlyingBall flying(size);
    QImage image(size.toSize(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    std::vector<QRectF> damage;
    damage.reserve(16);
    flying.scene().collectDamage(damage);
    for (auto _ : state) {
        state.PauseTiming();
        flying.frame();
        damage.clear();
        flying.scene().collectDamage(damage);
        state.ResumeTiming();
        QRegion region;
        for (const QRectF &rect : damage)
            region += NodePainter::toDevice(rect, size.height()).toAlignedRect();
        if (region.isEmpty())
            continue;
        QPainter painter(&image);
        painter.setClipRegion(region);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.fillRect(region.boundingRect(), Qt::transparent);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        NodePainter::paint(painter, flying.scene().root(), size.height(),
            NodePainter::toDevice(region.boundingRect(), size.height()));
    }
}
BENCHMARK(paintDamage)->Arg(1080)->Arg(2160)->Unit(benchmark::kMicrosecond);

// The same frame repainting the whole window.
void paintWholeWindow(benchmark::State &state)
{
    const QSizeF size = screenSize(state);
    FlyingBall flying(size);
    QImage image(size.toSize(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        state.PauseTiming();
        flying.frame();
        state.ResumeTiming();
        image.fill(Qt::transparent);
        QPainter painter(&image);
        NodePainter::paint(painter, flying.scene().root(), size.height());
    }
}
BENCHMARK(paintWholeWindow)->Arg(1080)->Arg(2160)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    // Labels need fonts, fonts need an application; no window is shown.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
