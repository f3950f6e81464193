#include "realtime/RealtimeService.h"
#include "WireClient.h"
#include "WireFrames.h"
#include "net/HttpListener.h"
#include "realtime/ChannelAuth.h"
#include "realtime/PusherFrame.h"
#include "realtime/RealtimeSocket.h"

#include <QJsonDocument>
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
    // Each connection gets its own socket id, which signs channels only while it is live.
    void greetsAndAuthorisesLiveSockets()
    {
        Rig rig;
        WireClient first, second;
        QVERIFY(first.open(rig.url()));
        const QJsonObject greeting = first.next().value_or(QJsonObject());
        const QString id = dataText(greeting).value(u"socket_id"_s).toString();
        QVERIFY(isGreeting(greeting, 30));
        const QString otherId = second.connectAndGreet(rig.url());
        QVERIFY(!otherId.isEmpty() && otherId != id && rig.service.connectionCount() == 2);

        const QString channel = u"private-room.5"_s;
        QCOMPARE(rig.service.authorise(id, channel, 7), std::optional(goodAuth(id, channel)));
        QCOMPARE(rig.service.authorise(id, u"room.5"_s, 7), std::nullopt);
        QCOMPARE(rig.service.authorise(u"1.1"_s, channel, 7), std::nullopt);
        QVERIFY(subscribe(first, id, 5));

        first.socket().close();
        QTRY_COMPARE(rig.service.connectionCount(), 1);
        QVERIFY(rig.service.subscriberCount(5) == 0 && !rig.service.authorise(id, channel, 7));
        QVERIFY(!rig.service.isLive(id) && rig.service.isLive(otherId));
    }

    void refusesAddress_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("code");
        const QString standard = u"?protocol=7&client=toss-wick&version=1.0&flash=false"_s;
        QTest::newRow("unknown app key") << u"/app/someone-else"_s + standard << 4001;
        QTest::newRow("protocol 6") << u"/app/desk-hoops-sample?protocol=6&client=js"_s << 4007;
        QTest::newRow("no protocol") << u"/app/desk-hoops-sample?client=js"_s << 4008;
        QTest::newRow("other path") << u"/socket"_s + standard << 4005;
    }
    void refusesAddress()
    {
        QFETCH(QString, address);
        QFETCH(int, code);
        Rig rig;
        WireClient client;
        QVERIFY(client.open(rig.base().resolved(QUrl(address))));
        QVERIFY(isError(client.next().value_or(QJsonObject()), code));
        QVERIFY(client.waitClosed() && client.pending() == 0);
        QCOMPARE(client.closeCode(), code);
        QTRY_COMPARE(rig.service.connectionCount(), 0);
    }

    void subscriptionRefusals_data()
    {
        QTest::addColumn<QString>("change"); // to a good subscription (subscribe() makes one)
        for (const char *change : { "other secret", "other socket", "other channel", "other key",
                 "suffix", "no auth", "public channel" })
            QTest::newRow(change) << QString::fromLatin1(change);
    }
    void subscriptionRefusals()
    {
        QFETCH(QString, change);
        Rig rig;
        WireClient client;
        const QString socketId = client.connectAndGreet(rig.url());
        const QString channel = change == u"public channel"_s ? u"room.42"_s : u"private-room.42"_s;
        QString signature = QString::fromLatin1(
            ChannelAuth::signature(change == u"other secret"_s ? QByteArray("guess") : appSecret,
                change == u"other socket"_s ? u"1.2"_s : socketId,
                change == u"other channel"_s ? u"private-room.43"_s : channel));
        if (change == u"suffix"_s)
            signature += u'0';
        const QString key = change == u"other key"_s ? u"other-key:"_s : appKey + u':';
        QJsonObject data { { u"channel"_s, channel } };
        if (change != u"no auth"_s)
            data.insert(u"auth"_s, QString(key + signature));
        client.send({ { u"event"_s, u"pusher:subscribe"_s }, { u"data"_s, data } });

        QJsonObject refusal = client.next().value_or(QJsonObject());
        QJsonObject refused = dataText(refusal);
        QVERIFY(!refused.take(u"error"_s).toString().isEmpty());
        refusal[u"data"_s] = refused;
        QCOMPARE(QJsonDocument(refusal).toJson(QJsonDocument::Compact),
            R"({"channel":"%1","data":{"status":401,"type":"AuthError"},)"
            R"("event":"pusher:subscription_error"})"_ba.replace("%1", channel.toLatin1()));
        QVERIFY(isError(client.next().value_or(QJsonObject()), 4009));
        QVERIFY(rig.service.announceRoomChanged(42, u"test"_s) == 0 && nothingElseArrived(client));
    }

    // A client that answers pings stays; a silent one is closed with 4201.
    void pingsKeepOnlyClientsThatAnswer()
    {
        RealtimeConfig config = standardConfig();
        config.activityTimeout = 150ms;
        config.pongTimeout = 300ms;
        Rig rig(config);
        WireClient answering;
        QVERIFY(!answering.connectAndGreet(rig.url()).isEmpty());
        for (int round = 0; round < 3; ++round) {
            QCOMPARE(answering.next(), ping());
            answering.send(message(u"pusher:pong"_s));
        }
        QVERIFY(answering.isConnected());

        WireClient silent;
        QVERIFY(silent.open(rig.url()));
        const QJsonObject greeting = silent.next().value_or(QJsonObject());
        // Whole seconds on the wire; never zero.
        QCOMPARE(dataText(greeting).value(u"activity_timeout"_s), QJsonValue(1));
        QCOMPARE(silent.next(), ping());
        QVERIFY(silent.waitClosed() && silent.closeCode() == 4201);
        QVERIFY(isError(silent.next(0ms).value_or(QJsonObject()), 4201));
    }

    // Until it unsubscribes.
    void roomChangeReachesEachSubscriberOnce()
    {
        Rig rig;
        WireClient a, b, other;
        const QString aId = a.connectAndGreet(rig.url());
        const QString bId = b.connectAndGreet(rig.url());
        // A repeated subscription must not double the deliveries.
        QVERIFY(subscribe(a, aId, 7) && subscribe(b, bId, 7) && subscribe(b, bId, 7));
        QVERIFY(subscribe(other, other.connectAndGreet(rig.url()), 8));

        QStringList ids;
        for (const QString &reason : { u"round_opened"_s, u"scored"_s }) {
            QCOMPARE(rig.service.announceRoomChanged(7, reason), 2);
            const QJsonObject frame = a.next().value_or(QJsonObject());
            QCOMPARE(b.next(), frame);
            const QJsonObject data = dataText(frame);
            ids.append(data[u"event_id"_s].toString());
            QVERIFY(!QUuid::fromString(ids.last()).isNull() && ids.last().size() == 36);
            QCOMPARE(
                u"%1 %2 %3 %4"_s.arg(frame[u"event"_s].toString(), frame[u"channel"_s].toString(),
                    data.keys().join(u','), data[u"reason"_s].toString()),
                u"room.changed private-room.7 event_id,reason "_s + reason);
        }
        QVERIFY(ids.at(0) != ids.at(1));
        QVERIFY(nothingElseArrived(other));

        b.send(message(u"pusher:unsubscribe"_s, { { u"channel"_s, u"private-room.7"_s } }));
        QTRY_COMPARE(rig.service.subscriberCount(7), 1);
        QVERIFY(rig.service.announceRoomChanged(7, u"test"_s) == 1 && nothingElseArrived(b));
    }

    // A bad frame gets pusher:error without a code, the second one closes with 4100; odd
    // frames that are well formed are refused or ignored, and the connection stays. A frame of
    // exactly the limit is read; a huge one closes only its own connection.
    void frames_data()
    {
        QTest::addColumn<QString>("text"); // empty: a binary frame
        QTest::addColumn<QString>("outcome"); // "bad", "refused" (as a subscription), "kept"
                                              // or "closed"
        const QString pad = u"{\"event\":\"pusher:pong\",\"data\":{\"pad\":\"%1\"}}"_s;
        const auto row = [](const char *name, const QString &text, const char *outcome) {
            QTest::newRow(name) << text << QString::fromLatin1(outcome);
        };
        const qsizetype limit = RealtimeConfig().maxFrameBytes;
        row("at the size limit", pad.arg(QString(limit - pad.size() + 2, u'x')), "kept");
        row("a byte over the limit", pad.arg(QString(limit - pad.size() + 3, u'x')), "bad");
        row("1 MiB", QString(qsizetype(1024) * 1024, u'x'), "closed");
        row("not JSON", u"{\"event\":"_s, "bad");
        row("no event", u"{\"data\":{}}"_s, "bad");
        row("event not text", u"{\"event\":5}"_s, "bad");
        row("nested too deep",
            u"{\"event\":\"x\",\"data\":"_s + QString(4000, u'[') + QString(4000, u']') + u'}',
            "bad");
        row("binary", QString(), "bad");
        row("subscribe, channel a number",
            u"{\"event\":\"pusher:subscribe\",\"data\":{\"channel\":5,\"auth\":\"x\"}}"_s,
            "refused");
        row("unsubscribe, not subscribed",
            u"{\"event\":\"pusher:unsubscribe\",\"data\":{\"channel\":\"private-room.9\"}}"_s,
            "kept");
        row("unknown protocol event", u"{\"event\":\"pusher:signin\",\"data\":{}}"_s, "kept");
    }
    void frames()
    {
        QFETCH(QString, text);
        QFETCH(QString, outcome);
        Rig rig;
        WireClient client, bystander;
        QVERIFY(!client.connectAndGreet(rig.url()).isEmpty()
            && !bystander.connectAndGreet(rig.url()).isEmpty());
        const auto send = [&] {
            text.isEmpty() ? client.sendBinary("{\"event\":\"pusher:ping\"}")
                           : client.sendText(text);
        };
        send();
        if (outcome == u"closed"_s) {
            QVERIFY(client.waitClosed());
            QTRY_COMPARE(rig.service.connectionCount(), 1);
            QVERIFY(nothingElseArrived(bystander));
            return;
        }
        if (outcome == u"refused"_s)
            QCOMPARE(
                client.next().value_or(QJsonObject())[u"event"_s], u"pusher:subscription_error"_s);
        if (outcome != u"kept"_s) {
            const QJsonObject error = client.next().value_or(QJsonObject());
            QVERIFY2(isError(error, outcome == u"bad"_s ? QJsonValue() : QJsonValue(4009)),
                QJsonDocument(error).toJson().constData());
        }
        QVERIFY(nothingElseArrived(client));
        if (outcome != u"bad"_s)
            return;
        send();
        QVERIFY(isError(client.next().value_or(QJsonObject()), 4100));
        QVERIFY(client.waitClosed() && client.closeCode() == 4100);
    }
};

QTEST_GUILESS_MAIN(RealtimeServiceTest)
#include "RealtimeServiceTest.moc"
