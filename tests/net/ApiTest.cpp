#include "ScriptedHttpServer.h"
#include "TestServer.h"

#include "net/API.h"
#include "wire/AuthReply.h"
#include "wire/Room.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

#include <QCoro/QCoroTask>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

class ApiTest : public QObject {
    Q_OBJECT

private:
    QNetworkAccessManager m_network;
    ScriptedHttpServer *m_scripted = nullptr;

    static Expected<QByteArray, NetworkError> send(
        const API &api, const QString &path, const QString &method, const QJsonObject &body)
    {
        return QCoro::waitFor(api.data(path, method, body));
    }

private Q_SLOTS:
    void init()
    {
        m_scripted = new ScriptedHttpServer(this);
        QVERIFY(m_scripted->listen());
    }
    void cleanup() { delete m_scripted; }

    // Neither an unusable URL nor a number JSON cannot carry reaches the server.
    void refusesBeforeSending_data()
    {
        QTest::addColumn<QString>("base");
        QTest::addColumn<double>("x");
        QTest::addColumn<QString>("message");
        const QString invalid = u"Invalid server URL"_s;
        QTest::newRow("scheme in capitals") << u"HTTPS://127.0.0.1:%1"_s << 0.5 << invalid;
        QTest::newRow("no host") << u"http://:%1"_s << 0.5 << invalid;
        QTest::newRow("no scheme") << u"127.0.0.1:%1"_s << 0.5 << invalid;
        QTest::newRow("blank inside") << u"http://127.0.0.1 :%1"_s << 0.5 << invalid;
        QTest::newRow("nested number not finite")
            << u"http://127.0.0.1:%1"_s << qQNaN()
            << u"The request could not be written: a number is not finite."_s;
    }
    void refusesBeforeSending()
    {
        QFETCH(QString, base);
        QFETCH(double, x);
        QFETCH(QString, message);
        API api(m_network, base.arg(m_scripted->baseUrl().section(u':', -1)));
        const auto reply = send(api, u"rooms/1/round/result"_s, u"POST"_s,
            QJsonObject { { u"before"_s, QJsonObject { { u"x"_s, x } } } });
        QVERIFY(!reply);
        QCOMPARE(reply.error(), (NetworkError { 0, message }));
        QTest::qWait(50); // anything sent would have reached the server by now
        QCOMPARE(m_scripted->connections(), 0);
    }

