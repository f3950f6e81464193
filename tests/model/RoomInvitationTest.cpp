#include "model/RoomInvitation.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const auto room = u"ABCD1234"_s;
const auto api = u"https%3A%2F%2Fhoops.example.com"_s;
const auto ws = u"wss%3A%2F%2Fhoops.example.com"_s;

// A join link with the given query.
QString link(const QString &query)
{
    return u"tosswick://join?"_s + query;
}

QString withRoom(const QString &code)
{
    return link(u"room="_s + code + u"&api="_s + api + u"&ws="_s + ws + u"&key=k"_s);
}

QString withServers(const QString &apiValue, const QString &wsValue)
{
    return link(u"room="_s + room + u"&api="_s + apiValue + u"&ws="_s + wsValue + u"&key=k"_s);
}

QString withKey(const QString &key)
{
    return link(u"room="_s + room + u"&api="_s + api + u"&ws="_s + ws + u"&key="_s + key);
}

const QString valid = withRoom(room);

} // namespace

class RoomInvitationTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void accepts_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<RoomInvitation>("expected");
        const RoomInvitation plain{room, u"https://hoops.example.com"_s,
                                   u"wss://hoops.example.com"_s, u"k"_s};
        QTest::newRow("plain") << valid << plain;
        QTest::newRow("lower-case room is upper-cased") << withRoom(u"abcd1234"_s) << plain;
        QTest::newRow("items in another order")
            << link(u"key=k&ws="_s + ws + u"&room=abCD1234&api="_s + api) << plain;
        QTest::newRow("unknown item ignored") << link(u"utm=1&"_s + valid.mid(16)) << plain;
        QTest::newRow("path, port, user and fragment of the link itself not looked at")
            << (u"tosswick://me@join:99/some/path?"_s + valid.mid(16) + u"#frag"_s) << plain;
        QTest::newRow("8 characters") << withRoom(u"A1B2C3D4"_s)
                                      << RoomInvitation{u"A1B2C3D4"_s, plain.api, plain.websocket,
                                                        plain.key};
        const QString sixtyFour(64, u'Z');
        QTest::newRow("64 characters")
            << withRoom(sixtyFour)
            << RoomInvitation{sixtyFour, plain.api, plain.websocket, plain.key};
        QTest::newRow("api slashes trimmed, ws kept")
            << withServers(u"http%3A%2F%2Flocalhost%3A8088%2F%2F"_s, u"ws%3A%2F%2Flocalhost%2F"_s)
            << RoomInvitation{room, u"http://localhost:8088"_s, u"ws://localhost/"_s, u"k"_s};
        QTest::newRow("http api with wss")
            << withServers(u"http://a.example"_s, u"wss://b.example"_s)
            << RoomInvitation{room, u"http://a.example"_s, u"wss://b.example"_s, u"k"_s};
        QTest::newRow("api with a path")
            << withServers(u"https://a.example/hoops/"_s, u"wss://a.example/ws"_s)
            << RoomInvitation{room, u"https://a.example/hoops"_s, u"wss://a.example/ws"_s, u"k"_s};
        QTest::newRow("IPv6 hosts")
            << withServers(u"http://[::1]:8088"_s, u"ws://[::1]:8088"_s)
            << RoomInvitation{room, u"http://[::1]:8088"_s, u"ws://[::1]:8088"_s, u"k"_s};
        QTest::newRow("key of every allowed kind")
            << withKey(u"desk-hoops_sample.2"_s)
            << RoomInvitation{room, plain.api, plain.websocket, u"desk-hoops_sample.2"_s};
        const QString longKey(128, u'k');
        QTest::newRow("key of 128 characters")
            << withKey(longKey) << RoomInvitation{room, plain.api, plain.websocket, longKey};
        QTest::newRow("plus is not a space")
            << withServers(u"http://a.example"_s, u"ws://b+c.example"_s)
            << RoomInvitation{room, u"http://a.example"_s, u"ws://b+c.example"_s, u"k"_s};
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
        // cases
        QTest::newRow("scheme Tosswick") << (u"Tosswick"_s + valid.mid(8));
        QTest::newRow("host Join") << QString(valid).replace(11, 4, u"Join"_s);
        QTest::newRow("host room") << QString(valid).replace(11, 4, u"room"_s);
        QTest::newRow("no host") << (u"tosswick:join?"_s + valid.mid(16));
        QTest::newRow("another scheme") << (u"https"_s + valid.mid(8));
        // lengths
        QTest::newRow("room of 7") << withRoom(u"ABCD123"_s);
        QTest::newRow("room of 65") << withRoom(QString(65, u'A'));
        QTest::newRow("room with a hyphen") << withRoom(u"ABCD-1234"_s);
        QTest::newRow("room with a decoded line break") << withRoom(u"ABCD1234%0A"_s);
        QTest::newRow("room with a non-ASCII letter") << withRoom(u"ABCD123%C3%84"_s);
        QTest::newRow("empty room") << withRoom(QString());
        // schemes
        QTest::newRow("https api with ws") << withServers(u"https://a.example"_s, u"ws://a.example"_s);
        QTest::newRow("ftp api") << withServers(u"ftp://a.example"_s, u"ws://a.example"_s);
        QTest::newRow("wss as api") << withServers(u"wss://a.example"_s, u"wss://a.example"_s);
        QTest::newRow("upper-case api scheme")
            << withServers(u"HTTP://a.example"_s, u"ws://a.example"_s);
        QTest::newRow("http as ws") << withServers(u"http://a.example"_s, u"http://a.example"_s);
        QTest::newRow("upper-case ws scheme")
            << withServers(u"http://a.example"_s, u"WS://a.example"_s);
        QTest::newRow("api without scheme") << withServers(u"a.example"_s, u"ws://a.example"_s);
        QTest::newRow("api without host") << withServers(u"http:///x"_s, u"ws://a.example"_s);
        QTest::newRow("ws without host") << withServers(u"http://a.example"_s, u"ws:"_s);
        QTest::newRow("api with a bad port")
            << withServers(u"http://a.example:80x"_s, u"ws://a.example"_s);
        QTest::newRow("api with a blank")
            << withServers(u"http://a.example/a%20b"_s, u"ws://a.example"_s);
        // duplicates
        QTest::newRow("room twice") << (valid + u"&room=ABCD1234"_s);
        QTest::newRow("unknown name twice") << (valid + u"&x=1&x=2"_s);
        QTest::newRow("same name once encoded") << (valid + u"&k%65y=k"_s);
        // user info
        QTest::newRow("api with user")
            << withServers(u"http://me@a.example"_s, u"ws://a.example"_s);
        QTest::newRow("api with user and password")
            << withServers(u"http://me:pw@a.example"_s, u"ws://a.example"_s);
        QTest::newRow("ws with user") << withServers(u"http://a.example"_s, u"ws://me@a.example"_s);
        // query
        QTest::newRow("api with a query")
            << withServers(u"http://a.example%3Fx%3D1"_s, u"ws://a.example"_s);
        QTest::newRow("api with an empty query")
            << withServers(u"http://a.example%3F"_s, u"ws://a.example"_s);
        QTest::newRow("ws with a query")
            << withServers(u"http://a.example"_s, u"ws://a.example%3Fx"_s);
        // fragment
        QTest::newRow("api with a fragment")
            << withServers(u"http://a.example%23top"_s, u"ws://a.example"_s);
        QTest::newRow("ws with a fragment")
            << withServers(u"http://a.example"_s, u"ws://a.example%23"_s);
        // key
        QTest::newRow("key of 129") << withKey(QString(129, u'k'));
        QTest::newRow("empty key") << withKey(QString());
        QTest::newRow("key with a blank") << withKey(u"desk%20hoops"_s);
        QTest::newRow("key with a slash") << withKey(u"desk%2Fhoops"_s);
        QTest::newRow("key with a decoded line break") << withKey(u"desk%0A"_s);
        // missing items
        QTest::newRow("no room") << link(u"api="_s + api + u"&ws="_s + ws + u"&key=k"_s);
        QTest::newRow("no api") << link(u"room="_s + room + u"&ws="_s + ws + u"&key=k"_s);
        QTest::newRow("no ws") << link(u"room="_s + room + u"&api="_s + api + u"&key=k"_s);
        QTest::newRow("no key") << link(u"room="_s + room + u"&api="_s + api + u"&ws="_s + ws);
        QTest::newRow("no query") << u"tosswick://join"_s;
        // malformed text
        QTest::newRow("bad percent escape") << (valid + u"&x=%zz"_s);
        QTest::newRow("percent escape that is not UTF-8") << (valid + u"&x=%FF"_s);
        QTest::newRow("blank in the link") << (valid + u"&x=a b"_s);
        QTest::newRow("empty text") << QString();
    }
    void rejects()
    {
        QFETCH(QString, link);
        QVERIFY(!RoomInvitation::parse(link).has_value());
    }
};

QTEST_GUILESS_MAIN(RoomInvitationTest)
#include "RoomInvitationTest.moc"
