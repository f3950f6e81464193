#include "net/Realtime.h"
#include "net/API.h"

#include "ScriptedHttpServer.h"
#include "ScriptedPusherPeer.h"
#include "TestServer.h"

#include <QCoro/QCoroTask>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QTest>
#include <QUrlQuery>

using namespace Qt::StringLiterals;

namespace {

QString text(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

QJsonObject frame(const QString &event, const QJsonValue &data = QJsonObject())
{
    return { { u"event"_s, event }, { u"data"_s, data } };
}

QJsonObject roomEvent(const QString &id)
{
    return frame(u"room.changed"_s, QJsonObject { { u"event_id"_s, id } });
}

// Counts the callbacks of one channel.
struct Calls {
    int subscribed = 0;
    int changes = 0;
    int disconnects = 0;

    void watch(Realtime &realtime)
    {
        realtime.setOnSubscribed([this] { ++subscribed; });
        realtime.setOnChange([this] { ++changes; });
        realtime.setOnDisconnect([this] { ++disconnects; });
    }
};

} // namespace

class RealtimeTest : public QObject {
    Q_OBJECT

    QNetworkAccessManager m_network;
    std::unique_ptr<ScriptedPusherPeer> m_peer;
    std::unique_ptr<ScriptedHttpServer> m_http;
    std::unique_ptr<Realtime> m_realtime;
    Calls m_calls;

    std::shared_ptr<API> scriptedApi()
    {
        auto api = std::make_shared<API>(m_network, m_http->baseUrl());
        api->setToken(u"secret-token"_s);
        return api;
    }

    // Waits until the channel has dealt with everything sent so far: the peer's ping is
    // answered in order, after all frames before it.
    bool settle()
    {
        const auto pongs = m_peer->receivedEvents(u"pusher:pong"_s).size();
        m_peer->send(frame(u"pusher:ping"_s));
        return QTest::qWaitFor(
            [&] { return m_peer->receivedEvents(u"pusher:pong"_s).size() > pongs; });
    }

    // Connects to the scripted peer and goes through greeting, authorisation and subscription.
    void subscribe(qint64 room = 42)
    {
        const int connections = m_peer->connections();
        const auto subscribes = m_peer->receivedEvents(u"pusher:subscribe"_s).size();
        const int subscribed = m_calls.subscribed;
        m_realtime->connectTo(m_peer->baseUrl(), u"desk-hoops-sample"_s, room, scriptedApi());
        QVERIFY(QTest::qWaitFor(
            [&] { return m_peer->connections() > connections && m_peer->clientConnected(); }));
        m_peer->send(frame(u"pusher:connection_established"_s,
            text(R"({"socket_id":"1234.5678","activity_timeout":120})")));
        QVERIFY(QTest::qWaitFor(
            [&] { return m_peer->receivedEvents(u"pusher:subscribe"_s).size() > subscribes; }));
        m_peer->send(frame(u"pusher_internal:subscription_succeeded"_s, u"{}"_s));
        QVERIFY(QTest::qWaitFor([&] { return m_calls.subscribed == subscribed + 1; }));
    }

private Q_SLOTS:
    void init()
    {
        m_peer = std::make_unique<ScriptedPusherPeer>();
        QVERIFY(m_peer->listen());
        m_http = std::make_unique<ScriptedHttpServer>();
        QVERIFY(m_http->listen());
        m_http->answer(200, R"({"auth":"desk-hoops-sample:abc"})"_ba);
        m_realtime = std::make_unique<Realtime>();
        m_calls = {};
        m_calls.watch(*m_realtime);
    }

    void cleanup()
    {
        m_realtime.reset();
        m_http.reset();
        m_peer.reset();
    }

