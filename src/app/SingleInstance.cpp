#include "SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

using namespace Qt::StringLiterals;

namespace {
// Links travel as UTF-8 lines; the sender closing the connection ends the list.
constexpr qint64 maxMessageBytes = qint64(64) * 1024;
}

SingleInstance::SingleInstance(const QString &directory, QObject *parent)
    : QObject(parent)
    , m_directory(directory)
    , m_lock(QDir(directory).filePath(u"tosswick.lock"_s))
{
    // Only a lock whose process is gone is stale, however old it is.
    m_lock.setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::defaultDirectory()
{
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    return dir;
}

QString SingleInstance::socketPath() const
{
    return QDir(m_directory).filePath(u"tosswick.socket"_s);
}

bool SingleInstance::becomePrimary()
{
    if (m_server)
        return true;
    QDir().mkpath(m_directory);
    if (!m_lock.tryLock(0))
        return false;
    // Holding the lock means any socket file left there belongs to a process that died.
    QLocalServer::removeServer(socketPath());
    auto server = std::make_unique<QLocalServer>();
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(socketPath())) {
        m_lock.unlock();
        return false;
    }
    connect(server.get(), &QLocalServer::newConnection, this, &SingleInstance::acceptConnection);
    m_server = std::move(server);
    return true;
}

bool SingleInstance::handOver(const QStringList &links, int timeoutMs) const
{
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    // The primary may hold the lock a moment before it listens: retry until the deadline.
    for (;;) {
        socket.connectToServer(socketPath());
        if (socket.waitForConnected(int(qMax<qint64>(deadline.remainingTime(), 0))))
            break;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(50);
    }
    QByteArray message;
    for (const QString &link : links)
        message += link.toUtf8() + '\n';
    socket.write(message);
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(int(qMax<qint64>(deadline.remainingTime(), 0))))
            return false;
    }
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(int(qMax<qint64>(deadline.remainingTime(), 0)));
    return true;
}

void SingleInstance::acceptConnection()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        socket->setParent(this);
        auto finish = [this, socket] {
            QStringList links;
            const QList<QByteArray> lines = socket->readAll().split('\n');
            for (const QByteArray &line : lines) {
                const QString link = QString::fromUtf8(line).trimmed();
                if (!link.isEmpty())
                    links += link;
            }
            socket->deleteLater();
            emit linksReceived(links);
        };
        connect(socket, &QLocalSocket::disconnected, this, finish);
        connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
            // A peer that sends more than any list of links would is dropped unheard.
            if (socket->bytesAvailable() > maxMessageBytes) {
                disconnect(socket, &QLocalSocket::disconnected, this, nullptr);
                socket->abort();
                socket->deleteLater();
            }
        });
    }
}
