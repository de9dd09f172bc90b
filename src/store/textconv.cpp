#include "store/textconv.h"

#include <QRegularExpression>
#include <QStringList>
#include <QVarLengthArray>

#include <algorithm>
#include <cmath>
#include <iterator>

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
    int minInt = 0;  // forced integer digits
    int minDec = 0;  // forced decimals
    int maxDec = 0;  // all decimal places
    bool grouping = false;
    bool hasDigits = false;
    bool given = false;  // the section's text is not empty
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

// The locale hands out its separators as new strings each time; numbers need them often.
struct NumberSymbols
{
    QString point;
    QString group;
};

const NumberSymbols &numberSymbols(const QLocale &locale)
{
    thread_local struct
    {
        bool valid = false;
        QLocale locale;
        NumberSymbols symbols;
    } cache;
    if (!cache.valid || !(cache.locale == locale)) {
        cache.locale = locale;
        cache.symbols = NumberSymbols{locale.decimalPoint(), locale.groupSeparator()};
        cache.valid = true;
    }
    return cache.symbols;
}

QString groupDigits(const QString &digits, const QLocale &locale)
{
    QString out;
    const int n = int(digits.size());
    for (int i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0)
            out += numberSymbols(locale).group;
        out += digits.at(i);
    }
    return out;
}

}  // namespace

QString generalNumber(double value)
{
    return QString::number(value, 'g', 15);
}

QString formatFloat(const QString &picture, double value, const QLocale &locale)
{
    if (picture.isEmpty()) {
        QString s = generalNumber(value);
        s.replace(QLatin1Char('.'), numberSymbols(locale).point);
        return s;
    }
    // A column formats every cell by the same picture: parse it once.
    thread_local struct
    {
        QString picture;
        QList<Picture> sections;
    } cache;
    if (cache.sections.isEmpty() || cache.picture != picture) {
        cache.sections.clear();
        for (const QString &section : splitSections(picture)) {
            cache.sections << parsePicture(section);
            cache.sections.last().given = !section.isEmpty();
        }
        cache.picture = picture;
    }
    const QList<Picture> &sections = cache.sections;

    const Picture *p = &sections.at(0);
    bool withSign = value < 0;
    if (value < 0 && sections.size() > 1 && sections.at(1).given) {
        p = &sections.at(1);
        withSign = false;
    }
    static const double powers[]
        = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18};
    const double magnitude = std::fabs(value);
    const double scale = p->maxDec < int(std::size(powers)) ? powers[p->maxDec] : std::pow(10.0, p->maxDec);
    double rounded = std::round(magnitude * scale) / scale;
    if (rounded == 0 && sections.size() > 2 && sections.at(2).given) {
        p = &sections.at(2);
        withSign = false;
        rounded = 0;
    }
    if (rounded == 0)
        withSign = false;
    if (!p->hasDigits)
        return p->prefix;

    const double scaled = std::round(magnitude * scale);
    if (p->maxDec < int(std::size(powers)) && scaled < 9e15) {
        // Whole numbers of scaled units: the digits straight into the text, one allocation.
        const auto units = qint64(scaled);
        const auto unit = qint64(powers[p->maxDec]);
        char whole[24];
        int wholeLength = 0;
        for (qint64 w = units / unit; w > 0 || wholeLength == 0; w /= 10)
            whole[wholeLength++] = char('0' + w % 10);
        std::reverse(whole, whole + wholeLength);
        if (wholeLength == 1 && whole[0] == '0' && p->minInt == 0)
            wholeLength = 0;
        char decimals[24];
        qint64 fraction = units % unit;
        for (int i = p->maxDec - 1; i >= 0; --i) {
            decimals[i] = char('0' + fraction % 10);
            fraction /= 10;
        }
        int decimalLength = p->maxDec;
        while (decimalLength > p->minDec && decimals[decimalLength - 1] == '0')
            --decimalLength;

        // Written into a local buffer and made a string once: a column formats every cell.
        const NumberSymbols &symbols = numberSymbols(locale);
        const int digits = qMax(p->minInt, wholeLength);
        QVarLengthArray<char16_t, 64> text;
        auto add = [&text](const QString &part) {
            text.append(reinterpret_cast<const char16_t *>(part.constData()), part.size());
        };
        if (withSign)
            text.append(u'-');
        add(p->prefix);
        for (int i = 0; i < digits; ++i) {
            if (p->grouping && i > 0 && (digits - i) % 3 == 0)
                add(symbols.group);
            const int index = i - (digits - wholeLength);
            text.append(char16_t(index < 0 ? '0' : whole[index]));
        }
        if (decimalLength > 0) {
            add(symbols.point);
            for (int i = 0; i < decimalLength; ++i)
                text.append(char16_t(decimals[i]));
        } else if (digits == 0) {
            text.append(u'0');
        }
        add(p->suffix);
        return QString(reinterpret_cast<const QChar *>(text.constData()), text.size());
    }

    const QString fixed = QString::number(rounded, 'f', p->maxDec);
    QString intPart = fixed, decPart;
    const qsizetype dot = fixed.indexOf(QLatin1Char('.'));
    if (dot >= 0) {
        intPart = fixed.left(dot);
        decPart = fixed.mid(dot + 1);
    }
    while (decPart.size() > p->minDec && decPart.endsWith(QLatin1Char('0')))
        decPart.chop(1);
    if (intPart == QLatin1String("0") && p->minInt == 0)
        intPart.clear();
    if (intPart.size() < p->minInt)
        intPart.prepend(QString(p->minInt - intPart.size(), QLatin1Char('0')));
    if (p->grouping)
        intPart = groupDigits(intPart, locale);

    const QString &point = numberSymbols(locale).point;
    QString text;
    text.reserve(1 + p->prefix.size() + intPart.size() + point.size() + decPart.size() + p->suffix.size());
    if (withSign)
        text += QLatin1Char('-');
    text += p->prefix;
    text += intPart;
    if (!decPart.isEmpty())
        text += point + decPart;
    else if (intPart.isEmpty())
        text += QLatin1Char('0');
    text += p->suffix;
    return text;
}

