#pragma once

#include "net/NetworkError.h"

#include <QCoro/QCoroTask>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUrl>
#include <QUuid>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class API;
class RealtimeSocket;

// The realtime channel of the current room: one WebSocket to the game server's Pusher
// (protocol 7) service, subscribed to the room's private channel. It carries no room data;
// it tells its owner that the subscription is up, that something in the room changed, or
// that the connection is gone.
//
// Every connection has its own reading loop and generation. A loop acts only while its
// generation is current, and it writes only to its own socket: a loop whose channel
// authorisation is still under way when connectTo() or close() replaces the connection finds
// its generation retired and its socket closed when the reply arrives, and sends nothing.
class Realtime : public QObject {
    Q_OBJECT

public:
    using Clock = std::chrono::steady_clock;
    static constexpr int rememberedEvents = 512;

    // A received frame: its "event" and its "data" read as an object.
    struct Frame {
        QString event;
        QJsonObject data;
    };
    struct Reading {
        bool isJson = false; // a frame that is not JSON ends the connection
        std::optional<Frame> frame; // none: skipped (not an object, no text "event")
    };
    static Reading readFrame(const QByteArray &bytes);

    // The service's address for a ws or wss base URL: path /app/KEY and the protocol query.
    static std::optional<QUrl> serviceUrl(const QString &base, const QString &key);
    static QString channelName(qint64 room);

    explicit Realtime(QObject *parent = nullptr);
    ~Realtime() override;

    // Opens the room's channel (closing any earlier one) and returns at once; an unusable
    // URL calls onDisconnect before returning. The API authorises the subscription.
    // (Named so that it does not hide QObject::connect.)
    void connectTo(
        const QString &url, const QString &key, qint64 room, std::shared_ptr<const API> api);
    // Ends the connection without calling any callback.
    void close();
    // Sends the service a ping; an error when there is no connection.
    std::optional<NetworkError> ping();

    std::optional<QString> socketID() const { return m_socketID; }
    bool subscribed() const { return m_subscribed; }
    // When the service last answered a ping or the subscription succeeded.
    Clock::time_point lastPong() const { return m_lastPong; }

    void setOnChange(std::function<void()> callback) { m_onChange = std::move(callback); }
    void setOnSubscribed(std::function<void()> callback) { m_onSubscribed = std::move(callback); }
    void setOnDisconnect(std::function<void()> callback) { m_onDisconnect = std::move(callback); }

private:
    QCoro::Task<> read(QUuid generation, std::shared_ptr<RealtimeSocket> socket, qint64 room,
        std::shared_ptr<const API> api);
    // Handles one frame; an error text ends the loop.
    QCoro::Task<std::optional<QString>> handle(const Frame &frame, QUuid generation,
        RealtimeSocket &socket, qint64 room, std::shared_ptr<const API> api);
    // Remembers a room event id; false for one already delivered.
    bool remember(const QString &eventID);
    void lose(QUuid generation);
    static void call(const std::function<void()> &callback);

    std::shared_ptr<RealtimeSocket> m_task;
    QUuid m_generation = QUuid::createUuid();
    QSet<QString> m_seen;
    QList<QString> m_order;
    std::optional<QString> m_socketID;
    bool m_subscribed = false;
    Clock::time_point m_lastPong = Clock::time_point::min();
    std::function<void()> m_onChange;
    std::function<void()> m_onSubscribed;
    std::function<void()> m_onDisconnect;
};
