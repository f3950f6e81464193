#include "ScriptedHttpServer.h"

#include "net/API.h"
#include "wire/Player.h"
#include "wire/Room.h"

#include <QJsonDocument>
#include <QTest>

#include <QCoro/QCoroTask>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

// The client's requests against a scripted HTTP server; the real game server is met through
// the coordinator's tests.
class ApiTest : public QObject {
    Q_OBJECT

    QNetworkAccessManager m_network;
    std::unique_ptr<ScriptedHttpServer> m_scripted;

    Expected<QByteArray, NetworkError> send(const API &api, const QString &path,
        const QString &method = u"POST"_s, const std::optional<QJsonObject> &body = QJsonObject())
    {
        return QCoro::waitFor(api.data(path, method, body));
    }

private Q_SLOTS:
    void init()
    {
        m_scripted = std::make_unique<ScriptedHttpServer>();
        QVERIFY(m_scripted->listen());
    }

    // Neither an unusable URL nor a number JSON cannot carry reaches the server.
    void refusesBeforeSending_data()
    {
        QTest::addColumn<QString>("base");
        QTest::addColumn<double>("x");
        QTest::addColumn<QString>("message");
        const auto invalid = [](const char *name, const QString &base) {
            QTest::newRow(name) << base << 0.5 << u"Invalid server URL"_s;
        };
        invalid("scheme in capitals", u"HTTPS://127.0.0.1:%1"_s);
        invalid("no host", u"http://:%1"_s);
        invalid("no scheme", u"127.0.0.1:%1"_s);
        invalid("blank inside", u"http://127.0.0.1 :%1"_s);
        QTest::newRow("nested number not finite")
            << u"http://127.0.0.1:%1"_s << qQNaN()
            << u"The request could not be written: a number is not finite."_s;
    }
    void refusesBeforeSending()
    {
        QFETCH(QString, base);
        QFETCH(double, x);
        API api(m_network, base.arg(m_scripted->baseUrl().section(u':', -1)));
        const auto reply = send(api, u"rooms/1/round/result"_s, u"POST"_s,
            QJsonObject { { u"before"_s, QJsonObject { { u"x"_s, x } } } });
        QVERIFY(!reply);
        QTEST(reply.error().message, "message");
        QCOMPARE(reply.error().status, 0);
        QTest::qWait(50); // anything sent would have reached the server by now
        QCOMPARE(m_scripted->connections(), 0);
    }

    // Each row: a request's body and the token set when it starts, and what the server got:
    // "METHOD target |authorization |content-type body"; method and path are asked for as got.
    void buildsTheRequest_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("token");
        QTest::addColumn<QByteArray>("received");
        QTest::newRow("GET without body or token")
            << QByteArray() << QString() << "GET /api/rooms/12/state | | "_ba;
        QTest::newRow("DELETE, empty object, token")
            << "{}"_ba << u"first"_s << "DELETE /api/rooms/3 |Bearer first |application/json {}"_ba;
        const QByteArray members = R"({"dnd":false,"socket_id":"1.2"})";
        QTest::newRow("POST with members")
            << members << QString() << "POST /api/rooms/3/heartbeat | |application/json " + members;
    }
    void buildsTheRequest()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, token);
        QFETCH(QByteArray, received);
        m_scripted->answer(200, "{}");
        API api(m_network, m_scripted->baseUrl());
        api.setToken(token.isEmpty() ? std::nullopt : std::optional(token));
        const QStringList asked = QString::fromLatin1(received).split(u' ');
        auto pending = api.data(asked[1].mid(5), asked[0],
            body.isNull() ? std::nullopt : std::optional(QJsonDocument::fromJson(body).object()));
        api.setToken(std::nullopt);
        QVERIFY(QCoro::waitFor(pending));
        QCOMPARE(m_scripted->requests().size(), 1);
        const auto &request = m_scripted->requests().first();
        QCOMPARE(request.headers.value("accept"), "application/json");
        QCOMPARE(QByteArray(request.method + ' ' + request.target + " |"
                     + request.headers.value("authorization") + " |"
                     + request.headers.value("content-type") + ' '
                     + QJsonDocument::fromJson(request.body).toJson(QJsonDocument::Compact)),
            received);
    }

    void explainsRejections_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("message");
        const auto row = [](const char *name, int status, const char *body, const char *message) {
            QTest::newRow(name) << status << QByteArray(body) << QString::fromUtf8(message);
        };
        row("first field error wins over message", 422,
            R"({"message":"M.","errors":{"name":["Too long.","Odd."]}})", "Too long.");
        row("body not JSON", 500, "<html>", "Request failed (500)");
        row("field with empty list", 422, R"({"errors":{"code":[]},"message":"M."})", "M.");
        row("errors as array", 422, R"({"errors":["E."]})", "Request failed (422)");
        row("non-text entry", 422, R"({"errors":{"code":[7]},"message":"M."})", "M.");
        row("one field not a list", 422, R"({"errors":{"a":["A."],"b":"B."},"message":"M."})",
            "M.");
        row("message not a text", 403, R"({"message":403})", "Request failed (403)");
        row("top level array", 400, R"(["Bad."])", "Request failed (400)");
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
        const auto empty = send(api, u"rooms/1/activate"_s);
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
        const auto rejected = send(api, u"rooms/join"_s);
        QVERIFY(!rejected);
        QCOMPARE(rejected.error(), (NetworkError { 404, u"Room not found."_s }));
    }

    void failsWithTheTransportError()
    {
        m_scripted->stayQuiet();
        API api(m_network, m_scripted->baseUrl());
        QCOMPARE(api.transferTimeout(), 10s);
        api.setTransferTimeout(300ms);
        const auto silent = send(api, u"me"_s, u"GET"_s, std::nullopt);
        QCOMPARE(m_scripted->requests().size(), 1);
        QVERIFY(!silent && silent.error().status == 0 && !silent.error().message.isEmpty());
        m_scripted.reset();
        const auto refused = send(api, u"me"_s, u"GET"_s, std::nullopt);
        QVERIFY(!refused && refused.error().status == 0);
        QVERIFY(refused.error().message.contains(u"refused", Qt::CaseInsensitive));
    }
};

QTEST_GUILESS_MAIN(ApiTest)
#include "ApiTest.moc"
