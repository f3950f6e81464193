#pragma once

#include "SceneDisplay.h"
#include "model/AppModel.h"

#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>

// One player on a real server: a coordinator with its own settings, stored session and scene.
// The session store is keyed by the server's URL text, so players of one process reach the
// server under different spellings of it (127.0.0.1, localhost, ...).
class ScenePlayer {
public:
    // What the controls window sends when the player presses a send button before any throw.
    static constexpr Entry sendButtonEntry { 1.0, 0.45, 0.55, 0.35 };

    // Bases without a trailing slash; starts as a new guest (the stored session is removed).
    // `setup` gives the clocks and waits; settings path, display and bus are the player's own.
    ScenePlayer(const QString &serverBase, const QString &websocketBase, const QString &appKey,
        AppModel::Setup setup = {});
    ~ScenePlayer() = default;
    // A player of the test server (TestServer::appKey) at `host`:`port`.
    static std::unique_ptr<ScenePlayer> at(
        const QString &host, quint16 port, AppModel::Setup setup = {});
    // A (as 127.0.0.1) in a room of their own and B (as localhost) joined; `error` if not.
    static std::pair<std::unique_ptr<ScenePlayer>, std::unique_ptr<ScenePlayer>> inOneRoom(
        quint16 port, QString &error, AppModel::Setup setupOfB = {});

    AppModel &model() { return *m_model; }
    SceneDisplay &display() { return *m_display; }
    GameScene &scene() { return m_display->scene(); }
    qint64 id() const { return m_model->user() ? m_model->user()->id : 0; }
    QString preferencesPath() const { return m_dir.filePath(QStringLiteral("tosswick.conf")); }

    // Runs the event loop until `done` holds or `timeoutMs` passed; whether it holds, as below.
    static bool waitUntil(const std::function<bool()> &done, int timeoutMs)
    {
        return QTest::qWaitFor(done, timeoutMs);
    }

    bool waitSignedIn(int timeoutMs = 15'000)
    {
        return waitUntil([this] { return m_model->user() && !m_model->working(); }, timeoutMs);
    }
    bool waitConnected(int timeoutMs = 15'000)
    {
        return waitUntil([this] { return m_model->connected(); }, timeoutMs);
    }
    // Until the room state shows that player with that status.
    bool waitForMemberStatus(qint64 player, const QString &status, int timeoutMs = 15'000);

    // Steps of a game, each returning what went wrong, or nothing: a room of this player's own,
    // who holds the ball, subscribed; joining `host`'s room by its Room ID till each sees the
    // other online; sending the ball to `receiver` once the cooldown allows, till the
    // receiver's scene shows the round and its ready report makes it active.
    QString startRoom();
    QString join(ScenePlayer &host);
    QString passTo(ScenePlayer &receiver);

private:
    QTemporaryDir m_dir;
    SceneDisplay *m_display = nullptr;
    std::unique_ptr<AppModel> m_model;
};
