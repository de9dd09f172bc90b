#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <sqlite3.h>

#include <array>
#include <optional>
#include <utility>

namespace kelvara {

class Table;

// The season figures of the jobs a table shows (all of them, or those a query's range or a find
// leaves): jobs per month of each chosen year, and jobs and time used by year and by the values
// of pick-list fields. Counted in one pass over the shown records by a function of ours that
// adds them up by stored date and by each field's value and year as SQLite reads them: GROUP BY
// would sort every job for each grouping. The table is not moved.

// A field to count by, with the caption the user knows it by.
struct StatisticsField
{
    QString name;
    QString caption;
};

// Jobs and minutes of one value: a year, a type of bee. A job without a date, or whose field
// is empty, counts under a row with none set, so that no job drops out of a total.
struct FigureRow
{
    QString value;
    bool none = false;
    qint64 jobs = 0;
    qint64 minutes = 0;
};

struct FigureTable
{
    QString field;  // empty for the table by year
    QString caption;
    QList<FigureRow> rows;  // the most jobs first (by year: in year order), the row of none last
    qint64 jobs = 0;
    qint64 minutes = 0;
};

// A statement the figures are counted with: its column list and GROUP BY term for
// Table::selectShown.
struct StatisticsQuery
{
    QString columns;
    QString groupBy;
};

struct YearMonths
{
    int year = 0;
    std::array<qint64, 12> jobs{};  // January first
    qint64 total() const;
};

struct SeasonStatistics
{
    // The chosen years, first <= last; the jobs they hold and those without a date are counted.
    int firstYear = 0;
    int lastYear = 0;
    // The first and last year that hold shown jobs; nullopt when no shown job has a date.
    std::optional<std::pair<int, int>> datedYears;
    QList<YearMonths> months;  // one per chosen year, in order, years without jobs included
    qint64 busiestMonth = 0;   // the most jobs of one month in the chosen years: the charts' scale
    qint64 shownJobs = 0;      // every shown job, of any year
    qint64 undatedJobs = 0;
    FigureTable byYear;
    QList<FigureTable> byField;
    // Jobs counted in every table: those of the chosen years and those without a date.
    qint64 jobs = 0;
    qint64 minutes = 0;
    // The GROUP BY statements that give the same figures (the jobs of each stored date, then
    // those of each combination of the fields' values), for comparing with SQLite's own way.
    QList<StatisticsQuery> queries;
};

// The most years one window of figures covers.
constexpr int kMostStatisticsYears = 100;

// Counts the figures of the shown jobs over the years given, or, without them, over the years
// that hold shown jobs (the latest kMostStatisticsYears of them; this year when none has a date).
// Years given the wrong way round are taken the right way; a span of more than
// kMostStatisticsYears years fails with an Error. Fails with the store's message when a
// statement cannot run.
// The function the figures are counted with, for every connection of the store.
void registerStatisticsFunctions(sqlite3 *db);

SeasonStatistics countSeasonStatistics(const Table &table, const QList<StatisticsField> &fields,
                                       std::optional<std::pair<int, int>> years = std::nullopt);

}  // namespace kelvara
