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

// What kelvara_tally adds up in one pass: the jobs and minutes of each stored date, and of each
// value of each field by the year of the job's date (0: none), so that the chosen years can be
// applied once the years that hold jobs are known.
struct Tally
{
    struct Date
    {
        QVariant stored;  // as SQLite typed it; null for none
        QDate date;       // the date the store reads in it; invalid for none
        qint64 jobs = 0;
        qint64 minutes = 0;
    };
    struct InYear
    {
        int year;
        qint64 jobs;
        qint64 minutes;
    };
    struct Value
    {
        bool null = true;
        QByteArray bytes;
        std::vector<InYear> years;
    };

    std::vector<Date> dates;
    QHash<QByteArray, int> dateIndex;  // by the stored date's bytes
    int nullDate = -1;
    std::vector<std::vector<Value>> values;  // by field
    std::vector<QHash<QByteArray, int>> valueIndex;
    std::vector<int> nullValue;
};

const char *const kTallyType = "kelvara_tally";

QVariant storedValue(sqlite3_value *value, const QByteArray &bytes)
{
    switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER: return QVariant(qint64(sqlite3_value_int64(value)));
    case SQLITE_FLOAT: return QVariant(sqlite3_value_double(value));
    case SQLITE_BLOB: return QVariant(bytes);
    default: return QVariant(QString::fromUtf8(bytes));
    }
}

// Bytes that stay valid only while SQLite is on the row: looked up without a copy.
QByteArray rawBytes(sqlite3_value *value)
{
    const auto *data = reinterpret_cast<const char *>(sqlite3_value_text(value));
    return QByteArray::fromRawData(data ? data : "", sqlite3_value_bytes(value));
}

// kelvara_tally(date, minutes, field...): aggregate; gives the Tally as a pointer.
void tallyStep(sqlite3_context *context, int argc, sqlite3_value **argv)
{
    auto **slot = static_cast<Tally **>(sqlite3_aggregate_context(context, sizeof(Tally *)));
    if (!slot) {
        sqlite3_result_error_nomem(context);
        return;
    }
    try {
        if (!*slot) {
            *slot = new Tally;
            const size_t fields = size_t(argc - 2);
            (*slot)->values.resize(fields);
            (*slot)->valueIndex.resize(fields);
            (*slot)->nullValue.assign(fields, -1);
        }
        Tally &tally = **slot;
        int date = tally.nullDate;
        if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
            if (date < 0) {
                date = tally.nullDate = int(tally.dates.size());
                tally.dates.push_back({});
            }
        } else {
            const QByteArray bytes = rawBytes(argv[0]);
            const auto found = tally.dateIndex.constFind(bytes);
            if (found != tally.dateIndex.constEnd()) {
                date = *found;
            } else {
                const QByteArray kept(bytes.constData(), bytes.size());
                const QDate read = QDate::fromString(QString::fromUtf8(kept), Qt::ISODate);
                date = int(tally.dates.size());
                tally.dates.push_back({storedValue(argv[0], kept), read, 0, 0});
                tally.dateIndex.insert(kept, date);
            }
        }
        const qint64 minutes = sqlite3_value_type(argv[1]) == SQLITE_NULL ? 0 : sqlite3_value_int64(argv[1]);
        Tally::Date &day = tally.dates[size_t(date)];
        ++day.jobs;
        day.minutes += minutes;
        const int dayYear = day.date.isValid() ? day.date.year() : 0;
        for (int i = 0; i < argc - 2; ++i) {
            sqlite3_value *arg = argv[i + 2];
            std::vector<Tally::Value> &values = tally.values[size_t(i)];
            int index = -1;
            if (sqlite3_value_type(arg) == SQLITE_NULL) {
                index = tally.nullValue[size_t(i)];
                if (index < 0) {
                    index = tally.nullValue[size_t(i)] = int(values.size());
                    values.emplace_back();
                }
            } else {
                const QByteArray bytes = rawBytes(arg);
                QHash<QByteArray, int> &known = tally.valueIndex[size_t(i)];
                const auto found = known.constFind(bytes);
                if (found != known.constEnd()) {
                    index = *found;
                } else {
                    index = int(values.size());
                    Tally::Value value;
                    value.null = false;
                    value.bytes = QByteArray(bytes.constData(), bytes.size());
                    known.insert(value.bytes, index);
                    values.push_back(std::move(value));
                }
            }
            std::vector<Tally::InYear> &years = values[size_t(index)].years;
            auto year
                = std::find_if(years.begin(), years.end(), [&](const Tally::InYear &y) { return y.year == dayYear; });
            if (year == years.end())
                years.push_back({dayYear, 1, minutes});
            else {
                ++year->jobs;
                year->minutes += minutes;
            }
        }
    } catch (...) {
        sqlite3_result_error_nomem(context);
    }
}

