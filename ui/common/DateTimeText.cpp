#include "ui/common/DateTimeText.h"

#include <QLocale>
#include <QRegularExpression>

namespace {

QString DateFormat()
{
    QString format = QLocale().dateFormat(QLocale::ShortFormat);
    if (!format.contains("yyyy"))
        format.replace("yy", "yyyy");
    return format;
}

QString TimeFormat()
{
    QString format = QLocale().timeFormat(QLocale::LongFormat);
    // The time zone is left out: the texts are local times.
    static const QRegularExpression zone(QStringLiteral("\\s*t+\\s*"));
    format.replace(zone, QStringLiteral(" "));
    return format.trimmed();
}

}  // namespace

QString FormatDateAndTime(const QDateTime& value)
{
    QLocale locale;
    return locale.toString(value.date(), DateFormat()) + " " + locale.toString(value.time(), TimeFormat());
}

QString FormatDateTimeShort(const QDateTime& value)
{
    if (value.time() == QTime(0, 0))
        return QLocale().toString(value.date(), DateFormat());
    return FormatDateAndTime(value);
}

QDateTime ParseDateTimeText(const QString& text)
{
    QLocale locale;
    QDateTime value = locale.toDateTime(text.trimmed(), DateFormat() + " " + TimeFormat());
    if (value.isValid())
        return value;
    QDate date = locale.toDate(text.trimmed(), DateFormat());
    return date.isValid() ? QDateTime(date, QTime(0, 0)) : QDateTime();
}
