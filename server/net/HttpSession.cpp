#include "HttpSession.h"

#include "HttpListener.h"
#include "WebSocketSession.h"

#include <boost/asio/post.hpp>
#include <boost/beast/websocket/rfc6455.hpp>

#include <QUrl>

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

namespace {

HttpRequest::Method methodOf(http::verb verb)
{
    switch (verb) {
    case http::verb::get:
        return HttpRequest::Method::Get;
    case http::verb::post:
        return HttpRequest::Method::Post;
    case http::verb::put:
        return HttpRequest::Method::Put;
    case http::verb::delete_:
        return HttpRequest::Method::Delete;
    default:
        return HttpRequest::Method::Other;
    }
}

QByteArray bytes(beast::string_view text)
{
    return QByteArray(text.data(), qsizetype(text.size()));
}

// Framing that a proxy in front could read differently from us: one Content-Length given
// once, or Transfer-Encoding exactly "chunked". Beast itself refuses the rest (conflicting
// lengths, both headers, bad numbers and chunk sizes).
bool hasAmbiguousFraming(const http::request_parser<http::string_body>::value_type &header)
{
    const auto lengths = header.equal_range(http::field::content_length);
    if (lengths.first != lengths.second) {
        if (std::next(lengths.first) != lengths.second
            || lengths.first->value().find(',') != beast::string_view::npos)
            return true;
    }
    const auto encodings = header.equal_range(http::field::transfer_encoding);
    if (encodings.first == encodings.second)
        return false;
    if (std::next(encodings.first) != encodings.second)
        return true;
    return !beast::iequals(bytes(encodings.first->value()).trimmed().toStdString(), "chunked");
}

int statusOf(beast::error_code error)
{
    if (error == http::error::header_limit)
        return 431;
    if (error == http::error::body_limit)
        return 413;
    return 400;
}

const char *messageOf(int status)
{
    switch (status) {
    case 408:
        return "The request took too long to arrive.";
    case 413:
        return "The request is too large.";
    case 431:
        return "The request's headers are too large.";
    default:
        return "The request is not valid HTTP.";
    }
}

} // namespace

HttpSession::HttpSession(tcp::socket socket, HttpListener &listener)
    : m_stream(std::move(socket))
    , m_requestClock(m_stream.get_executor())
    , m_listener(listener)
{
    beast::error_code error;
    const auto endpoint = m_stream.socket().remote_endpoint(error);
    if (!error)
        m_peer = QHostAddress(QString::fromStdString(endpoint.address().to_string()));
    m_stream.socket().set_option(tcp::no_delay(true), error);
}

HttpSession::~HttpSession()
{
    m_listener.untrack(this);
    if (m_counted)
        m_listener.uncountConnection();
}

void HttpSession::stop()
{
    if (m_idle)
        close();
}

void HttpSession::start()
{
    m_listener.track(this);
    // The first request must arrive whole within the request timeout.
    startRequestClock();
    readHeader();
}

void HttpSession::awaitRequest()
{
    if (m_listener.isStopping()) {
        close();
        return;
    }
    if (m_buffer.size() > 0) { // the client sent its next request already
        startRequestClock();
        readHeader();
        return;
    }
    m_stream.expires_after(m_listener.limits().idleTimeout);
    m_idle = true;
    m_stream.async_read_some(m_buffer.prepare(4096),
        [self = shared_from_this()](beast::error_code error, std::size_t read) {
            self->m_idle = false;
            if (error) {
                self->close();
                return;
            }
            self->m_buffer.commit(read);
            self->m_stream.expires_never();
            self->startRequestClock();
            self->readHeader();
        });
}

void HttpSession::startRequestClock()
{
    m_timedOut = false;
    m_requestClock.expires_after(m_listener.limits().requestTimeout);
    m_requestClock.async_wait([weak = weak_from_this()](beast::error_code error) {
        const auto self = weak.lock();
        if (error || !self)
            return;
        self->m_timedOut = true;
        beast::error_code ignored;
        self->m_stream.socket().cancel(ignored);
    });
}

void HttpSession::readHeader()
{
    m_parser.emplace();
    m_parser->header_limit(std::uint32_t(m_listener.limits().headerBytes));
    m_parser->body_limit(m_listener.limits().bodyBytes);
    http::async_read_header(m_stream, m_buffer, *m_parser,
        [self = shared_from_this()](
            beast::error_code error, std::size_t) { self->onHeader(error); });
}

void HttpSession::onHeader(beast::error_code error)
{
    if (error) {
        refuseRead(error);
        return;
    }
    if (hasAmbiguousFraming(m_parser->get())) {
        refuse(400, "The request's length is not given in one clear way.");
        return;
    }
    http::async_read(m_stream, m_buffer, *m_parser,
        [self = shared_from_this()](
            beast::error_code error, std::size_t) { self->onRequest(error); });
}

