#include "app/runningtotal.h"

#include "platform/textfile.h"
#include "store/error.h"

#include <QLocale>

#include <limits>

namespace kelvara {

HoursMinutes splitMinutes(qint64 minutes)
{
    return HoursMinutes{minutes / 60, minutes % 60};
}

TotalTexts totalTexts(qint64 minutes)
{
    const HoursMinutes split = splitMinutes(minutes);
    const QString sign = minutes < 0 ? QStringLiteral("-") : QString();
    return TotalTexts{sign + QString::number(qAbs(split.hours)), QString::number(qAbs(split.minutes))};
}

QString hoursAndMinutesText(qint64 minutes)
{
    const HoursMinutes split = splitMinutes(minutes);
    const QLocale english(QLocale::English);
    return QStringLiteral("%1%2 h %3")
        .arg(minutes < 0 ? QStringLiteral("-") : QString(), english.toString(qAbs(split.hours)))
        .arg(qAbs(split.minutes), 2, 10, QLatin1Char('0'));
}

QString shownJobsText(qint64 shown, qint64 stored, bool narrowed, qint64 minutes)
{
    const QLocale english(QLocale::English);
    const QString jobs = stored == 1 && !narrowed ? QStringLiteral("job") : QStringLiteral("jobs");
    const QString count = narrowed ? QStringLiteral("%1 of %2").arg(english.toString(shown), english.toString(stored))
                                   : english.toString(stored);
    return QStringLiteral("%1 %2, %3").arg(count, jobs, hoursAndMinutesText(minutes));
}

qint64 parseTotalLine(const QString &line)
{
    qsizetype i = 0;
    while (i < line.size() && (line.at(i) == QLatin1Char(' ') || line.at(i) == QLatin1Char('\t')))
        ++i;
    bool negative = false;
    if (i < line.size() && (line.at(i) == QLatin1Char('-') || line.at(i) == QLatin1Char('+'))) {
        negative = line.at(i) == QLatin1Char('-');
        ++i;
    }
    qint64 value = 0;
    bool complete = true;
    for (; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            complete = false;
            break;
        }
        value = value * 10 + (c.unicode() - '0');
        if (value > std::numeric_limits<qint32>::max())
            throw Error(QStringLiteral("The total '%1' is out of range").arg(line));
    }
    return negative && complete ? -value : value;
}

qint64 readTotalFile(const QString &fileName)
{
    const QStringList lines = readLines(fileName);
    if (lines.isEmpty())
        throw Error(QStringLiteral("%1 holds no total").arg(fileName));
    return parseTotalLine(lines.constFirst());
}

void writeTotalFile(qint64 minutes, const QString &fileName)
{
    writeLines(fileName, {QString::number(minutes)});
}

}  // namespace kelvara
