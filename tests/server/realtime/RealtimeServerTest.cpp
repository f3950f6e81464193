#include "ApiClient.h"
#include "GameRequests.h"
#include "TestServer.h"
#include "WireClient.h"
#include "WireFrames.h"

#include <QTest>
#include <QUrlQuery>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using namespace WireFrames;

static const QString appKey = QString::fromLatin1(TestServer::appKey);

// The realtime channel of the real tosswick-server, over real WebSockets on the HTTP port,
// with channel authorisations from its /api/broadcasting/auth.
class RealtimeServerTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_server.start(), qPrintable(m_server.errorText()));
        m_api = std::make_unique<ApiClient>(m_server.httpUrl());
        m_game = std::make_unique<GameRequests>(*m_api);
    }

    // pusher-js posts a form (the Tosswick client's JSON: the refusals below and the startup test).
    void subscribesWithServerSignature()
    {
        const GameRequests::Player player = m_game->newPlayer();
        const QString channel = roomChannel(m_game->roomWith({ player }));
        // Greeted on the HTTP port, which still serves plain HTTP.
        WireClient client;
        QUrlQuery fields;
        fields.addQueryItem(u"socket_id"_s, client.connectAndGreet(channelUrl()));
        fields.addQueryItem(u"channel_name"_s, channel);
        const ApiClient::Reply reply = m_api->request("POST", u"broadcasting/auth"_s,
            fields.toString(QUrl::FullyEncoded).toLatin1(), player.token,
            "application/x-www-form-urlencoded");
        QCOMPARE(reply.status, 200);
        client.send(subscribe(channel, reply.object().value(u"auth"_s).toString()));
        QCOMPARE(client.next(), subscriptionSucceeded(channel));
        QVERIFY(nothingElseArrived(client));
    }

    void authorisationRefusals_data()
    {
        QTest::addColumn<QString>("socket"); // empty: the client's own
        QTest::addColumn<QString>("channel"); // "member", "stranger" or a literal name
        QTest::addColumn<int>("status");
        QTest::newRow("not a member") << QString() << u"stranger"_s << 403;
        QTest::newRow("room that does not exist") << QString() << u"private-room.999999"_s << 403;
        QTest::newRow("made-up socket") << u"123.456"_s << u"member"_s << 403;
        QTest::newRow("no socket id") << u"none"_s << u"member"_s << 422;
        QTest::newRow("no channel") << QString() << QString() << 422;
    }

    void authorisationRefusals()
    {
        QFETCH(QString, socket);
        QFETCH(QString, channel);
        QFETCH(int, status);
        const GameRequests::Player player = m_game->newPlayer();
        WireClient client;
        const QString socketId = client.connectAndGreet(channelUrl());
        if (channel == u"member"_s || channel == u"stranger"_s)
            channel = roomChannel(
                m_game->roomWith({ channel == u"member"_s ? player : m_game->newPlayer() }));
        QJsonObject body;
        if (socket != u"none"_s)
            body.insert(u"socket_id"_s, socket.isEmpty() ? socketId : socket);
        if (!channel.isEmpty())
            body.insert(u"channel_name"_s, channel);
        const ApiClient::Reply reply = m_api->post(u"broadcasting/auth"_s, body, player.token);
        QCOMPARE(reply.status, status);
        QVERIFY(!socketId.isEmpty() && !reply.object().contains(u"auth"_s));
        QVERIFY(!reply.object().value(u"message"_s).toString().isEmpty());
    }

    // SIGTERM: realtime clients are told to reconnect at once (elsewhere), and the server exits
    // 0 well within 10 s.
    void cleanupTestCase()
    {
        WireClient client;
        QVERIFY(!client.connectAndGreet(channelUrl()).isEmpty());
        QElapsedTimer timer;
        timer.start();
        QVERIFY(m_server.stop() && timer.elapsed() < 10000 && client.waitClosed());
        QCOMPARE(client.closeCode(), 4200);
    }

private:
    QUrl channelUrl() const { return WireClient::channelUrl(m_server.wsUrl(), appKey); }
    static QString roomChannel(qint64 room) { return u"private-room."_s + QString::number(room); }

    TestServer m_server;
    std::unique_ptr<ApiClient> m_api;
    std::unique_ptr<GameRequests> m_game;
};

QTEST_GUILESS_MAIN(RealtimeServerTest)
#include "RealtimeServerTest.moc"
