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
private slots:
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

        // The real program as the second start, its runtime directory pointed at dir.
        QProcess second;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"XDG_RUNTIME_DIR"_s, dir.path());
        second.setProcessEnvironment(env);
        second.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        second.start(qEnvironmentVariable("TOSSWICK_CLIENT"), links);
        QVERIFY(received.wait(10000));
        QVERIFY(second.waitForFinished(10000) && second.exitStatus() == QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(QList<QVariantList>(received), QList<QVariantList> { { links } });
    }

    // One primary per directory, replacing a stale socket file and free again once the first is
    // gone; an oversized message is dropped and a later hand-over still arrives, alone.
    void onePrimaryThatDropsOversizedMessages()
    {
        QTemporaryDir dir;
        auto primary = std::make_unique<SingleInstance>(dir.path());
        QVERIFY(!primary->handOver({ u"tosswick://join?room=DDDDDDDD"_s }, 200)); // nobody listens
        QFile stale(primary->socketPath());
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.close();
        QVERIFY(primary->becomePrimary() && primary->becomePrimary()); // asking again keeps it
        SingleInstance second(dir.path());
        QVERIFY(!second.becomePrimary());
        QSignalSpy received(primary.get(), &SingleInstance::linksReceived);

        QLocalSocket flood;
        flood.connectToServer(primary->socketPath());
        QVERIFY(flood.waitForConnected(5000));
        flood.write(QByteArray(100 * 1024, 'A'));
        QVERIFY(flood.waitForBytesWritten(5000));
        QTRY_COMPARE_WITH_TIMEOUT(flood.state(), QLocalSocket::UnconnectedState, 5000);
        const QStringList links { u"tosswick://join?room=EEEEEEEE"_s };
        QVERIFY(second.handOver(links) && received.wait(5000));
        QCOMPARE(QList<QVariantList>(received), QList<QVariantList> { { links } });
        primary.reset();
        QVERIFY(second.becomePrimary());
    }
};

QTEST_MAIN(SingleInstanceTest)
#include "SingleInstanceTest.moc"
