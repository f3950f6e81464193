#include "app/SingleInstance.h"

#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class SingleInstanceTest : public QObject {
    Q_OBJECT
    static void start(QProcess &process, const QString &dir, const QStringList &arguments)
    {
        qputenv("XDG_RUNTIME_DIR", dir.toLocal8Bit()); // the real program's runtime directory
        process.start(qEnvironmentVariable("TOSSWICK_CLIENT"), arguments);
    }

private slots:
    void secondStartHandsOverItsLinks_data()
    {
        QTest::addColumn<QStringList>("links");
        QTest::newRow("in order, non-ASCII intact")
            << QStringList { u"tosswick://join?room=A&name=Ärger"_s, u"not a link"_s };
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
        start(second, dir.path(), links);
        QVERIFY(received.wait(10000));
        QVERIFY(second.waitForFinished(10000) && second.exitCode() == 0);
        QCOMPARE(QList<QVariantList>(received), QList<QVariantList> { { links } });
    }

    void firstStartHoldsTheLockUntilItEnds()
    {
        QTemporaryDir dir;
        QProcess first;
        start(first, dir.path(), {});
        SingleInstance second(dir.path());
        QVERIFY(
            second.handOver({}, 10000) && !first.waitForFinished(1000) && !second.becomePrimary());
        first.terminate();
        QVERIFY(first.waitForFinished(10000) && second.becomePrimary());
    }

    // A stale socket file is replaced; an oversized message is dropped, a later hand-over kept.
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
        const QStringList links { u"tosswick://join?room=EEEEEEEE"_s };
        QVERIFY(SingleInstance(dir.path()).handOver(links) && received.wait(5000));
        QCOMPARE(QList<QVariantList>(received), QList<QVariantList> { { links } });
    }
};

QTEST_MAIN(SingleInstanceTest)
#include "SingleInstanceTest.moc"