void HttpSession::refuseRead(beast::error_code error)
{
    if (m_timedOut) {
        // Nothing to answer to a client that never started a request.
        if (m_parser && m_buffer.size() == 0 && !m_parser->got_some())
            close();
        else
            refuse(408, messageOf(408));
        return;
    }
    if (error == http::error::end_of_stream || error == asio::error::connection_reset
        || error == asio::error::eof || error == asio::error::operation_aborted) {
        close();
        return;
    }
    const int status = statusOf(error);
    refuse(status, messageOf(status));
}

void HttpSession::onRequest(beast::error_code error)
{
    if (error) {
        refuseRead(error);
        return;
    }
    m_requestClock.cancel();
    auto request = m_parser->release();
    m_version = request.version();
    m_keepAlive = request.keep_alive() && !m_listener.isStopping();
    if (beast::websocket::is_upgrade(request)) {
        if (!m_listener.isStopping() && m_listener.acceptsUpgrades()) {
            m_stream.expires_never();
            auto socket = std::make_shared<WebSocketSession>(
                std::move(m_stream), m_listener, std::exchange(m_counted, false));
            socket->accept(std::move(request));
            return;
        }
        m_keepAlive = false;
        send(HttpReply::error(404, QStringLiteral("Not found.")), false);
        return;
    }
    HttpRequest handed;
    handed.method = methodOf(request.method());
    handed.methodText = bytes(request.method_string());
    const QByteArray target = bytes(request.target());
    const qsizetype question = target.indexOf('?');
    handed.path = QUrl::fromPercentEncoding(question < 0 ? target : target.left(question));
    if (question >= 0)
        handed.query = target.mid(question + 1);
    handed.authorization = bytes(request[http::field::authorization]);
    handed.contentType = bytes(request[http::field::content_type]);
    // Every X-Forwarded-For line, in order: the proxy next to us appends its own last.
    const auto forwarded = request.equal_range("X-Forwarded-For");
    for (auto field = forwarded.first; field != forwarded.second; ++field)
        handed.forwardedFor += (handed.forwardedFor.isEmpty() ? "" : ", ") + bytes(field->value());
    handed.body = QByteArray::fromStdString(request.body());
    handed.peer = m_peer;
    // The route runs on the main thread; the connection waits for its reply.
    m_stream.expires_never();
    m_listener.handOver(std::move(handed), shared_from_this());
}

void HttpSession::reply(HttpReply reply)
{
    asio::post(m_stream.get_executor(), [self = shared_from_this(), reply = std::move(reply)] {
        self->send(reply, self->m_keepAlive);
    });
}

void HttpSession::send(const HttpReply &reply, bool keepAlive)
{
    auto response = std::make_shared<http::response<http::string_body>>(
        http::status(reply.status), m_version);
    response->keep_alive(keepAlive);
    for (const auto &[name, value] : reply.headers)
        response->set(name.toStdString(), value.toStdString());
    if (!reply.body.isEmpty()) {
        response->set(http::field::content_type, reply.contentType.toStdString());
        response->body() = reply.body.toStdString();
    }
    response->prepare_payload();
    // A client that does not read its reply is dropped like one that does not send.
    m_stream.expires_after(m_listener.limits().requestTimeout);
    http::async_write(m_stream, *response,
        [self = shared_from_this(), response, keepAlive](beast::error_code error, std::size_t) {
            if (error)
                self->close();
            else if (!keepAlive)
                self->drain();
            else
                self->awaitRequest();
        });
}

void HttpSession::refuse(int status, const char *message)
{
    m_requestClock.cancel();
    QByteArray method = "-";
    QByteArray target = "-";
    if (m_parser && m_parser->is_header_done()) {
        method = bytes(m_parser->get().method_string());
        // At most what the log keeps of it.
        target = bytes(m_parser->get().target()).left(1024);
    }
    m_listener.refused(std::move(method), std::move(target), status);
    m_keepAlive = false;
    m_drained = m_buffer.size();
    send(HttpReply::error(status, QString::fromLatin1(message)), false);
}

void HttpSession::drain()
{
    // Half-close, then read (and drop) what the client still sends for a moment, so it sees
    // the reply rather than a reset; never more than the drain limit in all.
    beast::error_code ignored;
    m_stream.socket().shutdown(tcp::socket::shutdown_send, ignored);
    if (m_drained >= m_listener.limits().drainBytes) {
        close();
        return;
    }
    m_stream.expires_after(std::chrono::seconds(2));
    m_buffer.clear();
    const std::size_t chunk
        = std::min<std::size_t>(64 * 1024, m_listener.limits().drainBytes - m_drained);
    m_stream.async_read_some(m_buffer.prepare(chunk),
        [self = shared_from_this()](beast::error_code error, std::size_t read) {
            self->m_drained += read;
            if (error)
                self->close();
            else
                self->drain();
        });
}

void HttpSession::close()
{
    beast::error_code ignored;
    m_stream.socket().close(ignored);
}
