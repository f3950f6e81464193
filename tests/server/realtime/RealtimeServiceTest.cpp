#include "realtime/RealtimeService.h"
#include "WireClient.h"
#include "WireFrames.h"
#include "net/HttpListener.h"
#include "realtime/ChannelAuth.h"
#include "realtime/PusherFrame.h"
#include "realtime/RealtimeSocket.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTest>
#include <QUuid>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using namespace WireFrames;

namespace {

const QString appKey = u"desk-hoops-sample"_s;
const QByteArray appSecret = "unit-test-secret";

RealtimeConfig standardConfig()
{
    RealtimeConfig config;
    config.appKey = appKey;
    config.appSecret = appSecret;
    return config;
}

// The service behind the server's own transport on a free loopback port.
class Rig {
public:
    explicit Rig(const RealtimeConfig &config = standardConfig())
        : service(config)
        , transport({}, [](const HttpRequest &) { return HttpReply::error(404, {}); })
    {
        transport.setWebSocketHandler(
            [this](std::unique_ptr<RealtimeSocket> socket) { service.accept(std::move(socket)); });
        transport.listen(QHostAddress::LocalHost, 0);
    }
    QUrl base() const { return QUrl(u"ws://127.0.0.1:%1"_s.arg(transport.port())); }
    QUrl url() const { return WireClient::channelUrl(base(), appKey); }

    RealtimeService service;
    HttpListener transport;
};

QString goodAuth(const QString &socketId, const QString &channel)
{
    return ChannelAuth::authValue(appKey, appSecret, socketId, channel);
}

// Subscribes and reads the reply; true when it was the success frame.
bool subscribe(WireClient &client, const QString &socketId, qint64 room)
{
    const QString channel = PusherFrame::roomChannel(room);
    client.send(WireFrames::subscribe(channel, goodAuth(socketId, channel)));
    return client.next() == subscriptionSucceeded(channel);
}

} // namespace

class RealtimeServiceTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void greetsWithSocketId()
    {
        Rig rig;
        WireClient first, second;
        QVERIFY(first.open(rig.url()));
        const auto greeting = first.next();
        QVERIFY(greeting);
        QVERIFY2(isGreeting(*greeting, 30), QJsonDocument(*greeting).toJson().constData());
        const QString id = dataText(*greeting).value(u"socket_id"_s).toString();
        QVERIFY(rig.service.isLive(id));

        const QString otherId = second.connectAndGreet(rig.url());
        QVERIFY(!otherId.isEmpty());
        QVERIFY(otherId != id);
        QCOMPARE(rig.service.connectionCount(), 2);

        first.socket().close();
        QTRY_VERIFY(!rig.service.isLive(id));
        QTRY_COMPARE(rig.service.connectionCount(), 1);
        QVERIFY(rig.service.isLive(otherId));
    }

    void refusesAddress_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("query");
        QTest::addColumn<int>("code");
        const QString standard = u"protocol=7&client=toss-wick&version=1.0&flash=false"_s;
        QTest::newRow("unknown app key") << u"/app/someone-else"_s << standard << 4001;
        QTest::newRow("key with a suffix") << u"/app/desk-hoops-sample/x"_s << standard << 4001;
        QTest::newRow("protocol 6")
            << u"/app/desk-hoops-sample"_s << u"protocol=6&client=js&version=4.0"_s << 4007;
        QTest::newRow("protocol 8") << u"/app/desk-hoops-sample"_s << u"protocol=8"_s << 4007;
        QTest::newRow("no protocol") << u"/app/desk-hoops-sample"_s << u"client=js"_s << 4008;
        QTest::newRow("other path") << u"/socket"_s << standard << 4005;
    }
    void refusesAddress()
    {
        QFETCH(QString, path);
        QFETCH(QString, query);
        QFETCH(int, code);
        Rig rig;
        QUrl url = rig.base();
        url.setPath(path);
        url.setQuery(query);
        WireClient client;
        QVERIFY(isRefused(client, url, code));
        QTRY_COMPARE(rig.service.connectionCount(), 0);
    }

    void signsAsTheProtocolDocuments()
    {
        QCOMPARE(
            ChannelAuth::signature("7ad3773142a6692b25b8", u"1234.1234"_s, u"private-foobar"_s),
            QByteArray("58df8b0c36d6982b82c3ecf6b4662e34fe8c25bba48f5369f135bf843651c3a4"));
        QCOMPARE(ChannelAuth::authValue(u"278d425bdf160c739803"_s, "7ad3773142a6692b25b8",
                     u"1234.1234"_s, u"private-foobar"_s),
            u"278d425bdf160c739803:"
            "58df8b0c36d6982b82c3ecf6b4662e34fe8c25bba48f5369f135bf843651c3a4"_s);
    }

    void comparesWholeTexts_data()
    {
        QTest::addColumn<QString>("given");
        QTest::addColumn<bool>("same");
        QTest::newRow("equal") << u"key:abc123"_s << true;
        QTest::newRow("last character differs") << u"key:abc124"_s << false;
        QTest::newRow("first character differs") << u"Key:abc123"_s << false;
        QTest::newRow("a prefix") << u"key:abc12"_s << false;
        QTest::newRow("longer") << u"key:abc1234"_s << false;
        QTest::newRow("empty") << QString() << false;
    }
    void comparesWholeTexts()
    {
        QFETCH(QString, given);
        QFETCH(bool, same);
        QCOMPARE(ChannelAuth::sameText(u"key:abc123"_s, given), same);
    }

    void readsRoomChannels_data()
    {
        QTest::addColumn<QString>("channel");
        QTest::addColumn<qint64>("room");
        QTest::newRow("plain") << u"private-room.42"_s << qint64(42);
        QTest::newRow("one") << u"private-room.1"_s << qint64(1);
        QTest::newRow("18 digits")
            << u"private-room.999999999999999999"_s << qint64(999999999999999999);
        QTest::newRow("19 digits") << u"private-room.1000000000000000000"_s << qint64(0);
        QTest::newRow("leading zero") << u"private-room.042"_s << qint64(0);
        QTest::newRow("zero") << u"private-room.0"_s << qint64(0);
        QTest::newRow("negative") << u"private-room.-1"_s << qint64(0);
        QTest::newRow("final newline") << u"private-room.42\n"_s << qint64(0);
        QTest::newRow("no id") << u"private-room."_s << qint64(0);
        QTest::newRow("letters") << u"private-room.4a"_s << qint64(0);
        QTest::newRow("public") << u"room.42"_s << qint64(0);
        QTest::newRow("presence") << u"presence-room.42"_s << qint64(0);
        QTest::newRow("upper case") << u"PRIVATE-ROOM.42"_s << qint64(0);
    }
    void readsRoomChannels()
    {
        QFETCH(QString, channel);
        QFETCH(qint64, room);
        const auto read = PusherFrame::roomOfChannel(channel);
        QCOMPARE(read.value_or(0), room);
        if (read)
            QCOMPARE(PusherFrame::roomChannel(*read), channel);
    }

    void subscribes_data()
    {
        QTest::addColumn<QString>("channel");
        QTest::addColumn<QString>("signedChannel");
        QTest::addColumn<QString>("signedSocket"); // empty: the client's own
        QTest::addColumn<QByteArray>("secret");
        QTest::addColumn<QString>("keyPrefix");
        QTest::addColumn<bool>("upperCase");
        QTest::addColumn<bool>("withAuth");
        QTest::addColumn<bool>("dataAsText");
        QTest::addColumn<bool>("accepted");
        const QString room = u"private-room.42"_s;
        const QString key = appKey + u':';
        QTest::newRow("good") << room << room << QString() << appSecret << key << false << true
                              << false << true;
        QTest::newRow("good, data as a JSON text")
            << room << room << QString() << appSecret << key << false << true << true << true;
        QTest::newRow("other secret") << room << room << QString() << QByteArray("guess") << key
                                      << false << true << false << false;
        QTest::newRow("other socket")
            << room << room << u"1.2"_s << appSecret << key << false << true << false << false;
        QTest::newRow("other channel") << room << u"private-room.43"_s << QString() << appSecret
                                       << key << false << true << false << false;
        QTest::newRow("other key") << room << room << QString() << appSecret << u"other-key:"_s
                                   << false << true << false << false;
        QTest::newRow("no key") << room << room << QString() << appSecret << QString() << false
                                << true << false << false;
        QTest::newRow("upper-case hex")
            << room << room << QString() << appSecret << key << true << true << false << false;
        QTest::newRow("no auth") << room << room << QString() << appSecret << key << false << false
                                 << false << false;
        QTest::newRow("public channel, signed")
            << u"room.42"_s << u"room.42"_s << QString() << appSecret << key << false << true
            << false << false;
        QTest::newRow("leading zero, signed")
            << u"private-room.042"_s << u"private-room.042"_s << QString() << appSecret << key
            << false << true << false << false;
    }
    void subscribes()
    {
        QFETCH(QString, channel);
        QFETCH(QString, signedChannel);
        QFETCH(QString, signedSocket);
        QFETCH(QByteArray, secret);
        QFETCH(QString, keyPrefix);
        QFETCH(bool, upperCase);
        QFETCH(bool, withAuth);
        QFETCH(bool, dataAsText);
        QFETCH(bool, accepted);
        Rig rig;
        WireClient client;
        const QString socketId = client.connectAndGreet(rig.url());
        QVERIFY(!socketId.isEmpty());

        QString signature = QString::fromLatin1(ChannelAuth::signature(
            secret, signedSocket.isEmpty() ? socketId : signedSocket, signedChannel));
        if (upperCase)
            signature = signature.toUpper();
        QJsonObject data { { u"channel"_s, channel } };
        if (withAuth)
            data.insert(u"auth"_s, QString(keyPrefix + signature));
        QJsonObject frame { { u"event"_s, u"pusher:subscribe"_s } };
        if (dataAsText)
            frame.insert(u"data"_s, QString::fromUtf8(QJsonDocument(data).toJson()));
        else
            frame.insert(u"data"_s, data);
        client.send(frame);

        if (accepted) {
            QCOMPARE(client.next(), subscriptionSucceeded(channel));
            QCOMPARE(rig.service.subscriberCount(42), 1);
            QCOMPARE(rig.service.announceRoomChanged(42, u"test"_s), 1);
            const auto event = client.next();
            QVERIFY(event);
            QCOMPARE(event->value(u"event"_s), u"room.changed"_s);
            return;
        }
        const auto refusal = client.next();
        QVERIFY(refusal);
        QCOMPARE(refusal->keys(), (QStringList { u"channel"_s, u"data"_s, u"event"_s }));
        QCOMPARE(refusal->value(u"event"_s), u"pusher:subscription_error"_s);
        QCOMPARE(refusal->value(u"channel"_s), channel);
        const QJsonObject why = dataText(*refusal);
        QCOMPARE(why.keys(), (QStringList { u"error"_s, u"status"_s, u"type"_s }));
        QCOMPARE(why.value(u"type"_s), u"AuthError"_s);
        QCOMPARE(why.value(u"status"_s), QJsonValue(401));
        const auto error = client.next();
        QVERIFY(error);
        QVERIFY(isError(*error, 4009));
        QCOMPARE(rig.service.subscriberCount(42), 0);
        QCOMPARE(rig.service.announceRoomChanged(42, u"test"_s), 0);
        QVERIFY(nothingElseArrived(client));
        QVERIFY(client.isConnected());
    }

    void closesSilentClientWith4201()
    {
        RealtimeConfig config = standardConfig();
        config.activityTimeout = 150ms;
        config.pongTimeout = 300ms;
        Rig rig(config);
        WireClient client;
        QVERIFY(client.open(rig.url()));
        const auto greeting = client.next();
        QVERIFY(greeting);
        // Whole seconds on the wire; never zero.
        QCOMPARE(dataText(*greeting).value(u"activity_timeout"_s), QJsonValue(1));
        const QString socketId = dataText(*greeting).value(u"socket_id"_s).toString();
        QVERIFY(closesWhenSilent(client));
        QVERIFY(!rig.service.isLive(socketId));
    }

    void keepsClientThatAnswersPings()
    {
        RealtimeConfig config = standardConfig();
        config.activityTimeout = 150ms;
        config.pongTimeout = 300ms;
        Rig rig(config);
        WireClient client;
        QVERIFY(!client.connectAndGreet(rig.url()).isEmpty());
        for (int round = 0; round < 3; ++round) {
            const auto ping = client.next();
            QVERIFY(ping);
            QCOMPARE(ping->value(u"event"_s), u"pusher:ping"_s);
            QVERIFY(client.isConnected());
            client.send(message(u"pusher:pong"_s));
        }
        QVERIFY(client.isConnected());
    }

    void unsubscribeStopsEvents()
    {
        Rig rig;
        WireClient client;
        const QString id = client.connectAndGreet(rig.url());
        QVERIFY(subscribe(client, id, 5));
        client.send(message(u"pusher:unsubscribe"_s, { { u"channel"_s, u"private-room.5"_s } }));
        QTRY_COMPARE(rig.service.subscriberCount(5), 0);
        QCOMPARE(rig.service.announceRoomChanged(5, u"test"_s), 0);
        QVERIFY(nothingElseArrived(client));
    }

    void roomChangeReachesEachSubscriberOnce()
    {
        Rig rig;
        WireClient a, b, other, idle;
        const QString aId = a.connectAndGreet(rig.url());
        const QString bId = b.connectAndGreet(rig.url());
        const QString otherId = other.connectAndGreet(rig.url());
        QVERIFY(!idle.connectAndGreet(rig.url()).isEmpty());
        QVERIFY(subscribe(a, aId, 7));
        QVERIFY(subscribe(b, bId, 7));
        // A repeated subscription must not double the deliveries.
        QVERIFY(subscribe(b, bId, 7));
        QVERIFY(subscribe(other, otherId, 8));

        QStringList ids;
        for (const QString &reason : { u"round_opened"_s, u"scored"_s }) {
            QCOMPARE(rig.service.announceRoomChanged(7, reason), 2);
            QString eventId;
            for (WireClient *client : { &a, &b }) {
                const auto frame = client->next();
                QVERIFY(frame);
                QCOMPARE(frame->keys(), (QStringList { u"channel"_s, u"data"_s, u"event"_s }));
                QCOMPARE(frame->value(u"event"_s), u"room.changed"_s);
                QCOMPARE(frame->value(u"channel"_s), u"private-room.7"_s);
                const QJsonObject data = dataText(*frame);
                QCOMPARE(data.keys(), (QStringList { u"event_id"_s, u"reason"_s }));
                QCOMPARE(data.value(u"reason"_s), reason);
                const QString id = data.value(u"event_id"_s).toString();
                QVERIFY(!QUuid::fromString(id).isNull());
                QCOMPARE(id.size(), 36);
                if (eventId.isEmpty())
                    eventId = id;
                QCOMPARE(id, eventId);
            }
            ids.append(eventId);
        }
        QVERIFY(ids.at(0) != ids.at(1));
        for (WireClient *client : { &a, &b, &other, &idle })
            QVERIFY(nothingElseArrived(*client));
    }

    void refusesClientEvents()
    {
        Rig rig;
        WireClient a, b;
        const QString aId = a.connectAndGreet(rig.url());
        const QString bId = b.connectAndGreet(rig.url());
        QVERIFY(subscribe(a, aId, 3));
        QVERIFY(subscribe(b, bId, 3));
        for (int attempt = 0; attempt < 3; ++attempt) {
            QJsonObject frame = message(u"client-moved"_s, { { u"x"_s, 1 } });
            frame.insert(u"channel"_s, u"private-room.3"_s);
            a.send(frame);
            const auto reply = a.next();
            QVERIFY(reply);
            QVERIFY(isError(*reply, QJsonValue()));
        }
        // Refused events are no bad frames: the connection stays, and nothing reached b.
        QVERIFY(nothingElseArrived(a));
        QVERIFY(nothingElseArrived(b));
    }

    void refusesBadFramesThenCloses_data()
    {
        QTest::addColumn<QString>("text"); // empty: a binary frame
        const QString padding(qsizetype(20) * 1024, u'x');
        QTest::newRow("20 KiB") << u"{\"event\":\"pusher:ping\",\"data\":{\"pad\":\"%1\"}}"_s.arg(
            padding);
        QTest::newRow("not JSON") << u"{\"event\":"_s;
        QTest::newRow("array") << u"[{\"event\":\"pusher:ping\"}]"_s;
        QTest::newRow("string") << u"\"pusher:ping\""_s;
        QTest::newRow("number") << u"5"_s;
        QTest::newRow("no event") << u"{\"data\":{}}"_s;
        QTest::newRow("event not text") << u"{\"event\":5}"_s;
        QTest::newRow("nested too deep")
            << u"{\"event\":\"x\",\"data\":"_s + QString(4000, u'[') + QString(4000, u']') + u'}';
        QTest::newRow("binary") << QString();
    }
    void refusesBadFramesThenCloses()
    {
        QFETCH(QString, text);
        Rig rig;
        WireClient client;
        QVERIFY(!client.connectAndGreet(rig.url()).isEmpty());
        const auto sendBad = [&] {
            if (text.isEmpty())
                client.sendBinary(QByteArrayLiteral("{\"event\":\"pusher:ping\"}"));
            else
                client.sendText(text);
        };
        sendBad();
        const auto first = client.next();
        QVERIFY(first);
        QVERIFY2(isError(*first, QJsonValue()), QJsonDocument(*first).toJson().constData());
        QVERIFY(nothingElseArrived(client));

        sendBad();
        const auto second = client.next();
        QVERIFY(second);
        QVERIFY(isError(*second, 4100));
        QVERIFY(client.waitClosed());
        QCOMPARE(client.closeCode(), 4100);
    }

    void readsFrameAtTheLimit()
    {
        Rig rig;
        WireClient client;
        QVERIFY(!client.connectAndGreet(rig.url()).isEmpty());
        const QString head = u"{\"event\":\"pusher:ping\",\"data\":{\"pad\":\""_s;
        const QString tail = u"\"}}"_s;
        const QString frame = head
            + QString(rig.service.config().maxFrameBytes - head.size() - tail.size(), u'x') + tail;
        QCOMPARE(frame.toUtf8().size(), rig.service.config().maxFrameBytes);
        client.sendText(frame);
        QCOMPARE(client.next(), pong());
    }

    void survivesOddFrames_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("refused"); // as a subscription without a channel
        QTest::newRow("subscribe, data a number")
            << u"{\"event\":\"pusher:subscribe\",\"data\":5}"_s << true;
        QTest::newRow("subscribe, data null")
            << u"{\"event\":\"pusher:subscribe\",\"data\":null}"_s << true;
        QTest::newRow("subscribe, data text not JSON")
            << u"{\"event\":\"pusher:subscribe\",\"data\":\"{oops\"}"_s << true;
        QTest::newRow("subscribe, no data") << u"{\"event\":\"pusher:subscribe\"}"_s << true;
        QTest::newRow("subscribe, channel a number")
            << u"{\"event\":\"pusher:subscribe\",\"data\":{\"channel\":5,\"auth\":\"x\"}}"_s
            << true;
        QTest::newRow("unsubscribe, not subscribed")
            << u"{\"event\":\"pusher:unsubscribe\",\"data\":{\"channel\":\"private-room.9\"}}"_s
            << false;
        QTest::newRow("unsubscribe, channel a list")
            << u"{\"event\":\"pusher:unsubscribe\",\"data\":{\"channel\":[]}}"_s << false;
        QTest::newRow("unknown protocol event")
            << u"{\"event\":\"pusher:signin\",\"data\":{}}"_s << false;
        QTest::newRow("empty event name") << u"{\"event\":\"\"}"_s << false;
        QTest::newRow("pong unasked") << u"{\"event\":\"pusher:pong\",\"data\":{}}"_s << false;
    }
    void survivesOddFrames()
    {
        QFETCH(QString, text);
        QFETCH(bool, refused);
        Rig rig;
        WireClient client;
        QVERIFY(!client.connectAndGreet(rig.url()).isEmpty());
        client.sendText(text);
        if (refused) {
            const auto refusal = client.next();
            QVERIFY(refusal);
            QCOMPARE(refusal->value(u"event"_s), u"pusher:subscription_error"_s);
            const auto error = client.next();
            QVERIFY(error);
            QVERIFY(isError(*error, 4009));
        }
        QVERIFY(nothingElseArrived(client));
        QVERIFY(client.isConnected());
    }

    void dropsHugeFrameWithoutHarm()
    {
        Rig rig;
        WireClient client;
        QVERIFY(!client.connectAndGreet(rig.url()).isEmpty());
        client.sendText(QString(qsizetype(1024) * 1024, u'x'));
        QVERIFY(client.waitClosed());
        QTRY_COMPARE(rig.service.connectionCount(), 0);
        WireClient next;
        QVERIFY(!next.connectAndGreet(rig.url()).isEmpty());
        QVERIFY(nothingElseArrived(next));
    }

    void authorisesLiveSocketsOnly()
    {
        Rig rig;
        WireClient client;
        const QString id = client.connectAndGreet(rig.url());
        QVERIFY(!id.isEmpty());
        QCOMPARE(rig.service.authorise(id, u"private-room.5"_s, 7),
            std::optional(goodAuth(id, u"private-room.5"_s)));
        QCOMPARE(rig.service.authorise(id, u"room.5"_s, 7), std::nullopt);
        QCOMPARE(rig.service.authorise(u"1.1"_s, u"private-room.5"_s, 7), std::nullopt);
        // What it signs is what the connection accepts.
        client.send(WireFrames::subscribe(
            u"private-room.5"_s, *rig.service.authorise(id, u"private-room.5"_s, 7)));
        QCOMPARE(client.next(), subscriptionSucceeded(u"private-room.5"_s));
        client.socket().close();
        QTRY_COMPARE(rig.service.subscriberCount(5), 0);
        QCOMPARE(rig.service.authorise(id, u"private-room.5"_s, 7), std::nullopt);
        QCOMPARE(rig.service.connectionCount(), 0);
    }
};

QTEST_GUILESS_MAIN(RealtimeServiceTest)
#include "RealtimeServiceTest.moc"
