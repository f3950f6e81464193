#include "net/Keychain.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <QCoro/QCoroTask>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

// Against the session's Secret Service, or the files store (TOSSWICK_TEST_SESSION_STORE=files).
class KeychainTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_data;
    bool m_files = false;

    static std::optional<QString> read(const QString &server)
    {
        return QCoro::waitFor(Keychain::read(server));
    }
    static std::optional<NetworkError> save(std::optional<QString> token, const QString &server)
    {
        return QCoro::waitFor(Keychain::save(std::move(token), server));
    }

    QDir sessions() const { return QDir(m_data.filePath(u"tosswick/sessions"_s)); }
    QStringList sessionFiles() const
    {
        return sessions().entryList(QDir::Files | QDir::Hidden | QDir::System);
    }

    // The session files' permission bits, and those of their directory.
    QString storedFiles() const
    {
        const auto bits = [](const QString &path) {
            struct stat status { };
            return ::stat(QFile::encodeName(path).constData(), &status) == 0
                ? QString::number(status.st_mode & 0777, 8)
                : u"none"_s;
        };
        QString text;
        for (const QString &file : sessionFiles())
            text += u"file "_s + bits(sessions().filePath(file)) + u", "_s;
        return text + u"directory "_s + bits(sessions().path());
    }

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_data.path()));
        m_files = qEnvironmentVariable("TOSSWICK_TEST_SESSION_STORE") == u"files";
    }

    void cleanup() { sessions().removeRecursively(); }

    // Each row: a server, its token, and another spelling of the server, which reads nothing.
    void savedTokenReadsBack_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("token");
        QTest::addColumn<QString>("other");
        QTest::newRow("https host")
            << u"https://play.example"_s << u"7|Qm9vbGVhbg"_s << u"https://play.example/"_s;
        QTest::newRow("non-ASCII")
            << u"https://spiel.example/räume"_s << u"tökén ✓"_s << u"HTTPS://spiel.example/räume"_s;
        QTest::newRow("long token")
            << u"https://long.example"_s << QString(4000, u'x') << u"https://long.example/"_s;
    }
    // The later of overlapping saves wins; the files store keeps one private file till removal.
    void savedTokenReadsBack()
    {
        QFETCH(QString, server);
        QFETCH(QString, token);
        auto first = Keychain::save(u"first"_s, server);
        QCOMPARE(save(token, server), std::nullopt);
        QCOMPARE(QCoro::waitFor(std::move(first)), std::nullopt);
        QCOMPARE(read(server), token);
        QFETCH(QString, other);
        QCOMPARE(read(other), std::nullopt);
        QCOMPARE(storedFiles(), m_files ? u"file 600, directory 700"_s : u"directory none"_s);
        QCOMPARE(save(std::nullopt, server), std::nullopt);
        QCOMPARE(read(server), std::nullopt);
        QCOMPARE(storedFiles(), m_files ? u"directory 700"_s : u"directory none"_s);
    }

    // Each row: what in the saved file is replaced by what ("blocked": a directory takes its
    // place, which can be neither removed nor replaced), and what a fresh save then gives.
    void damagedSessionFile_data()
    {
        QTest::addColumn<QByteArray>("from");
        QTest::addColumn<QByteArray>("to");
        QTest::addColumn<QString>("fresh");
        const auto rewritten = u"fresh; file 600, directory 700"_s;
        QTest::newRow("torn") << "}"_ba << QByteArray() << rewritten;
        QTest::newRow("another server's file") << "damaged.example"_ba
                                               << "other.example"_ba << rewritten;
        QTest::newRow("token not a string") << "\"good\""_ba
                                            << "42"_ba << rewritten;
        QTest::newRow("blocked") << "blocked"_ba << QByteArray()
                                 << u"-102 Could not save session in Keychain (-102)."_s;
    }
    void damagedSessionFile()
    {
        if (!m_files)
            QSKIP("the Secret Service keeps no files");
        QFETCH(QByteArray, from);
        QFETCH(QByteArray, to);
        const QString server = u"https://damaged.example"_s;
        QCOMPARE(save(u"good"_s, server), std::nullopt);
        QFile file(sessions().filePath(sessionFiles().value(0)));
        if (from == "blocked") {
            QVERIFY(file.remove() && QDir().mkpath(file.fileName() + u"/blocker"_s));
        } else {
            QVERIFY(file.open(QIODevice::ReadWrite));
            const QByteArray good = file.readAll(), damaged = QByteArray(good).replace(from, to);
            QVERIFY(damaged != good && file.resize(0) && file.write(damaged) == damaged.size());
            file.close();
        }
        QCOMPARE(read(server), std::nullopt);
        const auto failure = save(u"fresh"_s, server);
        QTEST(failure ? u"%1 %2"_s.arg(failure->status).arg(failure->message)
                      : read(server).value_or(u"none"_s) + u"; "_s + storedFiles(),
            "fresh");
    }
};

QTEST_GUILESS_MAIN(KeychainTest)
#include "KeychainTest.moc"
