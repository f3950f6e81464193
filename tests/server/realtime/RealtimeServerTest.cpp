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

namespace {

const QString appKey = QString::fromLatin1(TestServer::appKey);

} // namespace

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

    // The Tosswick client posts JSON; pusher-js posts a form.
    void subscribesWithServerSignature_data()
    {
        QTest::addColumn<bool>("form");
        QTest::newRow("json") << false;
        QTest::newRow("form") << true;
    }

    void subscribesWithServerSignature()
    {
        QFETCH(bool, form);
        const GameRequests::Player player = m_game->newPlayer();
        const QString channel = roomChannel(m_game->roomWith({ player }));
        // Greeted on the HTTP port, which still serves plain HTTP.
        WireClient client;
        const QString socketId = client.connectAndGreet(channelUrl());
        QVERIFY(!socketId.isEmpty());
        QUrlQuery fields;
        fields.addQueryItem(u"socket_id"_s, socketId);
        fields.addQueryItem(u"channel_name"_s, channel);
        const ApiClient::Reply reply = form
            ? m_api->request("POST", u"broadcasting/auth"_s,
                fields.toString(QUrl::FullyEncoded).toLatin1(), player.token,
                "application/x-www-form-urlencoded")
            : m_api->post(u"broadcasting/auth"_s,
                { { u"socket_id"_s, socketId }, { u"channel_name"_s, channel } }, player.token);
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
        QTest::newRow("socket id without a dot") << u"12345"_s << u"member"_s << 403;
        QTest::newRow("socket id with letters") << u"12.ab"_s << u"member"_s << 403;
        QTest::newRow("channel in the socket id") << u"1.2:private-room.1"_s << u"member"_s << 403;
        QTest::newRow("no socket id") << u"none"_s << u"member"_s << 422;
        QTest::newRow("no channel") << QString() << QString() << 422;
    }

    void authorisationRefusals()
    {
        QFETCH(QString, socket);
        QFETCH(QString, channel);
        QFETCH(int, status);
        const GameRequests::Player player = m_game->newPlayer();
        const qint64 memberRoom = m_game->roomWith({ player });
        const qint64 strangerRoom = m_game->roomWith({ m_game->newPlayer() });

        WireClient client;
        const QString socketId = client.connectAndGreet(channelUrl());
        QVERIFY(!socketId.isEmpty());
        if (channel == u"member"_s)
            channel = roomChannel(memberRoom);
        else if (channel == u"stranger"_s)
            channel = roomChannel(strangerRoom);

        QJsonObject body;
        if (socket != u"none"_s)
            body.insert(u"socket_id"_s, socket.isEmpty() ? socketId : socket);
        if (!channel.isEmpty())
            body.insert(u"channel_name"_s, channel);
        const ApiClient::Reply reply = m_api->post(u"broadcasting/auth"_s, body, player.token);
        QCOMPARE(reply.status, status);
        QVERIFY(!reply.object().contains(u"auth"_s));
        QVERIFY(!reply.object().value(u"message"_s).toString().isEmpty());
    }

    // SIGTERM: realtime clients are told to reconnect at once (elsewhere), idle HTTP
    // connections close, and the server exits 0 well within 10 s; a health check says ok
    // before.
    void sigtermDrains()
    {
        TestServer node;
        QVERIFY2(node.start(), qPrintable(node.errorText()));
        const ApiClient api(node.httpUrl());
        QCOMPARE(api.request("GET", u"/healthz"_s).body, QByteArray("ok"));
        WireClient client;
        QVERIFY(client.open(WireClient::channelUrl(node.wsUrl(), appKey)));
        QVERIFY(client.next());
        QElapsedTimer timer;
        timer.start();
        QVERIFY(node.stop());
        QVERIFY(timer.elapsed() < 10000);
        QVERIFY(client.waitClosed());
        QCOMPARE(client.closeCode(), 4200);
    }

    void cleanupTestCase() { QVERIFY(m_server.stop()); }

private:
    QUrl channelUrl() const { return WireClient::channelUrl(m_server.wsUrl(), appKey); }
    static QString roomChannel(qint64 room) { return u"private-room."_s + QString::number(room); }

    TestServer m_server;
    std::unique_ptr<ApiClient> m_api;
    std::unique_ptr<GameRequests> m_game;
};

QTEST_GUILESS_MAIN(RealtimeServerTest)
#include "RealtimeServerTest.moc"
