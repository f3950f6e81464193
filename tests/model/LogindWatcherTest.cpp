#include "model/LogindWatcher.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const auto ours = u"/org/freedesktop/login1/session/_31"_s;
const auto theirs = u"/org/freedesktop/login1/session/_32"_s;
const auto session = u"org.freedesktop.login1.Session"_s;

void emitSignal(const QString &path, const QString &interface, const QString &name,
    const QVariantList &arguments = {})
{
    auto message = QDBusMessage::createSignal(path, interface, name);
    message.setArguments(arguments);
    QVERIFY(QDBusConnection::sessionBus().send(message));
}

void activeChanged(const QString &path, bool value)
{
    emitSignal(path, u"org.freedesktop.DBus.Properties"_s, u"PropertiesChanged"_s,
        { session, QVariantMap { { u"Active"_s, value } }, QStringList() });
}

} // namespace

class FakeLogind : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")

public Q_SLOTS:
    QDBusObjectPath GetSessionByPID(uint) { return QDBusObjectPath(ours); }
};

class LogindWatcherTest : public QObject {
    Q_OBJECT

    FakeLogind m_logind;

private Q_SLOTS:
    void initTestCase()
    {
        auto bus = QDBusConnection::sessionBus();
        if (!bus.isConnected())
            QSKIP("no D-Bus session bus (run through scripts/run-tests.sh)");
        QVERIFY(bus.registerObject(
            u"/org/freedesktop/login1"_s, &m_logind, QDBusConnection::ExportAllSlots));
        QVERIFY(bus.registerService(u"org.freedesktop.login1"_s));
    }

    // Sleep, our session's lock and its Active turning false are away; others are not ours.
    void followsSleepAndTheSession()
    {
        LogindWatcher watcher(QDBusConnection::sessionBus());
        QStringList events;
        connect(&watcher, &LogindWatcher::goingAway, this, [&] { events << u"away"_s; });
        connect(&watcher, &LogindWatcher::comingBack, this, [&] { events << u"back"_s; });
        QTRY_COMPARE(watcher.sessionPath(), ours);

        for (const bool going : { true, false })
            emitSignal(u"/org/freedesktop/login1"_s, u"org.freedesktop.login1.Manager"_s,
                u"PrepareForSleep"_s, { going });
        emitSignal(ours, session, u"Lock"_s);
        emitSignal(ours, session, u"Unlock"_s);
        activeChanged(theirs, false);
        activeChanged(ours, false);
        activeChanged(ours, true);
        // Signals arrive in order: a wrongly followed one would stay in the list.
        QTRY_COMPARE(events.join(u' '), u"away back away back away back"_s);
    }
};

QTEST_GUILESS_MAIN(LogindWatcherTest)
#include "LogindWatcherTest.moc"
