#include "HttpListener.h"

#include "HttpSession.h"
#include "WebSocketChannel.h"
#include "WebSocketSession.h"
#include "realtime/RealtimeSocket.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>

#include <QCoreApplication>

namespace asio = boost::asio;
using tcp = asio::ip::tcp;
using namespace Qt::StringLiterals;

struct HttpListener::Io {
    asio::io_context context { 1 };
    tcp::acceptor acceptor { context };
};

HttpListener::HttpListener(TransportLimits limits, RequestHandler handler, QObject *parent)
    : QObject(parent)
    , m_limits(limits)
    , m_handler(std::move(handler))
    , m_io(std::make_unique<Io>())
{
}

HttpListener::~HttpListener()
{
    m_io->context.stop();
    if (m_thread.joinable())
        m_thread.join();
    // Requests still queued for the main thread hold sessions whose sockets belong to the
    // I/O context: they must go before it does.
    QCoreApplication::removePostedEvents(this);
}

void HttpListener::setWebSocketHandler(WebSocketHandler handler)
{
    m_webSocketHandler = std::move(handler);
    m_upgrades = bool(m_webSocketHandler);
}

bool HttpListener::listen(const QHostAddress &address, quint16 port)
{
    boost::system::error_code error;
    const auto ip = asio::ip::make_address(address.toString().toStdString(), error);
    const tcp::endpoint endpoint(ip, port);
    tcp::acceptor &acceptor = m_io->acceptor;
    if (!error)
        acceptor.open(endpoint.protocol(), error);
    if (!error)
        acceptor.set_option(asio::socket_base::reuse_address(true), error);
    if (!error)
        acceptor.bind(endpoint, error);
    if (!error)
        acceptor.listen(m_limits.listenBacklog, error);
    if (error) {
        m_error = QString::fromStdString(error.message());
        return false;
    }
    m_port = acceptor.local_endpoint().port();
    accept();
    m_thread = std::thread([this] { m_io->context.run(); });
    return true;
}

void HttpListener::accept()
{
    m_io->acceptor.async_accept(
        m_io->context, [this](boost::system::error_code error, tcp::socket socket) {
            if (error == asio::error::operation_aborted || !m_io->acceptor.is_open())
                return;
            if (!error) {
                if (countConnection())
                    std::make_shared<HttpSession>(std::move(socket), *this)->start();
                else
                    socket.close(error); // over the limit: refused, not queued
            }
            accept();
        });
}

void HttpListener::stopAccepting()
{
    m_stopping = true;
    asio::post(m_io->context, [this] {
        boost::system::error_code ignored;
        m_io->acceptor.close(ignored);
        const auto sessions = m_sessions;
        for (HttpSession *session : sessions)
            session->stop();
    });
}

bool HttpListener::countConnection()
{
    int counted = m_counted.load();
    do {
        if (counted >= m_limits.maxConnections)
            return false;
    } while (!m_counted.compare_exchange_weak(counted, counted + 1));
    return true;
}

void HttpListener::uncountConnection()
{
    --m_counted;
}

void HttpListener::handOver(HttpRequest request, std::shared_ptr<HttpSession> session)
{
    QMetaObject::invokeMethod(
        this,
        [this, request = std::move(request), session = std::move(session)] {
            session->reply(m_handler(request));
        },
        Qt::QueuedConnection);
}

void HttpListener::webSocketOpened(
    std::shared_ptr<WebSocketSession> session, const QByteArray &target)
{
    QMetaObject::invokeMethod(
        this,
        [this, weak = std::weak_ptr(session), id = session->id(), target] {
            auto channel = std::make_unique<WebSocketChannel>(
                weak, QUrl::fromEncoded(target, QUrl::TolerantMode), *this);
            m_channels.insert(id, channel.get());
            if (weak.expired())
                channel->markDisconnected();
            if (m_webSocketHandler)
                m_webSocketHandler(std::move(channel));
        },
        Qt::QueuedConnection);
}

void HttpListener::webSocketText(quint64 id, QByteArray utf8)
{
    QMetaObject::invokeMethod(
        this,
        [this, id, utf8 = std::move(utf8)] {
            if (const auto channel = m_channels.value(id))
                emit channel->textReceived(QString::fromUtf8(utf8));
        },
        Qt::QueuedConnection);
}

void HttpListener::webSocketBinary(quint64 id)
{
    QMetaObject::invokeMethod(
        this,
        [this, id] {
            if (const auto channel = m_channels.value(id))
                emit channel->binaryReceived();
        },
        Qt::QueuedConnection);
}

void HttpListener::webSocketClosed(quint64 id)
{
    QMetaObject::invokeMethod(
        this,
        [this, id] {
            if (const auto channel = m_channels.value(id))
                channel->markDisconnected();
        },
        Qt::QueuedConnection);
}

void HttpListener::refused(QByteArray method, QByteArray target, int status)
{
    QMetaObject::invokeMethod(
        this,
        [this, method = std::move(method), target = std::move(target), status] {
            if (m_refusalHandler)
                m_refusalHandler(method, target, status);
        },
        Qt::QueuedConnection);
}

void HttpListener::queueFrame(std::weak_ptr<WebSocketSession> session, const QByteArray &utf8)
{
    const std::lock_guard lock(m_outboxLock);
    if (m_outbox.empty())
        asio::post(m_io->context, [this] { writeQueuedFrames(); });
    m_outbox.emplace_back(std::move(session), utf8);
}

void HttpListener::writeQueuedFrames()
{
    std::vector<std::pair<std::weak_ptr<WebSocketSession>, QByteArray>> frames;
    {
        const std::lock_guard lock(m_outboxLock);
        frames.swap(m_outbox);
    }
    for (const auto &[weak, utf8] : frames) {
        if (const auto session = weak.lock())
            session->queue(utf8);
    }
}

void HttpListener::track(HttpSession *session)
{
    m_sessions.insert(session);
    ++m_httpConnections;
}

void HttpListener::untrack(HttpSession *session)
{
    if (m_sessions.erase(session) > 0)
        --m_httpConnections;
}

void HttpListener::forgetChannel(quint64 id)
{
    m_channels.remove(id);
}
