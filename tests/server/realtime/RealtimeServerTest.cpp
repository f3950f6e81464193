#include "ApiClient.h"
#include "TestServer.h"
#include "WireClient.h"
#include "WireFrames.h"

#include <QJsonDocument>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
#include <QUrlQuery>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using namespace WireFrames;

namespace {

const QString appKey = QString::fromLatin1(TestServer::appKey);

QString authOf(const ApiClient::Reply &reply)
{
    return reply.object().value(u"auth"_s).toString();
}

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
    }

    void greetsOnTheHttpPort()
    {
        WireClient client;
        QVERIFY(client.open(channelUrl()));
        const auto greeting = client.next();
        QVERIFY(greeting);
        QVERIFY2(isGreeting(*greeting, 30), QJsonDocument(*greeting).toJson().constData());
        // Plain HTTP on the same port is unaffected.
        QCOMPARE(m_api->post(u"guest"_s, {}, {}).status, 201);
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
        qint64 player = 0;
        const QByteArray token = m_api->guest(&player);
        const qint64 room = addRoomWith({ player });
        const QString channel = roomChannel(room);
        WireClient client;
        const QString socketId = client.connectAndGreet(channelUrl());
        QVERIFY(!socketId.isEmpty());

        const ApiClient::Reply reply
            = form ? postForm(socketId, channel, token) : postJson(socketId, channel, token);
        QCOMPARE(reply.status, 200);
        QCOMPARE(reply.object().keys(), QStringList { u"auth"_s });
        QVERIFY(
            QRegularExpression(u"\\A%1:[0-9a-f]{64}\\z"_s.arg(QRegularExpression::escape(appKey)))
                .match(authOf(reply))
                .hasMatch());
        client.send(subscribe(channel, authOf(reply)));
        QCOMPARE(client.next(), subscriptionSucceeded(channel));
        QVERIFY(nothingElseArrived(client));
    }

    void authorisationRefusals_data()
    {
        QTest::addColumn<bool>("withSocket");
        QTest::addColumn<QString>("channel"); // "member", "stranger" or a literal name
        QTest::addColumn<bool>("withToken");
        QTest::addColumn<int>("status");
        QTest::newRow("not a member") << true << u"stranger"_s << true << 403;
        QTest::newRow("room that does not exist")
            << true << u"private-room.999999"_s << true << 403;
        QTest::newRow("no token") << true << u"member"_s << false << 401;
        QTest::newRow("no socket id") << false << u"member"_s << true << 422;
        QTest::newRow("no channel") << true << QString() << true << 422;
    }

    void authorisationRefusals()
    {
        QFETCH(bool, withSocket);
        QFETCH(QString, channel);
        QFETCH(bool, withToken);
        QFETCH(int, status);
        qint64 player = 0, stranger = 0;
        const QByteArray token = m_api->guest(&player);
        m_api->guest(&stranger);
        const qint64 memberRoom = addRoomWith({ player });
        const qint64 strangerRoom = addRoomWith({ stranger });

        WireClient client;
        const QString socketId = client.connectAndGreet(channelUrl());
        QVERIFY(!socketId.isEmpty());
        if (channel == u"member"_s)
            channel = roomChannel(memberRoom);
        else if (channel == u"stranger"_s)
            channel = roomChannel(strangerRoom);

        QJsonObject body;
        if (withSocket)
            body.insert(u"socket_id"_s, socketId);
        if (!channel.isEmpty())
            body.insert(u"channel_name"_s, channel);
        const ApiClient::Reply reply
            = m_api->post(u"broadcasting/auth"_s, body, withToken ? token : QByteArray());
        QCOMPARE(reply.status, status);
        QVERIFY(!reply.object().contains(u"auth"_s));
        QVERIFY(!reply.object().value(u"message"_s).toString().isEmpty());
    }

    void closesSilentClientWith4201()
    {
        TestServer quick;
        QVERIFY2(quick.start({ u"--test-realtime-timeout-ms"_s, u"300"_s }),
            qPrintable(quick.errorText()));
        WireClient client;
        QVERIFY(client.open(WireClient::channelUrl(quick.wsUrl(), appKey)));
        const auto greeting = client.next();
        QVERIFY(greeting);
        QVERIFY(isGreeting(*greeting, 1));
        QVERIFY(closesWhenSilent(client));
        QVERIFY(quick.stop());
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

    ApiClient::Reply postJson(
        const QString &socketId, const QString &channel, const QByteArray &token) const
    {
        return m_api->post(u"broadcasting/auth"_s,
            { { u"socket_id"_s, socketId }, { u"channel_name"_s, channel } }, token);
    }

    ApiClient::Reply postForm(
        const QString &socketId, const QString &channel, const QByteArray &token) const
    {
        QUrlQuery form;
        form.addQueryItem(u"socket_id"_s, socketId);
        form.addQueryItem(u"channel_name"_s, channel);
        return m_api->request("POST", u"broadcasting/auth"_s,
            form.toString(QUrl::FullyEncoded).toLatin1(), token,
            "application/x-www-form-urlencoded");
    }

    // A room with these members, written straight into the server's database.
    qint64 addRoomWith(const QList<qint64> &members)
    {
        const QString name = u"realtime-test-db"_s;
        qint64 room = 0;
        {
            QSqlDatabase db = QSqlDatabase::contains(name)
                ? QSqlDatabase::database(name)
                : QSqlDatabase::addDatabase(u"QSQLITE"_s, name);
            db.setDatabaseName(m_server.databasePath());
            if (!db.isOpen() && !db.open())
                return 0;
            QSqlQuery query(db);
            query.prepare(u"INSERT INTO rooms (owner_id, name, invite_code) VALUES (?, ?, ?)"_s);
            query.addBindValue(members.value(0));
            query.addBindValue(u"Test room"_s);
            query.addBindValue(QString::number(++m_rooms).rightJustified(10, u'0'));
            if (!query.exec())
                return 0;
            room = query.lastInsertId().toLongLong();
            for (const qint64 member : members) {
                query.prepare(
                    u"INSERT INTO members (room_id, player_id, joined) VALUES (?, ?, 0)"_s);
                query.addBindValue(room);
                query.addBindValue(member);
                if (!query.exec())
                    return 0;
            }
        }
        return room;
    }

    TestServer m_server;
    std::unique_ptr<ApiClient> m_api;
    int m_rooms = 0;
};

QTEST_GUILESS_MAIN(RealtimeServerTest)
#include "RealtimeServerTest.moc"
