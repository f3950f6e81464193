#include "RealtimeConnection.h"

#include "ChannelAuth.h"
#include "PusherFrame.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QUrlQuery>

#include <algorithm>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

// The protocol this service speaks.
constexpr int protocolVersion = 7;

} // namespace

RealtimeConnection::RealtimeConnection(std::unique_ptr<RealtimeSocket> socket, QString socketId,
    const RealtimeConfig &config, QObject *parent)
    : QObject(parent)
    , m_socket(std::move(socket))
    , m_socketId(std::move(socketId))
    , m_config(config)
{
    m_socket->setParent(nullptr);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &RealtimeConnection::onTimer);
    connect(m_socket.get(), &RealtimeSocket::textReceived, this, &RealtimeConnection::onText);
    connect(m_socket.get(), &RealtimeSocket::binaryReceived, this, &RealtimeConnection::onBinary);
    connect(
        m_socket.get(), &RealtimeSocket::disconnected, this, &RealtimeConnection::onDisconnected);
}

RealtimeConnection::~RealtimeConnection()
{
    // Nothing may call back into a half-destroyed connection.
    m_socket->disconnect(this);
}

void RealtimeConnection::start()
{
    if (m_phase != Phase::New)
        return;
    if (!m_socket->isConnected()) {
        onDisconnected();
        return;
    }
    if (const auto reason = refusal()) {
        closeWith(reason->first, reason->second);
        return;
    }
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(m_config.activityTimeout);
    send(PusherFrame::connectionEstablished(m_socketId, std::max(1, int(seconds.count()))));
    noteActivity();
}

std::optional<std::pair<int, QString>> RealtimeConnection::refusal() const
{
    const QUrl url = m_socket->requestUrl();
    const QString prefix = u"/app/"_s;
    const QString path = url.path();
    if (!path.startsWith(prefix))
        return std::pair { int(PusherFrame::PathNotFound),
            u"Connect to /app/ followed by the app key."_s };
    if (path.mid(prefix.size()) != m_config.appKey)
        return std::pair { int(PusherFrame::UnknownAppKey), u"No application has this key."_s };
    const QUrlQuery query(url);
    if (!query.hasQueryItem(u"protocol"_s))
        return std::pair { int(PusherFrame::NoProtocol), u"No protocol version was given."_s };
    bool number = false;
    const int version = query.queryItemValue(u"protocol"_s).toInt(&number);
    if (!number || version != protocolVersion)
        return std::pair { int(PusherFrame::UnsupportedProtocol),
            u"Only protocol version 7 is supported."_s };
    return std::nullopt;
}

void RealtimeConnection::send(const QString &frame)
{
    send(frame.toUtf8());
}

void RealtimeConnection::send(const QByteArray &utf8)
{
    if (m_phase != Phase::Finished)
        m_socket->sendText(utf8);
}

void RealtimeConnection::noteActivity()
{
    if (!isOpen() && m_phase != Phase::New)
        return;
    m_phase = Phase::Watching;
    m_timer.start(m_config.activityTimeout);
}

void RealtimeConnection::onTimer()
{
    switch (m_phase) {
    case Phase::Watching:
        send(PusherFrame::ping());
        m_phase = Phase::AwaitingPong;
        m_timer.start(m_config.pongTimeout);
        break;
    case Phase::AwaitingPong:
        closeWith(PusherFrame::PongNotReceived, u"No reply to the server's ping."_s);
        break;
    case Phase::Closing:
        // The client never finished the closing handshake.
        m_socket->abort();
        break;
    case Phase::New:
    case Phase::Finished:
        break;
    }
}

