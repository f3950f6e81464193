#include "model/AppModel.h"

#include "model/LogindWatcher.h"
#include "net/API.h"
#include "wire/AuthReply.h"
#include "net/Keychain.h"
#include "net/Realtime.h"

#include <QCoreApplication>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QPointer>

using namespace Qt::StringLiterals;

namespace {

// One manager for every REST client of the process. It belongs to the application object, so
// requests still under way when a coordinator goes (in tests) do not outlive it.
QNetworkAccessManager &sharedNetwork()
{
    static QPointer<QNetworkAccessManager> network;
    if (!network)
        network = new QNetworkAccessManager(QCoreApplication::instance());
    return *network;
}

} // namespace

AppModel::AppModel(Setup setup, QObject *parent)
    : QObject(parent)
    , m_network(sharedNetwork())
    , m_preferences(setup.preferencesPath)
    , m_now(setup.now)
    , m_lastResult(m_preferences.lastBasketResult())
    , m_savedResults(
          SavedBasketResult::listFromJson(m_preferences.basketResults().value_or(QByteArray()))
              .value_or(QList<SavedBasketResult>()))
    , m_pomodoro(setup.now)
    , m_server(m_preferences.server())
    , m_websocket(m_preferences.websocket())
    , m_appKey(m_preferences.appKey())
    , m_api(std::make_shared<API>(m_network, m_server))
    , m_realtime(std::make_unique<Realtime>())
    , m_display(std::move(setup.display))
    , m_timing(std::move(setup.timing))
{
    if (m_pomodoro.restore(m_preferences.pomodoroState()))
        persistPomodoro();

    m_pomodoroTicker.setInterval(1000);
    QObject::connect(&m_pomodoroTicker, &QTimer::timeout, this, &AppModel::tickPomodoro);
    m_pomodoroTicker.start();

    QPointer self(this);
    m_realtime->setOnSubscribed([self] {
        if (!self)
            return;
        self->setConnected(true);
        self->setMessage(u"Connected"_s);
        self->startHeartbeat();
    });
    m_realtime->setOnChange([self] {
        if (self)
            self->later([model = self.data()] { model->sync(); });
    });
    m_realtime->setOnDisconnect([self] {
        if (self)
            self->lostConnection();
    });

    GameDisplay::SceneCallbacks scene;
    scene.onPracticeScore = [self] {
        if (self)
            self->finishSuccess(true, std::nullopt);
    };
    scene.onTransfer = [self](const Entry &entry) {
        if (self)
            self->later([model = self.data(), entry] { model->transfer(entry); });
    };
    scene.onShot = [self](const QString &shotID, const Entry &release) {
        if (self)
            self->registerShot(shotID, release);
    };
    scene.onScore
        = [self](const QString &shotID, const CrossingSample &before, const CrossingSample &after) {
              if (self)
                  self->later([model = self.data(), shotID, before, after] {
                      model->score(shotID, before, after);
                  });
          };
    m_display->setSceneCallbacks(std::move(scene));

    m_logind = std::make_unique<LogindWatcher>(setup.logindBus);
    QObject::connect(m_logind.get(), &LogindWatcher::goingAway, this, &AppModel::goingAway);
    QObject::connect(m_logind.get(), &LogindWatcher::comingBack, this, &AppModel::comingBack);

    // The stored session token is read by the first restore (the credential store answers
    // asynchronously), before anything uses it.
    later([this] { restore(); });
}

// Nothing to tear down: the program ends with the coordinator, and everything that could call
// back into it holds it weakly.
AppModel::~AppModel() = default;

QString AppModel::roomPath(qint64 room, const QString &rest)
{
    return u"rooms/"_s + QString::number(room) + rest;
}

void AppModel::later(std::function<void()> work)
{
    QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
}

// --- Observable state --------------------------------------------------------------------

void AppModel::setMessage(const QString &message)
{
    if (m_message == message)
        return;
    m_message = message;
    Q_EMIT messageChanged();
}

