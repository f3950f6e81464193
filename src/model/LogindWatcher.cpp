#include "model/LogindWatcher.h"

#include <QCoreApplication>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

using namespace Qt::StringLiterals;

namespace {
const auto service = u"org.freedesktop.login1"_s;
const auto managerPath = u"/org/freedesktop/login1"_s;
const auto managerInterface = u"org.freedesktop.login1.Manager"_s;
const auto sessionInterface = u"org.freedesktop.login1.Session"_s;
const auto propertiesInterface = u"org.freedesktop.DBus.Properties"_s;
} // namespace

LogindWatcher::LogindWatcher(const QDBusConnection &bus, QObject *parent)
    : QObject(parent)
    , m_bus(bus)
{
    if (!m_bus.isConnected())
        return;
    m_bus.connect(service, managerPath, managerInterface, u"PrepareForSleep"_s, this,
        SLOT(prepareForSleep(bool)));

    auto call = QDBusMessage::createMethodCall(
        service, managerPath, managerInterface, u"GetSessionByPID"_s);
    call << quint32(QCoreApplication::applicationPid());
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
        const QDBusPendingReply<QDBusObjectPath> reply = *watcher;
        // Not in a logind session (a service, a container): only sleep is followed.
        if (reply.isValid())
            followSession(reply.value().path());
        watcher->deleteLater();
    });
}

void LogindWatcher::followSession(const QString &path)
{
    m_sessionPath = path;
    m_bus.connect(service, path, sessionInterface, u"Lock"_s, this, SLOT(sessionLocked()));
    m_bus.connect(service, path, sessionInterface, u"Unlock"_s, this, SLOT(sessionUnlocked()));
    // Lock and Unlock only ask a screen locker to act; a switch to another user's session
    // shows as this session turning inactive.
    m_bus.connect(service, path, propertiesInterface, u"PropertiesChanged"_s, this,
        SLOT(sessionPropertiesChanged(QString, QVariantMap)));
    Q_EMIT sessionFound();
}

void LogindWatcher::prepareForSleep(bool sleeping)
{
    if (sleeping)
        Q_EMIT goingAway();
    else
        Q_EMIT comingBack();
}

void LogindWatcher::sessionLocked()
{
    Q_EMIT goingAway();
}

void LogindWatcher::sessionUnlocked()
{
    Q_EMIT comingBack();
}

void LogindWatcher::sessionPropertiesChanged(const QString &interface, const QVariantMap &changed)
{
    const auto active = changed.constFind(u"Active"_s);
    if (interface != sessionInterface || active == changed.constEnd())
        return;
    if (active->toBool())
        Q_EMIT comingBack();
    else
        Q_EMIT goingAway();
}
