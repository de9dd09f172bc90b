#include "app/statisticswindow.h"
#include "app/tform1.h"
#include "namedchild.h"
#include "pdfpages.h"
#include "report/printpreview.h"
#include "scripteddialogs.h"
#include "store/field.h"
#include "store/kelvaratable.h"
#include "store/table.h"
#include "testworkspace.h"

#include <QAction>
#include <QDate>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

using namespace kelvara;
using namespace kelvara::test;

namespace {

// Makes the job table before the window opens it: five jobs over two seasons and one without a
// date.
void seedSeasons()
{
    struct Job
    {
        QDate date;
        const char *bee;
        int minutes;
    };
    const QList<Job> jobs{{QDate(2022, 5, 3), "Italian", 60},  {QDate(2022, 6, 9), "Carniolan", 45},
                          {QDate(2023, 5, 21), "Italian", 30}, {QDate(2023, 5, 22), "Buckfast", 20},
                          {QDate(2023, 8, 1), "Italian", 15},  {QDate(), "Italian", 5}};
    Table table;
    table.setTableName(QStringLiteral("kelvara"));
    createKelvaraTable(table);
    table.open();
    for (const Job &job : jobs) {
        table.append();
        if (job.date.isValid())
            table.fieldByName(QStringLiteral("Dato"))->setValue(job.date);
        table.fieldByName(QStringLiteral("Typeofbee"))->setAsString(QString::fromLatin1(job.bee));
        table.fieldByName(QStringLiteral("timeused"))->setValue(job.minutes);
        table.post();
    }
}

// Opens File > Statistics and hands the window to check before it is closed.
void openStatistics(TForm1 &form, ScriptedDialogs &dialogs, const std::function<void(StatisticsWindow &)> &check)
{
    bool shown = false;
    dialogs.onExec = [&](QDialog &dialog) {
        auto *window = qobject_cast<StatisticsWindow *>(&dialog);
        if (window) {
            shown = true;
            check(*window);
        }
        return int(QDialog::Rejected);
    };
    namedChild<QAction>(&form, "Statistics")->trigger();
    QVERIFY(shown);
    QVERIFY2(dialogs.texts().isEmpty(), qPrintable(dialogs.texts().join(QLatin1Char('\n'))));
}

}  // namespace

// The statistics window as the main window opens it: its figures follow the shown jobs, its
// tables carry the data sheet's captions, its years can be chosen, and it prints.
class StatisticsWindowTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fromTheMenuAndPrinted();
    void followsTheQuerysRange();
    void yearsSwappedOrRefused_data();
    void yearsSwappedOrRefused();
};

void StatisticsWindowTest::fromTheMenuAndPrinted()
{
    TestWorkspace workspace;
    ScriptedDialogsScope dialogs;
    seedSeasons();
    TForm1 form;
    const QString pdf = workspace.filePath(QStringLiteral("statistics.pdf"));
    dialogs->onPreview = [&](QWidget *, PagedDocument &document) { writePdfFile(document, pdf); };
    openStatistics(form, *dialogs, [&](StatisticsWindow &window) {
        QCOMPARE(namedChild<QLabel>(&window, "counted")->text(), QStringLiteral("Counting: All jobs"));
        QCOMPARE(namedChild<QSpinBox>(&window, "fromYear")->value(), 2022);
        QCOMPARE(namedChild<QSpinBox>(&window, "toYear")->value(), 2023);
        const SeasonStatistics &figures = window.statistics();
        QCOMPARE(figures.jobs, 6);
        QCOMPARE(figures.minutes, 175);
        QStringList captions;
        for (const FigureTable &table : figures.byField)
            captions << table.caption;
        QCOMPARE(captions, (QStringList{"Type of bee", "Method of removal", "Came from", "Went into hive"}));
        namedChild<QPushButton>(&window, "print")->click();
    });
    QCOMPARE(dialogs->previewTitles, QStringList{QStringLiteral("Season statistics")});
    const std::optional<QString> text = readPdfText(pdf);
    if (!text)
        QSKIP(pdfToolMissing());
    for (const char *words :
         {"All jobs, years 2022 to 2023", "Type of bee", "Italian", "Went into hive", "(no date)", "2:55"})
        QVERIFY2(text->contains(QLatin1String(words)),
                 qPrintable(QStringLiteral("%1 is not in:\n%2").arg(QLatin1String(words), *text)));
}

void StatisticsWindowTest::followsTheQuerysRange()
{
    TestWorkspace workspace;
    ScriptedDialogsScope dialogs;
    seedSeasons();
    TForm1 form;
    Table &table = *form.table();
    table.setIndexFieldNames(QStringLiteral("Typeofbee"));
    table.setRangeStart();
    table.fieldByName(QStringLiteral("Typeofbee"))->setAsString(QStringLiteral("Italian"));
    table.setRangeEnd();
    table.fieldByName(QStringLiteral("Typeofbee"))->setAsString(QStringLiteral("Italian"));
    table.applyRange();
    openStatistics(form, *dialogs, [&](StatisticsWindow &window) {
        QCOMPARE(namedChild<QLabel>(&window, "counted")->text(), QStringLiteral("Counting: Jobs in the query's range"));
        QCOMPARE(window.statistics().jobs, 4);
        QCOMPARE(window.statistics().minutes, 110);
        QCOMPARE(window.statistics().byField.at(0).rows.size(), 1);
    });
}

void StatisticsWindowTest::yearsSwappedOrRefused_data()
{
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<int>("shownFirst");
    QTest::addColumn<int>("shownLast");
    QTest::addColumn<qint64>("jobs");
    QTest::addColumn<QString>("message");

    QTest::newRow("one year") << 2023 << 2023 << 2023 << 2023 << qint64(4) << QString();
    QTest::newRow("the wrong way round") << 2023 << 2022 << 2022 << 2023 << qint64(6)
                                         << QStringLiteral(
                                                "From 2023 is after to 2022: the years are counted from 2022 to 2023.");
    QTest::newRow("years without jobs") << 1990 << 1991 << 1990 << 1991 << qint64(1) << QString();
    QTest::newRow("too many years, the figures stay")
        << 1900 << 2023 << 2022 << 2023 << qint64(6)
        << QStringLiteral("At most 100 years can be counted at once; 1900 to 2023 are 124.");
}

void StatisticsWindowTest::yearsSwappedOrRefused()
{
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(int, shownFirst);
    QFETCH(int, shownLast);
    QFETCH(qint64, jobs);
    QFETCH(QString, message);

    TestWorkspace workspace;
    seedSeasons();
    Table table;
    table.setTableName(QStringLiteral("kelvara"));
    table.open();
    StatisticsWindow window(table, {}, QStringLiteral("All jobs"));
    window.setYears(first, last);
    QCOMPARE(window.message(), message);
    QCOMPARE(window.statistics().jobs, jobs);
    QCOMPARE(namedChild<QSpinBox>(&window, "fromYear")->value(), shownFirst);
    QCOMPARE(namedChild<QSpinBox>(&window, "toYear")->value(), shownLast);
    QCOMPARE(window.statistics().firstYear, shownFirst);
    // Drawn with any years, years without jobs too.
    QVERIFY(!window.grab().isNull());
}

QTEST_MAIN(StatisticsWindowTest)
#include "tst_statisticswindow.moc"
