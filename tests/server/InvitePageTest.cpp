#include "ApiClient.h"
#include "TestServer.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>

using namespace Qt::StringLiterals;

namespace {

// Undoes the entity escaping of the dumped DOM, for the few entities Chromium writes.
QString unescapeHtml(QString text)
{
    text.replace(u"&lt;"_s, u"<"_s).replace(u"&gt;"_s, u">"_s).replace(u"&quot;"_s, u"\""_s);
    return text.replace(u"&amp;"_s, u"&"_s);
}

QString capture(const QString &dom, const QString &pattern)
{
    const auto match = QRegularExpression(pattern).match(dom);
    return match.hasMatch() ? unescapeHtml(match.captured(1)) : QString();
}

} // namespace

// The invitation page as a real browser engine renders it: headless Chromium loads
// /invite#FRAGMENT from the real server, runs the page's own script, and the test reads the
// resulting DOM.
class InvitePageTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        m_chromium = QStandardPaths::findExecutable(u"chromium"_s);
        QVERIFY2(!m_chromium.isEmpty(), "chromium is missing: run scripts/setup-deps.sh");
        QVERIFY2(m_server.start(), qPrintable(m_server.errorText()));
    }

    void isSelfContained()
    {
        QProcess curl;
        curl.start(u"curl"_s, { u"-si"_s, m_server.httpUrl().toString() + u"/invite"_s });
        QVERIFY(curl.waitForFinished(10000));
        const QString response = QString::fromUtf8(curl.readAllStandardOutput());
        const qsizetype split = response.indexOf(u"\r\n\r\n"_s);
        QVERIFY(split > 0);
        const QString head = response.left(split).toLower();
        const QString html = response.mid(split + 4);
        QVERIFY2(head.startsWith(u"http/1.1 200"_s), qPrintable(head));
        QVERIFY(head.contains(u"\r\ncontent-type: text/html; charset=utf-8"_s));
        QVERIFY(head.contains(u"\r\ncontent-security-policy: default-src 'none'; "_s));
        QVERIFY(html.startsWith(u"<!DOCTYPE html>"_s));
        // Nothing loaded from anywhere: no src or href attributes, no external style sheets.
        QVERIFY(!html.contains(QRegularExpression(u"\\s(src|href)\\s*="_s)));
        QVERIFY(!html.contains(u"<link"_s));
    }

    void showsRoomOrProblem_data()
    {
        QTest::addColumn<QString>("fragment");
        QTest::addColumn<QString>("room"); // empty: the page must show a problem
        QTest::addColumn<QString>("problem"); // text the problem line must contain
        const QString longest(64, u'Z');
        QTest::newRow("Room ID") << u"ABCD1234"_s << u"ABCD1234"_s << QString();
        QTest::newRow("64 mixed-case characters")
            << u"a1"_s + longest.left(62) << u"a1"_s + longest.left(62) << QString();
        QTest::newRow("no fragment") << QString() << QString() << u"no Room ID"_s;
        QTest::newRow("7 characters") << u"ABC1234"_s << QString() << u"\"ABC1234\""_s;
        QTest::newRow("65 characters") << longest + u'Z' << QString() << u"8 to 64"_s;
        QTest::newRow("markup") << u"<img src=x onerror=alert(1)>"_s << QString()
                                << u"\"<img src=x onerror=alert(1)>\""_s;
        QTest::newRow("escaped markup")
            << u"%3Cb%3Ebold%3C%2Fb%3E"_s << QString() << u"\"<b>bold</b>\""_s;
        QTest::newRow("letters beyond ASCII") << u"ÄBCDEFGH1"_s << QString() << u"8 to 64"_s;
    }

    void showsRoomOrProblem()
    {
        QFETCH(QString, fragment);
        QFETCH(QString, room);
        QFETCH(QString, problem);
        QString address = m_server.httpUrl().toString() + u"/invite"_s;
        if (!fragment.isEmpty())
            address += u'#' + fragment;
        const QString dom = render(address);
        QVERIFY2(dom.contains(u"<h1>Tosswick</h1>"_s), qPrintable(dom));
        // What the fragment held never became elements.
        QVERIFY(!dom.contains(u"<img"_s));
        QVERIFY(!dom.contains(u"<b>"_s));

        const bool invitationShown = !dom.contains(u"<section id=\"invitation\" hidden"_s);
        const bool problemShown = !dom.contains(u"<section id=\"problem\" hidden"_s);
        const QString link = capture(dom, u"<a id=\"open\" class=\"button\" href=\"([^\"]*)\""_s);
        if (room.isEmpty()) {
            QVERIFY(!invitationShown);
            QVERIFY(problemShown);
            QVERIFY(link.isEmpty());
            const QString text
                = capture(dom, u"<p id=\"problem-text\" class=\"problem\">([^<]*)</p>"_s);
            QVERIFY2(text.contains(problem), qPrintable(text));
            return;
        }
        QVERIFY(invitationShown);
        QVERIFY(!problemShown);
        QCOMPARE(capture(dom, u"<code id=\"room\">([^<]*)</code>"_s), room);
        const QUrl url(link, QUrl::StrictMode);
        QCOMPARE(url.scheme(), u"tosswick"_s);
        QCOMPARE(url.host(), u"join"_s);
        const QUrlQuery query(url);
        QCOMPARE(query.queryItems().size(), 4);
        QCOMPARE(query.queryItemValue(u"room"_s, QUrl::FullyDecoded), room);
        QCOMPARE(query.queryItemValue(u"api"_s, QUrl::FullyDecoded), m_server.httpUrl().toString());
        QCOMPARE(query.queryItemValue(u"ws"_s, QUrl::FullyDecoded), m_server.wsUrl().toString());
        QCOMPARE(query.queryItemValue(u"key"_s, QUrl::FullyDecoded),
            QString::fromLatin1(TestServer::appKey));
        // The URLs inside are percent-encoded, so they cannot end the link's query early.
        QVERIFY(link.contains(u"api=http%3A%2F%2F127.0.0.1%3A"_s));
    }

    void cleanupTestCase() { QVERIFY(m_server.stop()); }

private:
    QString render(const QString &address)
    {
        QTemporaryDir profile;
        QProcess browser;
        browser.start(m_chromium,
            { u"--headless"_s, u"--no-sandbox"_s, u"--disable-gpu"_s, u"--disable-quic"_s,
                u"--no-first-run"_s, u"--disable-background-networking"_s,
                u"--disable-component-update"_s, u"--disable-sync"_s,
                u"--user-data-dir="_s + profile.path(), u"--dump-dom"_s, address });
        if (!browser.waitForFinished(60000)) {
            browser.kill();
            browser.waitForFinished();
        }
        return QString::fromUtf8(browser.readAllStandardOutput());
    }

    TestServer m_server;
    QString m_chromium;
};

QTEST_GUILESS_MAIN(InvitePageTest)
#include "InvitePageTest.moc"
