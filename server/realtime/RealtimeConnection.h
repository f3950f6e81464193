#pragma once

#include "RealtimeConfig.h"
#include "RealtimeSocket.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include <memory>
#include <optional>

// One client's WebSocket and its protocol state: the handshake checks, subscriptions,
// pings both ways and the refusal of bad frames. It reports upwards through its signals;
// the service decides who receives what.
class RealtimeConnection : public QObject {
    Q_OBJECT

public:
    RealtimeConnection(std::unique_ptr<RealtimeSocket> socket, QString socketId,
        const RealtimeConfig &config, QObject *parent = nullptr);
    ~RealtimeConnection() override;

    // Checks the address the client asked for and greets it, or refuses it and closes.
    // Called once the owner has connected the signals.
    void start();

    QString socketId() const { return m_socketId; }
    // Greeted and not closing: the socket id may be authorised and events may be sent.
    bool isOpen() const { return m_phase == Phase::Watching || m_phase == Phase::AwaitingPong; }
    // Tells the client why with a pusher:error frame and starts the closing handshake.
    void closeWith(int code, const QString &message);
    // Stops the room's events reaching this socket (its player left the room).
    void endSubscription(qint64 roomId);
    void send(const QString &frame);
    void send(const QByteArray &utf8);

Q_SIGNALS:
    void subscribed(qint64 roomId);
    void unsubscribed(qint64 roomId);
    // The socket is gone; the connection deletes itself later.
    void finished();

private:
    enum class Phase { New, Watching, AwaitingPong, Closing, Finished };

    // Why the address is refused, or nothing when it is fine.
    std::optional<std::pair<int, QString>> refusal() const;
    void onText(const QString &message);
    void onBinary();
    void onTimer();
    void onDisconnected();
    void noteActivity();
    void subscribe(const QJsonObject &data);
    void unsubscribe(const QJsonObject &data);
    void refuseSubscription(const QString &channel, const QString &message);
    void badFrame(const QString &message);

    std::unique_ptr<RealtimeSocket> m_socket;
    QString m_socketId;
    RealtimeConfig m_config;
    QTimer m_timer;
    Phase m_phase = Phase::New;
    int m_badFrames = 0;
    QSet<qint64> m_rooms;
};
