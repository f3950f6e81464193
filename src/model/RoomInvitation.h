#pragma once

#include <QMetaType>
#include <QString>

#include <optional>

// An invitation to a room, possibly on another server, read from a join link
// tosswick://join?room=…&api=…&ws=…&key=…. Never stored and never sent.
struct RoomInvitation {
    QString room; // the Room ID, upper case
    QString api; // REST base URL without leading or trailing "/"
    QString websocket; // realtime base URL as given
    QString key; // the realtime service's app key

    // The invitation of a well-formed join link, or none. Schemes and the host are compared
    // exactly as written, so the text is read without QUrl's normalisation.
    static std::optional<RoomInvitation> parse(const QString &link);

    bool operator==(const RoomInvitation &) const = default;
};

Q_DECLARE_METATYPE(RoomInvitation)