void RealtimeConnection::onText(const QString &message)
{
    if (!isOpen())
        return;
    noteActivity();
    if (message.size() > m_config.maxFrameBytes
        || message.toUtf8().size() > m_config.maxFrameBytes) {
        badFrame(u"Frames may be at most %1 bytes long."_s.arg(m_config.maxFrameBytes));
        return;
    }
    const QJsonDocument document = QJsonDocument::fromJson(message.toUtf8());
    if (!document.isObject()) {
        badFrame(u"Every frame must be a JSON object."_s);
        return;
    }
    const QJsonObject frame = document.object();
    const QJsonValue event = frame.value(u"event"_s);
    if (!event.isString()) {
        badFrame(u"Every frame must name its event."_s);
        return;
    }
    const QString name = event.toString();
    const QJsonObject data = PusherFrame::payload(frame.value(u"data"_s));
    if (name == u"pusher:ping"_s)
        send(PusherFrame::pong());
    else if (name == u"pusher:subscribe"_s)
        subscribe(data);
    else if (name == u"pusher:unsubscribe"_s)
        unsubscribe(data);
    else if (name.startsWith(u"client-"_s))
        send(PusherFrame::error(std::nullopt, u"Client events are not accepted."_s));
    // Anything else, pusher:pong included, only counts as a sign of life.
}

void RealtimeConnection::onBinary()
{
    if (!isOpen())
        return;
    noteActivity();
    badFrame(u"Binary frames are not supported."_s);
}

void RealtimeConnection::subscribe(const QJsonObject &data)
{
    const QString channel = data.value(u"channel"_s).toString();
    const auto room = PusherFrame::roomOfChannel(channel);
    if (!room) {
        refuseSubscription(channel, u"Only private room channels can be subscribed to."_s);
        return;
    }
    const QString expected
        = ChannelAuth::authValue(m_config.appKey, m_config.appSecret, m_socketId, channel);
    if (!ChannelAuth::sameText(expected, data.value(u"auth"_s).toString())) {
        refuseSubscription(channel, u"The channel's signature is not valid for this connection."_s);
        return;
    }
    if (!m_rooms.contains(*room)) {
        m_rooms.insert(*room);
        if (m_rooms.size() == 1)
            m_socket->setSubscribed(true);
        Q_EMIT subscribed(*room);
    }
    send(PusherFrame::subscriptionSucceeded(channel));
}

void RealtimeConnection::unsubscribe(const QJsonObject &data)
{
    if (const auto room = PusherFrame::roomOfChannel(data.value(u"channel"_s).toString()))
        endSubscription(*room);
}

void RealtimeConnection::endSubscription(qint64 roomId)
{
    if (!m_rooms.remove(roomId))
        return;
    if (m_rooms.isEmpty())
        m_socket->setSubscribed(false);
    Q_EMIT unsubscribed(roomId);
}

void RealtimeConnection::refuseSubscription(const QString &channel, const QString &message)
{
    // Standard libraries watch the channel's subscription_error; the Tosswick client watches
    // pusher:error and reconnects with a fresh authorisation.
    send(PusherFrame::subscriptionError(channel, message));
    send(PusherFrame::error(int(PusherFrame::Unauthorized), message));
}

void RealtimeConnection::badFrame(const QString &message)
{
    if (++m_badFrames >= m_config.badFrameLimit)
        closeWith(PusherFrame::TooManyBadFrames, message);
    else
        send(PusherFrame::error(std::nullopt, message));
}

void RealtimeConnection::closeWith(int code, const QString &message)
{
    send(PusherFrame::error(code, message));
    const auto rooms = std::exchange(m_rooms, {});
    for (const qint64 room : rooms)
        Q_EMIT unsubscribed(room);
    m_phase = Phase::Closing;
    m_socket->close(code, message);
    m_timer.start(m_config.closeGrace);
}

void RealtimeConnection::onDisconnected()
{
    if (m_phase == Phase::Finished)
        return;
    m_phase = Phase::Finished;
    m_timer.stop();
    const auto rooms = std::exchange(m_rooms, {});
    for (const qint64 room : rooms)
        Q_EMIT unsubscribed(room);
    Q_EMIT finished();
    deleteLater();
}
