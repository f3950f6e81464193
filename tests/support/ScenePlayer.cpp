#include "ScenePlayer.h"

#include "model/Preferences.h"
#include "net/Keychain.h"

#include <QCoro/QCoroTask>
#include <QDBusConnection>
#include <QDeadlineTimer>
#include <QEventLoop>

using namespace Qt::StringLiterals;

bool ScenePlayer::waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

ScenePlayer::ScenePlayer(const QString &serverBase, const QString &websocketBase,
    const QString &appKey, AppModel::Setup setup)
{
    QCoro::waitFor(Keychain::save(std::nullopt, serverBase));
    Preferences(preferencesPath()).setConnection(serverBase, websocketBase, appKey);
    auto display = std::make_unique<SceneDisplay>();
    m_display = display.get();
    setup.preferencesPath = preferencesPath();
    setup.logindBus = QDBusConnection(u"none"_s);
    setup.display = std::move(display);
    m_model = std::make_unique<AppModel>(std::move(setup));
}

ScenePlayer::~ScenePlayer() = default;

QString ScenePlayer::preferencesPath() const
{
    return m_dir.filePath(u"tosswick.conf"_s);
}

bool ScenePlayer::waitSignedIn(int timeoutMs)
{
    return waitUntil([this] { return m_model->user() && !m_model->working(); }, timeoutMs);
}

bool ScenePlayer::waitConnected(int timeoutMs)
{
    return waitUntil([this] { return m_model->connected(); }, timeoutMs);
}

bool ScenePlayer::waitForMemberStatus(qint64 player, const QString &status, int timeoutMs)
{
    return waitUntil(
        [&] {
            const auto &snapshot = m_model->snapshot();
            return snapshot
                && std::any_of(snapshot->members.cbegin(), snapshot->members.cend(),
                    [&](const Member &member) {
                        return member.id == player && member.status == status;
                    });
        },
        timeoutMs);
}
