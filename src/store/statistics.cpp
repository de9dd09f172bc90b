#include "store/statistics.h"

#include "store/error.h"
#include "store/sqlite.h"
#include "store/table.h"

#include <QCoreApplication>
#include <QDate>
#include <QMap>

#include <algorithm>

namespace kelvara {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("Statistics", text);
}

// A job's date counts when it is a real day written as the store writes dates (yyyy-mm-dd);
// anything else, as an empty field, counts as no date. date() with a modifier gives back the
// same text only for a day that exists (2023-02-30 becomes 2023-03-02), so that is no date either.
const QString kDated
    = QStringLiteral("coalesce(date(substr(\"Dato\", 1, 10), '+0 days') = substr(\"Dato\", 1, 10), 0)");

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

}  // namespace

qint64 YearMonths::total() const
{
    qint64 sum = 0;
    for (const qint64 count : jobs)
        sum += count;
    return sum;
}

StatisticsQuery monthsQuery()
{
    return {QStringLiteral("CASE WHEN %1 THEN substr(\"Dato\", 1, 7) END, count(*), sum(\"timeused\")").arg(kDated),
            QStringLiteral("1")};
}

StatisticsQuery fieldQuery(const QString &field, int firstYear, int lastYear)
{
    // Years compare as the four digits date() writes, so that no job's date is converted twice.
    const QString counted = QStringLiteral("(NOT %1 OR substr(\"Dato\", 1, 4) BETWEEN '%2' AND '%3')")
                                .arg(kDated)
                                .arg(firstYear, 4, 10, QLatin1Char('0'))
                                .arg(lastYear, 4, 10, QLatin1Char('0'));
    const QString column = sql::quoted(field);
    return {
        QStringLiteral("nullif(trim(%1), ''), sum(%2), sum(CASE WHEN %2 THEN \"timeused\" END)").arg(column, counted),
        QStringLiteral("1")};
}

SeasonStatistics countSeasonStatistics(const Table &table, const QList<StatisticsField> &fields,
                                       std::optional<std::pair<int, int>> years)
{
    SeasonStatistics figures;

    // The months of every year at once: a few hundred rows at most, from which the years that
    // hold jobs are known before the range is settled.
    QMap<int, YearFigures> dated;
    qint64 undatedMinutes = 0;
    {
        const StatisticsQuery query = monthsQuery();
        sql::Statement statement = table.selectShown(query.columns, query.groupBy);
        while (statement.step()) {
            const qint64 jobs = statement.int64(1);
            const qint64 minutes = statement.int64(2);
            figures.shownJobs += jobs;
            if (statement.isNull(0)) {
                figures.undatedJobs += jobs;
                undatedMinutes += minutes;
                continue;
            }
            const QString month = statement.text(0);
            YearFigures &year = dated[month.left(4).toInt()];
            year.jobs[size_t(std::clamp(month.mid(5, 2).toInt(), 1, 12) - 1)] += jobs;
            year.minutes += minutes;
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

    for (const StatisticsField &field : fields) {
        FigureTable byValue;
        byValue.field = field.name;
        byValue.caption = field.caption;
        const StatisticsQuery query = fieldQuery(field.name, figures.firstYear, figures.lastYear);
        sql::Statement statement = table.selectShown(query.columns, query.groupBy);
        while (statement.step()) {
            const qint64 jobs = statement.int64(1);
            if (jobs == 0)
                continue;  // a value only jobs of other years have
            addRow(
                byValue,
                {statement.isNull(0) ? QString() : statement.text(0), statement.isNull(0), jobs, statement.int64(2)});
        }
        sortRows(byValue.rows);
        figures.byField << byValue;
    }
    return figures;
}

}  // namespace kelvara
