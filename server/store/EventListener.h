#pragma once

#include "DatabaseUrl.h"

#include <QObject>
#include <QSqlDriver>
#include <QString>
#include <QTimer>

// Listens to the store's announcements on PostgreSQL on a connection of its own (a connection
// that runs statements would hold them back while it waits). Notifications sent while the
// connection was down are lost: once it is back, resumed() says that anything may have
// changed.
class EventListener : public QObject {
    Q_OBJECT

public:
    explicit EventListener(DatabaseUrl url, int checkIntervalMs = 2000, QObject *parent = nullptr);
    ~EventListener() override;

    // Connects and listens; false with errorText() when the database cannot be reached.
    bool start();
    QString errorText() const { return m_error; }

signals:
    void received(const QString &payload);
    void resumed();

private:
    bool listen();
    void deliver(
        const QString &name, QSqlDriver::NotificationSource source, const QVariant &payload);
    void check();

    DatabaseUrl m_url;
    QString m_connection;
    QString m_error;
    QTimer m_check;
    bool m_listening = false;
};
