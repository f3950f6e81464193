#include "model/LogindWatcher.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

// A stand-in for logind on the test's private session bus: it owns the well-known name,
// answers GetSessionByPID and emits the signals a real logind emits.
class FakeLogind : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")

public:
    static inline const QString sessionPath = u"/org/freedesktop/login1/session/_31"_s;

public Q_SLOTS:
    QDBusObjectPath GetSessionByPID(uint) { return QDBusObjectPath(sessionPath); }
};

class LogindWatcherTest : public QObject
{
    Q_OBJECT

    FakeLogind m_logind;

    static void emitSignal(const QString &path, const QString &interface, const QString &name,
                           const QVariantList &arguments = {})
    {
        auto message = QDBusMessage::createSignal(path, interface, name);
        message.setArguments(arguments);
        QVERIFY(QDBusConnection::sessionBus().send(message));
    }

private Q_SLOTS:
    void initTestCase()
    {
        auto bus = QDBusConnection::sessionBus();
        if (!bus.isConnected())
            QSKIP("no D-Bus session bus (run through scripts/run-tests.sh)");
        QVERIFY(bus.registerObject(u"/org/freedesktop/login1"_s, &m_logind,
                                   QDBusConnection::ExportAllSlots));
        QVERIFY(bus.registerService(u"org.freedesktop.login1"_s));
    }

    void followsSleepAndTheSession()
    {
        LogindWatcher watcher(QDBusConnection::sessionBus());
        QSignalSpy found(&watcher, &LogindWatcher::sessionFound);
        QSignalSpy away(&watcher, &LogindWatcher::goingAway);
        QSignalSpy back(&watcher, &LogindWatcher::comingBack);
        QVERIFY(found.wait());
        QCOMPARE(watcher.sessionPath(), FakeLogind::sessionPath);

        const auto manager = u"org.freedesktop.login1.Manager"_s;
        const auto session = u"org.freedesktop.login1.Session"_s;
        emitSignal(u"/org/freedesktop/login1"_s, manager, u"PrepareForSleep"_s, {true});
        QTRY_COMPARE(away.size(), 1);
        emitSignal(u"/org/freedesktop/login1"_s, manager, u"PrepareForSleep"_s, {false});
        QTRY_COMPARE(back.size(), 1);
        // Another session's lock is not ours. Signals arrive in order, so once the Unlock
        // after them is seen, a wrongly followed lock would have been counted too.
        emitSignal(u"/org/freedesktop/login1/session/_32"_s, session, u"Lock"_s);
        emitSignal(FakeLogind::sessionPath, session, u"Lock"_s);
        emitSignal(FakeLogind::sessionPath, session, u"Unlock"_s);
        QTRY_COMPARE(back.size(), 2);
        QCOMPARE(away.size(), 2);

        // Another user takes the seat: our session turns inactive, then active again. Only
        // our session's Active counts.
        const auto changed = [&](const QString &path, const QString &property, bool value) {
            emitSignal(path, u"org.freedesktop.DBus.Properties"_s, u"PropertiesChanged"_s,
                { session, QVariantMap { { property, value } }, QStringList() });
        };
        changed(u"/org/freedesktop/login1/session/_32"_s, u"Active"_s, false);
        changed(FakeLogind::sessionPath, u"IdleHint"_s, false);
        changed(FakeLogind::sessionPath, u"Active"_s, false);
        QTRY_COMPARE(away.size(), 3);
        changed(FakeLogind::sessionPath, u"Active"_s, true);
        QTRY_COMPARE(back.size(), 3);
        QCOMPARE(away.size(), 3);
    }

    void noLogindIsNotAnError()
    {
        LogindWatcher watcher(QDBusConnection(u"never-connected"_s));
        QCOMPARE(watcher.sessionPath(), QString());
    }
};

QTEST_GUILESS_MAIN(LogindWatcherTest)
#include "LogindWatcherTest.moc"
