#include "WebSocketChannel.h"

#include "HttpListener.h"
#include "WebSocketSession.h"

WebSocketChannel::WebSocketChannel(
    std::weak_ptr<WebSocketSession> session, QUrl requestUrl, HttpListener &listener)
    : m_session(std::move(session))
    , m_requestUrl(std::move(requestUrl))
    , m_listener(&listener)
{
    if (const auto socket = m_session.lock())
        m_id = socket->id();
}

WebSocketChannel::~WebSocketChannel()
{
    if (m_connected)
        abort();
    if (m_listener)
        m_listener->forgetChannel(m_id);
}

void WebSocketChannel::sendText(const QByteArray &utf8)
{
    if (m_listener)
        m_listener->queueFrame(m_session, utf8);
}

void WebSocketChannel::close(int code, const QString &reason)
{
    if (const auto socket = m_session.lock())
        socket->close(code, reason.toUtf8());
}

void WebSocketChannel::abort()
{
    if (const auto socket = m_session.lock())
        socket->abort();
}

void WebSocketChannel::setSubscribed(bool subscribed)
{
    if (const auto socket = m_session.lock())
        socket->setCounted(!subscribed);
}

void WebSocketChannel::markDisconnected()
{
    if (!m_connected)
        return;
    m_connected = false;
    emit disconnected();
}