    // Each row: the request asked for, the token set when it starts, and the target sent.
    void buildsTheRequest_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("method");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("token");
        QTest::addColumn<QByteArray>("target");
        QTest::newRow("GET without body or token")
            << u"rooms/12/state"_s << u"GET"_s << QByteArray() << QString()
            << "/api/rooms/12/state"_ba;
        QTest::newRow("DELETE, empty object, token")
            << u"rooms/3"_s << u"DELETE"_s << "{}"_ba << u"first"_s << "/api/rooms/3"_ba;
        QTest::newRow("POST with members")
            << u"rooms/3/heartbeat"_s << u"POST"_s << R"({"dnd":false,"socket_id":"1.2"})"_ba
            << QString() << "/api/rooms/3/heartbeat"_ba;
    }
    void buildsTheRequest()
    {
        QFETCH(QString, method);
        QFETCH(QByteArray, body);
        QFETCH(QString, token);
        m_scripted->answer(200, "{}");
        API api(m_network, m_scripted->baseUrl());
        if (!token.isEmpty())
            api.setToken(token);
        QFETCH(QString, path);
        auto pending = api.data(path, method,
            body.isNull() ? std::nullopt : std::optional(QJsonDocument::fromJson(body).object()));
        // The token of the moment the request starts is the one sent.
        api.setToken(std::nullopt);
        QVERIFY(QCoro::waitFor(pending));

        QCOMPARE(m_scripted->requests().size(), 1);
        const auto &request = m_scripted->requests().first();
        QCOMPARE(request.method, method.toLatin1());
        QTEST(request.target, "target");
        QCOMPARE(request.headers.value("accept"), "application/json");
        QCOMPARE(request.headers.value("authorization"),
            token.isEmpty() ? QByteArray() : "Bearer " + token.toLatin1());
        QCOMPARE(request.headers.value("content-type"),
            body.isNull() ? QByteArray() : "application/json"_ba);
        QCOMPARE(QJsonDocument::fromJson(request.body), QJsonDocument::fromJson(body));
    }

    void joinsBaseAndPathAsText()
    {
        // A trailing slash is the caller's to strip; it is not silently folded here.
        QCOMPARE(API::requestUrl(u"https://example.org:8443/"_s, u"rooms/12/state"_s)->toString(),
            u"https://example.org:8443//api/rooms/12/state"_s);
    }

    void explainsRejections_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("message");
        QTest::newRow("first field error wins over message")
            << 422 << R"({"message":"M.","errors":{"name":["Too long.","Odd."]}})"_ba
            << u"Too long."_s;
        QTest::newRow("body not JSON") << 500 << "<html>"_ba << u"Request failed (500)"_s;
        QTest::newRow("field with empty list")
            << 422 << R"({"errors":{"code":[]},"message":"M."})"_ba << u"M."_s;
        QTest::newRow("errors as array")
            << 422 << R"({"errors":["E."]})"_ba << u"Request failed (422)"_s;
        QTest::newRow("non-text entry")
            << 422 << R"({"errors":{"code":[7]},"message":"M."})"_ba << u"M."_s;
        QTest::newRow("one field not a list")
            << 422 << R"({"errors":{"a":["A."],"b":"B."},"message":"M."})"_ba << u"M."_s;
        QTest::newRow("message not a text")
            << 403 << R"({"message":403})"_ba << u"Request failed (403)"_s;
        QTest::newRow("top level array") << 400 << R"(["Bad."])"_ba << u"Request failed (400)"_s;
    }
    void explainsRejections()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QTEST(API::rejectionMessage(status, body), "message");
    }

    void readsReplies()
    {
        API api(m_network, m_scripted->baseUrl());
        m_scripted->answer(204, {});
        const auto empty = send(api, u"rooms/1/activate"_s, u"POST"_s, QJsonObject());
        QVERIFY(empty && empty->isEmpty());
        const auto unreadable = QCoro::waitFor(api.get<Player>(u"me"_s));
        QVERIFY(!unreadable && unreadable.error().status == 0);
        QVERIFY(unreadable.error().message.startsWith(u"The server's reply could not be read"));

        m_scripted->answer(200, R"([{"id":1,"owner_id":2,"name":"Lab","invite_code":"AB12"}])");
        const auto rooms = QCoro::waitFor(api.get<QList<Room>>(u"rooms"_s));
        QVERIFY(rooms && rooms->size() == 1 && rooms->first().inviteCode == u"AB12"_s);
        const auto notAnObject = QCoro::waitFor(api.get<Player>(u"rooms"_s));
        QVERIFY(!notAnObject && notAnObject.error().message.contains(u"expected a JSON object"));

        m_scripted->answer(404, R"({"message":"Room not found."})");
        const auto rejected = send(api, u"rooms/join"_s, u"POST"_s, QJsonObject());
        QVERIFY(!rejected);
        QCOMPARE(rejected.error(), (NetworkError { 404, u"Room not found."_s }));
    }

    void failsWithTheTransportError()
    {
        m_scripted->stayQuiet();
        API api(m_network, m_scripted->baseUrl());
        QCOMPARE(api.transferTimeout(), 10s);
        api.setTransferTimeout(300ms);
        const auto silent = QCoro::waitFor(api.data(u"me"_s, u"GET"_s));
        QCOMPARE(m_scripted->requests().size(), 1);
        QVERIFY(!silent && silent.error().status == 0 && !silent.error().message.isEmpty());
        delete m_scripted;
        m_scripted = nullptr;
        const auto refused = QCoro::waitFor(api.data(u"me"_s, u"GET"_s));
        QVERIFY(!refused && refused.error().status == 0);
        QVERIFY(refused.error().message.contains(u"refused", Qt::CaseInsensitive));
    }

    void talksToTheGameServer()
    {
        TestServer server;
        QVERIFY2(server.start(), qPrintable(server.errorText()));
        API api(m_network, server.httpUrl().toString(QUrl::StripTrailingSlash));
        const auto anonymous = QCoro::waitFor(api.get<Player>(u"me"_s));
        QVERIFY(!anonymous && anonymous.error().status == 401);
        const auto created = send(api, u"guest"_s, u"POST"_s, QJsonObject());
        QVERIFY(created);
        const auto session = API::readReply<AuthReply>(*created);
        QVERIFY2(session, session ? "" : qPrintable(session.error().message));
        api.setToken(session->token);
        const auto me = QCoro::waitFor(api.get<Player>(u"me"_s));
        QVERIFY(me && *me == session->user);
    }
};

QTEST_GUILESS_MAIN(ApiTest)
#include "ApiTest.moc"
