#pragma once

#include "TransportLimits.h"
#include "http/HttpReply.h"
#include "http/HttpRequest.h"

#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QPointer>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_set>
#include <vector>

class HttpSession;
class RealtimeSocket;
class WebSocketChannel;
class WebSocketSession;

// The server's HTTP and WebSocket transport (Boost.Beast). Sockets, parsing, limits and
// timeouts live on one I/O thread of its own; each complete request is handed to the main
// thread, where the handler (routes, rules, storage) answers it, and the reply goes back.
// Upgraded realtime sockets reach the main thread as RealtimeSocket objects.
class HttpListener : public QObject {
    Q_OBJECT

public:
    using RequestHandler = std::function<HttpReply(const HttpRequest &)>;
    // Takes over a new realtime socket.
    using WebSocketHandler = std::function<void(std::unique_ptr<RealtimeSocket>)>;

    HttpListener(TransportLimits limits, RequestHandler handler, QObject *parent = nullptr);
    ~HttpListener() override;

    // Without a handler upgrades are answered 404.
    void setWebSocketHandler(WebSocketHandler handler);
    // Told on the main thread of each request the transport refused itself (400, 408, 413,
    // 431), with the method and target when they were read.
    using RefusalHandler
        = std::function<void(const QByteArray &method, const QByteArray &target, int status)>;
    void setRefusalHandler(RefusalHandler handler) { m_refusalHandler = std::move(handler); }

    // Starts listening (port 0: a free one); false with errorText() on failure.
    bool listen(const QHostAddress &address, quint16 port);
    quint16 port() const { return m_port; }
    QString errorText() const { return m_error; }

    // Takes no more connections; open HTTP connections close after their current reply, idle
    // ones at once.
    void stopAccepting();
    // HTTP connections still open (realtime sockets aside).
    int openHttpConnections() const { return m_httpConnections.load(); }
    // HTTP connections and realtime sockets without a subscription, as counted for the limit.
    int countedConnections() const { return m_counted.load(); }

    // For the sessions, from the I/O thread.
    const TransportLimits &limits() const { return m_limits; }
    bool isStopping() const { return m_stopping.load(); }
    bool acceptsUpgrades() const { return m_upgrades.load(); }
    // False when the limit is reached; then the caller closes the connection.
    bool countConnection();
    void uncountConnection();
    void handOver(HttpRequest request, std::shared_ptr<HttpSession> session);
    void webSocketOpened(std::shared_ptr<WebSocketSession> session, const QByteArray &target);
    void webSocketText(quint64 id, QByteArray utf8);
    void webSocketBinary(quint64 id);
    void webSocketClosed(quint64 id);
    void refused(QByteArray method, QByteArray target, int status);
    void track(HttpSession *session);
    void untrack(HttpSession *session);

private:
    friend class WebSocketChannel;
    struct Io;

    void accept();
    void forgetChannel(quint64 id);
    // Frames for the sockets cross to the I/O thread through one outbox: a room's fan-out
    // needs a hand-over or a few, not one per socket, and writing starts at once.
    void queueFrame(std::weak_ptr<WebSocketSession> session, const QByteArray &utf8);
    void writeQueuedFrames();

    TransportLimits m_limits;
    RequestHandler m_handler;
    WebSocketHandler m_webSocketHandler;
    RefusalHandler m_refusalHandler;
    std::atomic<int> m_counted { 0 };
    std::atomic<int> m_httpConnections { 0 };
    // I/O thread only.
    std::unordered_set<HttpSession *> m_sessions;
    std::atomic<bool> m_stopping { false };
    std::atomic<bool> m_upgrades { false };
    quint16 m_port = 0;
    QString m_error;
    // Main thread only.
    QHash<quint64, QPointer<WebSocketChannel>> m_channels;
    std::mutex m_outboxLock;
    std::vector<std::pair<std::weak_ptr<WebSocketSession>, QByteArray>> m_outbox;
    // Last, so sessions still held by the I/O context go first.
    std::unique_ptr<Io> m_io;
    std::thread m_thread;
};
