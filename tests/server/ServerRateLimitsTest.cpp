#include "ApiClient.h"
#include "GameRequests.h"
#include "InProcessServer.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

using Headers = QList<std::pair<QByteArray, QByteArray>>;

ApiClient::Reply newGuest(const ApiClient &api, const Headers &headers = {})
{
    return api.request("POST", u"guest"_s, "{}", {}, "application/json", headers);
}

bool isTooMany(const ApiClient::Reply &reply)
{
    return reply.status == 429 && reply.retryAfter.toInt() >= 1
        && !reply.object().value(u"message"_s).toString().isEmpty();
}

} // namespace

// Per-client limits at their defaults, on a clock the test moves: guests and failed joins per
// client address, requests per player; behind a trusted proxy the forwarded address counts.
class ServerRateLimitsTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_server = std::make_unique<InProcessServer>();
        QVERIFY2(m_server->start(), qPrintable(m_server->errorText()));
        m_api = std::make_unique<ApiClient>(m_server->httpUrl());
    }

    void guestsPerAddress()
    {
        for (int i = 0; i < 30; ++i)
            QCOMPARE(newGuest(*m_api).status, 201);
        const ApiClient::Reply refused = newGuest(*m_api);
        QVERIFY2(isTooMany(refused), refused.body.constData());
        // A header from a client that is not a trusted proxy changes nothing.
        QCOMPARE(newGuest(*m_api, { { "X-Forwarded-For", "198.51.100.7" } }).status, 429);
        m_server->clock().advance(2000); // one more a minute's thirtieth later
        const QList<int> statuses { newGuest(*m_api).status, newGuest(*m_api).status };
        QCOMPARE(statuses, QList<int>({ 201, 429 }));
    }

    void failedJoinsPerAddress()
    {
        GameRequests game(*m_api);
        const GameRequests::Player owner = game.newPlayer();
        const QString code = game.createRoom(owner)[u"invite_code"_s].toString();
        const GameRequests::Player guesser = game.newPlayer();
        for (int i = 0; i < 20; ++i)
            QCOMPARE(game.join(guesser, u"WRONG%1"_s.arg(i)).status, 422);
        QVERIFY(isTooMany(game.join(guesser, u"WRONG"_s)));
        m_server->clock().advance(3000);
        // Successful joins cost nothing.
        QVERIFY(game.join(guesser, code).status == 200 && game.join(guesser, code).status == 200);
    }

    void requestsPerPlayer()
    {
        const QByteArray token = m_api->guest();
        for (int i = 0; i < 50; ++i)
            QCOMPARE(m_api->get(u"rooms"_s, token).status, 200);
        QVERIFY(isTooMany(m_api->get(u"rooms"_s, token)));
        QCOMPARE(m_api->get(u"rooms"_s, m_api->guest()).status, 200); // another player
        m_server->clock().advance(1000);
        QCOMPARE(m_api->get(u"rooms"_s, token).status, 200);
    }

    // Behind the proxy every client comes from its address: the one it forwards counts.
    void forwardedAddressBehindATrustedProxy()
    {
        m_server = std::make_unique<InProcessServer>();
        QVERIFY(m_server->start({ u"--trusted-proxy"_s, u"127.0.0.1"_s }));
        m_api = std::make_unique<ApiClient>(m_server->httpUrl());
        const auto from = [&](const QByteArray &forwarded) {
            return newGuest(*m_api, { { "X-Forwarded-For", forwarded } }).status;
        };
        for (int i = 0; i < 30; ++i)
            QCOMPARE(from("198.51.100.7"), 201);
        // The client's own X-Forwarded-For comes first; the proxy appends the real address.
        const QList<int> statuses { from("198.51.100.7"), from("198.51.100.7, 203.0.113.9"),
            from("203.0.113.9, 198.51.100.7") };
        QCOMPARE(statuses, QList<int>({ 429, 201, 429 }));
    }

private:
    std::unique_ptr<InProcessServer> m_server;
    std::unique_ptr<ApiClient> m_api;
};

QTEST_GUILESS_MAIN(ServerRateLimitsTest)
#include "ServerRateLimitsTest.moc"
