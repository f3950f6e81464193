#pragma once

#include "wire/Expected.h"

#include <QJsonObject>
#include <QString>

#include <optional>

// Server-wide settings.
struct ConnectionInfo {
    // The public invitation address that invitation links start with; none when the server has
    // none.
    std::optional<QString> inviteBase;

    QJsonObject toJson() const;
    static Expected<ConnectionInfo, QString> fromJson(const QJsonObject &object);
    bool operator==(const ConnectionInfo &) const = default;
};
