#include "app/TerminationSignals.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>

#include <csignal>

// SIGTERM and SIGINT reach the event loop as a signal instead of ending the process.
class TerminationSignalsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void signalsBecomeRequests_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
    }
    void signalsBecomeRequests()
    {
        QFETCH(int, signal);
        TerminationSignals termination;
        QSignalSpy requested(&termination, &TerminationSignals::terminationRequested);
        // Each signal is one request, also the next one.
        for (int raised = 1; raised <= 2; ++raised) {
            QCOMPARE(std::raise(signal), 0);
            QVERIFY(requested.wait(5000));
            QCOMPARE(requested.size(), raised);
        }
    }
};

QTEST_GUILESS_MAIN(TerminationSignalsTest)
#include "TerminationSignalsTest.moc"
