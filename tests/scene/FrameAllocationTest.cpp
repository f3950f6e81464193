#include "SceneTesting.h"

#include "scene/LabelNode.h"

#include <QTest>

#include <pthread.h>

using namespace Qt::StringLiterals;
using namespace SceneTesting;

// Every heap allocation of this program goes through these, so a test can count the ones made
// on the main thread while it watches. Plain globals: this runs before anything is set up.
namespace {
bool g_counting = false;
pthread_t g_countedThread;
long g_allocations = 0;

void noteAllocation()
{
    if (g_counting && pthread_equal(pthread_self(), g_countedThread))
        ++g_allocations;
}
} // namespace

// glibc's own allocator under its internal names, which the replacements below forward to.
// NOLINTBEGIN(bugprone-reserved-identifier)
extern "C" {
void *__libc_malloc(size_t size);
void *__libc_calloc(size_t count, size_t size);
void *__libc_realloc(void *pointer, size_t size);
// NOLINTEND(bugprone-reserved-identifier)

void *malloc(size_t size)
{
    noteAllocation();
    return __libc_malloc(size);
}

void *calloc(size_t count, size_t size)
{
    noteAllocation();
    return __libc_calloc(count, size);
}

void *realloc(void *pointer, size_t size)
{
    noteAllocation();
    return __libc_realloc(pointer, size);
}
}

namespace {

// Counts the allocations made on this thread while it lives.
class AllocationCounter {
public:
    AllocationCounter()
    {
        g_allocations = 0;
        g_countedThread = pthread_self();
        g_counting = true;
    }
    ~AllocationCounter() { g_counting = false; }
    long count() const { return g_allocations; }
};

} // namespace

// The frame step runs 60 times a second: once warmed up, it makes no allocation, except the
// aim guide's redraw while the pointer moves it.
class FrameAllocationTest : public QObject {
    Q_OBJECT
private slots:
    void countingSeesAllocations()
    {
        AllocationCounter counter;
        auto *text = new QString(u"counted"_s);
        text->append(u" twice"_s);
        delete text;
        QVERIFY(counter.count() >= 2);
    }

    void ballInFlight()
    {
        auto scene = presented();
        scene->configure({ std::nullopt, true, false, 0 });
        FrameClock clock(*scene);
        std::vector<QRectF> damage;
        damage.reserve(64);
        // The same 40 frames of a clean flight twice; the first warms up the world's and the
        // tree's buffers.
        long allocations = 0;
        for (int flight = 0; flight < 2; ++flight) {
            clock.step();
            scene->releaseBall({ 0.3, 0.3, 0.2, 0.9 });
            AllocationCounter counter;
            for (int frame = 0; frame < 40; ++frame) {
                clock.step();
                damage.clear();
                scene->collectDamage(damage);
            }
            allocations = counter.count();
            QVERIFY(!isParked(*scene));
        }
        QCOMPARE(allocations, 0);
    }

    void parkedBallWithASteadyGuide()
    {
        auto scene = presented();
        scene->configure({ std::nullopt, true, false, 0 });
        FrameClock clock(*scene);
        clock.run(3);
        QVERIFY(drawn(*scene, u"aimQualityGuide")->hasChildren());
        AllocationCounter counter;
        clock.run(60);
        QCOMPARE(counter.count(), 0);
    }

    void countdownWithinASecond()
    {
        auto scene = presented();
        const QDateTime start = QDateTime::fromMSecsSinceEpoch(1735725590000, Qt::UTC);
        QDateTime now = start;
        scene->setWallClock([&] { return now; });
        scene->configure(
            { round(u"r1"_s, u"ACTIVE"_s, GameScene::defaultHoop, u"2025-01-01T10:00:00Z"_s), false,
                true, 0 });
        FrameClock clock(*scene);
        clock.run(3);
        AllocationCounter counter;
        for (int i = 0; i < 50; ++i) {
            now = start.addMSecs(10 + i * 16);
            clock.step();
        }
        QCOMPARE(drawn<LabelNode>(*scene, u"timer")->text(), u"10"_s);
        QCOMPARE(counter.count(), 0);
    }

    void celebrationRunning()
    {
        auto scene = presented();
        scene->configure({ std::nullopt, true, false, 0 });
        FrameClock clock(*scene);
        clock.run(3);
        scene->celebrate();
        clock.step();
        AllocationCounter counter;
        clock.run(30);
        QVERIFY(drawn(*scene, u"plusOne"));
        QCOMPARE(counter.count(), 0);
    }
};

QTEST_MAIN(FrameAllocationTest)
#include "FrameAllocationTest.moc"
