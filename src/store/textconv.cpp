#include "textconv.h"

#include <QRegularExpression>
#include <QStringList>

#include <cmath>

namespace kelvara {

namespace {

QStringList splitSections(const QString &picture)
{
    QStringList sections;
    QString current;
    QChar quote;
    for (const QChar c : picture) {
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
            current += c;
        } else if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            quote = c;
            current += c;
        } else if (c == QLatin1Char(';')) {
            sections << current;
            current.clear();
        } else {
            current += c;
        }
    }
    sections << current;
    return sections;
}

struct Picture
{
    QString prefix, suffix;
    int minInt = 0;      // forced integer digits
    int minDec = 0;      // forced decimals
    int maxDec = 0;      // all decimal places
    bool grouping = false;
    bool hasDigits = false;
};

Picture parsePicture(const QString &section)
{
    Picture p;
    bool seenDigit = false, seenPoint = false, seenZeroInt = false;
    int intPlaces = 0, lastDigitEnd = 0;
    QString literal;
    QChar quote;
    for (int i = 0; i < section.size(); ++i) {
        const QChar c = section.at(i);
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
            else
                literal += c;
            continue;
        }
        if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            quote = c;
            continue;
        }
        if (c == QLatin1Char('0') || c == QLatin1Char('#')) {
            if (!seenDigit) {
                p.prefix = literal;
                seenDigit = true;
            }
            literal.clear();
            if (seenPoint) {
                ++p.maxDec;
                if (c == QLatin1Char('0'))
                    p.minDec = p.maxDec;
            } else {
                ++intPlaces;
                if (c == QLatin1Char('0'))
                    seenZeroInt = true;
                if (seenZeroInt)
                    ++p.minInt;
            }
            lastDigitEnd = i + 1;
        } else if (c == QLatin1Char('.') && !seenPoint) {
            if (!seenDigit) {
                p.prefix = literal;
                seenDigit = true;
            }
            literal.clear();
            seenPoint = true;
            lastDigitEnd = i + 1;
        } else if (c == QLatin1Char(',') && seenDigit && !seenPoint) {
            p.grouping = true;
        } else {
            literal += c;
        }
    }
    p.hasDigits = seenDigit;
    if (seenDigit)
        p.suffix = literal;
    else
        p.prefix = literal;
    Q_UNUSED(intPlaces);
    Q_UNUSED(lastDigitEnd);
    return p;
}

QString groupDigits(const QString &digits, const QLocale &locale)
{
    QString out;
    const int n = int(digits.size());
    for (int i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0)
            out += locale.groupSeparator();
        out += digits.at(i);
    }
    return out;
}

} // namespace

QString generalNumber(double value)
{
    return QString::number(value, 'g', 15);
}

QString formatFloat(const QString &picture, double value, const QLocale &locale)
{
    if (picture.isEmpty()) {
        QString s = generalNumber(value);
        s.replace(QLatin1Char('.'), locale.decimalPoint());
        return s;
    }
    const QStringList sections = splitSections(picture);
    QString section = sections.at(0);
    bool withSign = value < 0;
    if (value < 0 && sections.size() > 1 && !sections.at(1).isEmpty()) {
        section = sections.at(1);
        withSign = false;
    }
    Picture p = parsePicture(section);
    double magnitude = std::fabs(value);
    const double scale = std::pow(10.0, p.maxDec);
    double rounded = std::round(magnitude * scale) / scale;
    if (rounded == 0 && sections.size() > 2 && !sections.at(2).isEmpty()) {
        p = parsePicture(sections.at(2));
        withSign = false;
        rounded = 0;
    }
    if (rounded == 0)
        withSign = false;
    if (!p.hasDigits)
        return p.prefix;

    QString fixed = QString::number(rounded, 'f', p.maxDec);
    QString intPart = fixed, decPart;
    const qsizetype point = fixed.indexOf(QLatin1Char('.'));
    if (point >= 0) {
        intPart = fixed.left(point);
        decPart = fixed.mid(point + 1);
    }
    while (decPart.size() > p.minDec && decPart.endsWith(QLatin1Char('0')))
        decPart.chop(1);
    if (intPart == QLatin1String("0") && p.minInt == 0)
        intPart.clear();
    while (intPart.size() < p.minInt)
        intPart.prepend(QLatin1Char('0'));
    if (p.grouping)
        intPart = groupDigits(intPart, locale);

    QString number = intPart;
    if (!decPart.isEmpty())
        number += locale.decimalPoint() + decPart;
    if (number.isEmpty())
        number = QStringLiteral("0");
    return (withSign ? QStringLiteral("-") : QString()) + p.prefix + number + p.suffix;
}

