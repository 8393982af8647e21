#pragma once
// Dates and times as the pages write them: the locale's short date and its long time (a
// four-digit year, no time zone), and read back the same way.
#include <QDateTime>
#include <QString>

// Short date, a blank and the long time.
QString FormatDateAndTime(const QDateTime& value);
// As FormatDateAndTime, but only the date when the time is exactly midnight.
QString FormatDateTimeShort(const QDateTime& value);
// Reads a text of either form back; an invalid QDateTime when it cannot.
QDateTime ParseDateTimeText(const QString& text);
