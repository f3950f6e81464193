#include "RealtimeService.h"

#include "ChannelAuth.h"
#include "PusherFrame.h"
#include "RealtimeConnection.h"
#include "RealtimeSocket.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QUuid>

#include <cstdio>

using namespace Qt::StringLiterals;

RealtimeService::RealtimeService(RealtimeConfig config, QObject *parent)
    : QObject(parent)
    , m_config(std::move(config))
{
}

RealtimeService::~RealtimeService()
{
    // The connections are children and go with the service; none may report back meanwhile.
    for (RealtimeConnection *connection : std::as_const(m_connections))
        connection->disconnect(this);
}

void RealtimeService::accept(std::unique_ptr<RealtimeSocket> socket)
{
    const QString id = newSocketId();
    auto *connection = new RealtimeConnection(std::move(socket), id, m_config, this);
    m_connections.insert(id, connection);
    connect(connection, &RealtimeConnection::subscribed, this, [this, connection](qint64 room) {
        m_subscribers[room].insert(connection);
        // Behind a proxy, this line tells which node serves a socket.
        std::fprintf(stderr, "realtime: socket %s subscribed to room %lld\n",
            qPrintable(connection->socketId()), static_cast<long long>(room));
    });
    connect(connection, &RealtimeConnection::unsubscribed, this, [this, connection](qint64 room) {
        const auto found = m_subscribers.find(room);
        if (found == m_subscribers.end())
            return;
        found->remove(connection);
        if (found->isEmpty())
            m_subscribers.erase(found);
    });
    connect(connection, &RealtimeConnection::finished, this,
        [this, connection] { forget(connection); });
    connection->start();
}

void RealtimeService::forget(RealtimeConnection *connection)
{
    m_connections.remove(connection->socketId());
    m_grants.removeIf(
        [id = connection->socketId()](const auto &grant) { return grant.key().first == id; });
    emit socketClosed(connection->socketId());
}

QString RealtimeService::newSocketId() const
{
    // Two random decimal numbers, as the protocol's clients expect "A.B"; unique among the
    // live connections.
    auto *random = QRandomGenerator::system();
    QString id;
    do {
        const quint32 head = m_config.socketIdHead;
        id = QString::number(head != 0 ? head : random->bounded(1U, 2147483647U)) + u'.'
            + QString::number(random->bounded(1U, 2147483647U));
    } while (m_connections.contains(id));
    return id;
}

bool RealtimeService::isLive(const QString &socketId) const
{
    const RealtimeConnection *connection = m_connections.value(socketId);
    return connection != nullptr && connection->isOpen();
}

std::optional<QString> RealtimeService::authorise(
    const QString &socketId, const QString &channel, qint64 playerId)
{
    const auto room = PusherFrame::roomOfChannel(channel);
    if (!isLive(socketId) || !room)
        return std::nullopt;
    m_grants.insert({ socketId, *room }, playerId);
    return ChannelAuth::authValue(m_config.appKey, m_config.appSecret, socketId, channel);
}

std::optional<QString> RealtimeService::sign(const QString &socketId, const QString &channel) const
{
    static const QRegularExpression wellFormed(u"^[1-9][0-9]{0,9}\\.[1-9][0-9]{0,9}$"_s);
    if (!PusherFrame::roomOfChannel(channel) || !wellFormed.match(socketId).hasMatch())
        return std::nullopt;
    return ChannelAuth::authValue(m_config.appKey, m_config.appSecret, socketId, channel);
}

QStringList RealtimeService::endSubscriptions(qint64 roomId, const QStringList &socketIds)
{
    QStringList ended;
    for (const QString &socketId : socketIds) {
        RealtimeConnection *connection = m_connections.value(socketId);
        if (connection == nullptr)
            continue;
        m_grants.remove({ socketId, roomId });
        connection->endSubscription(roomId);
        ended += socketId;
    }
    return ended;
}

void RealtimeService::announceToAllRooms(const QString &reason)
{
    const auto rooms = m_subscribers.keys();
    for (const qint64 room : rooms)
        announceRoomChanged(room, reason);
}

void RealtimeService::revoke(qint64 roomId, std::optional<qint64> playerId)
{
    const auto subscribers = m_subscribers.value(roomId);
    for (RealtimeConnection *connection : subscribers) {
        const auto grant = m_grants.constFind({ connection->socketId(), roomId });
        if (!playerId || (grant != m_grants.cend() && *grant == *playerId)) {
            m_grants.remove({ connection->socketId(), roomId });
            connection->endSubscription(roomId);
        }
    }
}

int RealtimeService::announceRoomChanged(qint64 roomId, const QString &reason)
{
    const auto subscribers = m_subscribers.value(roomId);
    if (subscribers.isEmpty())
        return 0;
    const QByteArray frame = PusherFrame::channelEvent(u"room.changed"_s,
        PusherFrame::roomChannel(roomId),
        { { u"event_id"_s, QUuid::createUuid().toString(QUuid::WithoutBraces) },
            { u"reason"_s,
                reason } }).toUtf8();
    for (RealtimeConnection *connection : subscribers)
        connection->send(frame);
    return int(subscribers.size());
}

void RealtimeService::closeAll(int code, const QString &message)
{
    const auto connections = m_connections;
    for (RealtimeConnection *connection : connections)
        connection->closeWith(code, message);
}
