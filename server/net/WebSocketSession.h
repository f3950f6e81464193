#pragma once

#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>

#include <QByteArray>

#include <deque>
#include <memory>

class HttpListener;

// One realtime socket on the I/O thread: completes the upgrade, reads frames and reports them
// to the listener, and writes queued frames in order. Its public calls are thread-safe.
class WebSocketSession : public std::enable_shared_from_this<WebSocketSession> {
public:
    WebSocketSession(boost::beast::tcp_stream stream, HttpListener &listener, bool counted);
    ~WebSocketSession();

    quint64 id() const { return m_id; }

    // Answers the upgrade request (400 for one without a valid key) and starts reading.
    void accept(boost::beast::http::request<boost::beast::http::string_body> request);
    void send(QByteArray utf8);
    // send() for callers on the I/O thread.
    void queue(const QByteArray &utf8);
    void close(int code, QByteArray reason);
    void abort();
    void setCounted(bool counted);

private:
    void read();
    void writeNext();
    void finish();

    // A plain socket below: the stream's own timer covers the handshake, and frames to
    // hundreds of sockets go without a timer each.
    boost::beast::websocket::stream<boost::asio::ip::tcp::socket> m_socket;
    boost::beast::flat_buffer m_buffer;
    HttpListener &m_listener;
    const quint64 m_id;
    QByteArray m_target;
    std::deque<QByteArray> m_queue;
    std::size_t m_queuedBytes = 0;
    bool m_writing = false;
    bool m_closing = false;
    bool m_closeSent = false;
    boost::beast::websocket::close_reason m_closeReason;
    bool m_open = false;
    bool m_finished = false;
    bool m_counted;
};
