#include "errorof.h"
#include "store/field.h"
#include "store/kelvaratable.h"
#include "store/sqlite.h"
#include "store/statistics.h"
#include "store/table.h"
#include "testworkspace.h"

#include <QDate>
#include <QtTest>

using namespace kelvara;
using namespace kelvara::test;

namespace {

using Years = std::optional<std::pair<int, int>>;

QList<StatisticsField> pickListFields()
{
    return {{QStringLiteral("Typeofbee"), QStringLiteral("Type of bee")},
            {QStringLiteral("method"), QStringLiteral("Method of removal")},
            {QStringLiteral("camefrom"), QStringLiteral("Came from")},
            {QStringLiteral("wentinto"), QStringLiteral("Went into hive")}};
}

// A table of figures as "value=jobs/minutes" in its order, "-" for the row of none.
QString describe(const FigureTable &table)
{
    QStringList rows;
    for (const FigureRow &row : table.rows)
        rows << QStringLiteral("%1=%2/%3")
                    .arg(row.none ? QStringLiteral("-") : row.value)
                    .arg(row.jobs)
                    .arg(row.minutes);
    return rows.join(QLatin1Char(' '));
}

const FigureTable &figureTable(const SeasonStatistics &figures, const QString &field)
{
    if (field == QLatin1String("year"))
        return figures.byYear;
    for (const FigureTable &table : figures.byField) {
        if (table.field == field)
            return table;
    }
    qFatal("no table of %s", qPrintable(field));
}

// Eight jobs over 2022 to 2024 and two without a date: one has none, the other a day that
// does not exist, as another program may have written it.
void makeJobs(Table &table)
{
    struct Job
    {
        QVariant date;
        QVariant bee, method, cameFrom, wentInto, minutes;
    };
    const QVariant none;
    const auto s = [](const char *text) { return QVariant(QString::fromUtf8(text)); };
    const QList<Job> jobs{
        {QDate(2022, 5, 10), s("Italian"), s("Cut-out"), s("Wall"), s("Hive 1"), 90},
        {QDate(2022, 5, 20), s("Italian"), s("Shake"), s("Tree"), s("Hive 1"), 30},
        {QDate(2022, 6, 1), s("Carniolan"), s("Shake"), s("Tree"), s("Hive 2"), 45},
        {QDate(2023, 5, 15), s("Italian"), s("Shake"), s("Tree"), s(""), 60},
        {QDate(2023, 7, 4), none, s("Cut-out"), s("Chimney"), s("Hive 2"), 120},
        {QDate(2024, 4, 30), s("Carniolan"), s("Vacuum"), s("Tree"), s("Hive 1"), none},
        {none, s("Italian"), s(""), s("Tree"), s("Hive 1"), 15},
        {QDate(2023, 2, 28), s("  "), s("Shake"), none, s("Hive 3"), 10},
    };
    table.setTableName(QStringLiteral("kelvara"));
    createKelvaraTable(table);
    table.open();
    for (const Job &job : jobs) {
        table.append();
        const QVariantList values{job.date, job.bee, job.method, job.cameFrom, job.wentInto, job.minutes};
        const QStringList names{QStringLiteral("Dato"),     QStringLiteral("Typeofbee"), QStringLiteral("method"),
                                QStringLiteral("camefrom"), QStringLiteral("wentinto"),  QStringLiteral("timeused")};
        for (int i = 0; i < names.size(); ++i)
            table.fieldByName(names.at(i))->setValue(values.at(i));
        table.post();
    }
    sql::Database db(table.fileName(), sql::Database::Mode::ReadWrite);
    db.exec(QStringLiteral("UPDATE kelvara SET Dato = '2023-02-30' WHERE Dato = '2023-02-28'"));
}


}  // namespace

// The season figures counted from the shown jobs.
class StatisticsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void tables_data();
    void tables();
    void monthsShareOneScale();
    void emptyTableAndEmptyYears();
    void tooManyYearsAreRefused();
};

void StatisticsTest::tables_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<Years>("years");
    QTest::addColumn<QString>("rangeBee");  // a query's range on the type of bee
    QTest::addColumn<QString>("expected");

    const Years all;
    QTest::newRow("by year") << "year" << all << QString() << "2022=3/165 2023=2/180 2024=1/0 -=2/25";
    QTest::newRow("by type of bee, the empty and blank ones as none")
        << "Typeofbee" << all << QString() << "Italian=4/195 Carniolan=2/45 -=2/130";
    QTest::newRow("by method") << "method" << all << QString() << "Shake=4/145 Cut-out=2/210 Vacuum=1/0 -=1/15";
    QTest::newRow("by where it came from, ties by name")
        << "camefrom" << all << QString() << "Tree=5/150 Chimney=1/120 Wall=1/90 -=1/10";
    QTest::newRow("by hive") << "wentinto" << all << QString() << "Hive 1=4/135 Hive 2=2/165 Hive 3=1/10 -=1/60";
    QTest::newRow("one year and the undated")
        << "Typeofbee" << Years({2023, 2023}) << QString() << "Italian=2/75 -=2/130";
    QTest::newRow("one year, a value only other years have is left out")
        << "method" << Years({2024, 2024}) << QString() << "Shake=1/10 Vacuum=1/0 -=1/15";
    QTest::newRow("years the wrong way round")
        << "year" << Years({2023, 2022}) << QString() << "2022=3/165 2023=2/180 -=2/25";
    QTest::newRow("years without jobs") << "year" << Years({2010, 2011}) << QString() << "2010=0/0 2011=0/0 -=2/25";
    QTest::newRow("a query's range narrows the years")
        << "year" << all << QStringLiteral("Italian") << "2022=2/120 2023=1/60 -=1/15";
    QTest::newRow("a query's range narrows the hives")
        << "wentinto" << all << QStringLiteral("Carniolan") << "Hive 1=1/0 Hive 2=1/45";
}