DateOrder dateOrder(const QLocale &locale)
{
    DateOrder order;
    const QString format = locale.dateFormat(QLocale::ShortFormat);
    const qsizetype d = format.indexOf(QLatin1Char('d'));
    const qsizetype m = format.indexOf(QLatin1Char('M'));
    order.monthFirst = m >= 0 && d >= 0 && m < d;
    for (const QChar c : format) {
        if (c.isPunct() && c != QLatin1Char('\'')) {
            order.separator = c;
            break;
        }
    }
    order.twoDigitYear = !format.contains(QLatin1String("yyyy"));
    return order;
}

QString dateToText(const QDate &date, const QLocale &locale)
{
    if (!date.isValid())
        return QString();
    const DateOrder order = dateOrder(locale);
    const QString day = QStringLiteral("%1").arg(date.day(), 2, 10, QLatin1Char('0'));
    const QString month = QStringLiteral("%1").arg(date.month(), 2, 10, QLatin1Char('0'));
    const QString year = QStringLiteral("%1").arg(date.year(), 4, 10, QLatin1Char('0'));
    return order.monthFirst ? month + order.separator + day + order.separator + year
                            : day + order.separator + month + order.separator + year;
}

std::optional<QDate> textToDate(const QString &text, const QLocale &locale)
{
    static const QRegularExpression pattern(
        QStringLiteral("^\\s*(\\d{1,2})\\s*[^\\d\\s]\\s*(\\d{1,2})\\s*[^\\d\\s]\\s*(\\d{1,4})\\s*$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const DateOrder order = dateOrder(locale);
    int first = match.captured(1).toInt();
    int second = match.captured(2).toInt();
    int year = match.captured(3).toInt();
    if (match.captured(3).size() <= 2) {
        // A short year falls in the fifty years either side of the current one.
        const int now = QDate::currentDate().year();
        year += (now / 100) * 100;
        if (year > now + 49)
            year -= 100;
        else if (year < now - 50)
            year += 100;
    }
    const int day = order.monthFirst ? second : first;
    const int month = order.monthFirst ? first : second;
    const QDate date(year, month, day);
    if (!date.isValid() || year < 1)
        return std::nullopt;
    return date;
}

QString timeToText(const QTime &time)
{
    return time.isValid() ? time.toString(QStringLiteral("HH:mm:ss")) : QString();
}

std::optional<QTime> textToTime(const QString &text)
{
    static const QRegularExpression pattern(
        QStringLiteral("^\\s*(\\d{1,2}):(\\d{1,2})(?::(\\d{1,2}))?\\s*$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const QTime time(match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt());
    if (!time.isValid())
        return std::nullopt;
    return time;
}

QString dateTimeToText(const QDateTime &dateTime, const QLocale &locale)
{
    if (!dateTime.isValid())
        return QString();
    return dateToText(dateTime.date(), locale) + QLatin1Char(' ') + timeToText(dateTime.time());
}

std::optional<QDateTime> textToDateTime(const QString &text, const QLocale &locale)
{
    const QString trimmed = text.trimmed();
    const qsizetype space = trimmed.indexOf(QLatin1Char(' '));
    const auto date = textToDate(space < 0 ? trimmed : trimmed.left(space), locale);
    if (!date)
        return std::nullopt;
    if (space < 0)
        return QDateTime(*date, QTime(0, 0));
    const auto time = textToTime(trimmed.mid(space + 1));
    if (!time)
        return std::nullopt;
    return QDateTime(*date, *time);
}

} // namespace kelvara