void AppModel::setPendingInvitation(const std::optional<RoomInvitation> &invitation)
{
    if (m_pendingInvitation == invitation)
        return;
    m_pendingInvitation = invitation;
    Q_EMIT pendingInvitationChanged();
}

void AppModel::setSelectedReceiver(qint64 receiver)
{
    if (m_selectedReceiver != receiver) {
        m_selectedReceiver = receiver;
        Q_EMIT selectedReceiverChanged();
        Q_EMIT sendButtonTitleChanged();
    }
    refreshOverlay();
}

void AppModel::setPaused(bool paused)
{
    if (m_paused != paused) {
        m_paused = paused;
        Q_EMIT pausedChanged();
    }
    refreshOverlay();
    later([this] { beat(); });
}

void AppModel::setHidden(bool hidden)
{
    if (m_hidden != hidden) {
        m_hidden = hidden;
        Q_EMIT hiddenChanged();
    }
    refreshOverlay();
    later([this] { beat(); });
}

void AppModel::setSound(bool sound)
{
    if (m_sound == sound)
        return;
    m_sound = sound;
    Q_EMIT soundChanged();
}

void AppModel::setScreenIndex(int index)
{
    if (m_screenIndex != index) {
        m_screenIndex = index;
        Q_EMIT screenIndexChanged();
    }
    m_display->moveToScreen(index);
    refreshOverlay();
}

void AppModel::setServer(const QString &server)
{
    if (m_server == server)
        return;
    m_server = server;
    Q_EMIT serverChanged();
}

void AppModel::setWebsocket(const QString &websocket)
{
    if (m_websocket == websocket)
        return;
    m_websocket = websocket;
    Q_EMIT websocketChanged();
}

void AppModel::setAppKey(const QString &appKey)
{
    if (m_appKey == appKey)
        return;
    m_appKey = appKey;
    Q_EMIT appKeyChanged();
}

void AppModel::setUser(const std::optional<Player> &user)
{
    if (m_user == user)
        return;
    m_user = user;
    Q_EMIT userChanged();
}

void AppModel::setRooms(const QList<Room> &rooms)
{
    if (m_rooms == rooms)
        return;
    m_rooms = rooms;
    Q_EMIT roomsChanged();
}

void AppModel::setSnapshot(const std::optional<Snapshot> &snapshot)
{
    if (m_snapshot == snapshot)
        return;
    m_snapshot = snapshot;
    Q_EMIT snapshotChanged();
    Q_EMIT sendButtonTitleChanged();
}

void AppModel::setConnected(bool connected)
{
    if (m_connected == connected)
        return;
    m_connected = connected;
    Q_EMIT connectedChanged();
}

void AppModel::setWorking(bool working)
{
    if (m_working == working)
        return;
    m_working = working;
    Q_EMIT workingChanged();
}

void AppModel::setInviteBase(const std::optional<QString> &inviteBase)
{
    if (m_inviteBase == inviteBase)
        return;
    m_inviteBase = inviteBase;
    Q_EMIT inviteBaseChanged();
}

void AppModel::setSending(bool sending)
{
    if (m_sending == sending)
        return;
    m_sending = sending;
    Q_EMIT sendingChanged();
    Q_EMIT sendButtonTitleChanged();
}

void AppModel::setRoomID(std::optional<qint64> roomID)
{
    if (m_roomID == roomID)
        return;
    m_roomID = roomID;
    Q_EMIT roomIDChanged();
}

void AppModel::setLastResult(const QString &text)
{
    if (m_lastResult == text)
        return;
    m_lastResult = text;
    Q_EMIT lastResultChanged();
}

void AppModel::setSavedResults(const QList<SavedBasketResult> &results)
{
    if (m_savedResults == results)
        return;
    m_savedResults = results;
    Q_EMIT savedResultsChanged();
}

std::optional<Entry> AppModel::latestRelease() const
{
    return m_display->latestRelease();
}

// --- Sleep and session switches ----------------------------------------------------------

void AppModel::goingAway()
{
    setPaused(true);
    stopNetwork();
}

void AppModel::comingBack()
{
    // The player stays paused after sleep until they resume themselves.
    connectChannel();
}

