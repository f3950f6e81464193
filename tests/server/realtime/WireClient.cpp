#include "WireClient.h"

#include <QJsonDocument>
#include <QTest>

using namespace Qt::StringLiterals;

WireClient::WireClient()
{
    connect(&m_socket, &QWebSocket::textMessageReceived, this,
        [this](const QString &text) { m_frames.append(text); });
    connect(&m_socket, &QWebSocket::connected, this, [this] { m_opened = true; });
}

QUrl WireClient::channelUrl(const QUrl &base, const QString &appKey, const QString &query)
{
    QUrl url = base;
    url.setPath(u"/app/"_s + appKey);
    url.setQuery(query);
    return url;
}

bool WireClient::open(const QUrl &url)
{
    // A refused client may be closed again before the wait looks, so the handshake counts.
    m_opened = false;
    m_socket.open(url);
    return QTest::qWaitFor([this] { return m_opened; }, 5000);
}

QString WireClient::connectAndGreet(const QUrl &url)
{
    if (!open(url))
        return {};
    const auto greeting = next();
    if (!greeting || greeting->value(u"event"_s) != u"pusher:connection_established"_s)
        return {};
    return dataText(*greeting).value(u"socket_id"_s).toString();
}

void WireClient::send(const QJsonObject &frame)
{
    sendText(QString::fromUtf8(QJsonDocument(frame).toJson(QJsonDocument::Compact)));
}

void WireClient::sendText(const QString &text)
{
    m_socket.sendTextMessage(text);
}

void WireClient::sendBinary(const QByteArray &bytes)
{
    m_socket.sendBinaryMessage(bytes);
}

std::optional<QString> WireClient::nextText(std::chrono::milliseconds timeout)
{
    if (!QTest::qWaitFor([this] { return !m_frames.isEmpty(); }, int(timeout.count())))
        return std::nullopt;
    return m_frames.takeFirst();
}

std::optional<QJsonObject> WireClient::next(std::chrono::milliseconds timeout)
{
    const auto text = nextText(timeout);
    if (!text)
        return std::nullopt;
    return QJsonDocument::fromJson(text->toUtf8()).object();
}

bool WireClient::waitClosed(std::chrono::milliseconds timeout)
{
    return QTest::qWaitFor([this] { return m_socket.state() == QAbstractSocket::UnconnectedState; },
        int(timeout.count()));
}

QJsonObject dataText(const QJsonObject &frame)
{
    const QJsonValue data = frame.value(u"data"_s);
    if (!data.isString())
        return {};
    return QJsonDocument::fromJson(data.toString().toUtf8()).object();
}
