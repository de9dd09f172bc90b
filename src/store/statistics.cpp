#include "store/statistics.h"

#include "store/error.h"
#include "store/sqlite.h"
#include "store/table.h"

#include <QCoreApplication>
#include <QDate>
#include <QHash>
#include <QMap>

#include <algorithm>
#include <vector>

namespace kelvara {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("Statistics", text);
}

const QString kDate = sql::quoted(QStringLiteral("Dato"));
const QString kTime = sql::quoted(QStringLiteral("timeused"));

// The rows of a table of figures, the most jobs first, the row of none last.
void sortRows(QList<FigureRow> &rows)
{
    std::sort(rows.begin(), rows.end(), [](const FigureRow &a, const FigureRow &b) {
        if (a.none != b.none)
            return b.none;
        if (a.jobs != b.jobs)
            return a.jobs > b.jobs;
        return a.value.localeAwareCompare(b.value) < 0;
    });
}

void addRow(FigureTable &table, const FigureRow &row)
{
    table.rows << row;
    table.jobs += row.jobs;
    table.minutes += row.minutes;
}

struct YearFigures
{
    std::array<qint64, 12> jobs{};
    qint64 minutes = 0;
};

// One stored value of the date field, as SQLite typed it, with its jobs.
struct Day
{
    QVariant stored;
    QDate date;  // invalid for a value that is no date: the job counts as one without a date
    qint64 jobs = 0;
    qint64 minutes = 0;
};

// A stored value written into SQL as the same value of the same type.
QString literal(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::LongLong: return QString::number(value.toLongLong());
    case QMetaType::Double: return QString::number(value.toDouble(), 'g', 17);
    case QMetaType::QByteArray: return QStringLiteral("X'%1'").arg(QString::fromLatin1(value.toByteArray().toHex()));
    default:
        return QLatin1Char('\'') + value.toString().replace(QLatin1Char('\''), QStringLiteral("''"))
            + QLatin1Char('\'');
    }
}

// Whether a job with this stored date is counted for the chosen years: one of those years, or
// no date at all.
bool counted(const Day &day, int firstYear, int lastYear)
{
    return !day.date.isValid() || (day.date.year() >= firstYear && day.date.year() <= lastYear);
}

// The SQL condition that holds for the jobs counted for the chosen years, decided per stored
// date value from the days already read, so that SQLite compares text instead of reading every
// job's date again. Dates of the chosen years are text from "yyyy" of the first year up to that
// of the year after the last; a text in between that is no date counts as no date anyway, and
// the few values counted outside that span (no date, or a date stored as a blob) are named.
QString countedCondition(const QList<Day> &days, int firstYear, int lastYear)
{
    const QString low = QStringLiteral("%1").arg(firstYear, 4, 10, QLatin1Char('0'));
    // After "9999" come no digits: ':' is the character after '9'.
    const QString high
        = lastYear >= 9999 ? QStringLiteral("9999:") : QStringLiteral("%1").arg(lastYear + 1, 4, 10, QLatin1Char('0'));
    const QByteArray lowBytes = low.toUtf8();
    const QByteArray highBytes = high.toUtf8();
    QStringList added;
    for (const Day &day : days) {
        const bool text = day.stored.typeId() == QMetaType::QString;
        const QByteArray bytes = text ? day.stored.toString().toUtf8() : QByteArray();
        if (counted(day, firstYear, lastYear) && !(text && bytes >= lowBytes && bytes < highBytes))
            added << literal(day.stored);
    }
    // "+" takes the column's numeric affinity off, which would make '2004' a number.
    const QString date = QLatin1Char('+') + kDate;
    QString condition = QStringLiteral("%1 >= '%2' AND %1 < '%3' OR %4 IS NULL").arg(date, low, high, kDate);
    if (!added.isEmpty())
        condition += QStringLiteral(" OR %1 IN (%2)").arg(date, added.join(QLatin1Char(',')));
    return QStringLiteral("(%1)").arg(condition);
}

}  // namespace

qint64 YearMonths::total() const
{
    qint64 sum = 0;
    for (const qint64 count : jobs)
        sum += count;
    return sum;
}

