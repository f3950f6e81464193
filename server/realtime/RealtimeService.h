#pragma once

#include "RealtimeConfig.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class RealtimeConnection;
class RealtimeSocket;

// The server's side of the Pusher channel: it takes WebSockets handed to it (by the HTTP
// transport on the same port), assigns socket ids, signs
// channel authorisations and sends room events to the sockets subscribed to a room.
class RealtimeService : public QObject {
    Q_OBJECT

public:
    explicit RealtimeService(RealtimeConfig config, QObject *parent = nullptr);
    ~RealtimeService() override;

    const RealtimeConfig &config() const { return m_config; }

    // Takes the socket over; its handshake has been completed by whoever accepted it.
    void accept(std::unique_ptr<RealtimeSocket> socket);

    // Whether the socket id belongs to a greeted connection that is still open.
    bool isLive(const QString &socketId) const;

    // The subscription's auth value "KEY:SIGNATURE" for a live socket and a room channel;
    // nothing otherwise. The caller has checked that the player may read that room; the
    // grant is remembered, so the player's subscription can be dropped when they leave.
    std::optional<QString> authorise(
        const QString &socketId, const QString &channel, qint64 playerId);

    // The auth value for any well-formed socket id, live here or not: behind a load balancer
    // the socket is often on another node, which checks the signature when it subscribes.
    // The caller keeps the grant.
    std::optional<QString> sign(const QString &socketId, const QString &channel) const;
    // Ends the room's subscriptions of those of these sockets that are connected here;
    // returns their ids.
    QStringList endSubscriptions(qint64 roomId, const QStringList &socketIds);
    // Sends room.changed with this reason to every room that has subscribers here.
    void announceToAllRooms(const QString &reason);

    // Ends the room's subscriptions of sockets the player was granted (every one of the
    // room's when no player is given): no more events of the room reach them.
    void revoke(qint64 roomId, std::optional<qint64> playerId = std::nullopt);

    // Sends one room.changed frame with a new event id to every subscriber of the room;
    // returns how many were sent.
    int announceRoomChanged(qint64 roomId, const QString &reason);

    // Closes every connection with this close code (4200: reconnect at once, elsewhere).
    void closeAll(int code, const QString &message);

    qsizetype connectionCount() const { return m_connections.size(); }
    qsizetype subscriberCount(qint64 roomId) const { return m_subscribers.value(roomId).size(); }

signals:
    void socketClosed(const QString &socketId);

private:
    QString newSocketId() const;
    void forget(RealtimeConnection *connection);

    RealtimeConfig m_config;
    QHash<QString, RealtimeConnection *> m_connections;
    QHash<qint64, QSet<RealtimeConnection *>> m_subscribers;
    // Who asked for each socket's subscription to a room: (socket id, room) to player.
    QHash<std::pair<QString, qint64>, qint64> m_grants;
};
