#include "InProcessServer.h"

#include "PostgresCluster.h"
#include "TestServer.h"

using namespace Qt::StringLiterals;

InProcessServer::~InProcessServer()
{
    if (!m_thread)
        return;
    // The server's sockets and database connection belong to its thread.
    QMetaObject::invokeMethod(
        m_threadContext.get(), [this] { m_server.reset(); }, Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
}

bool InProcessServer::start(const QStringList &arguments, Thread thread)
{
    const QString database
        = PostgresCluster::testDatabase(m_dir.filePath(u"tosswick.sqlite"_s), m_error);
    return !database.isEmpty() && startOn(database, arguments, thread);
}

bool InProcessServer::startBeside(
    const InProcessServer &first, const QStringList &arguments, Thread thread)
{
    return startOn(first.m_database, arguments, thread);
}

bool InProcessServer::startOn(const QString &database, const QStringList &arguments, Thread thread)
{
    m_database = database;
    const QStringList commandLine
        = QStringList { u"tosswick-server"_s, u"--listen"_s, u"127.0.0.1:0"_s, u"--db"_s,
              m_database, u"--app-key"_s, QString::fromLatin1(TestServer::appKey),
              u"--app-secret"_s, QString::fromLatin1(TestServer::appSecret) }
        + arguments;
    const auto start = [this, commandLine] {
        m_server = std::make_unique<GameServer>(ServerOptions::parse(commandLine), m_clock);
        if (!m_server->start())
            m_error = m_server->errorText();
    };
    if (thread == Thread::Test) {
        start();
    } else {
        m_thread = std::make_unique<QThread>();
        m_threadContext = std::make_unique<QObject>();
        m_threadContext->moveToThread(m_thread.get());
        m_thread->start();
        QMetaObject::invokeMethod(m_threadContext.get(), start, Qt::BlockingQueuedConnection);
    }
    return m_error.isEmpty();
}

QStringList InProcessServer::withoutRateLimits()
{
    return { u"--guests-per-minute"_s, u"0"_s, u"--failed-joins-per-minute"_s, u"0"_s,
        u"--requests-per-second"_s, u"0"_s };
}

void InProcessServer::postToItsThread(std::function<void()> work)
{
    QMetaObject::invokeMethod(m_threadContext.get(), std::move(work), Qt::QueuedConnection);
}

QUrl InProcessServer::httpUrl() const
{
    return QUrl(u"http://127.0.0.1:%1"_s.arg(m_server->port()));
}

QUrl InProcessServer::wsUrl() const
{
    return QUrl(u"ws://127.0.0.1:%1"_s.arg(m_server->port()));
}
