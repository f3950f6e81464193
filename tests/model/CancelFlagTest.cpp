#include "model/CancelFlag.h"

#include <QTest>
#include <QTimer>

using namespace std::chrono_literals;

class CancelFlagTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void sleepRunsToItsEndUnlessCancelled()
    {
        CancelFlag flag;
        QVERIFY(QCoro::waitFor(flag.sleep(1ms)));
        // A ten-minute sleep would outlast the test's time limit if the cancel did not end it.
        QTimer::singleShot(0, &flag, [&flag] { flag.cancel(); });
        QVERIFY(!QCoro::waitFor(flag.sleep(10min)));
        // After a cancel, every sleep ends at once.
        QVERIFY(!QCoro::waitFor(flag.sleep(10min)));
    }

    void flagDestroyedDuringSleep()
    {
        auto *flag = new CancelFlag;
        auto sleeping = flag->sleep(10min);
        QTimer::singleShot(0, [flag] { flag->cancel(), delete flag; });
        QVERIFY(!QCoro::waitFor(sleeping));
    }
};

QTEST_GUILESS_MAIN(CancelFlagTest)
#include "CancelFlagTest.moc"