void tallyFinal(sqlite3_context *context)
{
    auto **slot = static_cast<Tally **>(sqlite3_aggregate_context(context, 0));
    if (!slot || !*slot) {
        sqlite3_result_null(context);
        return;
    }
    sqlite3_result_pointer(context, *slot, kTallyType, [](void *tally) { delete static_cast<Tally *>(tally); });
    *slot = nullptr;
}

}  // namespace

void registerStatisticsFunctions(sqlite3 *db)
{
    sqlite3_create_function_v2(db, "kelvara_tally", -1, SQLITE_UTF8 | SQLITE_DIRECTONLY, nullptr, nullptr, tallyStep,
                               tallyFinal, nullptr);
}

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

    // One pass over the shown jobs adds them up by stored date, and each field's values by the
    // year of the job; the dates are read as the store reads a date (yyyy-mm-dd, a day that
    // exists), and the years that hold jobs are known before the range is settled.
    QStringList fieldColumns;
    for (const StatisticsField &field : fields)
        fieldColumns << sql::quoted(field.name);
    Tally tally;
    {
        sql::Statement statement
            = table.selectShown(QStringLiteral("kelvara_tally(%1)")
                                    .arg((QStringList{kDate, kTime} + fieldColumns).join(QStringLiteral(", "))));
        if (statement.step()) {
            if (auto *counted = static_cast<Tally *>(statement.pointer(0, kTallyType)))
                tally = std::move(*counted);
        }
    }
    tally.values.resize(size_t(fields.size()));  // none when no job is shown
    QList<Day> days;
    QMap<int, YearFigures> dated;
    qint64 undatedMinutes = 0;
    for (const Tally::Date &date : tally.dates) {
        figures.shownJobs += date.jobs;
        const Day day{date.stored, date.date, date.jobs, date.minutes};
        if (date.stored.isValid())
            days << day;
        if (!day.date.isValid()) {
            figures.undatedJobs += day.jobs;
            undatedMinutes += day.minutes;
            continue;
        }
        YearFigures &year = dated[day.date.year()];
        year.jobs[size_t(day.date.month() - 1)] += day.jobs;
        year.minutes += day.minutes;
    }
    figures.queries << StatisticsQuery{QStringLiteral("%1, count(*), sum(%2)").arg(kDate, kTime), QStringLiteral("1")};
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

    // The GROUP BY statement of the fields that gives the same figures, for comparison.
    if (fields.isEmpty())
        return figures;
    QStringList columns{countedCondition(days, figures.firstYear, figures.lastYear)};
    QStringList groupBy{QStringLiteral("1")};
    for (const QString &column : std::as_const(fieldColumns)) {
        columns << column;
        groupBy << QString::number(groupBy.size() + 1);
    }
    columns << QStringLiteral("count(*)") << QStringLiteral("sum(%1)").arg(kTime);
    figures.queries << StatisticsQuery{columns.join(QStringLiteral(", ")), groupBy.join(QStringLiteral(", "))};

    const int count = int(fields.size());
    std::vector<QHash<QString, FigureRow>> values(fields.size());
    std::vector<FigureRow> nones(size_t(count), FigureRow{QString(), true, 0, 0});
    for (int i = 0; i < count; ++i) {
        for (const Tally::Value &stored : tally.values[size_t(i)]) {
            // A value of blanks counts as none, and one with blanks around it as the value
            // without them, as the window shows them alike.
            const QString value = stored.null ? QString() : QString::fromUtf8(stored.bytes).trimmed();
            FigureRow *row = &nones[size_t(i)];
            if (!value.isEmpty()) {
                row = &values[size_t(i)][value];
                row->value = value;
            }
            // Jobs of the chosen years, and those without a date.
            for (const Tally::InYear &year : stored.years) {
                if (year.year != 0 && (year.year < figures.firstYear || year.year > figures.lastYear))
                    continue;
                row->jobs += year.jobs;
                row->minutes += year.minutes;
            }
        }
    }
    for (int i = 0; i < count; ++i) {
        FigureTable byValue;
        byValue.field = fields.at(i).name;
        byValue.caption = fields.at(i).caption;
        for (const FigureRow &row : std::as_const(values[size_t(i)])) {
            if (row.jobs > 0)  // a value only other years have
                addRow(byValue, row);
        }
        if (nones[size_t(i)].jobs > 0)
            addRow(byValue, nones[size_t(i)]);
        sortRows(byValue.rows);
        figures.byField << byValue;
    }
    return figures;
}

}  // namespace kelvara