    void serviceUrl_data()
    {
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("expected"); // empty: no URL
        const auto query = u"?protocol=7&client=toss-wick&version=1.0&flash=false"_s;
        QTest::newRow("wss") << u"wss://hoops.example"_s
                             << u"wss://hoops.example/app/KEY"_s + query;
        QTest::newRow("path, query and fragment dropped")
            << u"ws://hoops.example/some/path?x=1#top"_s << u"ws://hoops.example/app/KEY"_s + query;
        QTest::newRow("https") << u"https://hoops.example"_s << QString();
        QTest::newRow("upper-case scheme") << u"WSS://hoops.example"_s << QString();
        QTest::newRow("no host") << u"ws://"_s << QString();
        QTest::newRow("not a URL") << u"ws://hoops example"_s << QString();
    }
    void serviceUrl()
    {
        QFETCH(QString, base);
        QFETCH(QString, expected);
        QCOMPARE(Realtime::serviceUrl(base, u"KEY"_s).value_or(QUrl()).toString(), expected);
    }

    void unusableUrlDisconnectsAtOnce()
    {
        m_realtime->connectTo(u"https://hoops.example"_s, u"k"_s, 1, scriptedApi());
        QCOMPARE(m_calls.disconnects, 1);
        QCOMPARE(m_peer->connections(), 0);
        QVERIFY(m_realtime->ping().has_value());
    }

    void subscribesThroughTheAuthorisationAndPings()
    {
        subscribe(42);
        QCOMPARE(m_http->requests().size(), 1);
        const auto &request = m_http->requests().first();
        QCOMPARE(request.method + ' ' + request.target, "POST /api/broadcasting/auth"_ba);
        QCOMPARE(request.headers.value("authorization"), "Bearer secret-token"_ba);
        QCOMPARE(QJsonDocument::fromJson(request.body).object(),
            (QJsonObject {
                { u"socket_id"_s, u"1234.5678"_s }, { u"channel_name"_s, u"private-room.42"_s } }));

        QCOMPARE(m_peer->receivedEvents(u"pusher:subscribe"_s),
            QList<QJsonObject> { frame(u"pusher:subscribe"_s,
                QJsonObject { { u"auth"_s, u"desk-hoops-sample:abc"_s },
                    { u"channel"_s, u"private-room.42"_s } }) });
        QCOMPARE(m_realtime->socketID(), u"1234.5678"_s);
        QVERIFY(m_realtime->subscribed());
        QVERIFY(Realtime::Clock::now() - m_realtime->lastPong() < std::chrono::minutes(1));
        QCOMPARE(m_calls.disconnects, 0);

        const auto subscribedAt = m_realtime->lastPong();
        // The service's ping is answered and is no pong of ours.
        QVERIFY(settle());
        QCOMPARE(m_realtime->lastPong(), subscribedAt);
        QCOMPARE(m_peer->receivedEvents(u"pusher:pong"_s).first().value(u"data"_s),
            QJsonValue(QJsonObject()));

        QVERIFY(!m_realtime->ping().has_value());
        QVERIFY(
            QTest::qWaitFor([&] { return m_peer->receivedEvents(u"pusher:ping"_s).size() == 1; }));
        QTest::qWait(2);
        m_peer->send(frame(u"pusher:pong"_s));
        QVERIFY(QTest::qWaitFor([&] { return m_realtime->lastPong() > subscribedAt; }));
    }

