// Rooms and invitations: the room list, the current room, joining and leaving, join links and
// the switch of server connection settings.

#include "model/AppModel.h"

#include "model/UrlParts.h"
#include "net/API.h"
#include "wire/ConnectionInfo.h"
#include "net/Keychain.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QJsonObject>
#include <QPointer>

using namespace Qt::StringLiterals;

namespace {

bool hasServerScheme(const QString &text, const QStringList &schemes)
{
    const auto parts = UrlParts::split(text);
    return parts && schemes.contains(parts->scheme) && !parts->host.isEmpty();
}

QJsonObject textBody(const QString &key, const QString &value)
{
    QJsonObject body;
    body.insert(key, value);
    return body;
}

} // namespace

QCoro::Task<std::optional<NetworkError>> AppModel::loadRooms()
{
    QPointer self(this);
    const auto api = m_api;
    const auto rooms = co_await api->get<QList<Room>>(u"rooms"_s);
    // A list of another server's rooms is of no use once the settings changed.
    if (!self || self->m_api != api)
        co_return std::nullopt;
    if (!rooms)
        co_return rooms.error();
    setRooms(*rooms);

    const auto connection = co_await api->get<ConnectionInfo>(u"connection"_s);
    if (!self || self->m_api != api)
        co_return std::nullopt;
    setInviteBase(connection ? connection->inviteBase : std::nullopt);
    co_return std::nullopt;
}

QCoro::Task<> AppModel::activate(qint64 roomID)
{
    cancelSuccessTask();
    m_gameplayDismissed = false;

    QPointer self(this);
    const auto api = m_api;
    const auto reply
        = co_await api->data(roomPath(roomID, u"/activate"_s), u"POST"_s, QJsonObject());
    if (!self || self->m_api != api)
        co_return;
    if (!reply) {
        setMessage(reply.error().description());
        co_return;
    }

    stopNetwork();
    setRoomID(roomID);
    setSnapshot(std::nullopt);
    m_lastSnapshotTime = QDateTime();
    if (m_selectedReceiver != 0) {
        m_selectedReceiver = 0;
        Q_EMIT selectedReceiverChanged();
        Q_EMIT sendButtonTitleChanged();
    }
    refreshOverlay();
    connectChannel();
}

QCoro::Task<> AppModel::saveConnection()
{
    if (!hasServerScheme(m_server, { u"http"_s, u"https"_s })
        || !hasServerScheme(m_websocket, { u"ws"_s, u"wss"_s }) || m_appKey.isEmpty()) {
        setMessage(u"Enter valid HTTP(S), WS(S) URLs and app key"_s);
        co_return;
    }

    stopNetwork();
    setUser(std::nullopt);
    setSnapshot(std::nullopt);
    setRoomID(std::nullopt);
    setRooms({});

    setServer(UrlParts::trimSlashes(m_server));
    replaceApi();
    m_preferences.setConnection(m_server, m_websocket, m_appKey);
    setMessage(u"Connection saved"_s);
    co_await restore();
}

void AppModel::handleInvitation(const QString &link)
{
    if (const auto invitation = RoomInvitation::parse(link))
        setPendingInvitation(invitation);
    else
        setMessage(u"Invalid room invitation"_s);
}

QCoro::Task<> AppModel::acceptInvitation()
{
    if (m_working || !m_pendingInvitation)
        co_return;
    const RoomInvitation invitation = *m_pendingInvitation;
    QPointer self(this);

    if (invitation.api != m_api->base() || invitation.websocket != m_websocket
        || invitation.key != m_appKey) {
        setServer(invitation.api);
        setWebsocket(invitation.websocket);
        setAppKey(invitation.key);
        co_await saveConnection();
        if (!self || !self->m_user)
            co_return;
    }

    co_await joinRoom(invitation.room);
    if (!self)
        co_return;
    if (std::any_of(m_rooms.cbegin(), m_rooms.cend(),
            [&](const Room &room) { return room.inviteCode == invitation.room; }))
        setPendingInvitation(std::nullopt);
}

QCoro::Task<> AppModel::joinRoom(QString code)
{
    if (const auto parts = UrlParts::split(code); parts && parts->scheme == u"tosswick"_s) {
        handleInvitation(code);
        co_return;
    }
    co_await enterRoom(u"rooms/join"_s, textBody(u"code"_s, code));
}

QCoro::Task<> AppModel::createRoom(QString name)
{
    co_await enterRoom(u"rooms"_s, textBody(u"name"_s, name));
}

QCoro::Task<> AppModel::enterRoom(QString path, QJsonObject body)
{
    QPointer self(this);
    const auto api = m_api;
    const auto reply = co_await api->data(path, u"POST"_s, body);
    if (!self || self->m_api != api)
        co_return;
    const auto room = reply ? API::readReply<Room>(*reply) : reply.error();
    if (!room) {
        setMessage(room.error().description());
        co_return;
    }
    const auto roomsError = co_await loadRooms();
    if (!self || self->m_api != api)
        co_return;
    if (roomsError) {
        setMessage(roomsError->description());
        co_return;
    }
    co_await activate(room->id);
}

QCoro::Task<> AppModel::leave(bool deleteRoom)
{
    if (!m_roomID)
        co_return;
    const qint64 room = *m_roomID;
    QPointer self(this);
    const auto api = m_api;
    // (One co_await, not one in each branch of a conditional: GCC 12 mishandles those.)
    const auto reply = co_await api->data(roomPath(room, deleteRoom ? QString() : u"/leave"_s),
        deleteRoom ? u"DELETE"_s : u"POST"_s, QJsonObject());
    if (!self || self->m_api != api)
        co_return;
    if (!reply) {
        setMessage(reply.error().description());
        co_return;
    }
    // Another room may have become current meanwhile; it stays.
    if (m_roomID == room) {
        stopNetwork();
        setRoomID(std::nullopt);
        setSnapshot(std::nullopt);
    }
    const auto roomsError = co_await loadRooms();
    if (self && roomsError)
        setMessage(roomsError->description());
}

void AppModel::copyInvitation()
{
    if (!m_snapshot || !m_inviteBase) {
        setMessage(u"Public invitation address is not configured"_s);
        return;
    }
    QGuiApplication::clipboard()->setText(*m_inviteBase + u'#' + m_snapshot->room.inviteCode);
    setMessage(u"Invitation link copied · send it privately to your friend"_s);
}
