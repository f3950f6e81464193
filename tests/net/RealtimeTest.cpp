#include "net/Realtime.h"
#include "net/API.h"

#include "ScriptedHttpServer.h"
#include "ScriptedPusherPeer.h"

#include <QJsonDocument>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QJsonObject frame(const QString &event, const QJsonValue &data = QJsonObject())
{
    return { { u"event"_s, event }, { u"data"_s, data } };
}

const auto roomEvent = QString::fromUtf8(R"({"event":"room.changed","data":{"event_id":"a"}})");

} // namespace

// The realtime channel against a service scripted frame by frame.
class RealtimeTest : public QObject {
    Q_OBJECT

    QNetworkAccessManager m_network;
    std::unique_ptr<ScriptedPusherPeer> m_peer;
    std::unique_ptr<ScriptedHttpServer> m_http;
    std::unique_ptr<Realtime> m_realtime;
    int m_subscribed = 0, m_changes = 0, m_disconnects = 0;

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

    // Until the channel dealt with all sent so far: the peer's ping is answered in order.
    bool settle()
    {
        const auto pongs = m_peer->receivedEvents(u"pusher:pong"_s).size();
        m_peer->send(frame(u"pusher:ping"_s));
        return QTest::qWaitFor(
            [&] { return m_peer->receivedEvents(u"pusher:pong"_s).size() > pongs; });
    }

