// Ball transfer and scoring: the send gate, passing the ball, shots, hits and the history.

#include "model/AppModel.h"

using namespace Qt::StringLiterals;

std::optional<QString> AppModel::sendBlockReason(qint64) const
{
    if (!m_snapshot || !m_user)
        return u"Choose a room first"_s;
    return std::nullopt;
}

QString AppModel::sendButtonTitle() const
{
    return m_sending ? u"Sending…"_s : u"Send to random player"_s;
}

QCoro::Task<> AppModel::transfer(Entry)
{
    co_return;
}

void AppModel::registerShot(const QString &, const Entry &) { }

QCoro::Task<> AppModel::score(QString, CrossingSample, CrossingSample)
{
    co_return;
}

void AppModel::finishSuccess(bool, const std::optional<QString> &) { }

void AppModel::cancelSuccessTask()
{
    if (m_successTask)
        m_successTask->cancel();
}
