#include "net/RealtimeSocket.h"

std::shared_ptr<RealtimeSocket> RealtimeSocket::open(const QUrl &url)
{
    std::shared_ptr<RealtimeSocket> socket(
        new RealtimeSocket, [](RealtimeSocket *s) { s->deleteLater(); });
    RealtimeSocket *self = socket.get();
    connect(&self->m_socket, &QWebSocket::textMessageReceived, self,
        [self](const QString &text) { self->receive(text.toUtf8()); });
    connect(&self->m_socket, &QWebSocket::binaryMessageReceived, self,
        [self](const QByteArray &bytes) { self->receive(bytes); });
    connect(&self->m_socket, &QWebSocket::disconnected, self, &RealtimeSocket::end);
    connect(&self->m_socket, qOverload<QAbstractSocket::SocketError>(&QWebSocket::error), self,
        &RealtimeSocket::end);
    self->m_socket.open(url);
    return socket;
}

QCoro::Task<std::optional<QByteArray>> RealtimeSocket::nextFrame()
{
    // The caller holds this object, so it stays alive while the wait is under way.
    co_await Arrival { this };
    if (m_inbox.isEmpty())
        co_return std::nullopt;
    co_return m_inbox.takeFirst();
}

bool RealtimeSocket::send(const QByteArray &json)
{
    if (m_closed || m_socket.state() != QAbstractSocket::ConnectedState)
        return false;
    return m_socket.sendTextMessage(QString::fromUtf8(json)) > 0;
}

void RealtimeSocket::close()
{
    end();
    m_socket.close(QWebSocketProtocol::CloseCodeGoingAway);
}

void RealtimeSocket::receive(const QByteArray &frame)
{
    if (m_closed)
        return;
    m_inbox.append(frame);
    wake();
}

void RealtimeSocket::end()
{
    if (m_closed)
        return;
    m_closed = true;
    wake();
}

void RealtimeSocket::wake()
{
    if (!m_reader || m_wakePosted)
        return;
    m_wakePosted = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_wakePosted = false;
            if (const auto reader = std::exchange(m_reader, {}))
                reader.resume();
        },
        Qt::QueuedConnection);
}
