#include "http/RateLimiter.h"

#include <QtTest>

#include <limits>

class RateLimiterTest : public QObject {
    Q_OBJECT

private slots:
    void drainAndRefill_data()
    {
        QTest::addColumn<double>("perSecond");
        QTest::addColumn<double>("burst");
        QTest::addColumn<double>("cost");
        QTest::addColumn<int>("takes");
        QTest::addColumn<qint64>("retryMs");

        QTest::newRow("tenths of a token") << 1.0 << 2.0 << 0.1 << 20 << qint64(100);
        QTest::newRow("wait rounded up") << 3.0 << 1.0 << 1.0 << 1 << qint64(334);
        QTest::newRow("cost above burst needs a full bucket")
            << 1.0 << 2.0 << 5.0 << 1 << qint64(2000);
        QTest::newRow("burst 0 counts as 1") << 2.0 << 0.0 << 1.0 << 1 << qint64(500);
    }

    void drainAndRefill()
    {
        QFETCH(double, perSecond);
        QFETCH(double, burst);
        QFETCH(double, cost);
        QFETCH(int, takes);
        QFETCH(qint64, retryMs);

        RateLimiter limiter({ perSecond, burst });
        const qint64 t0 = 1'700'000'000'000;
        for (int i = 0; i < takes; ++i)
            QVERIFY(limiter.take("a", t0, cost));
        QVERIFY(!limiter.take("a", t0, cost));
        QCOMPARE(limiter.retryAfterMs("a", t0, cost), retryMs);
        QCOMPARE(limiter.retryAfterMs("b", t0, cost), 0);
        QVERIFY(!limiter.take("a", t0 + retryMs - 1, cost));
        QVERIFY(limiter.take("a", t0 + retryMs, cost));
    }

    void clockGoingBackGrantsNothing()
    {
        RateLimiter limiter({ 1, 2 });
        QVERIFY(limiter.take("a", 10'000));
        QVERIFY(limiter.take("a", 0)); // the token left is still there to spend
        QVERIFY(!limiter.take("a", 0));
        QCOMPARE(limiter.retryAfterMs("a", 0), 11'000);
        QVERIFY(!limiter.take("a", 10'999));
        QVERIFY(limiter.take("a", 11'000));

        QVERIFY(!limiter.take("a", std::numeric_limits<qint64>::min()));
        QVERIFY(limiter.retryAfterMs("a", std::numeric_limits<qint64>::min()) > 0);
        QVERIFY(limiter.take("a", std::numeric_limits<qint64>::max()));
    }

    void refilledBucketsAreForgotten()
    {
        // A bucket refills in 100 ms: a new address every millisecond never fills 100 keys.
        RateLimiter limiter({ 10, 1 }, 100);
        for (int i = 0; i < 10'000; ++i)
            QVERIFY(limiter.take(QByteArray::number(i), i));
        QVERIFY(limiter.take("late", 20'000));
        QCOMPARE(limiter.size(), 1);
    }

    void fullTableRefusesNewKeysAndKeepsThrottledOnes()
    {
        RateLimiter limiter({ 1, 2 }, 2);
        QVERIFY(limiter.take("a", 0, 2));
        QVERIFY(limiter.take("b", 500, 2));
        QVERIFY(!limiter.take("c", 0));
        QCOMPARE(limiter.retryAfterMs("c", 0), 2000); // until "a" refills and makes room
        QVERIFY(!limiter.take("a", 0)); // still throttled: not evicted for "c"
        QVERIFY(!limiter.take("c", 1999));
        QVERIFY(limiter.take("c", 2000));
        QCOMPARE(limiter.size(), 2);
    }
};

QTEST_APPLESS_MAIN(RateLimiterTest)
#include "RateLimiterTest.moc"
