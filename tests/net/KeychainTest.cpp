#include "net/Keychain.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <QCoro/QCoroTask>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

// Runs against whichever store the environment gives: the Secret Service of the test session
// (scripts/run-tests.sh starts an unlocked gnome-keyring), or, with
// TOSSWICK_TEST_SESSION_STORE=files, the session files used where no Secret Service answers.
class KeychainTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_data;
    bool m_files = false;
    QStringList m_servers;

    static std::optional<QString> read(const QString &server)
    {
        return QCoro::waitFor(Keychain::read(server));
    }
    std::optional<NetworkError> save(std::optional<QString> token, const QString &server)
    {
        m_servers << server;
        return QCoro::waitFor(Keychain::save(std::move(token), server));
    }

    QDir sessions() const { return QDir(m_data.filePath(u"tosswick/sessions"_s)); }
    QString onlySessionFile() const
    {
        const QStringList files = sessions().entryList(QDir::Files | QDir::Hidden | QDir::System);
        return files.size() == 1 ? sessions().filePath(files.first()) : QString();
    }

    // The session files with their permission bits, and those of their directory.
    QString storedFiles() const
    {
        const auto bits = [](const QString &path) {
            struct stat status { };
            return ::stat(QFile::encodeName(path).constData(), &status) == 0
                ? QString::number(status.st_mode & 0777, 8)
                : u"none"_s;
        };
        QString text;
        for (const QString &file : sessions().entryList(QDir::Files | QDir::Hidden | QDir::System))
            text += u"file "_s + bits(sessions().filePath(file)) + u", "_s;
        return text + u"directory "_s + bits(sessions().path());
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_data.isValid());
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_data.path()));
        m_files = qEnvironmentVariable("TOSSWICK_TEST_SESSION_STORE") == u"files";
        QVERIFY2(m_files
                || QDBusConnection::sessionBus().interface()->isServiceRegistered(
                    u"org.freedesktop.secrets"_s),
            "no Secret Service on the session bus: run through scripts/run-tests.sh");
    }

    void cleanup()
    {
        for (const QString &server : std::exchange(m_servers, {}))
            QCOMPARE(QCoro::waitFor(Keychain::save(std::nullopt, server)), std::nullopt);
        sessions().removeRecursively();
    }

    void savedTokenReadsBack_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("token");
        QTest::newRow("https host") << u"https://play.example"_s << u"7|Qm9vbGVhbg"_s;
        QTest::newRow("non-ASCII") << u"https://spiel.example/räume"_s << u"tökén ✓"_s;
        QTest::newRow("long token") << u"https://long.example"_s << QString(4000, u'x');
    }
    void savedTokenReadsBack()
    {
        QFETCH(QString, server);
        QFETCH(QString, token);
        QCOMPARE(read(server), std::nullopt);
        QCOMPARE(save(token, server), std::nullopt);
        QCOMPARE(read(server), token);
        // Only the files store writes files: one, private, in a private directory.
        QCOMPARE(storedFiles(), m_files ? u"file 600, directory 700"_s : u"directory none"_s);
    }

    // Overlapping saves keep the later token, in one item.
    void serverTextIsTakenExactly()
    {
        const QString server = u"https://exact.example"_s;
        const QString slashed = server + u'/';
        m_servers << server;
        auto first = Keychain::save(u"first"_s, server);
        auto second = Keychain::save(u"plain"_s, server);
        QCOMPARE(QCoro::waitFor(std::move(first)), std::nullopt);
        QCOMPARE(QCoro::waitFor(std::move(second)), std::nullopt);
        QCOMPARE(read(slashed), std::nullopt);
        QCOMPARE(read(u"HTTPS://exact.example"_s), std::nullopt);

        QCOMPARE(save(u"with slash"_s, slashed), std::nullopt);
        QCOMPARE(read(server), u"plain"_s);
        QCOMPARE(save(std::nullopt, server), std::nullopt);
        QCOMPARE(read(server), std::nullopt);
        QCOMPARE(read(slashed), u"with slash"_s);
        QCOMPARE(storedFiles().count(u"file "_s), m_files ? 1 : 0);
    }

    void unreadableSessionFileReadsAsAbsent_data()
    {
        QTest::addColumn<QByteArray>("from");
        QTest::addColumn<QByteArray>("to");
        QTest::newRow("torn") << "}"_ba << QByteArray();
        QTest::newRow("another server's file") << "damaged.example"_ba
                                               << "other.example"_ba;
        QTest::newRow("token not a string") << "\"good\""_ba
                                            << "42"_ba;
    }
    void unreadableSessionFileReadsAsAbsent()
    {
        if (!m_files)
            QSKIP("the Secret Service keeps no files");
        QFETCH(QByteArray, from);
        QFETCH(QByteArray, to);
        const QString server = u"https://damaged.example"_s;
        QCOMPARE(save(u"good"_s, server), std::nullopt);
        QFile file(onlySessionFile());
        QVERIFY(file.open(QIODevice::ReadWrite));
        const QByteArray good = file.readAll();
        const QByteArray damaged = QByteArray(good).replace(from, to);
        QVERIFY(damaged != good && file.resize(0) && file.write(damaged) == damaged.size());
        file.close();

        QCOMPARE(read(server), std::nullopt);
        QCOMPARE(save(u"fresh"_s, server), std::nullopt);
        QCOMPARE(read(server), u"fresh"_s);
        QCOMPARE(onlySessionFile(), file.fileName());
        QCOMPARE(storedFiles(), u"file 600, directory 700"_s);
    }

    void failedSaveReportsTheStoreStatus()
    {
        if (!m_files)
            QSKIP("the test session's Secret Service does not refuse");
        const QString server = u"https://blocked.example"_s;
        QCOMPARE(save(u"old"_s, server), std::nullopt);
        // A directory where the server's file belongs: it can be neither removed nor replaced.
        const QString path = onlySessionFile();
        QVERIFY(QFile::remove(path) && QDir().mkpath(path + u"/blocker"_s));
        QCOMPARE(save(u"new"_s, server),
            (NetworkError { -102, u"Could not save session in Keychain (-102)."_s }));
        QCOMPARE(read(server), std::nullopt);
        QVERIFY(QDir(path).removeRecursively());
    }
};

QTEST_GUILESS_MAIN(KeychainTest)
#include "KeychainTest.moc"
