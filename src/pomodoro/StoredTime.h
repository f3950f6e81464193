#pragma once

#include <QDateTime>

#include <optional>

// Time points in the preferences store are seconds, with fraction, since 2001-01-01 00:00:00
// UTC (the pomodoro's deadline, the date of a saved hit).
namespace StoredTime {

double toSeconds(const QDateTime &time);
// None for a number outside about ±3000 years, which no stored time can be; this also keeps
// the conversion to milliseconds inside the integer range.
std::optional<QDateTime> fromSeconds(double seconds);

} // namespace StoredTime
