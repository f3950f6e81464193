#pragma once

#include <QJsonObject>
#include <QString>

struct RoomRow;
struct RoundRow;
struct ScoreRow;

// The records the server answers with, as JSON objects; optional members are left out when
// absent. Timestamps are RFC 3339 in UTC with milliseconds.
namespace WireJson {

QString timestamp(qint64 epochMs);

QJsonObject room(const RoomRow &room);
// The nonce goes only to the round's receiver, the one player who echoes it.
QJsonObject round(const RoundRow &round, bool withNonce);
QJsonObject score(const ScoreRow &score);
QJsonObject totals(const ScoreRow &totals);

} // namespace WireJson
