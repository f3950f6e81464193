#include "wire/SnapshotText.h"

#include "wire/StateWords.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

QByteArray compact(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace

SnapshotText::SnapshotText(const Room &room, const QList<Member> &members,
    const std::optional<Round> &round, const QList<Score> &scores)
{
    for (const Member &member : members) {
        // "status" is the last key: the head is the object without its empty status and "}.
        QByteArray head = compact(Member { member.id, member.name, {} }.toJson());
        head.chop(2);
        m_memberHeads.append(head);
    }
    QJsonArray scoreList;
    for (const Score &score : scores)
        scoreList.append(score.toJson());
    m_middle = ",\"room\":" + compact(room.toJson());
    if (round)
        m_middle += ",\"round\":" + compact(round->toJson());
    m_middle += ",\"scores\":" + QJsonDocument(scoreList).toJson(QJsonDocument::Compact)
        + ",\"server_time\":\"";
    const QLatin1StringView state = round ? RoomState::round : RoomState::idle;
    m_tail = "\",\"state\":\"" + QByteArray(state.data(), state.size()) + "\",\"totals\":";
}

QByteArray SnapshotText::write(
    const QList<QString> &statuses, const QString &serverTime, const QByteArray &totals) const
{
    QByteArray body;
    body.reserve(m_middle.size() + 96 * m_memberHeads.size() + 256);
    body += "{\"members\":[";
    for (qsizetype i = 0; i < m_memberHeads.size(); ++i) {
        if (i > 0)
            body += ',';
        body += m_memberHeads.at(i);
        body += statuses.value(i).toLatin1();
        body += "\"}";
    }
    body += ']';
    body += m_middle;
    body += serverTime.toLatin1();
    body += m_tail;
    body += totals;
    body += '}';
    return body;
}

QByteArray SnapshotText::totalsText(const Totals &totals)
{
    return compact(totals.toJson());
}