    // Connects and greets; the channel asks `base` to authorise; `complete`: on to subscribed.
    void subscribe(qint64 room = 42, QString base = {}, bool complete = true)
    {
        const int connections = m_peer->connections(), subscribed = m_subscribed;
        const auto subscribes = m_peer->receivedEvents(u"pusher:subscribe"_s).size();
        m_realtime->connectTo(m_peer->baseUrl(), u"desk-hoops-sample"_s, room,
            api(base.isEmpty() ? m_http->baseUrl() : base));
        QVERIFY(QTest::qWaitFor(
            [&] { return m_peer->connections() > connections && m_peer->clientConnected(); }));
        m_peer->send(frame(u"pusher:connection_established"_s,
            QString::fromUtf8(R"({"socket_id":"1234.5678","activity_timeout":120})")));
        if (!complete)
            return;
        QVERIFY(QTest::qWaitFor(
            [&] { return m_peer->receivedEvents(u"pusher:subscribe"_s).size() > subscribes; }));
        m_peer->send(frame(u"pusher_internal:subscription_succeeded"_s, u"{}"_s));
        QVERIFY(QTest::qWaitFor([&] { return m_subscribed == subscribed + 1; }));
    }

private Q_SLOTS:
    void init()
    {
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

    // Paths, queries and fragments are dropped; with anything but ws or wss (in lower case)
    // there is nothing to dial, and the loss is reported at once.
    void serviceUrl()
    {
        const auto query = u"/app/KEY?protocol=7&client=toss-wick&version=1.0&flash=false"_s;
        for (const QString &host : { u"wss://hoops.example"_s, u"ws://hoops.example"_s })
            QCOMPARE(
                Realtime::serviceUrl(host + u"/some/path?x=1#top"_s, u"KEY"_s).value_or(QUrl()),
                QUrl(host + query));
        for (const QString &base :
            { u"https://hoops.example"_s, u"WSS://hoops.example"_s, u"ws://hoops example"_s }) {
            QCOMPARE(Realtime::serviceUrl(base, u"KEY"_s), std::nullopt);
            m_realtime->connectTo(base, u"KEY"_s, 1, api(m_http->baseUrl()));
            QVERIFY(m_realtime->ping().has_value());
        }
        QCOMPARE(calls(), u"subscribed 0, changes 0, disconnects 3; off -"_s);
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
        // The service's ping is answered and is no pong of ours; ours is sent and answered.
        const auto subscribedAt = m_realtime->lastPong();
        QVERIFY(Realtime::Clock::now() - subscribedAt < std::chrono::minutes(1));
        QVERIFY(settle() && !m_realtime->ping());
        QCOMPARE(m_peer->receivedEvents(u"pusher:pong"_s).first()[u"data"_s], QJsonObject());
        QVERIFY(
            QTest::qWaitFor([&] { return !m_peer->receivedEvents(u"pusher:ping"_s).isEmpty(); }));
        QTest::qWait(2);
        m_peer->send(frame(u"pusher:pong"_s));
        QVERIFY(QTest::qWaitFor([&] { return m_realtime->lastPong() > subscribedAt; }));
    }

    // Frames the service sends ("binary " first: as a binary frame); those that carry a text
    // event_id are room changes, once per id. The greeting without a socket id is one too.
    void roomEvents()
    {
        subscribe();
        const QList<QByteArray> frames {
            R"({"event":"room.changed","data":{"event_id":"a"}})"_ba,
            "{\"event\":\"x\",\"data\":\"{\\\"event_id\\\":\\\"b\\\"}\"}"_ba,
            R"({"event":"pusher:connection_established","data":{"event_id":"c"}})"_ba,
            R"(binary {"event":"x","data":{"event_id":"d"}})"_ba,
            R"({"event":"y","data":{"event_id":"a"}})"_ba,
            R"({"event":"x","data":{"id":"e"}})"_ba,
            R"({"event":"x","data":{"event_id":7}})"_ba,
            R"({"event":"x","data":"event_id=f"})"_ba,
            R"([1,2])"_ba,
            R"({"data":{"event_id":"g"}})"_ba,
            R"({"event":5,"data":{"event_id":"h"}})"_ba,
        };
        for (const QByteArray &text : frames) {
            if (text.startsWith("binary "))
                m_peer->sendBinary(text.mid(7));
            else
                m_peer->sendRaw(QString::fromUtf8(text));
        }
        QVERIFY(settle());
        QCOMPARE(calls(), u"subscribed 1, changes 4, disconnects 0; on 1234.5678"_s);
    }

    // Each row: how the connection ends ("auth " first: the authorisation's answer), and the
    // state after (a loss is reported once, a close of ours never); later frames count nothing.
    void endsOfTheConnection_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("after");
        const auto lost = u"subscribed 1, changes 0, disconnects 1; off 1234.5678"_s;
        QTest::newRow("service closes") << u"close"_s << lost;
        QTest::newRow("frame not JSON") << u"{not json"_s << lost;
        QTest::newRow("pusher:error")
            << QString::fromUtf8(R"({"event":"pusher:error","data":{"code":4009}})") << lost;
        QTest::newRow("closed here")
            << QString() << u"subscribed 1, changes 0, disconnects 0; off -"_s;
        const auto refused = u"subscribed 0, changes 0, disconnects 1; off 1234.5678"_s;
        QTest::newRow("authorisation refused")
            << QString::fromUtf8(R"(auth 403 {"auth":"k:x"})") << refused;
        QTest::newRow("authorisation not JSON") << u"auth 200 auth=abc"_s << refused;
    }
    void endsOfTheConnection()
    {
        QFETCH(QString, how);
        const bool authorised = !how.startsWith(u"auth "_s);
        if (!authorised)
            m_http->answer(how.mid(5, 3).toInt(), how.mid(9).toUtf8());
        subscribe(42, {}, authorised);
        if (how.isEmpty())
            m_realtime->close();
        else if (how == u"close"_s)
            m_peer->disconnectClient();
        else if (authorised)
            m_peer->sendRaw(how);
        QVERIFY(QTest::qWaitFor([&] { return how.isEmpty() || m_disconnects == 1; }));
        m_peer->sendRaw(roomEvent);
        m_peer->disconnectClient();
        QVERIFY(QTest::qWaitFor([&] { return !m_peer->clientConnected(); }));
        QTest::qWait(10);
        QTEST(calls(), "after");
        QCOMPARE(m_peer->receivedEvents(u"pusher:subscribe"_s).size(), authorised ? 1 : 0);
    }

    // Replacing a connection reports nothing, and the next one forgets the old one's event ids.
    // An authorisation that answers only after its connection was replaced subscribes nowhere.
    void replacedConnectionsAreSilent()
    {
        subscribe();
        m_peer->sendRaw(roomEvent);
        ScriptedHttpServer held;
        QVERIFY(settle() && held.listen());
        held.stayQuiet();
        subscribe(1, held.baseUrl(), false);
        QVERIFY(QTest::qWaitFor([&] { return held.requests().size() == 1; }));
        subscribe(2);
        held.answer(200, R"({"auth":"k:late"})"_ba);
        held.answerHeld();
        QTest::qWait(200);
        m_peer->sendRaw(roomEvent);
        QVERIFY(settle());
        QCOMPARE(m_peer->receivedEvents(u"pusher:subscribe"_s).size(), 2); // rooms 42 and 2, not 1
        QCOMPARE(calls(), u"subscribed 2, changes 2, disconnects 0; on 1234.5678"_s);
    }
};

QTEST_GUILESS_MAIN(RealtimeTest)
#include "RealtimeTest.moc"
