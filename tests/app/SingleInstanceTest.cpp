#include "app/SingleInstance.h"

#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

// The hand-over between a running program and a second start, with the real executable as
// the second process where it matters.
class SingleInstanceTest : public QObject {
    Q_OBJECT
private:
    static QString client() { return qEnvironmentVariable("TOSSWICK_CLIENT"); }

    // Starts the real program with its runtime directory pointed at dir.
    static void startClient(QProcess &process, const QString &dir, const QStringList &arguments)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"XDG_RUNTIME_DIR"_s, dir);
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(client(), arguments);
        QVERIFY2(process.waitForStarted(5000), qPrintable(process.errorString()));
    }

private slots:
    void initTestCase() { QVERIFY2(!client().isEmpty(), "TOSSWICK_CLIENT is not set"); }

    void secondStartHandsOverItsLinks_data()
    {
        QTest::addColumn<QStringList>("links");
        QTest::newRow("several, in order") << QStringList { u"tosswick://join?room=AAAAAAAA"_s,
            u"tosswick://join?room=BBBBBBBB&api=http://h:1"_s, u"not a link at all"_s };
        QTest::newRow("non-ASCII text survives")
            << QStringList { u"tosswick://join?room=X&name=Ärger"_s };
        QTest::newRow("no links: a plain second start") << QStringList {};
    }
    void secondStartHandsOverItsLinks()
    {
        QFETCH(QStringList, links);
        QTemporaryDir dir;
        SingleInstance primary(dir.path());
        QVERIFY(primary.becomePrimary());
        QSignalSpy received(&primary, &SingleInstance::linksReceived);

        QProcess second;
        startClient(second, dir.path(), links);
        QVERIFY(received.wait(10000));
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitStatus() == QProcess::NormalExit ? second.exitCode() : -1, 0);
        QCOMPARE(received.size(), 1);
        QCOMPARE(received.at(0).at(0).toStringList(), links);
    }

    void secondRunningProgramExitsAndFirstKeepsRunning()
    {
        QTemporaryDir dir;
        QProcess first;
        startClient(first, dir.path(), {});
        // The first start is primary once its socket exists.
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(dir.filePath(u"tosswick.socket"_s)), 10000);

        QProcess second;
        startClient(second, dir.path(), { u"tosswick://join?room=ABCDEFGH"_s });
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(first.state(), QProcess::Running);

        first.terminate();
        QVERIFY(first.waitForFinished(10000));
    }

    void onlyOnePrimaryPerDirectory()
    {
        QTemporaryDir dir;
        auto first = std::make_unique<SingleInstance>(dir.path());
        QVERIFY(!first->handOver({ u"tosswick://join?room=DDDDDDDD"_s }, 200)); // nobody listens
        QVERIFY(first->becomePrimary());
        QVERIFY(first->becomePrimary()); // asking again keeps it primary

        SingleInstance second(dir.path());
        QVERIFY(!second.becomePrimary());

        // Once the first is gone its lock is free again.
        first.reset();
        QVERIFY(second.becomePrimary());
    }

    // A stale socket file is replaced; an oversized message is dropped, and a well-formed
    // hand-over afterwards still arrives as the only one.
    void staleSocketAndOversizedMessage()
    {
        QTemporaryDir dir;
        SingleInstance primary(dir.path());
        QFile stale(primary.socketPath());
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.close();
        QVERIFY(primary.becomePrimary());
        QSignalSpy received(&primary, &SingleInstance::linksReceived);

        QLocalSocket flood;
        flood.connectToServer(primary.socketPath());
        QVERIFY(flood.waitForConnected(5000));
        flood.write(QByteArray(100 * 1024, 'A'));
        QVERIFY(flood.waitForBytesWritten(5000));
        QTRY_COMPARE_WITH_TIMEOUT(flood.state(), QLocalSocket::UnconnectedState, 5000);

        SingleInstance sender(dir.path());
        QVERIFY(sender.handOver({ u"tosswick://join?room=EEEEEEEE"_s }));
        QVERIFY(received.wait(5000));
        QCOMPARE(received.size(), 1);
        QCOMPARE(received.at(0).at(0).toStringList(),
            QStringList { u"tosswick://join?room=EEEEEEEE"_s });
    }
};

QTEST_MAIN(SingleInstanceTest)
#include "SingleInstanceTest.moc"
