#include "wire/Timestamp.h"

#include <QRegularExpression>
#include <QTimeZone>

namespace Timestamp {

std::optional<QDateTime> parse(const QString &text)
{
    // ASCII digits only (\d would take any script's digits), anchored at the very end (a plain
    // "$" also matches before a final line break).
    static const QRegularExpression pattern(QRegularExpression::anchoredPattern(QStringLiteral(
        R"(([0-9]{4})-([0-9]{2})-([0-9]{2})T([0-9]{2}):([0-9]{2}):([0-9]{2})(?:\.([0-9]+))?(?:(Z)|([+-])([0-9]{2}):([0-9]{2})))")));
    const auto match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;

    const auto number = [&](int group) { return match.capturedView(group).toInt(); };
    const QDate date(number(1), number(2), number(3));
    const int hour = number(4), minute = number(5), second = number(6);
    // RFC 3339 allows a leap second; QTime does not, so it is read as the last valid second.
    const QTime time(hour, minute, second == 60 ? 59 : second);
    if (!date.isValid() || !time.isValid() || hour > 23 || minute > 59)
        return std::nullopt;

    int milliseconds = 0;
    if (match.hasCaptured(7)) {
        const QString fraction = match.captured(7).left(3).leftJustified(3, QLatin1Char('0'));
        milliseconds = fraction.toInt();
    }

    int offsetSeconds = 0;
    if (!match.hasCaptured(8)) {
        const int offsetHours = number(10), offsetMinutes = number(11);
        if (offsetHours > 23 || offsetMinutes > 59)
            return std::nullopt;
        offsetSeconds
            = (offsetHours * 3600 + offsetMinutes * 60) * (match.capturedView(9) == u"-" ? -1 : 1);
    }

    QDateTime result(date, time.addMSecs(milliseconds), QTimeZone(offsetSeconds));
    if (!result.isValid())
        return std::nullopt;
    return result.toUTC();
}

std::optional<QDateTime> parseIfPresent(const std::optional<QString> &text)
{
    return text ? parse(*text) : std::nullopt;
}

QString format(const QDateTime &time)
{
    return time.toUTC().toString(Qt::ISODateWithMs);
}

QString format(qint64 msSinceEpoch)
{
    return format(QDateTime::fromMSecsSinceEpoch(msSinceEpoch, Qt::UTC));
}

} // namespace Timestamp
