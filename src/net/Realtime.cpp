#include "net/Realtime.h"

#include "net/API.h"
#include "net/RealtimeSocket.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QPointer>

using namespace Qt::StringLiterals;

namespace {

const auto connectionEstablished = u"pusher:connection_established"_s;
const auto subscriptionSucceeded = u"pusher_internal:subscription_succeeded"_s;
const auto pusherError = u"pusher:error"_s;
const auto pusherPing = u"pusher:ping"_s;
const auto pusherPong = u"pusher:pong"_s;
const auto pusherSubscribe = u"pusher:subscribe"_s;
// Texts of the ends of a connection (never shown).
const auto disconnectedText = u"Disconnected"_s;
const auto rejectedText = u"WebSocket subscription rejected"_s;

QByteArray frameBytes(const QString &event, const QJsonObject &data)
{
    return QJsonDocument(QJsonObject { { u"event"_s, event }, { u"data"_s, data } })
        .toJson(QJsonDocument::Compact);
}

// "data" may be an object or a text holding one; anything else reads as an empty object.
QJsonObject payload(const QJsonValue &data)
{
    if (data.isObject())
        return data.toObject();
    if (data.isString())
        return QJsonDocument::fromJson(data.toString().toUtf8()).object();
    return {};
}

// (Built outside the coroutines: GCC 12 cannot compile initializer lists inside them.)
QJsonObject authorisationBody(const QJsonValue &socketID, qint64 room)
{
    return { { u"socket_id"_s, socketID }, { u"channel_name"_s, Realtime::channelName(room) } };
}

QByteArray subscribeFrame(const QJsonValue &auth, qint64 room)
{
    return frameBytes(
        pusherSubscribe, { { u"auth"_s, auth }, { u"channel"_s, Realtime::channelName(room) } });
}

} // namespace

Realtime::Reading Realtime::readFrame(const QByteArray &bytes)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError) {
        // QJsonDocument reads only objects and arrays; a lone number or text is JSON too,
        // and is skipped like any frame that is not an object.
        const QJsonDocument wrapped = QJsonDocument::fromJson('[' + bytes + ']', &error);
        return { error.error == QJsonParseError::NoError && wrapped.array().size() == 1,
            std::nullopt };
    }
    const QJsonValue event = document.object().value(u"event"_s);
    if (!document.isObject() || !event.isString())
        return { true, std::nullopt };
    return { true, Frame { event.toString(), payload(document.object().value(u"data"_s)) } };
}

std::optional<QUrl> Realtime::serviceUrl(const QString &base, const QString &key)
{
    // The scheme exactly as written: QUrl would accept "WSS" by lower-casing it.
    const QString scheme = base.section(u':', 0, 0);
    if (!base.contains(u':') || (scheme != u"ws"_s && scheme != u"wss"_s))
        return std::nullopt;
    QUrl url(base, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        return std::nullopt;
    url.setPath(u"/app/"_s + key);
    url.setQuery(u"protocol=7&client=toss-wick&version=1.0&flash=false"_s);
    url.setFragment(QString());
    if (!url.isValid())
        return std::nullopt;
    return url;
}

QString Realtime::channelName(qint64 room)
{
    return u"private-room."_s + QString::number(room);
}

Realtime::Realtime(QObject *parent)
    : QObject(parent)
{
}

Realtime::~Realtime()
{
    close();
}

void Realtime::connectTo(
    const QString &url, const QString &key, qint64 room, std::shared_ptr<const API> api)
{
    close();
    m_generation = QUuid::createUuid();
    const auto address = serviceUrl(url, key);
    if (!address) {
        call(m_onDisconnect);
        return;
    }
    m_task = RealtimeSocket::open(*address);
    read(m_generation, m_task, room, std::move(api));
}

void Realtime::close()
{
    m_generation = QUuid::createUuid();
    if (m_task) {
        m_task->close();
        m_task.reset();
    }
    m_socketID.reset();
    m_subscribed = false;
    m_seen.clear();
    m_order.clear();
}

std::optional<NetworkError> Realtime::ping()
{
    if (!m_task || !m_task->send(frameBytes(pusherPing, {})))
        return NetworkError { 0, disconnectedText };
    return std::nullopt;
}

QCoro::Task<> Realtime::read(QUuid generation, std::shared_ptr<RealtimeSocket> socket, qint64 room,
    std::shared_ptr<const API> api)
{
    QPointer self(this);
    while (true) {
        const auto bytes = co_await socket->nextFrame();
        if (!self || self->m_generation != generation)
            co_return;
        if (!bytes) {
            self->lose(generation);
            co_return;
        }
        const Reading reading = readFrame(*bytes);
        if (!reading.isJson) {
            self->lose(generation);
            co_return;
        }
        if (!reading.frame)
            continue;
        const auto error = co_await self->handle(*reading.frame, generation, *socket, room, api);
        if (!self)
            co_return;
        if (error) {
            self->lose(generation);
            co_return;
        }
    }
}

QCoro::Task<std::optional<QString>> Realtime::handle(const Frame &frame, QUuid generation,
    RealtimeSocket &socket, qint64 room, std::shared_ptr<const API> api)
{
    const QJsonValue socketID = frame.data.value(u"socket_id"_s);
    if (frame.event == connectionEstablished && socketID.isString()) {
        m_socketID = socketID.toString();
        QPointer self(this);
        const auto reply = co_await api->data(
            u"broadcasting/auth"_s, u"POST"_s, authorisationBody(socketID, room));
        // Replaced or closed meanwhile: the loop ends at its next check, without sending.
        if (!self || self->m_generation != generation || socket.isClosed())
            co_return std::nullopt;
        if (!reply)
            co_return reply.error().message;
        QJsonParseError parseError;
        const QJsonDocument document = QJsonDocument::fromJson(*reply, &parseError);
        if (parseError.error != QJsonParseError::NoError)
            co_return parseError.errorString();
        const QJsonValue auth = document.isObject() && document.object().contains(u"auth"_s)
            ? document.object().value(u"auth"_s)
            : QJsonValue(QString());
        if (!socket.send(subscribeFrame(auth, room)))
            co_return disconnectedText;
    } else if (frame.event == subscriptionSucceeded) {
        m_subscribed = true;
        m_lastPong = Clock::now();
        call(m_onSubscribed);
    } else if (frame.event == pusherPing) {
        if (!socket.send(frameBytes(pusherPong, {})))
            co_return disconnectedText;
    } else if (frame.event == pusherPong) {
        m_lastPong = Clock::now();
    } else if (frame.event == pusherError) {
        co_return rejectedText;
    } else {
        const QJsonValue eventID = frame.data.value(u"event_id"_s);
        if (eventID.isString() && remember(eventID.toString()))
            call(m_onChange);
    }
    co_return std::nullopt;
}

bool Realtime::remember(const QString &eventID)
{
    if (m_seen.contains(eventID))
        return false;
    if (m_order.size() >= rememberedEvents)
        m_seen.remove(m_order.takeFirst());
    m_seen.insert(eventID);
    m_order.append(eventID);
    return true;
}

void Realtime::lose(QUuid generation)
{
    if (generation != m_generation)
        return;
    m_subscribed = false;
    call(m_onDisconnect);
}

void Realtime::call(const std::function<void()> &callback)
{
    // A copy: the callback may replace itself or close this channel.
    if (const auto copy = callback)
        copy();
}