void StatisticsTest::tables()
{
    QFETCH(QString, field);
    QFETCH(Years, years);
    QFETCH(QString, rangeBee);
    QFETCH(QString, expected);

    TestWorkspace workspace;
    Table table;
    makeJobs(table);
    if (!rangeBee.isEmpty()) {
        table.setIndexFieldNames(QStringLiteral("Typeofbee"));
        table.setRangeStart();
        table.fieldByName(QStringLiteral("Typeofbee"))->setAsString(rangeBee);
        table.setRangeEnd();
        table.fieldByName(QStringLiteral("Typeofbee"))->setAsString(rangeBee);
        table.applyRange();
    }
    const SeasonStatistics figures = countSeasonStatistics(table, pickListFields(), years);
    const FigureTable &counted = figureTable(figures, field);
    QCOMPARE(describe(counted), expected);
    // Every table counts the same jobs, so no job is lost from a total.
    for (const FigureTable &other : figures.byField) {
        QCOMPARE(other.jobs, figures.jobs);
        QCOMPARE(other.minutes, figures.minutes);
    }
    QCOMPARE(figures.byYear.jobs, figures.jobs);
}

void StatisticsTest::monthsShareOneScale()
{
    TestWorkspace workspace;
    Table table;
    makeJobs(table);
    const SeasonStatistics figures = countSeasonStatistics(table, pickListFields());
    QCOMPARE(figures.datedYears, Years({2022, 2024}));
    QCOMPARE(figures.firstYear, 2022);
    QCOMPARE(figures.lastYear, 2024);
    QCOMPARE(figures.shownJobs, 8);
    QCOMPARE(figures.undatedJobs, 2);
    QCOMPARE(figures.jobs, 8);
    QCOMPARE(figures.minutes, 370);
    QCOMPARE(figures.busiestMonth, 2);
    QCOMPARE(figures.months.size(), 3);
    const std::array<qint64, 12> in2022{0, 0, 0, 0, 2, 1, 0, 0, 0, 0, 0, 0};
    const std::array<qint64, 12> in2023{0, 0, 0, 0, 1, 0, 1, 0, 0, 0, 0, 0};
    const std::array<qint64, 12> in2024{0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0};
    QCOMPARE(figures.months.at(0).year, 2022);
    QVERIFY(figures.months.at(0).jobs == in2022);
    QVERIFY(figures.months.at(1).jobs == in2023);
    QVERIFY(figures.months.at(2).jobs == in2024);

    // Jobs of years outside the chosen ones are not counted, but still known to be there.
    const SeasonStatistics one = countSeasonStatistics(table, pickListFields(), Years({2024, 2024}));
    QCOMPARE(one.busiestMonth, 1);
    QCOMPARE(one.shownJobs, 8);
    QCOMPARE(one.jobs, 3);
}

void StatisticsTest::emptyTableAndEmptyYears()
{
    TestWorkspace workspace;
    Table table;
    table.setTableName(QStringLiteral("kelvara"));
    createKelvaraTable(table);
    table.open();
    const SeasonStatistics empty = countSeasonStatistics(table, pickListFields());
    QVERIFY(!empty.datedYears);
    QCOMPARE(empty.firstYear, QDate::currentDate().year());
    QCOMPARE(empty.lastYear, empty.firstYear);
    QCOMPARE(empty.months.size(), 1);
    QCOMPARE(empty.busiestMonth, 0);
    QCOMPARE(empty.jobs, 0);
    QCOMPARE(describe(empty.byYear), QStringLiteral("%1=0/0").arg(empty.firstYear));
    for (const FigureTable &byField : empty.byField)
        QVERIFY(byField.rows.isEmpty());
}

void StatisticsTest::tooManyYearsAreRefused()
{
    TestWorkspace workspace;
    Table table;
    makeJobs(table);
    QCOMPARE(errorOf([&] {
                 countSeasonStatistics(table, pickListFields(), Years({1900, 2023}));
             }),
             QStringLiteral("At most 100 years can be counted at once; 1900 to 2023 are 124."));
    QCOMPARE(errorOf([&] {
                 countSeasonStatistics(table, pickListFields(), Years({0, 50}));
             }),
             QStringLiteral("Years from 1 to 9999 can be counted; 0 to 50 cannot."));
    QCOMPARE(countSeasonStatistics(table, pickListFields(), Years({1924, 2023})).months.size(), 100);
}

QTEST_GUILESS_MAIN(StatisticsTest)
#include "tst_statistics.moc"
