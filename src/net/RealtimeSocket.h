#pragma once

#include <QByteArray>
#include <QCoro/QCoroTask>
#include <QList>
#include <QObject>
#include <QUrl>
#include <QWebSocket>

#include <coroutine>
#include <memory>
#include <optional>

// One WebSocket connection of the realtime channel with an inbox: frames that arrive while
// the reader is busy (waiting for a channel authorisation, say) wait here in order instead of
// being lost between two waits. Shared by the channel and its reading loop; whichever lets go
// last deletes it, later, from the event loop.
class RealtimeSocket : public QObject {
    Q_OBJECT

public:
    static std::shared_ptr<RealtimeSocket> open(const QUrl &url);

    // The next frame's bytes (text frames as UTF-8); none once the connection has ended.
    QCoro::Task<std::optional<QByteArray>> nextFrame();
    // Sends one text frame; false when the connection is not open.
    bool send(const QByteArray &json);
    // Closes with 1001 (going away); a reader waiting for a frame gets none.
    void close();
    bool isClosed() const { return m_closed; }

private:
    // What nextFrame waits on: ready once a frame is in the inbox or the connection ended.
    // (QCoro's signal awaiter is not used: two emissions before it resumes would call it
    // after it is gone.)
    struct Arrival {
        RealtimeSocket *socket;
        bool await_ready() const { return !socket->m_inbox.isEmpty() || socket->m_closed; }
        void await_suspend(std::coroutine_handle<> reader) { socket->m_reader = reader; }
        void await_resume() const { }
    };

    RealtimeSocket() = default;
    void receive(const QByteArray &frame);
    void end();
    // Resumes a waiting reader from the event loop, never inside a socket signal.
    void wake();

    QWebSocket m_socket;
    QList<QByteArray> m_inbox;
    bool m_closed = false;
    std::coroutine_handle<> m_reader;
    bool m_wakePosted = false;
};