    // Each row: the authorisation's answer, and the auth the subscription carries (undefined:
    // the channel reports the loss and subscribes nowhere). A refusal is the real server's case.
    void authorisationReplies_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QJsonValue>("auth");
        QTest::newRow("reply not JSON")
            << 200 << "auth=abc"_ba << QJsonValue(QJsonValue::Undefined);
        QTest::newRow("JSON without auth: empty text")
            << 200 << R"(["not an object"])"_ba << QJsonValue(QString());
    }
    void authorisationReplies()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QJsonValue, auth);
        m_http->answer(status, body);
        m_realtime->connectTo(m_peer->baseUrl(), u"k"_s, 7, scriptedApi());
        QVERIFY(QTest::qWaitFor([&] { return m_peer->clientConnected(); }));
        m_peer->send(frame(
            u"pusher:connection_established"_s, QJsonObject { { u"socket_id"_s, u"1.1"_s } }));
        const auto subscribes = [&] { return m_peer->receivedEvents(u"pusher:subscribe"_s); };
        if (auth.isUndefined()) {
            QVERIFY(QTest::qWaitFor([&] { return m_calls.disconnects == 1; }));
            QVERIFY(subscribes().isEmpty());
        } else {
            QVERIFY(QTest::qWaitFor([&] { return !subscribes().isEmpty(); }));
            QCOMPARE(subscribes().first().value(u"data"_s).toObject().value(u"auth"_s), auth);
            QCOMPARE(m_calls.disconnects, 0);
        }
    }

    void roomEvents_data()
    {
        QTest::addColumn<QStringList>("frames");
        QTest::addColumn<int>("changes");
        QTest::newRow("data as an object")
            << QStringList { text(R"({"event":"room.changed","data":{"event_id":"a"}})") } << 1;
        QTest::newRow("data as JSON text") << QStringList {
            text("{\"event\":\"room.changed\",\"data\":\"{\\\"event_id\\\":\\\"a\\\"}\"}")
        } << 1;
        QTest::newRow("no event_id")
            << QStringList { text(R"({"event":"x","data":{"id":"a"}})") } << 0;
        QTest::newRow("numeric event_id")
            << QStringList { text(R"({"event":"x","data":{"event_id":7}})") } << 0;
        QTest::newRow("data text that is not JSON")
            << QStringList { text(R"({"event":"x","data":"event_id=a"})") } << 0;
        QTest::newRow("greeting without socket id is a room event") << QStringList {
            text(R"({"event":"pusher:connection_established","data":{"event_id":"g"}})")
        } << 1;
        QTest::newRow("binary frame")
            << QStringList { u"binary "_s + text(R"({"event":"x","data":{"event_id":"bin"}})") }
            << 1;
        QTest::newRow("skipped: array, no event, numeric event") << QStringList { text(R"([1,2])"),
            text(R"({"data":{"event_id":"a"}})"), text(R"({"event":5,"data":{"event_id":"a"}})"),
            text(R"("text")") } << 0;
    }
    void roomEvents()
    {
        QFETCH(QStringList, frames);
        QFETCH(int, changes);
        subscribe();
        for (const QString &text : frames) {
            if (text.startsWith(u"binary "_s))
                m_peer->sendBinary(text.mid(7).toUtf8());
            else
                m_peer->sendRaw(text);
        }
        QVERIFY(settle());
        QCOMPARE(m_calls.changes, changes);
        QCOMPARE(m_calls.disconnects, 0);
        QVERIFY(m_realtime->subscribed());
    }

    void remembersThe512LatestIds()
    {
        subscribe();
        m_peer->send(roomEvent(u"first"_s));
        for (int i = 0; i < 511; ++i)
            m_peer->send(roomEvent(u"id-%1"_s.arg(i)));
        m_peer->send(roomEvent(u"first"_s)); // still among the 512 latest
        QVERIFY(settle());
        QCOMPARE(m_calls.changes, 512);
        m_peer->send(roomEvent(u"id-511"_s)); // the 513th distinct id pushes "first" out
        m_peer->send(roomEvent(u"first"_s)); // new again; pushes id-0 out
        m_peer->send(roomEvent(u"id-0"_s)); // new again; pushes id-1 out
        m_peer->send(roomEvent(u"id-2"_s)); // still remembered
        QVERIFY(settle());
        QCOMPARE(m_calls.changes, 515);
    }

    void endsOfTheConnection_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("server closes") << u"close"_s;
        QTest::newRow("frame not JSON") << u"garbage"_s;
        QTest::newRow("pusher:error") << u"error"_s;
    }
    void endsOfTheConnection()
    {
        QFETCH(QString, how);
        subscribe();
        if (how == u"close"_s)
            m_peer->disconnectClient();
        else if (how == u"garbage"_s)
            m_peer->sendRaw(u"{not json"_s);
        else
            m_peer->send(frame(u"pusher:error"_s, QJsonObject { { u"code"_s, 4009 } }));
        QVERIFY(QTest::qWaitFor([&] { return m_calls.disconnects == 1; }));
        QVERIFY(!m_realtime->subscribed());
        QCOMPARE(m_realtime->socketID(), u"1234.5678"_s);
        // Exactly once per connection, whatever follows.
        m_peer->send(roomEvent(u"after"_s));
        m_peer->disconnectClient();
        QVERIFY(QTest::qWaitFor([&] { return !m_peer->clientConnected(); }));
        QTest::qWait(10);
        QCOMPARE(m_calls.disconnects, 1);
        QCOMPARE(m_calls.changes, 0);
    }

    // Closing reports nothing; the next connection forgets the event ids of the old one.
    void closeIsSilent()
    {
        subscribe();
        m_peer->send(roomEvent(u"a"_s));
        QVERIFY(settle());
        m_peer->send(roomEvent(u"late"_s));
        m_realtime->close();
        QVERIFY(!m_realtime->subscribed());
        QCOMPARE(m_realtime->socketID(), std::nullopt);
        QVERIFY(m_realtime->ping().has_value());
        QVERIFY(QTest::qWaitFor([&] { return !m_peer->clientConnected(); }));
        QTest::qWait(10);
        QCOMPARE(m_calls.changes, 1);
        QCOMPARE(m_calls.disconnects, 0);

        subscribe();
        m_peer->send(roomEvent(u"a"_s));
        QVERIFY(settle());
        QCOMPARE(m_calls.changes, 2);
    }

    // The authorisation of the first connection answers only after connectTo() replaced it:
    // the old loop must neither subscribe on any socket nor report anything.
    void lateAuthorisationOfAReplacedConnectionSendsNothing()
    {
        ScriptedHttpServer held;
        QVERIFY(held.listen());
        held.stayQuiet();
        auto slowApi = std::make_shared<API>(m_network, held.baseUrl());
        m_realtime->connectTo(m_peer->baseUrl(), u"k"_s, 1, slowApi);
        QVERIFY(QTest::qWaitFor([&] { return m_peer->clientConnected(); }));
        m_peer->send(frame(
            u"pusher:connection_established"_s, QJsonObject { { u"socket_id"_s, u"1.1"_s } }));
        QVERIFY(QTest::qWaitFor([&] { return held.requests().size() == 1; }));

        subscribe(2);
        held.answer(200, R"({"auth":"k:late"})"_ba);
        held.answerHeld();
        QTest::qWait(200);
        QVERIFY(settle());
        const auto subscribes = m_peer->receivedEvents(u"pusher:subscribe"_s);
        QCOMPARE(subscribes.size(), 1);
        QCOMPARE(subscribes.first().value(u"data"_s).toObject().value(u"channel"_s),
            QJsonValue(u"private-room.2"_s));
        QCOMPARE(m_calls.disconnects, 0);
        QVERIFY(m_realtime->subscribed());
    }

    void realServerGreetsAndChecksTheRoom()
    {
        TestServer server;
        QVERIFY2(server.start(), qPrintable(server.errorText()));
        API api(m_network, server.httpUrl().toString());
        auto guest = QCoro::waitFor(api.data(u"guest"_s, u"POST"_s, QJsonObject()));
        QVERIFY(guest.hasValue());
        auto player = std::make_shared<API>(m_network, server.httpUrl().toString());
        player->setToken(QJsonDocument::fromJson(*guest).object().value(u"token"_s).toString());

        // A room that the guest is not a member of: the service greets, the authorisation is
        // refused, and the channel reports the loss.
        m_realtime->connectTo(
            server.wsUrl().toString(), QString::fromLatin1(TestServer::appKey), 999, player);
        QVERIFY(QTest::qWaitFor([&] { return m_calls.disconnects == 1; }, 10000));
        QVERIFY(m_realtime->socketID().has_value());
        QVERIFY(!m_realtime->subscribed());
        QCOMPARE(m_calls.subscribed, 0);
    }
};

QTEST_GUILESS_MAIN(RealtimeTest)
#include "RealtimeTest.moc"
