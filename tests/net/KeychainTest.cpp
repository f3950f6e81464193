#include "net/Keychain.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
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

    std::optional<QString> read(const QString &server)
    {
        return QCoro::waitFor(Keychain::read(server));
    }
    std::optional<NetworkError> save(std::optional<QString> token, const QString &server)
    {
        m_servers << server;
        return QCoro::waitFor(Keychain::save(std::move(token), server));
    }

    QDir sessionDirectory() const { return QDir(m_data.filePath(u"tosswick/sessions"_s)); }
    QStringList sessionFiles() const
    {
        return sessionDirectory().entryList(QDir::Files | QDir::Hidden | QDir::System);
    }
    // The one file of the server saved last, in the files store.
    QString onlySessionFile() const
    {
        const QStringList files = sessionFiles();
        return files.size() == 1 ? sessionDirectory().filePath(files.first()) : QString();
    }

    static int permissionBits(const QString &path)
    {
        struct stat status { };
        return ::stat(QFile::encodeName(path).constData(), &status) == 0
            ? int(status.st_mode & 0777)
            : -1;
    }

    // How many items the Secret Service holds for this server, asked of the service itself.
    static int secretServiceItems(const QString &server)
    {
        auto search = QDBusMessage::createMethodCall(u"org.freedesktop.secrets"_s,
            u"/org/freedesktop/secrets"_s, u"org.freedesktop.Secret.Service"_s, u"SearchItems"_s);
        const QMap<QString, QString> attributes { { u"server"_s, Keychain::service.toString() },
            { u"user"_s, server } };
        search << QVariant::fromValue(attributes);
        const QDBusMessage reply = QDBusConnection::sessionBus().call(search);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 2)
            return -1;
        int items = 0;
        for (const QVariant &paths : reply.arguments())
            items += qdbus_cast<QList<QDBusObjectPath>>(paths).size();
        return items;
    }

    // Items of this server in the store under test, counted without going through Keychain.
    int storedItems(const QString &server) const
    {
        return m_files ? int(sessionFiles().size()) : secretServiceItems(server);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_data.isValid());
        qDBusRegisterMetaType<QMap<QString, QString>>();
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_data.path()));
        m_files = qEnvironmentVariable("TOSSWICK_TEST_SESSION_STORE") == u"files";
        if (!m_files) {
            QVERIFY2(QDBusConnection::sessionBus().interface()->isServiceRegistered(
                         u"org.freedesktop.secrets"_s),
                "no Secret Service on the session bus: run through scripts/run-tests.sh");
        }
    }

    void cleanup()
    {
        const QStringList servers = std::exchange(m_servers, {});
        for (const QString &server : servers)
            QCOMPARE(QCoro::waitFor(Keychain::save(std::nullopt, server)), std::nullopt);
        sessionDirectory().removeRecursively();
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
        QCOMPARE(storedItems(server), 1);
        if (m_files) {
            QCOMPARE(permissionBits(onlySessionFile()), 0600);
            QCOMPARE(permissionBits(sessionDirectory().path()), 0700);
        } else {
            QVERIFY(sessionFiles().isEmpty());
        }
    }

    void serverTextIsTakenExactly()
    {
        const QString server = u"https://exact.example"_s;
        const QString slashed = server + u'/';
        QCOMPARE(save(u"plain"_s, server), std::nullopt);
        QCOMPARE(read(slashed), std::nullopt);
        QCOMPARE(read(u"HTTPS://exact.example"_s), std::nullopt);

        QCOMPARE(save(u"with slash"_s, slashed), std::nullopt);
        QCOMPARE(read(server), u"plain"_s);
        QCOMPARE(read(slashed), u"with slash"_s);
        QCOMPARE(save(std::nullopt, server), std::nullopt);
        QCOMPARE(read(server), std::nullopt);
        QCOMPARE(read(slashed), u"with slash"_s);
    }

    void overlappingSavesKeepTheLaterToken()
    {
        const QString server = u"https://overlap.example"_s;
        m_servers << server;
        auto first = Keychain::save(u"first"_s, server);
        auto second = Keychain::save(u"second"_s, server);
        QCOMPARE(QCoro::waitFor(std::move(first)), std::nullopt);
        QCOMPARE(QCoro::waitFor(std::move(second)), std::nullopt);
        QCOMPARE(read(server), u"second"_s);
        QCOMPARE(storedItems(server), 1);
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
        const QString path = onlySessionFile();
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        const QByteArray good = file.readAll();
        const QByteArray damaged = QByteArray(good).replace(from, to);
        QVERIFY(damaged != good);
        QVERIFY(file.resize(0) && file.write(damaged) == damaged.size());
        file.close();

        QCOMPARE(read(server), std::nullopt);
        QCOMPARE(save(u"fresh"_s, server), std::nullopt);
        QCOMPARE(read(server), u"fresh"_s);
        QCOMPARE(onlySessionFile(), path);
        QCOMPARE(permissionBits(path), 0600);
    }

    void failedSaveReportsTheStoreStatus()
    {
        if (!m_files)
            QSKIP("the test session's Secret Service does not refuse");
        const QString server = u"https://blocked.example"_s;
        QCOMPARE(save(u"old"_s, server), std::nullopt);
        // A directory where the server's file belongs: it can be neither removed nor replaced.
        const QString path = onlySessionFile();
        QVERIFY(QFile::remove(path));
        QVERIFY(QDir().mkpath(path + u"/blocker"_s));

        const auto error = save(u"new"_s, server);
        QVERIFY(error);
        QCOMPARE(error->status, -102);
        QCOMPARE(error->message, u"Could not save session in Keychain (-102)."_s);
        QCOMPARE(read(server), std::nullopt);
        QVERIFY(QDir(path).removeRecursively());
    }
};

QTEST_GUILESS_MAIN(KeychainTest)
#include "KeychainTest.moc"
