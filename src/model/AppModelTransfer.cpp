// Ball transfer and scoring: the send gate, passing the ball, shots, hits and the history.

#include "model/AppModel.h"

#include "model/DateText.h"
#include "model/SendGate.h"
#include "model/SystemSound.h"
#include "net/API.h"
#include "wire/ResultBody.h"
#include "wire/SendBody.h"
#include "wire/ShotBody.h"

#include <QJsonObject>
#include <QLocale>
#include <QPointer>
#include <QUuid>

using namespace Qt::StringLiterals;

namespace {

// How long a hit is celebrated before the game gets out of the way.
constexpr std::chrono::milliseconds successDismissDelay { 800 };

const Member *findMember(const Snapshot &snapshot, qint64 id)
{
    const auto found = std::find_if(snapshot.members.cbegin(), snapshot.members.cend(),
        [id](const Member &member) { return member.id == id; });
    return found == snapshot.members.cend() ? nullptr : &*found;
}

QString memberName(const std::optional<Snapshot> &snapshot, qint64 id, const QString &fallback)
{
    const Member *member = snapshot ? findMember(*snapshot, id) : nullptr;
    return member ? member->name : fallback;
}

BodyFields::Throw throwFields(const Round &round, const QString &shotID, qint64 sequence)
{
    return { round.id, *round.nonce, shotID, sequence };
}

QCoro::Task<std::optional<NetworkError>> send(
    std::shared_ptr<API> api, QString path, QJsonObject body)
{
    const auto reply = co_await api->data(std::move(path), u"POST"_s, std::move(body));
    if (!reply)
        co_return reply.error();
    co_return std::nullopt;
}

} // namespace

std::optional<QString> AppModel::sendBlockReason(qint64 receiver) const
{
    SendGate::State state;
    if (m_snapshot && m_user) {
        state.me = m_user->id;
        state.roundInPlay = m_snapshot->round.has_value();
        state.ballOwner = m_snapshot->room.ballOwnerId;
        state.cooldownUntil = m_snapshot->room.cooldownUntilTime();
        state.members = m_snapshot->members;
    }
    state.connected = m_connected;
    state.focus = focusActive();
    state.paused = m_paused || m_hidden;
    state.sending = m_sending;
    state.now = m_now();
    state.offset = m_offset;
    return SendGate::blockReason(state, receiver);
}

QString AppModel::sendButtonTitle() const
{
    if (m_sending)
        return u"Sending…"_s;
    if (m_selectedReceiver == 0)
        return u"Send to random player"_s;
    return u"Send to "_s + memberName(m_snapshot, m_selectedReceiver, u"selected player"_s);
}

QCoro::Task<> AppModel::transfer(Entry entry)
{
    if (m_sending || !m_roomID)
        co_return;
    if (const auto reason = sendBlockReason(m_selectedReceiver)) {
        setMessage(*reason);
        m_display->transferFailed(*reason);
        co_return;
    }
    const qint64 receiver = m_selectedReceiver;
    const qint64 room = *m_roomID;
    setSending(true);

    const SendBody body { QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper(), entry,
        receiver != 0 ? std::optional(receiver) : std::nullopt };
    QPointer self(this);
    const auto error = co_await send(m_api, roomPath(room, u"/ball/send"_s), body.toJson());
    if (!self)
        co_return;
    if (error) {
        m_display->transferFailed(error->description());
        setMessage(error->description());
    } else if (receiver == 0) {
        setMessage(u"Ball sent to an available player"_s);
    } else {
        setMessage(u"Ball sent to "_s + memberName(m_snapshot, receiver, u"selected player"_s));
    }
    co_await sync();
    if (self)
        setSending(false);
}

void AppModel::registerShot(const QString &shotID, const Entry &release)
{
    if (!m_roomID || !m_snapshot || !m_snapshot->round || !m_snapshot->round->nonce)
        return;
    ++m_sequence;
    const ShotBody body { throwFields(*m_snapshot->round, shotID, m_sequence), release };
    // The flight goes on meanwhile; a crossing of this shot waits for the registration.
    m_shotJobs.insert(shotID,
        std::make_shared<QCoro::Task<std::optional<NetworkError>>>(
            send(m_api, roomPath(*m_roomID, u"/round/shot"_s), body.toJson())));
}

QCoro::Task<> AppModel::score(QString shotID, CrossingSample before, CrossingSample after)
{
    if (!m_roomID || !m_snapshot || !m_snapshot->round || !m_snapshot->round->nonce)
        co_return;
    const qint64 room = *m_roomID;
    const Round round = *m_snapshot->round;
    const auto registration = m_shotJobs.value(shotID);
    if (!registration)
        co_return;

    QPointer self(this);
    const auto shotError = co_await *registration;
    if (!self)
        co_return;
    if (shotError) {
        setMessage(shotError->description());
        co_return;
    }

    ++m_sequence;
    const ResultBody body { throwFields(round, shotID, m_sequence), before, after };
    const auto error = co_await send(m_api, roomPath(room, u"/round/result"_s), body.toJson());
    if (!self)
        co_return;
    if (error) {
        setMessage(error->description());
        co_return;
    }
    m_display->celebrate();
    if (m_sound)
        SystemSound::playComplete();
    setMessage(u"Nice shot! +1"_s);
    co_await sync();
    if (self)
        finishSuccess(false, round.id);
}

void AppModel::finishSuccess(bool practice, const std::optional<QString> &roundID)
{
    const QDateTime now = m_now();
    setLastResult((practice ? u"Тренировка · попадание · "_s : u"Попадание · +1 · "_s)
        + DateText::abbreviatedDateTime(now, QLocale::system()));
    m_preferences.setLastBasketResult(m_lastResult);

    QList<SavedBasketResult> results = m_savedResults;
    results.prepend({ QUuid::createUuid(), now, m_server,
        m_snapshot ? m_snapshot->room.name : QString(), practice });
    if (results.size() > SavedBasketResult::maxStored)
        results.resize(SavedBasketResult::maxStored);
    setSavedResults(results);
    m_preferences.setBasketResults(SavedBasketResult::listToJson(results));

    cancelSuccessTask();
    m_successTask = std::make_shared<CancelFlag>();
    [](QPointer<AppModel> self, std::shared_ptr<CancelFlag> flag,
        std::optional<QString> roundID) -> QCoro::Task<> {
        if (!co_await flag->sleep(successDismissDelay) || !self)
            co_return;
        const auto &snapshot = self->m_snapshot;
        // A new round of this player's came meanwhile: that one stays on screen.
        if (snapshot && snapshot->round && snapshot->round->id != roundID)
            co_return;
        self->m_gameplayDismissed = true;
        self->m_display->show(false);
        if (self->m_onSuccess)
            self->m_onSuccess();
    }(this, m_successTask, roundID);
}

void AppModel::cancelSuccessTask()
{
    if (m_successTask)
        m_successTask->cancel();
}
