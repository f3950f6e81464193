#include "net/Realtime.h"
#include "net/API.h"

#include "ScriptedHttpServer.h"
#include "ScriptedPusherPeer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QJsonObject frame(const QString &event, const QJsonValue &data = QJsonObject())
{
    return { { u"event"_s, event }, { u"data"_s, data } };
}

QJsonObject roomEvent(const QString &id)
{
    return frame(u"room.changed"_s, QJsonObject { { u"event_id"_s, id } });
}

} // namespace

// The realtime channel against a service scripted frame by frame, and once against the real
// game server.
class RealtimeTest : public QObject {
    Q_OBJECT

    QNetworkAccessManager m_network;
    std::unique_ptr<ScriptedPusherPeer> m_peer;
    std::unique_ptr<ScriptedHttpServer> m_http;
    std::unique_ptr<Realtime> m_realtime;
    int m_subscribed = 0;
    int m_changes = 0;
    int m_disconnects = 0;

    std::shared_ptr<API> api(const QString &base)
    {
        auto api = std::make_shared<API>(m_network, base);
        api->setToken(u"secret-token"_s);
        return api;
    }

    // The callbacks so far and the channel's state, in one line.
    QString calls() const
    {
        return u"subscribed %1, changes %2, disconnects %3; %4 %5"_s.arg(m_subscribed)
            .arg(m_changes)
            .arg(m_disconnects)
            .arg(m_realtime->subscribed() ? u"on"_s : u"off"_s,
                m_realtime->socketID().value_or(u"-"_s));
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

    QStringList subscribedChannels() const
    {
        QStringList channels;
        for (const QJsonObject &subscribe : m_peer->receivedEvents(u"pusher:subscribe"_s))
            channels.append(subscribe[u"data"_s][u"channel"_s].toString());
        return channels;
    }

    // Connects to the scripted peer and greets the channel, which then asks `api` for its
    // authorisation.
    void connectAndGreet(qint64 room, std::shared_ptr<API> api)
    {
        const int connections = m_peer->connections();
        m_realtime->connectTo(m_peer->baseUrl(), u"desk-hoops-sample"_s, room, std::move(api));
        QVERIFY(QTest::qWaitFor(
            [&] { return m_peer->connections() > connections && m_peer->clientConnected(); }));
        m_peer->send(frame(u"pusher:connection_established"_s,
            QString::fromUtf8(R"({"socket_id":"1234.5678","activity_timeout":120})")));
    }

    // ... and goes on through the authorisation and the subscription.
    void subscribe(qint64 room = 42)
    {
        const auto subscribes = subscribedChannels().size();
        const int subscribed = m_subscribed;
        connectAndGreet(room, api(m_http->baseUrl()));
        QVERIFY(QTest::qWaitFor([&] { return subscribedChannels().size() > subscribes; }));
        m_peer->send(frame(u"pusher_internal:subscription_succeeded"_s, u"{}"_s));
        QVERIFY(QTest::qWaitFor([&] { return m_subscribed == subscribed + 1; }));
    }

private Q_SLOTS:
    void init()
    {
        m_realtime.reset();
        m_peer = std::make_unique<ScriptedPusherPeer>();
        m_http = std::make_unique<ScriptedHttpServer>();
        QVERIFY(m_peer->listen() && m_http->listen());
        m_http->answer(200, R"({"auth":"desk-hoops-sample:abc"})"_ba);
        m_realtime = std::make_unique<Realtime>();
        m_subscribed = m_changes = m_disconnects = 0;
        m_realtime->setOnSubscribed([this] { ++m_subscribed; });
        m_realtime->setOnChange([this] { ++m_changes; });
        m_realtime->setOnDisconnect([this] { ++m_disconnects; });
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
        if (expected.isEmpty()) { // nothing to dial: the loss is reported at once
            m_realtime->connectTo(base, u"KEY"_s, 1, api(m_http->baseUrl()));
            QCOMPARE(calls(), u"subscribed 0, changes 0, disconnects 1; off -"_s);
            QVERIFY(m_realtime->ping().has_value());
        }
    }

    void subscribesThroughTheAuthorisationAndPings()
    {
        subscribe(42);
        QCOMPARE(m_http->requests().size(), 1);
        const auto &request = m_http->requests().first();
        QCOMPARE(request.method + ' ' + request.target + ' '
                + request.headers.value("authorization") + ' '
                + QJsonDocument::fromJson(request.body).toJson(QJsonDocument::Compact),
            R"(POST /api/broadcasting/auth Bearer secret-token {"channel_name":"private-room.42","socket_id":"1234.5678"})"_ba);
        QCOMPARE(QJsonDocument(m_peer->receivedEvents(u"pusher:subscribe"_s).first())
                     .toJson(QJsonDocument::Compact),
            R"({"data":{"auth":"desk-hoops-sample:abc","channel":"private-room.42"},"event":"pusher:subscribe"})"_ba);
        QCOMPARE(calls(), u"subscribed 1, changes 0, disconnects 0; on 1234.5678"_s);
        const auto subscribedAt = m_realtime->lastPong();
        QVERIFY(Realtime::Clock::now() - subscribedAt < std::chrono::minutes(1));

        // The service's ping is answered and is no pong of ours.
        QVERIFY(settle());
        QCOMPARE(m_realtime->lastPong(), subscribedAt);
        QCOMPARE(m_peer->receivedEvents(u"pusher:pong"_s).first().value(u"data"_s),
            QJsonValue(QJsonObject()));
        QVERIFY(!m_realtime->ping().has_value());
        QVERIFY(
            QTest::qWaitFor([&] { return !m_peer->receivedEvents(u"pusher:ping"_s).isEmpty(); }));
        QTest::qWait(2);
        m_peer->send(frame(u"pusher:pong"_s));
        QVERIFY(QTest::qWaitFor([&] { return m_realtime->lastPong() > subscribedAt; }));
    }

    // Each row: the authorisation's answer, and the auth the subscription carries (undefined:
    // the channel reports the loss and subscribes nowhere).
    void authorisationReplies_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QJsonValue>("auth");
        const QJsonValue none(QJsonValue::Undefined);
        QTest::newRow("refused") << 403 << R"({"auth":"k:x"})"_ba << none;
        QTest::newRow("reply not JSON") << 200 << "auth=abc"_ba << none;
        QTest::newRow("JSON without auth: empty text")
            << 200 << R"(["not an object"])"_ba << QJsonValue(QString());
    }
    void authorisationReplies()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QJsonValue, auth);
        m_http->answer(status, body);
        connectAndGreet(7, api(m_http->baseUrl()));
        const auto subscribes = [&] { return m_peer->receivedEvents(u"pusher:subscribe"_s); };
        QVERIFY(QTest::qWaitFor([&] { return m_disconnects > 0 || !subscribes().isEmpty(); }));
        QCOMPARE(m_disconnects, auth.isUndefined() ? 1 : 0);
        QCOMPARE(subscribes().value(0)[u"data"_s][u"auth"_s], auth);
    }

    // Each row: frames the service sends ("binary " first: as a binary frame), and how many
    // of them are room changes.
    void roomEvents_data()
    {
        QTest::addColumn<QStringList>("frames");
        QTest::addColumn<int>("changes");
        const auto row
            = [](const char *name, int changes, std::initializer_list<const char *> frames) {
                  QStringList texts;
                  for (const char *frame : frames)
                      texts.append(QString::fromUtf8(frame));
                  QTest::newRow(name) << texts << changes;
              };
        row("data as an object", 1, { R"({"event":"room.changed","data":{"event_id":"a"}})" });
        row("data as JSON text", 1,
            { "{\"event\":\"room.changed\",\"data\":\"{\\\"event_id\\\":\\\"a\\\"}\"}" });
        row("no event_id", 0, { R"({"event":"x","data":{"id":"a"}})" });
        row("numeric event_id", 0, { R"({"event":"x","data":{"event_id":7}})" });
        row("data text that is not JSON", 0, { R"({"event":"x","data":"event_id=a"})" });
        row("greeting without socket id is a room event", 1,
            { R"({"event":"pusher:connection_established","data":{"event_id":"g"}})" });
        row("binary frame", 1, { R"(binary {"event":"x","data":{"event_id":"bin"}})" });
        row("skipped: array, no event, numeric event, text", 0,
            { "[1,2]", R"({"data":{"event_id":"a"}})", R"({"event":5,"data":{"event_id":"a"}})",
                R"("text")" });
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
        QCOMPARE(calls(), u"subscribed 1, changes %1, disconnects 0; on 1234.5678"_s.arg(changes));
    }

    void remembersThe512LatestIds()
    {
        subscribe();
        m_peer->send(roomEvent(u"first"_s));
        for (int i = 0; i < 511; ++i)
            m_peer->send(roomEvent(u"id-%1"_s.arg(i)));
        m_peer->send(roomEvent(u"first"_s)); // still among the 512 latest
        QVERIFY(settle());
        QCOMPARE(m_changes, 512);
        m_peer->send(roomEvent(u"id-511"_s)); // the 513th distinct id pushes "first" out
        m_peer->send(roomEvent(u"first"_s)); // new again; pushes id-0 out
        m_peer->send(roomEvent(u"id-0"_s)); // new again; pushes id-1 out
        m_peer->send(roomEvent(u"id-2"_s)); // still remembered
        QVERIFY(settle());
        QCOMPARE(m_changes, 515);
    }

    void endsOfTheConnection_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("server closes") << u"close"_s;
        QTest::newRow("frame not JSON") << u"{not json"_s;
        QTest::newRow("pusher:error") << u"{\"event\":\"pusher:error\",\"data\":{\"code\":4009}}"_s;
    }
    void endsOfTheConnection()
    {
        QFETCH(QString, how);
        subscribe();
        if (how == u"close"_s)
            m_peer->disconnectClient();
        else
            m_peer->sendRaw(how);
        QVERIFY(QTest::qWaitFor([&] { return m_disconnects == 1; }));
        // Exactly once per connection, whatever follows.
        m_peer->send(roomEvent(u"after"_s));
        m_peer->disconnectClient();
        QVERIFY(QTest::qWaitFor([&] { return !m_peer->clientConnected(); }));
        QTest::qWait(10);
        QCOMPARE(calls(), u"subscribed 1, changes 0, disconnects 1; off 1234.5678"_s);
    }

    // Closing or replacing a connection reports nothing, and the next one forgets the event ids
    // of the old one. An authorisation that answers only after connectTo() replaced its
    // connection neither subscribes on any socket nor reports anything.
    void closedAndReplacedConnectionsAreSilent()
    {
        subscribe();
        m_peer->send(roomEvent(u"a"_s));
        QVERIFY(settle());
        m_peer->send(roomEvent(u"late"_s));
        m_realtime->close();
        QVERIFY(m_realtime->ping().has_value());
        QVERIFY(QTest::qWaitFor([&] { return !m_peer->clientConnected(); }));
        QTest::qWait(10);
        QCOMPARE(calls(), u"subscribed 1, changes 1, disconnects 0; off -"_s);

        ScriptedHttpServer held;
        QVERIFY(held.listen());
        held.stayQuiet();
        connectAndGreet(1, api(held.baseUrl()));
        QVERIFY(QTest::qWaitFor([&] { return held.requests().size() == 1; }));
        subscribe(2);
        held.answer(200, R"({"auth":"k:late"})"_ba);
        held.answerHeld();
        QTest::qWait(200);
        m_peer->send(roomEvent(u"a"_s));
        QVERIFY(settle());
        QCOMPARE(subscribedChannels(), (QStringList { u"private-room.42"_s, u"private-room.2"_s }));
        QCOMPARE(calls(), u"subscribed 2, changes 2, disconnects 0; on 1234.5678"_s);
    }
};

QTEST_GUILESS_MAIN(RealtimeTest)
#include "RealtimeTest.moc"
