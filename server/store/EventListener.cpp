#include "EventListener.h"

#include "Store.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QUuid>

#include <cstdio>

using namespace Qt::StringLiterals;

EventListener::EventListener(DatabaseUrl url, int checkIntervalMs, QObject *parent)
    : QObject(parent)
    , m_url(std::move(url))
    , m_connection(QUuid::createUuid().toString(QUuid::WithoutBraces))
{
    m_check.setInterval(checkIntervalMs);
    connect(&m_check, &QTimer::timeout, this, &EventListener::check);
}

EventListener::~EventListener()
{
    QSqlDatabase::database(m_connection, false).close();
    QSqlDatabase::removeDatabase(m_connection);
}

bool EventListener::start()
{
    m_check.start();
    return listen();
}

bool EventListener::listen()
{
    QSqlDatabase::database(m_connection, false).close();
    if (!Store::openPostgresConnection(m_connection, m_url, u"tosswick-server-events"_s, m_error))
        return false;
    QSqlDriver *driver = QSqlDatabase::database(m_connection, false).driver();
    if (!driver->subscribeToNotification(QString::fromUtf16(Store::eventChannel))) {
        m_error = u"cannot listen for room events"_s;
        return false;
    }
    // The driver stays the same across reconnections.
    connect(driver, &QSqlDriver::notification, this, &EventListener::deliver, Qt::UniqueConnection);
    m_listening = true;
    return true;
}

void EventListener::deliver(
    const QString &, QSqlDriver::NotificationSource, const QVariant &payload)
{
    emit received(payload.toString());
}

// A dropped connection shows only when it is used: a trivial query every few seconds finds
// out, and a new connection listens again.
void EventListener::check()
{
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    if (m_listening && query.exec(u"SELECT 1"_s))
        return;
    if (m_listening)
        std::fprintf(stderr, "room events: listening connection lost, reconnecting\n");
    m_listening = false;
    if (listen()) {
        std::fprintf(stderr, "room events: listening again\n");
        emit resumed();
    }
}
