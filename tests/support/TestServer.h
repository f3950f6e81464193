#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QUrl>

// The real tosswick-server (TOSSWICK_SERVER, set by CTest) on a free loopback port with a
// throw-away database; with TOSSWICK_TEST_BACKEND=postgres, one of the PostgresCluster.
class TestServer {
public:
    static constexpr auto appKey = "desk-hoops-sample";
    static constexpr auto appSecret = "test-secret-not-for-production";

    TestServer() = default;
    ~TestServer();
    TestServer(const TestServer &) = delete;
    TestServer &operator=(const TestServer &) = delete;

    // Starts it and waits for the address it prints; false with errorText() on failure.
    bool start(const QStringList &extraArguments = {});
    // Stops it gracefully (SIGTERM) and returns whether it exited with status 0.
    bool stop();
    // Kills it without letting it clean up, as a crash would.
    void kill();
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }

    QUrl httpUrl() const { return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_port)); }
    QUrl wsUrl() const { return QUrl(QStringLiteral("ws://127.0.0.1:%1").arg(m_port)); }
    QString databasePath() const { return m_dir.filePath(QStringLiteral("tosswick.sqlite")); }
    // Everything the server wrote to stderr so far (its log).
    QString log();
    QString errorText() const { return m_error; }

private:
    QTemporaryDir m_dir;
    QString m_database;
    QProcess m_process;
    quint16 m_port = 0;
    QByteArray m_log;
    QString m_error;
};
