#pragma once

#include "wire/Member.h"
#include "wire/Room.h"
#include "wire/Round.h"
#include "wire/Score.h"
#include "wire/Totals.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// A snapshot (see Snapshot.h) as the JSON text a server answers with, in parts: what every member
// of a room sees alike is written once, and each reply fills in what ages (the members' statuses,
// the server time) and its reader's totals. Keys come in sorted order, as QJsonObject writes them.
class SnapshotText {
public:
    // The members' own statuses are not written: each reply gives them. The snapshot's state
    // follows from whether a round is in play.
    SnapshotText(const Room &room, const QList<Member> &members, const std::optional<Round> &round,
        const QList<Score> &scores);

    // `statuses` in the members' order (state words, ASCII); `totals` as totalsText() wrote it.
    QByteArray write(
        const QList<QString> &statuses, const QString &serverTime, const QByteArray &totals) const;

    static QByteArray totalsText(const Totals &totals);

private:
    // Each member's object up to its status: {"id":1,"name":"…","status":"
    QList<QByteArray> m_memberHeads;
    // From after the members to the server time's opening quote.
    QByteArray m_middle;
    // From after the server time to the totals.
    QByteArray m_tail;
};
