#include "ApiClient.h"
#include "TestServer.h"
#include "WireClient.h"
#include "realtime/ChannelAuth.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

const QString appKey = QString::fromLatin1(TestServer::appKey);
const QString storedSecret = u"stored-secret"_s;

// The server binary run with arguments of the test's choosing (TestServer always gives a secret
// and a database of its own).
class Launch {
public:
    explicit Launch(const QStringList &arguments,
        const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment(),
        mode_t mask = 022)
    {
        m_process.setProgram(qEnvironmentVariable("TOSSWICK_SERVER"));
        m_process.setArguments(
            QStringList { u"--listen"_s, u"127.0.0.1:0"_s, u"--app-key"_s, appKey } + arguments);
        m_process.setProcessEnvironment(environment);
        // Root may write whatever the modes say; without these capabilities it obeys them as
        // any other user does.
        m_process.setChildProcessModifier([mask] {
            ::umask(mask);
            ::prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE, 0, 0, 0);
            ::prctl(PR_CAPBSET_DROP, CAP_DAC_READ_SEARCH, 0, 0, 0);
        });
        m_process.start();
        // The address comes once it listens; a refusal ends the process first.
        while (m_process.waitForStarted(5000) && !m_process.canReadLine()
            && m_process.waitForReadyRead(10000)) { }
        if (m_process.canReadLine())
            m_address = QString::fromUtf8(m_process.readLine()).trimmed();
    }
    ~Launch() { stop(); }

    bool isServing() const { return !m_address.isEmpty(); }
    QUrl url(const QString &scheme) const { return QUrl(scheme + u"://"_s + m_address); }
    // Its exit code and what it wrote on stderr once it ended by itself.
    QString ending()
    {
        m_process.waitForFinished(10000);
        return u"%1 %2"_s.arg(m_process.state() == QProcess::NotRunning ? m_process.exitCode() : -1)
            .arg(QString::fromUtf8(m_process.readAllStandardError()));
    }
    // SIGTERM, or SIGKILL as a crash would.
    void stop(bool crash = false)
    {
        crash ? m_process.kill() : m_process.terminate();
        m_process.waitForFinished(10000);
    }

private:
    QProcess m_process;
    QString m_address;
};

struct Paths {
    QString directory;
    QString database;
    QString secretFile;
};
using Setup = std::function<bool(const Paths &)>;

QString modeOf(const QString &path)
{
    struct stat status { };
    ::stat(QFile::encodeName(path).constData(), &status);
    return QString::number(status.st_mode & 0777, 8);
}

bool changeMode(const QString &path, mode_t mode)
{
    return ::chmod(QFile::encodeName(path).constData(), mode) == 0;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Runs the statements on the SQLite database at `path`; answers the first value the last one
// gave ("" when none, a null text when a statement failed).
QString runSql(const QString &path, const QStringList &statements)
{
    const QString connection = u"startup-test"_s;
    QString value;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, connection);
        db.setDatabaseName(path);
        bool ok = db.open();
        QSqlQuery query(db);
        for (const QString &statement : statements)
            ok = ok && query.exec(statement);
        if (ok)
            value = query.next() ? query.value(0).toString() : u""_s;
    }
    QSqlDatabase::removeDatabase(connection);
    return value;
}

// A database holding the stored app secret.
bool writeDatabase(const QString &path)
{
    return !runSql(path,
        { u"CREATE TABLE settings (key TEXT PRIMARY KEY, value TEXT NOT NULL)"_s,
            u"INSERT INTO settings VALUES ('app_secret', '%1')"_s.arg(storedSecret) })
                .isNull();
}

} // namespace

Q_DECLARE_METATYPE(Setup)

