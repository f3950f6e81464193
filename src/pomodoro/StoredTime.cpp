#include "pomodoro/StoredTime.h"

#include <QTimeZone>

#include <cmath>

namespace StoredTime {

namespace {
const QDateTime &referenceDate()
{
    static const QDateTime date(QDate(2001, 1, 1), QTime(0, 0), QTimeZone::utc());
    return date;
}
constexpr double maxSeconds = 1e11;
} // namespace

double toSeconds(const QDateTime &time)
{
    return referenceDate().msecsTo(time) / 1000.0;
}

std::optional<QDateTime> fromSeconds(double seconds)
{
    if (!std::isfinite(seconds) || std::abs(seconds) > maxSeconds)
        return std::nullopt;
    return referenceDate().addMSecs(qint64(std::llround(seconds * 1000)));
}

} // namespace StoredTime
