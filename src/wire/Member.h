#pragma once

#include "wire/Expected.h"
#include "wire/StateWords.h"

#include <QJsonObject>
#include <QString>

// A player of the current room with their presence. Its identity in lists is id.
struct Member {
    qint64 id = 0;
    QString name;
    // Presence word; compared case-sensitively, anything unknown counts as offline.
    QString status;

    bool isOnline() const { return status == MemberStatus::online; }
    bool isBusy() const { return status == MemberStatus::busy; }
    bool isDoNotDisturb() const { return status == MemberStatus::doNotDisturb; }

    QJsonObject toJson() const;
    static Expected<Member, QString> fromJson(const QJsonObject &object);
    bool operator==(const Member &) const = default;
};
