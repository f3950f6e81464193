#include "TestServer.h"

#include <QTcpSocket>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// A client that writes raw bytes, as an attacker or a broken proxy would.
class RawClient {
public:
    explicit RawClient(quint16 port) { m_socket.connectToHost(QHostAddress::LocalHost, port); }

    bool connected() { return m_socket.waitForConnected(2000); }
    void write(const QByteArray &bytes)
    {
        connected();
        m_socket.write(bytes);
        m_socket.waitForBytesWritten(2000);
    }
    // The status of the first reply, 0 when none came within the wait.
    int status(int waitMs = 3000)
    {
        read(waitMs, true);
        return m_received.startsWith("HTTP/1.1 ") ? m_received.mid(9, 3).toInt() : 0;
    }
    // Whether the server closed the connection within the wait.
    bool closed(int waitMs = 3000) { return !read(waitMs, false); }
    QByteArray received() const { return m_received; }

private:
    // Reads until the wait is over, the connection closed or (with `line`) a line came; whether
    // the connection is still open.
    bool read(int waitMs, bool line)
    {
        QDeadlineTimer deadline(waitMs);
        while (m_socket.state() == QAbstractSocket::ConnectedState && !deadline.hasExpired()
            && !(line && m_received.contains("\r\n"))) {
            m_socket.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())));
            m_received += m_socket.readAll();
        }
        m_received += m_socket.readAll();
        return m_socket.state() == QAbstractSocket::ConnectedState;
    }

    QTcpSocket m_socket;
    QByteArray m_received;
};

QByteArray post(const QByteArray &framing, const QByteArray &body = {})
{
    return "POST /api/guest HTTP/1.1\r\nHost: test\r\nContent-Type: application/json\r\n" + framing
        + "\r\n" + body;
}

} // namespace

// What the transport refuses before any route sees a request: sizes, framing, slowness and
// too many connections.
class ServerLimitsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(m_server.start({ u"--test-request-timeout-ms"_s, u"700"_s,
                     u"--test-idle-timeout-ms"_s, u"1500"_s, u"--max-connections"_s, u"20"_s }),
            qPrintable(m_server.errorText()));
    }

    void refusesBadRequests_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("status");
        const QByteArray big(70 * 1024, 'x');
        QTest::newRow("declared body over 64 KiB") << post("Content-Length: 1073741824\r\n") << 413;
        QTest::newRow("chunked body over 64 KiB") << post("Transfer-Encoding: chunked\r\n",
            QByteArray::number(big.size(), 16) + "\r\n" + big + "\r\n0\r\n\r\n")
                                                  << 413;
        QTest::newRow("headers over 16 KiB")
            << post("X-Padding: " + QByteArray(17 * 1024, 'a') + "\r\nContent-Length: 2\r\n", "{}")
            << 431;
        QTest::newRow("letters as length") << post("Content-Length: 2x\r\n", "{}") << 400;
        QTest::newRow("negative length") << post("Content-Length: -2\r\n", "{}") << 400;
        QTest::newRow("overflowing length")
            << post("Content-Length: 99999999999999999999999\r\n", "{}") << 400;
        QTest::newRow("repeated length")
            << post("Content-Length: 2\r\nContent-Length: 2\r\n", "{}") << 400;
        QTest::newRow("length list") << post("Content-Length: 2, 2\r\n", "{}") << 400;
        QTest::newRow("other transfer coding") << post("Transfer-Encoding: gzip\r\n", "{}") << 400;
        QTest::newRow("coding list ending in chunked")
            << post("Transfer-Encoding: gzip, chunked\r\n", "2\r\n{}\r\n0\r\n\r\n") << 400;
        QTest::newRow("length and chunked")
            << post("Content-Length: 2\r\nTransfer-Encoding: chunked\r\n", "2\r\n{}\r\n0\r\n\r\n")
            << 400;
        QTest::newRow("bad chunk size")
            << post("Transfer-Encoding: chunked\r\n", "zz\r\n{}\r\n0\r\n\r\n") << 400;
        QTest::newRow("upgrade without key")
            << QByteArray("GET /app/desk-hoops-sample?protocol=7 HTTP/1.1\r\nHost: test\r\n"
                          "Connection: Upgrade\r\nUpgrade: websocket\r\n"
                          "Sec-WebSocket-Version: 13\r\n\r\n")
            << 400;
    }

    void refusesBadRequests()
    {
        QFETCH(QByteArray, request);
        QFETCH(int, status);
        RawClient client(port());
        client.write(request);
        QCOMPARE(client.status(), status);
        QVERIFY2(client.closed(), client.received().constData());
    }

    // A request that does not arrive in time gets 408; a connection that never sends one is
    // closed after the same time, an idle one after a longer one.
    void slowAndIdleConnectionsClose()
    {
        RawClient slow(port());
        RawClient silent(port());
        QVERIFY(slow.connected() && silent.connected());
        slow.write("POST /api/guest HTTP/1.1\r\nHost: test\r\nContent-Length: 10\r\n\r\n{}");
        QCOMPARE(slow.status(), 408);
        QVERIFY(slow.closed() && silent.closed(3000));
        QCOMPARE(silent.status(0), 0);

        RawClient keptAlive(port());
        keptAlive.write(post("Content-Length: 2\r\n", "{}"));
        QCOMPARE(keptAlive.status(), 201);
        // The idle allowance is longer than a request's.
        QVERIFY(!keptAlive.closed(900) && keptAlive.closed(3000));
    }

    void connectionsOverTheLimitAreRefused()
    {
        std::vector<std::unique_ptr<RawClient>> open;
        for (int i = 0; i < 20; ++i) {
            open.push_back(std::make_unique<RawClient>(port()));
            QVERIFY(open.back()->connected());
        }
        QTest::qWait(100);
        RawClient refused(port()); // the kernel accepts; the server closes it at once
        QVERIFY(refused.connected() && refused.closed(300));
        open.clear();
        QTRY_VERIFY_WITH_TIMEOUT(
            [this] {
                RawClient again(port());
                again.write(post("Content-Length: 2\r\n", "{}"));
                return again.status(500) == 201;
            }(),
            3000);
    }

private:
    quint16 port() const { return quint16(m_server.httpUrl().port()); }

    TestServer m_server;
};

QTEST_GUILESS_MAIN(ServerLimitsTest)
#include "ServerLimitsTest.moc"
