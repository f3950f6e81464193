#include "TestServer.h"

#include "PostgresCluster.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

TestServer::TestServer() = default;

TestServer::~TestServer()
{
    if (isRunning())
        stop();
}

bool TestServer::start(const QStringList &extraArguments)
{
    return launch(0, extraArguments);
}

bool TestServer::restart(const QStringList &extraArguments)
{
    if (m_port == 0) {
        m_error = u"never started"_s;
        return false;
    }
    return launch(m_port, extraArguments);
}

bool TestServer::launch(quint16 port, const QStringList &extraArguments)
{
    const QString program = qEnvironmentVariable("TOSSWICK_SERVER");
    if (program.isEmpty()) {
        m_error = u"TOSSWICK_SERVER is not set"_s;
        return false;
    }
    if (!m_dir.isValid()) {
        m_error = u"no temporary directory"_s;
        return false;
    }
    // A restart keeps the database.
    if (m_database.isEmpty())
        m_database = PostgresCluster::testDatabase(databasePath(), m_error);
    if (m_database.isEmpty())
        return false;
    QStringList arguments{u"--listen"_s, u"127.0.0.1:"_s + QString::number(port),
                          u"--db"_s, m_database,
                          u"--app-key"_s, QString::fromLatin1(appKey),
                          u"--app-secret"_s, QString::fromLatin1(appSecret),
                          // Tests make hundreds of players from one address; the limits'
                          // own tests turn them back on.
                          u"--guests-per-minute"_s, u"0"_s, u"--failed-joins-per-minute"_s, u"0"_s,
                          u"--requests-per-second"_s, u"0"_s};
    arguments += extraArguments;
    m_process.setProgram(program);
    m_process.setArguments(arguments);
    m_process.setReadChannel(QProcess::StandardOutput);
    m_process.start();
    if (!m_process.waitForStarted(5000)) {
        m_error = u"cannot start %1: %2"_s.arg(program, m_process.errorString());
        return false;
    }
    while (!m_process.canReadLine()) {
        if (!m_process.waitForReadyRead(10000)) {
            m_error = u"no address printed; log: %1"_s.arg(log());
            return false;
        }
    }
    // The first line names the address, e.g. "127.0.0.1:43567" or "http://127.0.0.1:43567".
    const QString line = QString::fromUtf8(m_process.readLine()).trimmed();
    const auto match = QRegularExpression(u":(\\d+)/?$"_s).match(line);
    m_port = match.hasMatch() ? match.captured(1).toUShort() : 0;
    if (m_port == 0) {
        m_error = u"unreadable address line: %1"_s.arg(line);
        return false;
    }
    return true;
}

bool TestServer::stop()
{
    m_process.terminate();
    if (!m_process.waitForFinished(10000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
        return false;
    }
    return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
}

void TestServer::kill()
{
    m_process.kill();
    m_process.waitForFinished(5000);
}

bool TestServer::isRunning() const
{
    return m_process.state() != QProcess::NotRunning;
}

QUrl TestServer::httpUrl() const
{
    return QUrl(u"http://127.0.0.1:%1"_s.arg(m_port));
}

QUrl TestServer::wsUrl() const
{
    return QUrl(u"ws://127.0.0.1:%1"_s.arg(m_port));
}

QString TestServer::databasePath() const
{
    return m_dir.filePath(u"tosswick.sqlite"_s);
}

QString TestServer::log()
{
    m_log += m_process.readAllStandardError();
    return QString::fromUtf8(m_log);
}