SeasonStatistics countSeasonStatistics(const Table &table, const QList<StatisticsField> &fields,
                                       std::optional<std::pair<int, int>> years)
{
    SeasonStatistics figures;

    // The jobs of each stored date: a few thousand rows over years of jobs, read as the store
    // reads a date (yyyy-mm-dd, a day that exists), from which the months and the years that
    // hold jobs are known before the range is settled.
    QList<Day> days;
    QMap<int, YearFigures> dated;
    qint64 undatedMinutes = 0;
    {
        const StatisticsQuery query{QStringLiteral("%1, count(*), sum(%2)").arg(kDate, kTime), QStringLiteral("1")};
        figures.queries << query;
        sql::Statement statement = table.selectShown(query.columns, query.groupBy);
        while (statement.step()) {
            Day day{statement.value(0), QDate(), statement.int64(1), statement.int64(2)};
            figures.shownJobs += day.jobs;
            if (!statement.isNull(0)) {
                day.date = QDate::fromString(statement.text(0), Qt::ISODate);
                days << day;
            }
            if (!day.date.isValid()) {
                figures.undatedJobs += day.jobs;
                undatedMinutes += day.minutes;
                continue;
            }
            YearFigures &year = dated[day.date.year()];
            year.jobs[size_t(day.date.month() - 1)] += day.jobs;
            year.minutes += day.minutes;
        }
    }
    if (!dated.isEmpty())
        figures.datedYears = std::make_pair(dated.firstKey(), dated.lastKey());

    if (years) {
        figures.firstYear = std::min(years->first, years->second);
        figures.lastYear = std::max(years->first, years->second);
        if (figures.firstYear < 1 || figures.lastYear > 9999)
            throw Error(tr("Years from 1 to 9999 can be counted; %1 to %2 cannot.")
                            .arg(figures.firstYear)
                            .arg(figures.lastYear));
        if (figures.lastYear - figures.firstYear >= kMostStatisticsYears)
            throw Error(tr("At most %1 years can be counted at once; %2 to %3 are %4.")
                            .arg(kMostStatisticsYears)
                            .arg(figures.firstYear)
                            .arg(figures.lastYear)
                            .arg(figures.lastYear - figures.firstYear + 1));
    } else if (figures.datedYears) {
        figures.lastYear = std::clamp(figures.datedYears->second, 1, 9999);
        figures.firstYear = std::clamp(figures.datedYears->first,
                                       std::max(1, figures.lastYear - kMostStatisticsYears + 1), figures.lastYear);
    } else {
        figures.firstYear = figures.lastYear = QDate::currentDate().year();
    }

    figures.byYear.caption = tr("Year");
    for (int year = figures.firstYear; year <= figures.lastYear; ++year) {
        const YearFigures counts = dated.value(year);
        YearMonths months;
        months.year = year;
        months.jobs = counts.jobs;
        for (const qint64 jobs : counts.jobs)
            figures.busiestMonth = std::max(figures.busiestMonth, jobs);
        figures.months << months;
        addRow(figures.byYear, {QString::number(year), false, months.total(), counts.minutes});
    }
    if (figures.undatedJobs > 0)
        addRow(figures.byYear, {QString(), true, figures.undatedJobs, undatedMinutes});
    figures.jobs = figures.byYear.jobs;
    figures.minutes = figures.byYear.minutes;

    // Every field in one statement: the jobs of each combination of values, added up per field
    // here. A season's jobs have few combinations, and SQLite reads and sorts the jobs once
    // instead of once per field.
    if (fields.isEmpty())
        return figures;
    QStringList columns{countedCondition(days, figures.firstYear, figures.lastYear)};
    QStringList groupBy{QStringLiteral("1")};
    for (const StatisticsField &field : fields) {
        columns << sql::quoted(field.name);
        groupBy << QString::number(groupBy.size() + 1);
    }
    columns << QStringLiteral("count(*)") << QStringLiteral("sum(%1)").arg(kTime);
    const StatisticsQuery query{columns.join(QStringLiteral(", ")), groupBy.join(QStringLiteral(", "))};
    figures.queries << query;
    const int count = int(fields.size());
    std::vector<QHash<QString, FigureRow>> values(fields.size());
    std::vector<FigureRow> nones(size_t(count), FigureRow{QString(), true, 0, 0});
    sql::Statement statement = table.selectShown(query.columns, query.groupBy);
    while (statement.step()) {
        if (statement.int64(0) == 0)
            continue;  // jobs of other years
        const qint64 jobs = statement.int64(count + 1);
        const qint64 minutes = statement.int64(count + 2);
        for (int i = 0; i < count; ++i) {
            // A value of blanks counts as none, and one with blanks around it as the value
            // without them, as the window shows them alike; trimmed here rather than by SQLite,
            // which would then sort by the trimmed texts, a quarter slower.
            const QString value = statement.isNull(i + 1) ? QString() : statement.text(i + 1).trimmed();
            FigureRow *row = &nones[size_t(i)];
            if (!value.isEmpty()) {
                row = &values[size_t(i)][value];
                row->value = value;
            }
            row->jobs += jobs;
            row->minutes += minutes;
        }
    }
    for (int i = 0; i < count; ++i) {
        FigureTable byValue;
        byValue.field = fields.at(i).name;
        byValue.caption = fields.at(i).caption;
        for (const FigureRow &row : std::as_const(values[size_t(i)]))
            addRow(byValue, row);
        if (nones[size_t(i)].jobs > 0)
            addRow(byValue, nones[size_t(i)]);
        sortRows(byValue.rows);
        figures.byField << byValue;
    }
    return figures;
}

}  // namespace kelvara
