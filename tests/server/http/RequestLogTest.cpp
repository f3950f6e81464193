#include "http/RequestLog.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// Text that u""_s cannot hold: surrogates out of their pairs.
QString units(const char16_t *data, qsizetype size)
{
    return QStringView(data, size).toString();
}

} // namespace

class RequestLogTest : public QObject {
    Q_OBJECT

private slots:
    void clean_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("maxLength");
        QTest::addColumn<QString>("cleaned");

        QTest::newRow("C0 and DEL") << u"a\r\n\t b\u007f"_s << 200 << u"a\\x0D\\x0A\\x09 b\\x7F"_s;
        QTest::newRow("C1") << u"a\u0085\u009bé"_s << 200 << u"a\\x85\\x9Bé"_s;
        QTest::newRow("line separators") << u"\u2028\u2029"_s << 200 << u"\\u2028\\u2029"_s;
        QTest::newRow("bidirectional override") << u"a\u202eb"_s << 200 << u"a\\u202Eb"_s;
        QTest::newRow("backslash cannot forge an escape") << u"\\x0A"_s << 200 << u"\\\\x0A"_s;
        QTest::newRow("pair kept") << u"a😀b"_s << 200 << u"a😀b"_s;
        QTest::newRow("lone high surrogate") << units(u"a\xd83d?", 3) << 200 << u"a\\uD83D?"_s;
        QTest::newRow("reversed pair") << units(u"\xde00\xd83d", 2) << 200 << u"\\uDE00\\uD83D"_s;
        QTest::newRow("cut") << u"abcdef"_s << 3 << u"abc…"_s;
        QTest::newRow("cut at the log's length")
            << QString(201, u'a') << -1 << QString(200, u'a') + u'…';
        QTest::newRow("escape kept whole") << u"ab\ncd"_s << 5 << u"ab…"_s;
        QTest::newRow("backslash kept whole") << u"ab\\"_s << 3 << u"ab…"_s;
        QTest::newRow("pair kept whole") << u"ab😀"_s << 3 << u"ab…"_s;
    }

    void clean()
    {
        QFETCH(QString, text);
        QFETCH(int, maxLength);
        QFETCH(QString, cleaned);
        QCOMPARE(
            maxLength < 0 ? RequestLog::clean(text) : RequestLog::clean(text, maxLength), cleaned);
    }

    void repeatsAreCountedOncePerWindow()
    {
        QStringList lines;
        RequestLog log([&](const QString &line) { lines.append(line); });
        const QString notFound = u"request error: GET /rooms/9\\x0A -> 404"_s;
        log.refused(u"GET", u"/rooms/9\n", 404, 0);
        log.refused(u"GET", u"/rooms/9\n", 404, 1000);
        log.refused(u"POST", u"/rooms", 429, 2000);
        log.refused(u"GET", u"/rooms/9\n", 404, 59'999);
        log.flush(59'999);
        QCOMPARE(lines, QStringList({ notFound, u"request error: POST /rooms -> 429"_s }));

        lines.clear();
        log.flush(62'000);
        QCOMPARE(lines, QStringList(notFound + u" repeated 2 more times in the last 60 s"_s));

        // Forgotten once flushed: the next one is logged again.
        lines.clear();
        log.refused(u"GET", u"/rooms/9\n", 404, 62'001);
        QCOMPARE(lines, QStringList(notFound));

        // A window that passed before the owner flushed closes at the next refusal.
        log.refused(u"GET", u"/rooms/9\n", 404, 62'002);
        lines.clear();
        log.refused(u"GET", u"/rooms/9\n", 404, 122'001);
        QCOMPARE(lines,
            QStringList({ notFound + u" repeated 1 more times in the last 60 s"_s, notFound }));
    }
};

QTEST_APPLESS_MAIN(RequestLogTest)
#include "RequestLogTest.moc"
