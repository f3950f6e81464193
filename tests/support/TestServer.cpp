#include "TestServer.h"

#include "PostgresCluster.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

TestServer::~TestServer()
{
    if (isRunning())
        stop();
}

bool TestServer::start(const QStringList &extraArguments)
{
    const QString program = qEnvironmentVariable("TOSSWICK_SERVER");
    m_error = program.isEmpty() ? u"TOSSWICK_SERVER is not set"_s : QString();
    // On PostgreSQL the URL of the test's database; a second start keeps it.
    if (m_database.isEmpty() && m_error.isEmpty())
        m_database = PostgresCluster::testDatabase(databasePath(), m_error);
    if (!m_error.isEmpty() || m_database.isEmpty())
        return false;
    // Tests make hundreds of players from one address; the limits' own tests turn them on.
    m_process.start(program,
        QStringList { u"--listen"_s, u"127.0.0.1:0"_s, u"--db"_s, m_database, u"--app-key"_s,
            QString::fromLatin1(appKey), u"--app-secret"_s, QString::fromLatin1(appSecret),
            u"--guests-per-minute"_s, u"0"_s, u"--failed-joins-per-minute"_s, u"0"_s,
            u"--requests-per-second"_s, u"0"_s }
            + extraArguments);
    // The first line names the address, e.g. "127.0.0.1:43567" or "http://127.0.0.1:43567".
    while (m_process.waitForStarted(5000) && !m_process.canReadLine()) {
        if (!m_process.waitForReadyRead(10000))
            break;
    }
    const QString line = QString::fromUtf8(m_process.readLine()).trimmed();
    m_port = QRegularExpression(u":(\\d+)/?$"_s).match(line).captured(1).toUShort();
    if (m_port == 0)
        m_error
            = u"no address printed (%1): %2; log: %3"_s.arg(m_process.errorString(), line, log());
    return m_port != 0;
}

bool TestServer::stop()
{
    m_process.terminate();
    if (m_process.waitForFinished(10000))
        return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
    kill();
    return false;
}

void TestServer::kill()
{
    m_process.kill();
    m_process.waitForFinished(5000);
}

QString TestServer::log()
{
    m_log += m_process.readAllStandardError();
    return QString::fromUtf8(m_log);
}
