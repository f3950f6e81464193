#include "PostgresCluster.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QUrl>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QString binaries = u"/usr/lib/postgresql/15/bin/"_s;

// A loopback port nobody listens on right now.
quint16 freePort()
{
    const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {
        .sin_family = AF_INET, .sin_port = 0, .sin_addr = { htonl(INADDR_LOOPBACK) }, .sin_zero = {}
    };
    socklen_t length = sizeof address;
    const bool bound = ::bind(socket, reinterpret_cast<sockaddr *>(&address), length) == 0
        && ::getsockname(socket, reinterpret_cast<sockaddr *>(&address), &length) == 0;
    ::close(socket);
    return bound ? ntohs(address.sin_port) : 0;
}

} // namespace

PostgresCluster &PostgresCluster::shared()
{
    static PostgresCluster cluster;
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

bool PostgresCluster::start()
{
    if (m_running)
        return true;
    const QString data = path(u"data"_s);
    if (m_port == 0) {
        const QString passwordFile = path(u"password"_s);
        QFile file(passwordFile);
        if (!m_dir.isValid() || !file.open(QIODevice::WriteOnly) || file.write(password) < 0
            || !QDir(m_dir.path()).mkdir(u"socket"_s)) {
            m_error = u"cannot prepare a temporary directory"_s;
            return false;
        }
        file.close();
        m_asPostgres = ::geteuid() == 0;
        const passwd *account = m_asPostgres ? ::getpwnam("postgres") : nullptr;
        for (const QString &owned : { m_dir.path(), passwordFile, path(u"socket"_s) }) {
            if (m_asPostgres
                && (!account
                    || ::chown(
                        QFile::encodeName(owned).constData(), account->pw_uid, account->pw_gid))) {
                m_error = u"running as root and cannot hand %1 to postgres"_s.arg(m_dir.path());
                return false;
            }
        }
        // A test that crashes or is killed runs no destructor: the watchdog does the cleaning.
        const QString stop = (m_asPostgres ? u"runuser -u postgres -- "_s : QString()) + binaries
            + u"pg_ctl -D '%1' -m immediate stop"_s.arg(data);
        QProcess::startDetached(u"sh"_s,
            { u"-c"_s,
                u"exec </dev/null >/dev/null 2>&1; "
                "while kill -0 %1; do sleep 1; done; %2; rm -rf '%3'"_s.arg(
                    QString::number(::getpid()), stop, m_dir.path()) });
        if (!run({ binaries + u"initdb"_s, u"-D"_s, data, u"-U"_s, QString::fromLatin1(user),
                u"--pwfile"_s, passwordFile, u"--auth-local=trust"_s,
                u"--auth-host=scram-sha-256"_s, u"-E"_s, u"UTF8"_s, u"--locale=C"_s,
                u"--no-sync"_s }))
            return false;
        m_port = freePort();
    }
    // The data is thrown away: nothing needs to reach the disk.
    const QString options = u"-p %1 -k %2 -h 127.0.0.1 -c fsync=off -c full_page_writes=off "
                            "-c synchronous_commit=off"_s.arg(m_port)
                                .arg(path(u"socket"_s));
    m_running = run({ binaries + u"pg_ctl"_s, u"-D"_s, data, u"-l"_s, path(u"log"_s), u"-w"_s,
        u"-t"_s, u"60"_s, u"-o"_s, options, u"start"_s });
    QFile log(path(u"log"_s));
    if (!m_running && log.open(QIODevice::ReadOnly))
        m_error += u"\n"_s + QString::fromLocal8Bit(log.readAll());
    return m_running;
}

bool PostgresCluster::stop()
{
    if (m_running)
        m_running = !run({ binaries + u"pg_ctl"_s, u"-D"_s, path(u"data"_s), u"-m"_s, u"fast"_s,
            u"-w"_s, u"stop"_s });
    return !m_running;
}

QString PostgresCluster::createDatabase()
{
    const QString name = u"test%1"_s.arg(++m_databases);
    // Copying the template's files beats logging them block by block when nothing is synced.
    if (!run({ binaries + u"psql"_s, u"-X"_s, u"-q"_s, u"-v"_s, u"ON_ERROR_STOP=1"_s, u"-h"_s,
                 path(u"socket"_s), u"-p"_s, QString::number(m_port), u"-U"_s,
                 QString::fromLatin1(user), u"-d"_s, u"postgres"_s, u"-c"_s,
                 u"CREATE DATABASE %1 STRATEGY = FILE_COPY"_s.arg(name) },
            false))
        return {};
    return u"postgresql://%1@%2:%3/%4"_s.arg(QString::fromLatin1(user),
        QString::fromLatin1(QUrl::toPercentEncoding(path(u"socket"_s))), QString::number(m_port),
        name);
}

bool PostgresCluster::run(const QStringList &command, bool asServerAccount)
{
    const QStringList full = asServerAccount && m_asPostgres
        ? QStringList { u"runuser"_s, u"-u"_s, u"postgres"_s, u"--"_s } + command
        : command;
    QProcess process;
    // The postgres account may not enter the directory the test runs in.
    process.setWorkingDirectory(m_dir.path());
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(full.constFirst(), full.mid(1));
    if (process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit
        && process.exitCode() == 0)
        return true;
    m_error = u"%1 failed: %2 %3"_s.arg(full.join(u' '), process.errorString(),
        QString::fromLocal8Bit(process.readAll()).trimmed());
    return false;
}
