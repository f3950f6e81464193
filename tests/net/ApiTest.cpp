#include "ScriptedHttpServer.h"

#include "net/API.h"
#include "wire/Player.h"
#include "wire/Room.h"

#include <QJsonDocument>
#include <QTest>

#include <QCoro/QCoroTask>

using namespace Qt::StringLiterals;

// The client's requests against a scripted HTTP server (the real one: the coordinator's tests).
class ApiTest : public QObject {
    Q_OBJECT

    QNetworkAccessManager m_network;
    std::unique_ptr<ScriptedHttpServer> m_scripted;

    // What a call gave, in one line: "ok" and what it read, or the error's status and text.
    template <typename T> static QString outcome(const Expected<T, NetworkError> &reply)
    {
        if (!reply)
            return QString::number(reply.error().status) + u' ' + reply.error().message;
        if constexpr (std::is_same_v<T, QList<Room>>)
            return u"ok "_s + reply->value(0).inviteCode;
        else
            return u"ok"_s;
    }
    QString post(const API &api, const std::optional<QJsonObject> &body = QJsonObject())
    {
        return outcome(QCoro::waitFor(api.data(u"rooms/1/activate"_s, u"POST"_s, body)));
    }

private Q_SLOTS:
    void init()
    {
        m_scripted = std::make_unique<ScriptedHttpServer>();
        QVERIFY(m_scripted->listen());
    }

    // Neither an unusable URL nor a number JSON cannot carry reaches the server.
    void refusesBeforeSending()
    {
        const QString port = m_scripted->baseUrl().section(u':', -1);
        for (const QString &base :
            { u"HTTPS://127.0.0.1:"_s, u"http://:"_s, u"127.0.0.1:"_s, u"http://127.0.0.1 :"_s })
            QCOMPARE(post(API(m_network, base + port)), u"0 Invalid server URL"_s);
        QCOMPARE(post(API(m_network, m_scripted->baseUrl()),
                     QJsonObject { { u"before"_s, QJsonObject { { u"x"_s, qQNaN() } } } }),
            u"0 The request could not be written: a number is not finite."_s);
        QTest::qWait(50); // anything sent would have reached the server by now
        QCOMPARE(m_scripted->connections(), 0);
    }

    // What the server got, "METHOD target |authorization |accept |content-type body".
    void buildsTheRequest()
    {
        m_scripted->answer(200, "{}");
        API api(m_network, m_scripted->baseUrl());
        const auto sent = [&](const QString &method, const QString &path,
                              const QByteArray &body) -> QByteArray {
            auto pending = api.data(path, method,
                body.isNull() ? std::nullopt
                              : std::optional(QJsonDocument::fromJson(body).object()));
            api.setToken(std::nullopt);
            QCoro::waitFor(pending);
            const auto &got = m_scripted->requests().constLast();
            return got.method + ' ' + got.target + " |" + got.headers.value("authorization") + " |"
                + got.headers.value("accept") + " |" + got.headers.value("content-type") + ' '
                + QJsonDocument::fromJson(got.body).toJson(QJsonDocument::Compact);
        };
        QCOMPARE(sent(u"GET"_s, u"rooms/12/state"_s, {}),
            "GET /api/rooms/12/state | |application/json | "_ba);
        api.setToken(u"first"_s);
        const QByteArray json = "|application/json |application/json ";
        QCOMPARE(sent(u"DELETE"_s, u"rooms/3"_s, "{}"),
            "DELETE /api/rooms/3 |Bearer first " + json + "{}");
        const QByteArray members = R"({"dnd":false,"socket_id":"1.2"})";
        QCOMPARE(sent(u"POST"_s, u"rooms/3/heartbeat"_s, members),
            "POST /api/rooms/3/heartbeat | " + json + members);
    }

    // Each case: status, body, and the text a player reads.
    void explainsRejections()
    {
        const char *const cases[][3] = {
            { "422", R"({"message":"M.","errors":{"name":["Too long.","Odd."]}})", "Too long." },
            { "422", R"({"errors":{"code":[]},"message":"M."})", "M." },
            { "422", R"({"errors":["E."]})", "Request failed (422)" },
            { "422", R"({"errors":{"code":[7]},"message":"M."})", "M." },
            { "422", R"({"errors":{"a":["A."],"b":"B."},"message":"M."})", "M." },
            { "403", R"({"message":403})", "Request failed (403)" },
            { "400", R"(["Bad."])", "Request failed (400)" },
        };
        for (const auto &[status, body, message] : cases)
            QCOMPARE(API::rejectionMessage(QByteArray(status).toInt(), body),
                QString::fromUtf8(message));
    }

    // Replies read as what was asked for; then a server that never answers, and none at all.
    void readsReplies()
    {
        API api(m_network, m_scripted->baseUrl());
        m_scripted->answer(204, {});
        QCOMPARE(post(api), u"ok"_s);
        QCOMPARE(outcome(QCoro::waitFor(api.get<Player>(u"me"_s))),
            u"0 The server's reply could not be read (not JSON: illegal value at offset 0)."_s);
        m_scripted->answer(200, R"([{"id":1,"owner_id":2,"name":"Lab","invite_code":"AB12"}])");
        QCOMPARE(outcome(QCoro::waitFor(api.get<QList<Room>>(u"rooms"_s))), u"ok AB12"_s);
        QCOMPARE(outcome(QCoro::waitFor(api.get<Player>(u"rooms"_s))),
            u"0 The server's reply could not be read (expected a JSON object)."_s);
        m_scripted->answer(404, R"({"message":"Room not found."})");
        QCOMPARE(post(api), u"404 Room not found."_s);

        m_scripted->stayQuiet();
        api.setTransferTimeout(std::chrono::milliseconds(300));
        const QString silent = post(api);
        QVERIFY2(silent.startsWith(u"0 "_s) && silent.size() > 2, qPrintable(silent));
        QCOMPARE(m_scripted->requests().size(), 6);
        m_scripted.reset();
        const QString refused = post(api);
        QVERIFY2(refused.startsWith(u"0 "_s) && refused.contains(u"refused"_s, Qt::CaseInsensitive),
            qPrintable(refused));
    }
};

QTEST_GUILESS_MAIN(ApiTest)
#include "ApiTest.moc"
