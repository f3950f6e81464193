#include "TestServer.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>

using namespace Qt::StringLiterals;

// The invitation page as a real browser engine renders it: headless Chromium loads
// /invite#FRAGMENT from the real server and runs the page's own script, which alone reads the
// fragment; the test reads the resulting DOM.
class InvitePageTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        m_chromium = QStandardPaths::findExecutable(u"chromium"_s);
        QVERIFY2(!m_chromium.isEmpty(), "chromium is missing: run scripts/setup-deps.sh");
        QVERIFY2(m_server.start(), qPrintable(m_server.errorText()));
    }

    // Only the page's own script and style may run: nothing is loaded from anywhere.
    void loadsNothingFromElsewhere()
    {
        QProcess curl;
        curl.start(u"curl"_s, { u"-si"_s, m_server.httpUrl().toString() + u"/invite"_s });
        QVERIFY(curl.waitForFinished(10000));
        const QString response = QString::fromUtf8(curl.readAllStandardOutput()).toLower();
        QVERIFY(response.contains(u"\r\ncontent-security-policy: default-src 'none'; "_s)
            && !response.contains(QRegularExpression(u"\\s(src|href)\\s*="_s)));
    }

    void showsRoomOrProblem_data()
    {
        QTest::addColumn<QString>("fragment");
        QTest::addColumn<QString>("shown"); // the Room ID, or text the problem line contains
        const QString longest = u"a1"_s + QString(62, u'Z');
        QTest::newRow("Room ID") << u"ABCD1234"_s << u"ABCD1234"_s;
        QTest::newRow("64 mixed-case characters") << longest << longest;
        QTest::newRow("no fragment") << QString() << u"no Room ID"_s;
        QTest::newRow("7 characters") << u"ABC1234"_s << u"\"ABC1234\""_s;
        QTest::newRow("65 characters") << longest + u'Z' << u"8 to 64"_s;
        QTest::newRow("markup") << u"<img src=x onerror=alert(1)>"_s
                                << u"\"<img src=x onerror=alert(1)>\""_s;
        QTest::newRow("escaped markup") << u"%3Cb%3Ebold%3C%2Fb%3E"_s << u"\"<b>bold</b>\""_s;
        QTest::newRow("letters beyond ASCII") << u"ÄBCDEFGH1"_s << u"8 to 64"_s;
    }

    void showsRoomOrProblem()
    {
        QFETCH(QString, fragment);
        QFETCH(QString, shown);
        const QString dom = render(fragment);
        // What the fragment held never became elements.
        QVERIFY2(dom.contains(u"<h1>Tosswick</h1>"_s) && !dom.contains(u"<img"_s)
                && !dom.contains(u"<b>"_s),
            qPrintable(dom));
        const bool valid = fragment == shown;
        QCOMPARE(dom.contains(u"<section id=\"invitation\" hidden"_s), !valid);
        QCOMPARE(dom.contains(u"<section id=\"problem\" hidden"_s), valid);
        const QString link = capture(dom, u"<a id=\"open\" class=\"button\" href=\"([^\"]*)\""_s);
        const QString text
            = capture(dom, u"<p id=\"problem-text\" class=\"problem\">([^<]*)</p>"_s);
        QVERIFY2(valid != link.isEmpty() && (valid || text.contains(shown)), qPrintable(text));
        if (!valid)
            return;
        // The URLs inside are percent-encoded, so they cannot end the link's query early.
        QVERIFY(link.startsWith(u"tosswick://join?"_s) && link.contains(u"api=http%3A%2F%2F1"_s));
        QStringList items
            = QUrlQuery(QUrl(link, QUrl::StrictMode)).toString(QUrl::FullyDecoded).split(u'&');
        items.sort();
        QCOMPARE(capture(dom, u"<code id=\"room\">([^<]*)</code>"_s) + u' ' + items.join(u'&'),
            u"%1 api=%2&key=%3&room=%1&ws=%4"_s.arg(shown, m_server.httpUrl().toString(),
                QString::fromLatin1(TestServer::appKey), m_server.wsUrl().toString()));
    }

    void cleanupTestCase() { QVERIFY(m_server.stop()); }

private:
    static QString capture(const QString &dom, const QString &pattern)
    {
        QString text = QRegularExpression(pattern).match(dom).captured(1);
        // Undoes the few entities Chromium writes.
        text.replace(u"&lt;"_s, u"<"_s).replace(u"&gt;"_s, u">"_s).replace(u"&quot;"_s, u"\""_s);
        return text.replace(u"&amp;"_s, u"&"_s);
    }

    QString render(const QString &fragment)
    {
        QString address = m_server.httpUrl().toString() + u"/invite"_s;
        if (!fragment.isEmpty())
            address += u'#' + fragment;
        QTemporaryDir profile;
        QProcess browser;
        browser.start(m_chromium,
            u"--headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
            "--disable-background-networking --disable-component-update --disable-sync --dump-dom"_s
                    .split(u' ')
                + QStringList { u"--user-data-dir="_s + profile.path(), address });
        browser.waitForFinished(60000); // else it is killed on the way out
        return QString::fromUtf8(browser.readAllStandardOutput());
    }

    TestServer m_server;
    QString m_chromium;
};

QTEST_GUILESS_MAIN(InvitePageTest)
#include "InvitePageTest.moc"
