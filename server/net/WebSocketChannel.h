#pragma once

#include "realtime/RealtimeSocket.h"

#include <QPointer>

#include <memory>

class HttpListener;
class WebSocketSession;

// The main thread's handle on a WebSocketSession: what the realtime service holds.
class WebSocketChannel : public RealtimeSocket {
    Q_OBJECT

public:
    WebSocketChannel(
        std::weak_ptr<WebSocketSession> session, QUrl requestUrl, HttpListener &listener);
    ~WebSocketChannel() override;

    QUrl requestUrl() const override { return m_requestUrl; }
    bool isConnected() const override { return m_connected; }
    void sendText(const QByteArray &utf8) override;
    void close(int code, const QString &reason) override;
    void abort() override;
    void setSubscribed(bool subscribed) override;

    quint64 id() const { return m_id; }
    // From the listener when the session has ended.
    void markDisconnected();

private:
    std::weak_ptr<WebSocketSession> m_session;
    QUrl m_requestUrl;
    QPointer<HttpListener> m_listener;
    quint64 m_id = 0;
    bool m_connected = true;
};
