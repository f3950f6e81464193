#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

// Server timestamps are RFC 3339 date-times, with or without fractional seconds, and with
// "Z" or a numeric offset. Any other text counts as absent: Qt's own ISO reader is more
// lenient (missing zone, a space for "T", "+0200"), so the form is checked first.
namespace Timestamp {

std::optional<QDateTime> parse(const QString &text);
// The same for a member that may be absent.
std::optional<QDateTime> parseIfPresent(const std::optional<QString> &text);

// The form the server writes: UTC with milliseconds, e.g. 2025-03-01T10:00:00.250Z.
QString format(const QDateTime &time);
QString format(qint64 msSinceEpoch);

} // namespace Timestamp
