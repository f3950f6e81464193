#include "ApiClient.h"
#include "TestServer.h"

#include <QJsonArray>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

using namespace Qt::StringLiterals;

// Guest sessions, bearer authentication, and the error shapes every endpoint shares.
class ServerSessionTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(m_server.start(), qPrintable(m_server.errorText()));
        m_api = std::make_unique<ApiClient>(m_server.httpUrl());
    }

    // Each guest a player of their own, whose token reads them back; GET connection names the
    // invitation page.
    void guestCreatesDistinctPlayers()
    {
        const ApiClient::Reply first = m_api->post(u"guest"_s, {}, {});
        const QJsonObject a = first.object(), b = m_api->post(u"guest"_s, {}, {}).object();
        const QString token = a[u"token"_s].toString();
        QVERIFY(first.status == 201
            && QRegularExpression(u"^[0-9a-f]{64}$"_s).match(token).hasMatch()
            && token != b[u"token"_s].toString() && a[u"user"_s][u"id"_s] != b[u"user"_s][u"id"_s]
            && !a[u"user"_s][u"name"_s].toString().isEmpty());
        QCOMPARE(m_api->get(u"me"_s, token.toLatin1()).object(), a[u"user"_s].toObject());
        QCOMPARE(
            m_api->get(u"connection"_s, token.toLatin1()).object()[u"invite_base"_s].toString(),
            m_server.httpUrl().toString() + u"/invite"_s);
    }

    // Every room endpoint needs a player, so none is left open by mistake.
    void refusedRequests_data()
    {
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("token");
        QTest::addColumn<int>("status");
        const QByteArray none;
        QTest::newRow("me with unknown token") << "GET"_ba << u"me"_s << QByteArray(64, 'a') << 401;
        QTest::newRow("unknown path") << "GET"_ba << u"nothing-here"_s << "guest"_ba << 404;
        QTest::newRow("room id not a number")
            << "GET"_ba << u"rooms/abc/state"_s << "guest"_ba << 404;
        QTest::newRow("wrong method") << "GET"_ba << u"rooms/1/heartbeat"_s << "guest"_ba << 405;
        for (const QString &path :
            { u"GET me"_s, u"GET connection"_s, u"GET rooms"_s, u"POST rooms"_s,
                u"POST rooms/join"_s, u"POST rooms/1/activate"_s, u"POST rooms/1/leave"_s,
                u"DELETE rooms/1"_s, u"GET rooms/1/state"_s, u"POST rooms/1/heartbeat"_s,
                u"POST rooms/1/disconnect"_s, u"POST rooms/1/ball/send"_s,
                u"POST rooms/1/round/ready"_s, u"POST rooms/1/round/shot"_s,
                u"POST rooms/1/round/result"_s, u"POST broadcasting/auth"_s })
            QTest::addRow("%s without token", qPrintable(path))
                << path.section(u' ', 0, 0).toLatin1() << path.section(u' ', 1) << none << 401;
    }

    void refusedRequests()
    {
        QFETCH(QByteArray, method);
        QFETCH(QString, path);
        QFETCH(QByteArray, token);
        QFETCH(int, status);
        const ApiClient::Reply reply
            = m_api->request(method, path, method == "GET" ? QByteArray() : QByteArray("{}"),
                token == "guest" ? m_api->guest() : token);
        QCOMPARE(reply.status, status);
        const QString message = reply.object()[u"message"_s].toString();
        QVERIFY2(status == 401 ? reply.object().size() == 1 && message == u"Unauthenticated."_s
                               : message.endsWith(u'.'),
            reply.body.constData());
    }

    // Texts are checked as they arrive, escapes included (the checks themselves: TextCheckTest).
    void badBodies_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("form");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("field"); // the one named in errors
        QTest::newRow("array") << u"guest"_s << QByteArray("[1,2]") << false << 400 << QString();
        QTest::newRow("broken json")
            << u"guest"_s << QByteArray("{\"a\":") << false << 400 << QString();
        QTest::newRow("lone surrogate")
            << u"rooms"_s << QByteArray("{\"name\":\"a\\ud800b\"}") << false << 422 << u"name"_s;
        QTest::newRow("form field")
            << u"broadcasting/auth"_s << QByteArray("socket_id=1.2&channel_name=private-room.1%07")
            << true << 422 << u"channel_name"_s;
    }

    void badBodies()
    {
        QFETCH(QString, path);
        QFETCH(QByteArray, body);
        QFETCH(bool, form);
        QFETCH(int, status);
        QFETCH(QString, field);
        const ApiClient::Reply reply = m_api->request("POST", path, body, m_api->guest(),
            form ? "application/x-www-form-urlencoded" : "application/json");
        QCOMPARE(reply.status, status);
        QVERIFY(!reply.object().value(u"message"_s).toString().isEmpty());
        QCOMPARE(reply.object().value(u"errors"_s).toObject().keys().join(u','), field);
    }

    void tokensStayOutOfTheLog()
    {
        const QByteArray token = m_api->guest();
        m_api->request("GET", u"no-such-endpoint"_s, {}, token);
        m_api->request("POST", u"me"_s, "[]", token);
        QVERIFY(!m_server.log().isEmpty() && !m_server.log().contains(QString::fromLatin1(token)));
    }

    // A statement left part-way holds SQLite's read lock, and the log could never be
    // checkpointed while the server runs.
    void requestsLeaveTheDatabaseFree()
    {
        const QByteArray token = m_api->guest();
        QVERIFY(m_api->get(u"me"_s, token).status == 200
            && m_api->post(u"rooms"_s, {}, token).status == 201);
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s);
        db.setDatabaseName(m_server.databasePath());
        db.setConnectOptions(u"QSQLITE_BUSY_TIMEOUT=100"_s);
        QSqlQuery query(db);
        QVERIFY(db.open() && query.exec(u"PRAGMA wal_checkpoint(TRUNCATE)"_s) && query.next());
        QCOMPARE(query.value(0).toInt(), 0); // not busy
    }

private:
    TestServer m_server;
    std::unique_ptr<ApiClient> m_api;
};

QTEST_GUILESS_MAIN(ServerSessionTest)
#include "ServerSessionTest.moc"
