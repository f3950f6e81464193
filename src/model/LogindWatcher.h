#pragma once

#include <QDBusConnection>
#include <QObject>

// System sleep and user-session switches from systemd-logind: PrepareForSleep on the manager;
// on this process's session its Active property (false while another session has the seat)
// and the Lock and Unlock requests. Without logind (no system bus, another init system) it
// simply never signals.
class LogindWatcher : public QObject {
    Q_OBJECT

public:
    explicit LogindWatcher(
        const QDBusConnection &bus = QDBusConnection::systemBus(), QObject *parent = nullptr);

    // The session that is followed, once logind named it; empty before.
    QString sessionPath() const { return m_sessionPath; }

Q_SIGNALS:
    // The system is about to sleep, or the session was switched away or locked.
    void goingAway();
    // The system woke, or the session is back.
    void comingBack();
    // The session was found and is followed (for tests).
    void sessionFound();

private Q_SLOTS:
    void prepareForSleep(bool sleeping);
    void sessionLocked();
    void sessionUnlocked();
    void sessionPropertiesChanged(const QString &interface, const QVariantMap &changed);

private:
    void followSession(const QString &path);

    QDBusConnection m_bus;
    QString m_sessionPath;
};
