#include "model/DateText.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace DateText {

QString abbreviatedDateTime(const QDateTime &time, const QLocale &locale)
{
    // Qt has no abbreviated date style: the long one without its weekday and with the month's
    // short name is what that style shows.
    QString dateFormat = locale.dateFormat(QLocale::LongFormat);
    static const QRegularExpression weekday(u"[,.]?\\s*d{4}[,.]?\\s*"_s);
    dateFormat.replace(weekday, u" "_s);
    dateFormat.replace(u"MMMM"_s, u"MMM"_s);
    const QDateTime local = time.toLocalTime();
    return locale.toString(local.date(), dateFormat.trimmed()) + u", "_s
        + locale.toString(local.time(), QLocale::ShortFormat);
}

} // namespace DateText
