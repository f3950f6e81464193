#include "game/RoundTimer.h"
#include "ManualClock.h"

#include <QSignalSpy>
#include <QtTest>

// The round timer on a clock the test moves: after failures to save it waits twice as long
// each time, up to a minute (the deadline itself is the rounds test's).
class RoundTimerTest : public QObject {
    Q_OBJECT

private slots:
    void backsOffWhileSavingFails()
    {
        ManualClock clock;
        RoundTimer timer(clock);
        QSignalSpy due(&timer, &RoundTimer::due);
        const qint64 deadline = clock.nowMs();
        // Each failure: the overdue deadline waits 100, 200, 400 … ms, never over a minute.
        qint64 expected = RoundTimer::firstRetryMs;
        for (int failure = 0; failure < 12; ++failure) {
            timer.failed();
            timer.wakeAt(deadline);
            const int before = int(due.count());
            clock.advance(expected - 1);
            QCOMPARE(due.count(), before);
            clock.advance(1);
            QCOMPARE(due.count(), before + 1);
            expected = std::min(expected * 2, RoundTimer::longestRetryMs);
        }
        QCOMPARE(expected, RoundTimer::longestRetryMs);
        timer.succeeded();
        timer.wakeAt(deadline);
        clock.advance(0);
        QCOMPARE(due.count(), 13);
    }
};

QTEST_GUILESS_MAIN(RoundTimerTest)
#include "RoundTimerTest.moc"
