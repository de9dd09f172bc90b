#pragma once

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QTime>

#include <optional>

namespace kelvara {

// Formats a number by a picture such as "00.00" or "#,##0.00;(#,##0.00);Zero": '0' is a forced
// digit, '#' an optional one, '.' the decimal point, ',' turns on thousands grouping, quoted text
// and other characters are kept; up to three ';'-separated sections for positive, negative, zero.
// An empty picture gives the general form with up to 15 significant digits.
QString formatFloat(const QString &picture, double value, const QLocale &locale = QLocale());

// The user's short date order: day and month first or month first, the year always last.
struct DateOrder
{
    bool monthFirst = false;
    QChar separator = QLatin1Char('/');
    bool twoDigitYear = false;
};
DateOrder dateOrder(const QLocale &locale = QLocale());

// Dates as the user reads and types them: two-digit day and month, four-digit year.
QString dateToText(const QDate &date, const QLocale &locale = QLocale());
// The same for a valid date of the years 1 to 9999 given by its parts.
QString dateToText(int year, int month, int day, const QLocale &locale = QLocale());
std::optional<QDate> textToDate(const QString &text, const QLocale &locale = QLocale());

QString timeToText(const QTime &time);
std::optional<QTime> textToTime(const QString &text);
QString dateTimeToText(const QDateTime &dateTime, const QLocale &locale = QLocale());
std::optional<QDateTime> textToDateTime(const QString &text, const QLocale &locale = QLocale());

// The general number form of message texts (%g with 15 significant digits).
QString generalNumber(double value);

}  // namespace kelvara
