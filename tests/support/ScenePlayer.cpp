#include "ScenePlayer.h"

#include "TestServer.h"
#include "model/Preferences.h"
#include "net/Keychain.h"

#include <QCoro/QCoroTask>
#include <QDBusConnection>

using namespace Qt::StringLiterals;

namespace {
constexpr int stepTimeoutMs = 20'000; // for the server and the other player
const auto online = u"ONLINE"_s; // the heartbeat's status, which lets the other pass the ball
} // namespace

ScenePlayer::ScenePlayer(const QString &serverBase, const QString &websocketBase,
    const QString &appKey, AppModel::Setup setup)
{
    QCoro::waitFor(Keychain::save(std::nullopt, serverBase));
    Preferences(preferencesPath()).setConnection(serverBase, websocketBase, appKey);
    setup.display = std::make_unique<SceneDisplay>();
    m_display = static_cast<SceneDisplay *>(setup.display.get());
    setup.preferencesPath = preferencesPath();
    setup.logindBus = QDBusConnection(u"none"_s);
    m_model = std::make_unique<AppModel>(std::move(setup));
}

bool ScenePlayer::waitForMemberStatus(qint64 player, const QString &status, int timeoutMs)
{
    const auto &snapshot = m_model->snapshot();
    const auto shown = [&](const Member &m) { return m.id == player && m.status == status; };
    return waitUntil(
        [&] { return snapshot && std::ranges::any_of(snapshot->members, shown); }, timeoutMs);
}

std::unique_ptr<ScenePlayer> ScenePlayer::at(
    const QString &host, quint16 port, AppModel::Setup setup)
{
    const QString address = host + u':' + QString::number(port);
    return std::make_unique<ScenePlayer>(u"http://"_s + address, u"ws://"_s + address,
        QString::fromLatin1(TestServer::appKey), std::move(setup));
}

std::pair<std::unique_ptr<ScenePlayer>, std::unique_ptr<ScenePlayer>> ScenePlayer::inOneRoom(
    quint16 port, QString &error, AppModel::Setup setupOfB)
{
    std::pair players { at(u"127.0.0.1"_s, port), at(u"localhost"_s, port, std::move(setupOfB)) };
    error = players.first->startRoom();
    if (error.isEmpty())
        error = players.second->join(*players.first);
    return players;
}

QString ScenePlayer::startRoom()
{
    if (!waitSignedIn())
        return u"not signed in: "_s + m_model->message();
    QCoro::waitFor(m_model->createRoom(u"Lobby"_s));
    return waitConnected() ? QString() : u"room not connected: "_s + m_model->message();
}

QString ScenePlayer::join(ScenePlayer &host)
{
    if (!host.m_model->snapshot() && !host.waitForMemberStatus(host.id(), online))
        return u"no room to join"_s;
    if (!waitSignedIn())
        return u"not signed in: "_s + m_model->message();
    QCoro::waitFor(m_model->joinRoom(host.m_model->snapshot()->room.inviteCode));
    if (m_model->roomID() != host.m_model->roomID() || !waitConnected())
        return u"not joined and connected: "_s + m_model->message();
    if (!host.waitForMemberStatus(id(), online) || !waitForMemberStatus(host.id(), online))
        return u"not online for each other"_s;
    return {};
}

QString ScenePlayer::passTo(ScenePlayer &receiver)
{
    m_model->setSelectedReceiver(receiver.id());
    // The cooldown after an earlier round may still run.
    if (!waitUntil([&] { return !m_model->sendBlockReason(receiver.id()); }, stepTimeoutMs))
        return u"not sendable: "_s + m_model->sendBlockReason(receiver.id()).value_or(QString());
    QCoro::waitFor(m_model->transfer(sendButtonEntry));
    const auto &state = receiver.model().snapshot();
    const SceneDisplay &shown = receiver.display();
    if (waitUntil(
            [&] {
                return shown.shownRound() && shown.ballParked() && state && state->round
                    && state->round->isActive();
            },
            stepTimeoutMs))
        return {};
    return u"round not taken: "_s + receiver.model().message();
}
