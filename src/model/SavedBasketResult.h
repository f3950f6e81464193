#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QUuid>

#include <optional>

// One hit in the local history (newest first, at most 100, kept in the preferences store).
struct SavedBasketResult {
    static constexpr int maxStored = 100;

    QUuid id;
    QDateTime date;
    QString server;
    QString room; // the room's name, or "" without a room state
    bool practice = false;

    // A JSON array of {"id", "date" (seconds since 2001-01-01 UTC), "server", "room",
    // "practice"}; it decodes as a whole or not at all.
    static QByteArray listToJson(const QList<SavedBasketResult> &results);
    static std::optional<QList<SavedBasketResult>> listFromJson(const QByteArray &json);

    bool operator==(const SavedBasketResult &) const = default;
};

Q_DECLARE_METATYPE(SavedBasketResult)
