#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUrl>

// One client's WebSocket as the realtime service sees it, whatever transport carries it.
// Lives on the main thread; its signals arrive there.
class RealtimeSocket : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // The address the client asked for in its upgrade request (path and query).
    virtual QUrl requestUrl() const = 0;
    virtual bool isConnected() const = 0;
    // Queues one text frame (UTF-8).
    virtual void sendText(const QByteArray &utf8) = 0;
    // Starts the closing handshake.
    virtual void close(int code, const QString &reason) = 0;
    // Drops the connection without a handshake.
    virtual void abort() = 0;
    // A socket with subscriptions is a player's standing connection: it no longer counts
    // against the transport's connection limit.
    virtual void setSubscribed(bool subscribed) = 0;

signals:
    void textReceived(const QString &message);
    void binaryReceived();
    void disconnected();
};