// Start-up of the real server: its files' modes, the checks that refuse an unusable database,
// and where the app secret comes from.
class ServerStartupTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    // Under umask 0, and after a crash left files that were loosened.
    void filesAreOwnerOnly()
    {
        const Paths paths = freshPaths(u"data/server"_s);
        const QStringList files { paths.directory, paths.database, paths.database + u"-wal"_s,
            paths.database + u"-shm"_s };
        for (int run = 0; run < 2; ++run) {
            Launch server({ u"--db"_s, paths.database, u"--app-secret"_s, u"s"_s },
                QProcessEnvironment::systemEnvironment(), 0);
            QCOMPARE(ApiClient(server.url(u"http"_s)).post(u"guest"_s, {}, {}).status, 201);
            QStringList modes;
            for (const QString &file : files)
                modes.append(modeOf(file));
            QCOMPARE(modes.join(u' '), u"700 600 600 600"_s);
            server.stop(true); // leaves -wal and -shm behind
            for (const QString &file : files.mid(1))
                QVERIFY(changeMode(file, 0644));
        }
    }

    // %1 stands for the database, %2 for its directory, %3 for the secret file.
    void refusesToStart_data()
    {
        QTest::addColumn<Setup>("setup");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("line");
        QTest::newRow("read-only file") << Setup([](const Paths &p) {
            return writeDatabase(p.database) && changeMode(p.database, 0400);
        }) << 1 << u"database %1 is read-only"_s;
        QTest::newRow("read-only directory, no file yet")
            << Setup([](const Paths &p) { return changeMode(p.directory, 0500); }) << 1
            << u"database %1 cannot be created: directory %2 is read-only"_s;
        QTest::newRow("read-only directory with a database") << Setup([](const Paths &p) {
            return writeDatabase(p.database) && changeMode(p.directory, 0500);
        }) << 1 << u"database %1 is in a read-only directory (%2)"_s;
        QTest::newRow("not a database") << Setup([](const Paths &p) {
            return writeFile(p.database, QByteArray("Notes, not a database.\n").repeated(300));
        }) << 1 << u"database %1 is not a database"_s;
        QTest::newRow("empty secret file")
            << Setup([](const Paths &p) { return writeFile(p.secretFile, "\n"); }) << 2
            << u"--app-secret-file %3 is empty"_s;
        QTest::newRow("missing secret file") << Setup([](const Paths &) { return true; }) << 2
                                             << u"cannot read --app-secret-file %3: "_s;
        QTest::newRow("secret flag and file")
            << Setup([](const Paths &p) { return writeFile(p.secretFile, "s"); }) << 2
            << u"give --app-secret or --app-secret-file, not both"_s;
    }

    void refusesToStart()
    {
        QFETCH(Setup, setup);
        QFETCH(int, exitCode);
        QFETCH(QString, line);
        const Paths paths = freshPaths(u"data"_s);
        QVERIFY(QDir().mkpath(paths.directory) && setup(paths));
        QStringList arguments { u"--db"_s, paths.database };
        if (exitCode == 1 || line.contains(u"not both"_s))
            arguments << u"--app-secret"_s << u"s"_s;
        if (exitCode == 2)
            arguments << u"--app-secret-file"_s << paths.secretFile;
        Launch server(arguments);
        QVERIFY(!server.isServing());
        const QString ending = server.ending();
        const QString expected = u"%1 tosswick-server: "_s.arg(exitCode)
            + line.replace(u"%1"_s, paths.database)
                  .replace(u"%2"_s, paths.directory)
                  .replace(u"%3"_s, paths.secretFile);
        QVERIFY2(ending.startsWith(expected) && ending.count(u'\n') == 1 && ending.endsWith(u'\n'),
            qPrintable(ending));
    }

    // The secret signs channel authorisations; the stored one is used only when none is given,
    // and a given one never replaces it.
    void secretSources_data()
    {
        QTest::addColumn<QStringList>("arguments"); // %1 stands for the secret file
        QTest::addColumn<QString>("environment");
        QTest::addColumn<QString>("expected");
        const QString fromEnvironment = u"from-environment"_s;
        QTest::newRow("flag over environment and database") << QStringList { u"--app-secret"_s,
            u"from-flag"_s } << fromEnvironment << u"from-flag"_s;
        QTest::newRow("file over environment, newline trimmed")
            << QStringList { u"--app-secret-file"_s, u"%1"_s } << fromEnvironment << u"from-file"_s;
        QTest::newRow("environment over database")
            << QStringList() << fromEnvironment << fromEnvironment;
        QTest::newRow("database") << QStringList() << QString() << storedSecret;
    }

    void secretSources()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, environment);
        QFETCH(QString, expected);
        const Paths paths = freshPaths(u"data"_s);
        QVERIFY(QDir().mkpath(paths.directory) && writeDatabase(paths.database)
            && writeFile(paths.secretFile, "from-file\n"));
        QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
        variables.remove(u"TOSSWICK_APP_SECRET"_s);
        if (!environment.isEmpty())
            variables.insert(u"TOSSWICK_APP_SECRET"_s, environment);
        Launch server(QStringList { u"--db"_s, paths.database }
                + arguments.replaceInStrings(u"%1"_s, paths.secretFile),
            variables);
        QVERIFY(server.isServing());

        const ApiClient api(server.url(u"http"_s));
        const QByteArray token = api.guest();
        const qint64 room = api.post(u"rooms"_s, {}, token).object().value(u"id"_s).toInteger();
        const QString channel = u"private-room."_s + QString::number(room);
        WireClient client;
        const QString socketId
            = client.connectAndGreet(WireClient::channelUrl(server.url(u"ws"_s), appKey));
        QCOMPARE(api.post(u"broadcasting/auth"_s,
                        { { u"socket_id"_s, socketId }, { u"channel_name"_s, channel } }, token)
                     .object()[u"auth"_s],
            ChannelAuth::authValue(appKey, expected.toUtf8(), socketId, channel));
        server.stop();
        QCOMPARE(
            runSql(paths.database, { u"SELECT value FROM settings WHERE key = 'app_secret'"_s }),
            storedSecret);
    }

private:
    // Paths under a directory of their own, which does not exist yet.
    Paths freshPaths(const QString &directory)
    {
        const QString base = m_dir.filePath(QString::number(++m_runs) + u'/' + directory);
        return { base, base + u"/tosswick.sqlite"_s, base + u"/secret"_s };
    }

    QTemporaryDir m_dir;
    int m_runs = 0;
};

QTEST_GUILESS_MAIN(ServerStartupTest)
#include "ServerStartupTest.moc"
