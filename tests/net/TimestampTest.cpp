#include "net/Timestamp.h"

#include <QTest>
#include <QTimeZone>

class TimestampTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void readsStrictForms_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDateTime>("expected");
        const QDateTime ten(QDate(2025, 3, 1), QTime(10, 0), Qt::UTC);
        QTest::newRow("fraction, Z") << u"2025-03-01T10:00:00.250Z"_qs << ten.addMSecs(250);
        QTest::newRow("no fraction, Z") << u"2025-03-01T10:00:00Z"_qs << ten;
        QTest::newRow("positive offset")
            << u"2025-03-01T10:00:00+03:00"_qs << ten.addSecs(qint64(-3) * 3600);
        QTest::newRow("negative offset with fraction")
            << u"2025-03-01T10:00:00.5-01:30"_qs << ten.addSecs(qint64(90) * 60).addMSecs(500);
        QTest::newRow("microseconds cut to milliseconds")
            << u"2025-03-01T10:00:00.123456Z"_qs << ten.addMSecs(123);
        QTest::newRow("leap day") << u"2024-02-29T00:00:00Z"_qs
                                  << QDateTime(QDate(2024, 2, 29), QTime(0, 0), Qt::UTC);
    }
    void readsStrictForms()
    {
        QFETCH(QString, text);
        QFETCH(QDateTime, expected);
        const auto parsed = Timestamp::parse(text);
        QVERIFY(parsed.has_value());
        QCOMPARE(parsed->toMSecsSinceEpoch(), expected.toMSecsSinceEpoch());
    }

    void rejectsLenientForms_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("space, no zone") << u"2025-03-01 10:00:00"_qs;
        QTest::newRow("no zone") << u"2025-03-01T10:00:00"_qs;
        QTest::newRow("lower-case t and z") << u"2025-03-01t10:00:00z"_qs;
        QTest::newRow("offset without colon") << u"2025-03-01T10:00:00+0200"_qs;
        QTest::newRow("hour 24") << u"2025-03-01T24:00:00Z"_qs;
        QTest::newRow("comma before fraction") << u"2025-03-01T10:00:00,250Z"_qs;
        QTest::newRow("empty fraction") << u"2025-03-01T10:00:00.Z"_qs;
        QTest::newRow("no such day") << u"2025-02-30T10:00:00Z"_qs;
        QTest::newRow("date only") << u"2025-03-01"_qs;
        QTest::newRow("trailing blank") << u"2025-03-01T10:00:00Z "_qs;
        QTest::newRow("trailing line break") << u"2025-03-01T10:00:00Z\n"_qs;
        QTest::newRow("non-ASCII digits") << u"2025-03-01T1\u0661:00:00Z"_qs;
        QTest::newRow("empty") << QString();
    }
    void rejectsLenientForms()
    {
        QFETCH(QString, text);
        QVERIFY(!Timestamp::parse(text).has_value());
    }

    void formatsUtcWithMilliseconds()
    {
        const QDateTime time(QDate(2025, 3, 1), QTime(13, 0, 0, 250), QTimeZone(3 * 3600));
        QCOMPARE(Timestamp::format(time), u"2025-03-01T10:00:00.250Z"_qs);
        QCOMPARE(Timestamp::parse(Timestamp::format(time)), time.toUTC());
    }
};

QTEST_GUILESS_MAIN(TimestampTest)
#include "TimestampTest.moc"
