#include "InProcessServer.h"

#include "PostgresCluster.h"
#include "TestServer.h"

using namespace Qt::StringLiterals;

bool InProcessServer::start(const QStringList &arguments, const QString &database)
{
    m_database = database.isEmpty()
        ? PostgresCluster::testDatabase(m_dir.filePath(u"tosswick.sqlite"_s), m_error)
        : database;
    if (m_database.isEmpty())
        return false;
    const QStringList commandLine
        = QStringList { u"tosswick-server"_s, u"--listen"_s, u"127.0.0.1:0"_s, u"--db"_s,
              m_database, u"--app-key"_s, QString::fromLatin1(TestServer::appKey),
              u"--app-secret"_s, QString::fromLatin1(TestServer::appSecret) }
        + arguments;
    m_server = std::make_unique<GameServer>(ServerOptions::parse(commandLine), m_clock);
    if (!m_server->start()) {
        m_error = m_server->errorText();
        return false;
    }
    return true;
}

QStringList InProcessServer::withoutRateLimits()
{
    return { u"--guests-per-minute"_s, u"0"_s, u"--failed-joins-per-minute"_s, u"0"_s,
        u"--requests-per-second"_s, u"0"_s };
}

QUrl InProcessServer::httpUrl() const
{
    return QUrl(u"http://127.0.0.1:%1"_s.arg(m_server->port()));
}

QUrl InProcessServer::wsUrl() const
{
    return QUrl(u"ws://127.0.0.1:%1"_s.arg(m_server->port()));
}
