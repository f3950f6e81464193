#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

// Dates as the player reads them in the controls window.
namespace DateText {

// The locale's date with an abbreviated month and no weekday, then its short time, in local
// time: "Jan 5, 2030, 10:07 AM" in English, "5 янв. 2030 г., 10:07" in Russian.
QString abbreviatedDateTime(const QDateTime &time, const QLocale &locale);

} // namespace DateText