DateOrder dateOrder(const QLocale &locale)
{
    // Asking a locale for its date format is slow and a grid asks for every cell.
    thread_local struct
    {
        bool valid = false;
        QLocale locale;
        DateOrder order;
    } cache;
    if (cache.valid && cache.locale == locale)
        return cache.order;

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
    cache.locale = locale;
    cache.order = order;
    cache.valid = true;
    return order;
}

QString dateToText(const QDate &date, const QLocale &locale)
{
    if (!date.isValid())
        return QString();
    int year, month, day;
    date.getDate(&year, &month, &day);
    if (year < 0 || year > 9999) {
        const DateOrder order = dateOrder(locale);
        const QString y = QString::number(year);
        const QString d = QStringLiteral("%1").arg(day, 2, 10, QLatin1Char('0'));
        const QString m = QStringLiteral("%1").arg(month, 2, 10, QLatin1Char('0'));
        return order.monthFirst ? m + order.separator + d + order.separator + y
                                : d + order.separator + m + order.separator + y;
    }
    return dateToText(year, month, day, locale);
}

QString dateToText(int year, int month, int day, const QLocale &locale)
{
    const DateOrder order = dateOrder(locale);
    QString text(10, Qt::Uninitialized);
    QChar *out = text.data();
    auto two = [&out](int value) {
        *out++ = QLatin1Char(char('0' + value / 10));
        *out++ = QLatin1Char(char('0' + value % 10));
    };
    two(order.monthFirst ? month : day);
    *out++ = order.separator;
    two(order.monthFirst ? day : month);
    *out++ = order.separator;
    two(year / 100);
    two(year % 100);
    return text;
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
    static const QRegularExpression pattern(QStringLiteral("^\\s*(\\d{1,2}):(\\d{1,2})(?::(\\d{1,2}))?\\s*$"));
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

}  // namespace kelvara
