#include "WebSocketSession.h"

#include "HttpListener.h"

#include <boost/asio/post.hpp>

#include <atomic>

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;

namespace {

quint64 nextId()
{
    static std::atomic<quint64> last { 0 };
    return ++last;
}

} // namespace

WebSocketSession::WebSocketSession(beast::tcp_stream stream, HttpListener &listener, bool counted)
    : m_socket(stream.release_socket())
    , m_listener(listener)
    , m_id(nextId())
    , m_counted(counted)
{
}

WebSocketSession::~WebSocketSession()
{
    if (m_counted)
        m_listener.uncountConnection();
}

void WebSocketSession::accept(beast::http::request<beast::http::string_body> request)
{
    auto timeouts = websocket::stream_base::timeout::suggested(beast::role_type::server);
    timeouts.handshake_timeout = m_listener.limits().requestTimeout;
    m_socket.set_option(timeouts);
    m_socket.read_message_max(m_listener.limits().maxWebSocketMessage);
    m_target = QByteArray(request.target().data(), qsizetype(request.target().size()));
    // An upgrade without a valid key gets Beast's 400 and the connection ends here.
    m_socket.async_accept(request, [self = shared_from_this()](beast::error_code error) {
        if (error)
            return;
        self->m_open = true;
        self->m_listener.webSocketOpened(self, self->m_target);
        self->read();
    });
}

void WebSocketSession::read()
{
    m_socket.async_read(
        m_buffer, [self = shared_from_this()](beast::error_code error, std::size_t) {
            if (error) {
                self->finish();
                return;
            }
            if (self->m_socket.got_text()) {
                const auto data = self->m_buffer.cdata();
                self->m_listener.webSocketText(self->m_id,
                    QByteArray(static_cast<const char *>(data.data()), qsizetype(data.size())));
            } else {
                self->m_listener.webSocketBinary(self->m_id);
            }
            self->m_buffer.consume(self->m_buffer.size());
            self->read();
        });
}

void WebSocketSession::send(QByteArray utf8)
{
    asio::post(m_socket.get_executor(),
        [self = shared_from_this(), utf8 = std::move(utf8)] { self->queue(utf8); });
}

void WebSocketSession::queue(const QByteArray &utf8)
{
    if (!m_open || m_closing)
        return;
    m_queuedBytes += std::size_t(utf8.size());
    m_queue.push_back(utf8);
    // A client that stops reading must not make the server hold its events forever.
    if (m_queuedBytes > m_listener.limits().maxWebSocketBacklog) {
        abort();
        return;
    }
    if (!m_writing)
        writeNext();
}

void WebSocketSession::writeNext()
{
    if (m_queue.empty()) {
        m_writing = false;
        // The closing handshake goes after the frames queued before it.
        if (m_closing && !m_closeSent) {
            m_closeSent = true;
            m_socket.async_close(m_closeReason, [self = shared_from_this()](beast::error_code) {});
        }
        return;
    }
    m_writing = true;
    m_socket.text(true);
    const QByteArray &frame = m_queue.front();
    m_socket.async_write(asio::buffer(frame.constData(), std::size_t(frame.size())),
        [self = shared_from_this()](beast::error_code error, std::size_t) {
            self->m_queuedBytes -= std::size_t(self->m_queue.front().size());
            self->m_queue.pop_front();
            if (error) {
                self->m_writing = false;
                self->abort();
                return;
            }
            self->writeNext();
        });
}

void WebSocketSession::close(int code, QByteArray reason)
{
    asio::post(m_socket.get_executor(), [self = shared_from_this(), code, reason] {
        if (!self->m_open || self->m_closing)
            return;
        self->m_closing = true;
        self->m_closeReason
            = websocket::close_reason(websocket::close_code(code), reason.toStdString());
        if (!self->m_writing)
            self->writeNext();
    });
}

void WebSocketSession::abort()
{
    asio::post(m_socket.get_executor(), [self = shared_from_this()] {
        beast::error_code ignored;
        beast::get_lowest_layer(self->m_socket).close(ignored);
    });
}

void WebSocketSession::setCounted(bool counted)
{
    asio::post(m_socket.get_executor(), [self = shared_from_this(), counted] {
        if (counted == self->m_counted)
            return;
        if (counted && !self->m_listener.countConnection())
            return; // at the limit already: it stays uncounted rather than being dropped
        if (!counted)
            self->m_listener.uncountConnection();
        self->m_counted = counted;
    });
}

void WebSocketSession::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    m_open = false;
    m_listener.webSocketClosed(m_id);
}
