#include "model/RoomInvitation.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const auto room = u"ABCD1234"_s;
const auto api = u"https%3A%2F%2Fhoops.example.com"_s;
const auto ws = u"wss%3A%2F%2Fhoops.example.com"_s;

// A join link with these items, as given (already encoded).
QString link(const QString &code = room, const QString &apiValue = api, const QString &wsValue = ws,
    const QString &key = u"k"_s)
{
    return u"tosswick://join?room="_s + code + u"&api="_s + apiValue + u"&ws="_s + wsValue
        + u"&key="_s + key;
}

QString withServers(const QString &apiValue, const QString &wsValue)
{
    return link(room, apiValue, wsValue);
}

const QString valid = link();

} // namespace

class RoomInvitationTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void accepts_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<RoomInvitation>("expected");
        const QString https = u"https://hoops.example.com"_s, wss = u"wss://hoops.example.com"_s;
        const QString sixtyFour(64, u'Z'), longKey(128, u'k');
        QTest::newRow("plain") << valid << RoomInvitation { room, https, wss, u"k"_s };
        QTest::newRow("lower-case room is upper-cased")
            << link(u"abcd1234"_s) << RoomInvitation { room, https, wss, u"k"_s };
        QTest::newRow("64 characters")
            << link(sixtyFour) << RoomInvitation { sixtyFour, https, wss, u"k"_s };
        QTest::newRow("api slashes trimmed, ws kept")
            << withServers(u"http%3A%2F%2Flocalhost%3A8088%2F%2F"_s, u"ws%3A%2F%2Flocalhost%2F"_s)
            << RoomInvitation { room, u"http://localhost:8088"_s, u"ws://localhost/"_s, u"k"_s };
        QTest::newRow("key of 128 characters")
            << link(room, api, ws, longKey) << RoomInvitation { room, https, wss, longKey };
    }
    void accepts()
    {
        QFETCH(QString, link);
        QFETCH(RoomInvitation, expected);
        QCOMPARE(RoomInvitation::parse(link), expected);
    }

    void rejects_data()
    {
        QTest::addColumn<QString>("link");
        QTest::newRow("scheme Tosswick") << (u"Tosswick"_s + valid.mid(8));
        QTest::newRow("host Join") << QString(valid).replace(11, 4, u"Join"_s);
        QTest::newRow("no host") << (u"tosswick:join?"_s + valid.mid(16));
        QTest::newRow("room with a hyphen") << link(u"ABCD-1234"_s);
        QTest::newRow("https api with ws") << withServers(u"https://a.example"_s, u"ws://a"_s);
        QTest::newRow("http as ws") << withServers(u"http://a.example"_s, u"http://a.example"_s);
        QTest::newRow("api without host") << withServers(u"http:///x"_s, u"ws://a.example"_s);
        QTest::newRow("room twice") << (valid + u"&room=ABCD1234"_s);
        QTest::newRow("api with user") << withServers(u"http://me@a.example"_s, u"ws://a"_s);
        QTest::newRow("key of 129") << link(room, api, ws, QString(129, u'k'));
        QTest::newRow("no key") << valid.left(valid.indexOf(u"&key"_s));
        QTest::newRow("bad percent escape") << (valid + u"&x=%zz"_s);
        QTest::newRow("blank in the link") << (valid + u"&x=a b"_s);
    }
    void rejects()
    {
        QFETCH(QString, link);
        QVERIFY(!RoomInvitation::parse(link).has_value());
    }
};

QTEST_GUILESS_MAIN(RoomInvitationTest)
#include "RoomInvitationTest.moc"
