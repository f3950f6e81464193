#pragma once

#include "net/Expected.h"

#include <QJsonObject>
#include <QString>

// A player of the current room with their presence. Its identity in lists is id.
struct Member {
    qint64 id = 0;
    QString name;
    // Presence word; compared case-sensitively, anything unknown counts as offline.
    QString status;

    bool isOnline() const { return status == u"ONLINE"; }
    bool isBusy() const { return status == u"BUSY"; }
    bool isDoNotDisturb() const { return status == u"DO_NOT_DISTURB"; }

    static Expected<Member, QString> fromJson(const QJsonObject &object);
    bool operator==(const Member &) const = default;
};
