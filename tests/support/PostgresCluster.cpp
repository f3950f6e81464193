#include "PostgresCluster.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QUrl>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

extern char **environ;

namespace {

const QString binaries = u"/usr/lib/postgresql/15/bin/"_s;

// A loopback port nobody listens on right now.
quint16 freePort()
{
    const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    quint16 port = 0;
    if (::bind(socket, reinterpret_cast<sockaddr *>(&address), length) == 0
        && ::getsockname(socket, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(socket);
    return port;
}

QStringList asServerAccount(const QStringList &command, bool asPostgres)
{
    return asPostgres ? QStringList { u"runuser"_s, u"-u"_s, u"postgres"_s, u"--"_s } + command
                      : command;
}

} // namespace

PostgresCluster::~PostgresCluster()
{
    shutDown();
}

PostgresCluster &PostgresCluster::shared()
{
    static PostgresCluster cluster;
    if (!cluster.m_running)
        cluster.start();
    return cluster;
}

bool PostgresCluster::selected()
{
    return qEnvironmentVariable("TOSSWICK_TEST_BACKEND") == u"postgres"_s;
}

QString PostgresCluster::testDatabase(const QString &file, QString &error)
{
    if (!selected())
        return file;
    PostgresCluster &cluster = shared();
    const QString url = cluster.m_running ? cluster.createDatabase() : QString();
    if (url.isEmpty())
        error = u"no PostgreSQL database for the test: %1"_s.arg(cluster.errorText());
    return url;
}

QString PostgresCluster::socketDirectory() const
{
    return m_dir.filePath(u"socket"_s);
}

bool PostgresCluster::start()
{
    if (m_running)
        return true;
    if (m_initialized)
        return launch();
    if (!m_dir.isValid()) {
        m_error = u"no temporary directory"_s;
        return false;
    }
    const QString passwordFile = m_dir.filePath(u"password"_s);
    QFile file(passwordFile);
    if (!file.open(QIODevice::WriteOnly) || file.write(password) < 0
        || !QDir(m_dir.path()).mkdir(u"socket"_s)) {
        m_error = u"cannot prepare %1"_s.arg(m_dir.path());
        return false;
    }
    file.close();
    m_asPostgres = ::geteuid() == 0;
    if (m_asPostgres) {
        const passwd *account = ::getpwnam("postgres");
        bool owned = account;
        for (const QString &path : { m_dir.path(), passwordFile, socketDirectory() }) {
            owned = owned
                && ::chown(QFile::encodeName(path).constData(), account->pw_uid, account->pw_gid)
                    == 0;
        }
        if (!owned) {
            m_error
                = u"running as root and cannot hand %1 to the postgres account"_s.arg(m_dir.path());
            return false;
        }
    }
    const QString data = m_dir.filePath(u"data"_s);
    if (!run(binaries + u"initdb"_s,
            { u"-D"_s, data, u"-U"_s, QString::fromLatin1(user), u"--pwfile"_s, passwordFile,
                u"--auth-local=trust"_s, u"--auth-host=scram-sha-256"_s, u"-E"_s, u"UTF8"_s,
                u"--locale=C"_s, u"--no-sync"_s },
            true))
        return false;
    m_initialized = true;
    m_port = freePort();
    if (!launch())
        return false;
    // A test that crashes or is killed runs no destructor: a watchdog stops the server and
    // removes its files once this process is gone.
    const QStringList stopCommand
        = asServerAccount({ binaries + u"pg_ctl"_s, u"-D"_s, m_dir.filePath(u"data"_s), u"-m"_s,
                              u"immediate"_s, u"stop"_s },
            m_asPostgres);
    QProcess watchdog;
    watchdog.setProgram(u"sh"_s);
    watchdog.setArguments({ u"-c"_s,
        u"while kill -0 %1 2>/dev/null; do sleep 1; done; %2 >/dev/null 2>&1; rm -rf '%3'"_s.arg(
            QString::number(::getpid()), stopCommand.join(u' '), m_dir.path()) });
    watchdog.setStandardInputFile(QProcess::nullDevice());
    watchdog.setStandardOutputFile(QProcess::nullDevice());
    watchdog.setStandardErrorFile(QProcess::nullDevice());
    watchdog.startDetached();
    return true;
}

bool PostgresCluster::launch()
{
    const QString data = m_dir.filePath(u"data"_s);
    // The data is thrown away: nothing needs to reach the disk.
    const QString serverOptions = u"-p %1 -k %2 -h 127.0.0.1 -c fsync=off -c full_page_writes=off "
                                  "-c synchronous_commit=off"_s.arg(m_port)
                                      .arg(socketDirectory());
    if (!run(binaries + u"pg_ctl"_s,
            { u"-D"_s, data, u"-l"_s, m_dir.filePath(u"log"_s), u"-w"_s, u"-t"_s, u"60"_s, u"-o"_s,
                serverOptions, u"start"_s },
            true)) {
        QFile log(m_dir.filePath(u"log"_s));
        if (log.open(QIODevice::ReadOnly))
            m_error += u"\n"_s + QString::fromLocal8Bit(log.readAll());
        return false;
    }
    m_running = true;
    return true;
}

bool PostgresCluster::stop(const QString &mode)
{
    if (!m_running)
        return true;
    m_running = !run(binaries + u"pg_ctl"_s,
        { u"-D"_s, m_dir.filePath(u"data"_s), u"-m"_s, mode, u"-w"_s, u"stop"_s }, true);
    return !m_running;
}

// Without QProcess: the shared cluster stops after the application object is gone.
void PostgresCluster::shutDown()
{
    if (!m_running)
        return;
    m_running = false;
    const QStringList command
        = asServerAccount({ binaries + u"pg_ctl"_s, u"-D"_s, m_dir.filePath(u"data"_s), u"-m"_s,
                              u"immediate"_s, u"-s"_s, u"stop"_s },
            m_asPostgres);
    QList<QByteArray> arguments;
    for (const QString &argument : command)
        arguments.append(QFile::encodeName(argument));
    QList<char *> argv;
    for (QByteArray &argument : arguments)
        argv.append(argument.data());
    argv.append(nullptr);
    pid_t child = 0;
    if (::posix_spawnp(&child, argv.constFirst(), nullptr, nullptr, argv.data(), environ) == 0)
        ::waitpid(child, nullptr, 0);
}

QString PostgresCluster::createDatabase()
{
    const QString name = u"test%1"_s.arg(++m_databases);
    // Copying the template's files beats logging them block by block when nothing is synced.
    if (!psql(u"postgres"_s, u"CREATE DATABASE %1 STRATEGY = FILE_COPY"_s.arg(name)))
        return {};
    return u"postgresql://%1@%2:%3/%4"_s.arg(QString::fromLatin1(user),
        QString::fromLatin1(QUrl::toPercentEncoding(socketDirectory())), QString::number(m_port),
        name);
}

bool PostgresCluster::psql(const QString &database, const QString &sql)
{
    return run(binaries + u"psql"_s,
        { u"-X"_s, u"-q"_s, u"-v"_s, u"ON_ERROR_STOP=1"_s, u"-h"_s, socketDirectory(), u"-p"_s,
            QString::number(m_port), u"-U"_s, QString::fromLatin1(user), u"-d"_s, database, u"-c"_s,
            sql },
        false);
}

bool PostgresCluster::run(const QString &program, const QStringList &arguments, bool asPostgres)
{
    const QStringList command
        = asServerAccount(QStringList { program } + arguments, asPostgres && m_asPostgres);
    QProcess process;
    // The postgres account may not enter the directory the test runs in.
    process.setWorkingDirectory(m_dir.path());
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(command.constFirst(), command.mid(1));
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0) {
        m_error = u"%1 failed: %2 %3"_s.arg(command.join(u' '), process.errorString(),
            QString::fromLocal8Bit(process.readAll()).trimmed());
        return false;
    }
    return true;
}