// --- Session and network -----------------------------------------------------------------

QCoro::Task<> AppModel::restore()
{
    if (m_working)
        co_return;
    setWorking(true);
    QPointer self(this);
    while (true) {
        const bool finished = co_await restoreSession(m_api);
        if (!self)
            co_return;
        if (finished)
            break;
    }
    setWorking(false);
}

QCoro::Task<bool> AppModel::restoreSession(std::shared_ptr<API> api)
{
    QPointer self(this);
    // Gone, or the settings changed meanwhile: what was asked of the old server no longer
    // applies.
    const auto replaced = [&] { return !self || self->m_api != api; };

    if (m_tokenPending) {
        const auto token = co_await Keychain::read(api->base());
        if (replaced())
            co_return !self;
        api->setToken(token);
        m_tokenPending = false;
    }

    if (api->token()) {
        const auto me = co_await api->get<Player>(u"me"_s);
        if (replaced())
            co_return !self;
        if (me) {
            setUser(*me);
        } else if (me.error().status == 401) {
            api->setToken(std::nullopt);
            co_await Keychain::save(std::nullopt, api->base());
            if (replaced())
                co_return !self;
        } else {
            setMessage(me.error().description());
            co_return true;
        }
    }

    if (!api->token()) {
        const auto reply = co_await api->data(u"guest"_s, u"POST"_s, QJsonObject());
        if (replaced())
            co_return !self;
        const auto session = reply ? API::readReply<AuthReply>(*reply) : reply.error();
        if (!session) {
            setMessage(session.error().description());
            co_return true;
        }
        const auto saveError = co_await Keychain::save(session->token, api->base());
        if (replaced())
            co_return !self;
        if (saveError) {
            setMessage(saveError->description());
            co_return true;
        }
        api->setToken(session->token);
        setUser(session->user);
    }

    const auto roomsError = co_await loadRooms();
    if (replaced())
        co_return !self;
    if (roomsError) {
        setMessage(roomsError->description());
        co_return true;
    }

    const auto activeRoom = m_user ? m_user->activeRoomId : std::nullopt;
    if (activeRoom && std::any_of(m_rooms.cbegin(), m_rooms.cend(), [&](const Room &room) {
            return room.id == *activeRoom;
        })) {
        co_await activate(*activeRoom);
        if (replaced())
            co_return !self;
    }
    if (m_rooms.isEmpty())
        setMessage(u"Create a room or enter a secret Room ID to join."_s);
    co_return true;
}

void AppModel::replaceApi()
{
    m_api = std::make_shared<API>(m_network, m_server);
    m_tokenPending = true;
}

void AppModel::connectChannel()
{
    if (m_user && m_roomID)
        m_realtime->connectTo(m_websocket, m_appKey, *m_roomID, m_api);
}

void AppModel::stopNetwork()
{
    ++m_networkEpoch;
    if (m_heartbeat) {
        m_heartbeat->cancel();
        m_heartbeat.reset();
    }
    if (m_retry) {
        m_retry->cancel();
        m_retry.reset();
    }
    m_realtime->close();
    setConnected(false);
    m_display->show(false);
}

void AppModel::expireSession()
{
    stopNetwork();
    const auto api = m_api;
    api->setToken(std::nullopt);
    m_tokenPending = false;
    setUser(std::nullopt);
    setRooms({});
    setSnapshot(std::nullopt);
    setRoomID(std::nullopt);
    setMessage(u"Restoring guest session…"_s);
    // The old token goes first, so that it cannot remove the new one the restore stores.
    later([this, api] {
        [](QPointer<AppModel> self, std::shared_ptr<API> api) -> QCoro::Task<> {
            co_await Keychain::save(std::nullopt, api->base());
            if (self)
                co_await self->restore();
        }(this, api);
    });
}

void AppModel::shutdown()
{
    stopNetwork();
    if (m_roomID)
        m_api->data(roomPath(*m_roomID, u"/disconnect"_s), u"POST"_s, QJsonObject());
}
