// The enhanced grid's commands: the export file's bytes and where it goes, select all and
// unselect all, the printouts and the query dialog through the companion windows, customizing
// with the column chooser, and saving and loading the column layout in the settings store.

#include "grid/tenhancedgrid.h"
#include "gridfixture.h"
#include "platform/settingsstore.h"
#include "scriptedcompanions.h"
#include "scripteddialogs.h"
#include "store/error.h"
#include "store/field.h"
#include "store/sqlite.h"

#include <QSettings>
#include <QtTest>

using namespace kelvara;
using namespace kelvara::test;

namespace {

FieldDefs textDefs(const QStringList &names)
{
    FieldDefs defs;
    for (const QString &name : names)
        defs << test::fieldDef(name, ftString, 40);
    return defs;
}

void addRows(Table &table, const QList<QStringList> &rows)
{
    for (const QStringList &row : rows) {
        table.append();
        for (int i = 0; i < row.size(); ++i)
            table.field(i)->setAsString(row.at(i));
        table.post();
    }
    if (!rows.isEmpty())
        table.first();
}

// A grid with a column of its own for each named field, at the given widths (0: the default).
std::unique_ptr<TEnhancedGrid> gridWithColumns(GridFixture &fixture, const QStringList &names,
                                               const QList<int> &widths = {})
{
    auto grid = fixture.makeGrid<TEnhancedGrid>(5, 400);
    for (int i = 0; i < names.size(); ++i)
        addColumn(*grid, names.at(i), widths.value(i));
    return grid;
}

QStringList visibleColumns(const TEnhancedGrid &grid)
{
    QStringList names;
    for (int i = 0; i < grid.columns()->count(); ++i) {
        const TColumn *column = grid.columns()->items(i);
        if (column->visible())
            names << column->fieldName() + QLatin1Char('=') + QString::number(column->width());
    }
    return names;
}

QStringList visibleFields(const Table &table)
{
    QStringList names;
    for (const Field *field : table.fields()) {
        if (field->visible())
            names << QString::number(field->index()) + QLatin1Char(':') + field->fieldName();
    }
    return names;
}

}  // namespace

class tst_GridCommands : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void exportBytes_data();
    void exportBytes();
    void exportTakesHiddenColumnsAndEndsOnFirstRecord();
    void defaultExportFileIsInTheDataDirectory();
    void exportThatCannotCreateItsFile_data();
    void exportThatCannotCreateItsFile();
    void exportThatFailsHalfWayKeepsTheLastFile();
    void selectAndUnselectAll_data();
    void selectAndUnselectAll();
    void printouts_data();
    void printouts();
    void queryAndSortByForm_data();
    void queryAndSortByForm();
    void customize_data();
    void customize();
    void customizeMatchesFieldNamesByContainment();
    void chooserTicksWhatTheGridShows_data();
    void chooserTicksWhatTheGridShows();
    void savedValueForms();
    void shorterLayoutLeavesNoStaleValues();
    void layoutRoundTripsUnderDefaultName();
    void loadStoredLayout_data();
    void loadStoredLayout();
    void loadWithoutLayoutOnlySwitchesSizingOff();
    void saveThatCannotWrite();
};

void tst_GridCommands::exportBytes_data()
{
    QTest::addColumn<int>("delimiter");
    QTest::addColumn<QStringList>("columns");
    QTest::addColumn<QList<QStringList>>("rows");
    QTest::addColumn<QByteArray>("expected");

    const QStringList three{QStringLiteral("First"), QStringLiteral("Middle"), QStringLiteral("Last")};
    using R = QList<QStringList>;
    QTest::newRow("pipe: an empty value keeps its place")
        << int(TEnhancedGrid::Pipe) << three << R{{"Ann", "", "Lee"}} << QByteArray("Ann||Lee\r\n");
    QTest::newRow("pipe: an empty first value starts the line")
        << int(TEnhancedGrid::Pipe) << QStringList{"First", "Last"} << R{{"", "x", "Lee"}} << QByteArray("|Lee\r\n");
    QTest::newRow("comma: every line ends in CR LF, the last too")
        << int(TEnhancedGrid::Comma) << three << R{{"Ann", "B", "Lee"}, {"Bo", "C", "Ray"}}
        << QByteArray("Ann,B,Lee\r\nBo,C,Ray\r\n");
    QTest::newRow("quote: a bare quotation mark, nothing quoted")
        << int(TEnhancedGrid::Quote) << three << R{{"Ann", "B C", "Lee"}} << QByteArray("Ann\"B C\"Lee\r\n");
    QTest::newRow("a value holding the separator is written as it is")
        << int(TEnhancedGrid::Pipe) << three << R{{"A|x", "B,y", "C\"z"}} << QByteArray("A|x|B,y|C\"z\r\n");
    QTest::newRow("line breaks in a value are written as they are")
        << int(TEnhancedGrid::Comma) << three << R{{"one\r\ntwo", "a\nb", "c"}} << QByteArray("one\r\ntwo,a\nb,c\r\n");
    QTest::newRow("columns in column order, not field order")
        << int(TEnhancedGrid::Pipe) << QStringList{"Last", "First"} << R{{"Ann", "B", "Lee"}}
        << QByteArray("Lee|Ann\r\n");
    QTest::newRow("text beyond ASCII in the locale's encoding")
        << int(TEnhancedGrid::Pipe) << three << R{{"Søren", "Æbelø", ""}}
        << QByteArray("S\xc3\xb8ren|\xc3\x86"
                      "bel\xc3\xb8|\r\n");
    QTest::newRow("no records: an empty file") << int(TEnhancedGrid::Pipe) << three << R{} << QByteArray();
}

void tst_GridCommands::exportBytes()
{
    QFETCH(int, delimiter);
    QFETCH(QStringList, columns);
    QFETCH(QList<QStringList>, rows);
    QFETCH(QByteArray, expected);

    GridFixture fixture(0, textDefs({QStringLiteral("First"), QStringLiteral("Middle"), QStringLiteral("Last")}));
    addRows(fixture.table, rows);
    auto grid = gridWithColumns(fixture, columns);
    grid->setExportDelimiter(TEnhancedGrid::TExportDelimiter(delimiter));
    ScriptedDialogsScope dialogs;
    const QString file = fixture.workspace.filePath(QStringLiteral("out.txt"));
    // An existing file is replaced.
    fixture.workspace.writeFile(QStringLiteral("out.txt"), QByteArray("old content that is longer\r\n"));

    grid->ExportToFile(file);

    QCOMPARE(fixture.workspace.readFile(QStringLiteral("out.txt")), expected);
    QCOMPARE(dialogs->texts(ScriptedDialogs::Kind::Information),
             QStringList{QStringLiteral("Exported To File: ") + file});
}

void tst_GridCommands::exportTakesHiddenColumnsAndEndsOnFirstRecord()
{
    GridFixture fixture(3);
    auto grid = gridWithColumns(fixture, {QStringLiteral("Name"), QStringLiteral("Count"), QStringLiteral("Nothing")});
    grid->columns()->items(1)->setVisible(false);
    fixture.table.last();
    ScriptedDialogsScope dialogs;
    const QString file = fixture.workspace.filePath(QStringLiteral("jobs.txt"));

    grid->ExportToFile(file);

    // A column naming no field still takes its place, empty.
    QCOMPARE(fixture.workspace.readFile(QStringLiteral("jobs.txt")),
             QByteArray("Name 1|1|\r\nName 2|2|\r\nName 3|3|\r\n"));
    QCOMPARE(fixture.table.recNo(), 1);
    QVERIFY(!fixture.table.controlsDisabled());
}

void tst_GridCommands::defaultExportFileIsInTheDataDirectory()
{
    TestWorkspace workspace;
    QVERIFY(QDir().mkdir(QStringLiteral("data")));
    Table table;
    table.setDirectory(QStringLiteral("data"));
    table.setTableName(QStringLiteral("kelvara"));
    table.createTable(textDefs({QStringLiteral("First"), QStringLiteral("Last")}));
    table.open();
    addRows(table, {{QStringLiteral("Ann"), QStringLiteral("Lee")}});
    table.next();
    DataSource source;
    source.setDataSet(&table);
    TEnhancedGrid grid;
    grid.setDataSource(&source);
    ScriptedDialogsScope dialogs;
    const QString expected
        = QDir(workspace.filePath(QStringLiteral("data"))).absoluteFilePath(QStringLiteral("DataExport.Dat"));
    const QString besideProgram
        = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("DataExport.Dat"));
    const bool besideProgramBefore = QFile::exists(besideProgram);

    grid.exportGrid();

    QCOMPARE(QFileInfo(grid.defaultExportFileName()).absoluteFilePath(), expected);
    QFile written(expected);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(written.readAll(), QByteArray("Ann|Lee\r\n"));
    QCOMPARE(QFile::exists(besideProgram), besideProgramBefore);
    QCOMPARE(dialogs->texts(), QStringList{QStringLiteral("Exported To File: ") + grid.defaultExportFileName()});
    QCOMPARE(table.recNo(), 1);
}

void tst_GridCommands::exportThatCannotCreateItsFile_data()
{
    QTest::addColumn<bool>("throughDefaultName");
    QTest::newRow("a named file in a folder that is a file") << false;
    QTest::newRow("the default file, where a folder of that name stands") << true;
}

void tst_GridCommands::exportThatCannotCreateItsFile()
{
    QFETCH(bool, throughDefaultName);

    GridFixture fixture(3);
    auto grid = gridWithColumns(fixture, {QStringLiteral("Name")});
    fixture.table.last();
    ScriptedDialogsScope dialogs;
    QString file;
    if (throughDefaultName) {
        file = grid->defaultExportFileName();
        QVERIFY(QDir().mkpath(file));
    } else {
        fixture.workspace.writeFile(QStringLiteral("plain"), QByteArray("x"));
        file = fixture.workspace.filePath(QStringLiteral("plain/out.txt"));
    }

    const QString error = errorOf([&] {
        if (throughDefaultName)
            grid->exportGrid();
        else
            grid->ExportToFile(file);
    });

    QCOMPARE(error, QStringLiteral("Cannot create file ") + file);
    QVERIFY(dialogs->texts().isEmpty());
    QVERIFY(!fixture.table.controlsDisabled());
    QCOMPARE(fixture.table.recNo(), 1);
}

void tst_GridCommands::exportThatFailsHalfWayKeepsTheLastFile()
{
    // More records than the table keeps in memory, so that the walk reads the far ones anew.
    GridFixture fixture(600);
    auto grid = gridWithColumns(fixture, {QStringLiteral("Name")});
    ScriptedDialogsScope dialogs;
    const QString file = fixture.workspace.filePath(QStringLiteral("out.txt"));
    fixture.workspace.writeFile(QStringLiteral("out.txt"), QByteArray("the last complete export\r\n"));
    {
        // Another program deletes a record the walk has yet to reach.
        sql::Database other(fixture.table.fileName(), sql::Database::Mode::ReadWrite);
        other.exec(QStringLiteral("DELETE FROM %1 WHERE \"_rid\" = 500").arg(sql::quoted(fixture.table.tableName())));
    }

    const QString error = errorOf([&] { grid->ExportToFile(file); });

    QCOMPARE(error, QStringLiteral("Record not found; it may have been deleted by another program"));
    QCOMPARE(fixture.workspace.readFile(QStringLiteral("out.txt")), QByteArray("the last complete export\r\n"));
    QCOMPARE(QDir(fixture.workspace.path()).entryList({QStringLiteral("out.txt*")}, QDir::Files),
             QStringList{QStringLiteral("out.txt")});
    QVERIFY(dialogs->texts().isEmpty());
    QVERIFY(!fixture.table.controlsDisabled());
}

void tst_GridCommands::selectAndUnselectAll_data()
{
    QTest::addColumn<bool>("rowSizing");
    QTest::newRow("rows fixed") << false;
    QTest::newRow("rows sizable: goRowSizing comes back") << true;
}

void tst_GridCommands::selectAndUnselectAll()
{
    QFETCH(bool, rowSizing);

    GridFixture fixture(7);
    auto grid = gridWithColumns(fixture, {QStringLiteral("Name")});
    grid->setRowSizingAllowed(rowSizing);
    fixture.table.setRecNo(4);

    grid->selectAll();
    QVERIFY(grid->options() & TDBGrid::dgMultiSelect);
    QCOMPARE(grid->selectedRows().count(), 7);
    QCOMPARE(fixture.table.recNo(), 7);
    QCOMPARE(bool(grid->cellOptions() & CellGrid::goRowSizing), rowSizing);
    QVERIFY(!fixture.table.controlsDisabled());

    fixture.table.setRecNo(3);
    grid->unselectAll();
    QVERIFY(!(grid->options() & TDBGrid::dgMultiSelect));
    QCOMPARE(grid->selectedRows().count(), 0);
    QCOMPARE(fixture.table.recNo(), 1);
    QCOMPARE(bool(grid->cellOptions() & CellGrid::goRowSizing), rowSizing);

    // Multi-selection ended, so selecting all switches it on again.
    grid->selectAll();
    QVERIFY(grid->options() & TDBGrid::dgMultiSelect);
    QCOMPARE(grid->selectedRows().count(), 7);
}

void tst_GridCommands::printouts_data()
{
    QTest::addColumn<bool>("wholeGrid");
    QTest::addColumn<QString>("reportCaption");
    QTest::addColumn<QString>("caption");

    QTest::newRow("grid, no caption: Data Printout") << true << QString() << QStringLiteral("Data Printout");
    QTest::newRow("grid, its own caption") << true << QStringLiteral("Jobs") << QStringLiteral("Jobs");
    QTest::newRow("record set, no caption") << false << QString() << QStringLiteral("Data Printout");
    QTest::newRow("record set, its own caption") << false << QStringLiteral("Swarms") << QStringLiteral("Swarms");
}

void tst_GridCommands::printouts()
{
    QFETCH(bool, wholeGrid);
    QFETCH(QString, reportCaption);
    QFETCH(QString, caption);

    ScriptedCompanionsScope companions;
    GridFixture fixture(5);
    auto grid = gridWithColumns(fixture, {QStringLiteral("Name")});
    grid->setReportCaption(reportCaption);
    fixture.table.setRecNo(4);

    if (wholeGrid)
        grid->printGrid();
    else
        grid->printDataSet();

    QCOMPARE(companions->calls.size(), 1);
    const ScriptedCompanions::Call call = companions->calls.first();
    QCOMPARE(call.window, wholeGrid ? QStringLiteral("printGrid") : QStringLiteral("printDataSet"));
    QCOMPARE(call.caption, caption);
    QCOMPARE(call.mode, GridCompanions::PrintMode::Preview);
    QVERIFY(call.controlsDisabled);
    QVERIFY(!fixture.table.controlsDisabled());
    QCOMPARE(fixture.table.recNo(), 1);
}

void tst_GridCommands::queryAndSortByForm_data()
{
    QTest::addColumn<bool>("sort");
    QTest::newRow("query by form") << false;
    QTest::newRow("sort by form") << true;
}

void tst_GridCommands::queryAndSortByForm()
{
    QFETCH(bool, sort);

    ScriptedCompanionsScope companions;
    GridFixture fixture(5);
    auto grid = gridWithColumns(fixture, {QStringLiteral("Name")});
    companions->onForm = [&](TDBGrid &) { fixture.table.setRecNo(3); };

    if (sort)
        grid->sortByForm();
    else
        grid->queryByForm();

    QCOMPARE(companions->calls.size(), 1);
    QCOMPARE(companions->calls.first().window, sort ? QStringLiteral("sort") : QStringLiteral("query"));
    // The record set stays where the dialog left it.
    QCOMPARE(fixture.table.recNo(), 3);
}

void tst_GridCommands::customize_data()
{
    QTest::addColumn<bool>("confirmed");
    QTest::newRow("Ok: the columns follow the fields") << true;
    QTest::newRow("Cancel: the columns stay") << false;
}

void tst_GridCommands::customize()
{
    QFETCH(bool, confirmed);

    ScriptedCompanionsScope companions;
    GridFixture fixture(3);
    // Columns in another order than the fields, one hidden: City, Name (hidden), Count.
    auto grid = gridWithColumns(fixture, {QStringLiteral("City"), QStringLiteral("Name"), QStringLiteral("Count")});
    grid->columns()->items(1)->setVisible(false);
    grid->setGridAutoSize(true);
    const int sizedWidth = grid->columns()->items(0)->width();
    grid->columns()->items(0)->setWidth(sizedWidth + 100);
    QSignalSpy customized(grid.get(), &TEnhancedGrid::OnCustomize);
    QStringList fieldsAtChooser;
    companions->chooserConfirms = confirmed;
    companions->onChooser = [&](TDBGrid &) {
        fieldsAtChooser = visibleFields(fixture.table);
        // The user shows Name and hides Count.
        fixture.table.findField(QStringLiteral("Name"))->setVisible(true);
        fixture.table.findField(QStringLiteral("Count"))->setVisible(false);
    };

    grid->customize();

    // Before the chooser the fields took the columns' order and visibility; Notes has no column.
    QCOMPARE(fieldsAtChooser, (QStringList{"0:City", "2:Count"}));
    QCOMPARE(grid->columns()->items(0)->visible(), true);
    QCOMPARE(grid->columns()->items(1)->visible(), confirmed);
    QCOMPARE(grid->columns()->items(2)->visible(), !confirmed);
    QCOMPARE(customized.count(), confirmed ? 1 : 0);
    // Automatic sizing runs again either way: the widened column is sized to its values.
    QCOMPARE(grid->columns()->items(0)->width(), sizedWidth);
    QVERIFY(grid->gridAutoSize());
}

void tst_GridCommands::customizeMatchesFieldNamesByContainment()
{
    ScriptedCompanionsScope companions;
    GridFixture fixture(1, textDefs({QStringLiteral("city"), QStringLiteral("city2"), QStringLiteral("zip")}));
    auto grid = gridWithColumns(fixture, {QStringLiteral("city"), QStringLiteral("zip")});
    companions->onChooser = [&](TDBGrid &) {
        fixture.table.findField(QStringLiteral("city"))->setVisible(true);
        fixture.table.findField(QStringLiteral("city2"))->setVisible(false);
    };

    grid->customize();

    // "city" occurs in both names; city2, later in field order, decides.
    QCOMPARE(grid->columns()->items(0)->visible(), false);
    QCOMPARE(grid->columns()->items(1)->visible(), true);
}

void tst_GridCommands::chooserTicksWhatTheGridShows_data()
{
    QTest::addColumn<QStringList>("columns");
    QTest::addColumn<QStringList>("hidden");  // columns hidden before the chooser opens
    QTest::addColumn<bool>("layoutLoaded");   // saved and loaded again before it opens
    QTest::addColumn<QStringList>("ticked");  // fields visible as the chooser opens

    // Fields a to f, in that order.
    QTest::newRow("columns of later fields")
        << QStringList{"a", "b", "e", "f"} << QStringList{} << false << QStringList{"0:a", "1:b", "2:e", "3:f"};
    QTest::newRow("columns of later fields, after Load Layout")
        << QStringList{"a", "b", "e", "f"} << QStringList{} << true << QStringList{"0:a", "1:b", "2:e", "3:f"};
    QTest::newRow("a hidden column of a later field")
        << QStringList{"a", "e"} << QStringList{"e"} << false << QStringList{"0:a"};
    QTest::newRow("a hidden column, after Load Layout")
        << QStringList{"e", "a", "c"} << QStringList{"a"} << true << QStringList{"0:e", "2:c"};
}

void tst_GridCommands::chooserTicksWhatTheGridShows()
{
    QFETCH(QStringList, columns);
    QFETCH(QStringList, hidden);
    QFETCH(bool, layoutLoaded);
    QFETCH(QStringList, ticked);

    ScriptedCompanionsScope companions;
    GridFixture fixture(1, textDefs({"a", "b", "c", "d", "e", "f"}));
    SettingsFileScope settingsFile(fixture.workspace.filePath(QStringLiteral("settings.ini")));
    auto grid = gridWithColumns(fixture, columns);
    for (int i = 0; i < columns.size(); ++i) {
        if (hidden.contains(columns.at(i)))
            grid->columns()->items(i)->setVisible(false);
    }
    if (layoutLoaded) {
        grid->saveLayout();
        grid->loadLayout();
    }
    QStringList shown;
    for (int i = 0; i < grid->columns()->count(); ++i) {
        if (grid->columns()->items(i)->visible())
            shown << grid->columns()->items(i)->fieldName();
    }
    QStringList fieldsAtChooser;
    // The user changes nothing and confirms.
    companions->onChooser = [&](TDBGrid &) { fieldsAtChooser = visibleFields(fixture.table); };

    grid->customize();

    QCOMPARE(fieldsAtChooser, ticked);
    QStringList shownAfter;
    for (int i = 0; i < grid->columns()->count(); ++i) {
        if (grid->columns()->items(i)->visible())
            shownAfter << grid->columns()->items(i)->fieldName();
    }
    QCOMPARE(shownAfter, shown);
}

void tst_GridCommands::savedValueForms()
{
    GridFixture fixture(2);
    const QString ini = fixture.workspace.filePath(QStringLiteral("settings.ini"));
    SettingsFileScope settingsFile(ini);
    // Columns in another order than the fields: each value names the field at its position.
    auto grid = gridWithColumns(fixture, {QStringLiteral("Count"), QStringLiteral("Name"), QStringLiteral("City")},
                                {64, 80, 30});
    grid->columns()->items(2)->setVisible(false);
    grid->setRegistrySaveName(QStringLiteral("JobsGrid"));

    grid->saveLayout();

    QSettings settings(ini, QSettings::IniFormat);
    settings.beginGroup(QStringLiteral("Software/JobsGrid"));
    QCOMPARE(settings.childKeys(), (QStringList{"Column0", "Column1", "Column2"}));
    const QStringList expected{QStringLiteral("Name,64"), QStringLiteral("City,80"), QStringLiteral("Count,-1")};
    for (int i = 0; i < 3; ++i) {
        const QVariant value = settings.value(QStringLiteral("Column%1").arg(i));
        QCOMPARE(value.typeId(), int(QMetaType::QString));
        QCOMPARE(value.toString(), expected.at(i));
    }
}

void tst_GridCommands::shorterLayoutLeavesNoStaleValues()
{
    GridFixture fixture(2);
    const QString ini = fixture.workspace.filePath(QStringLiteral("settings.ini"));
    SettingsFileScope settingsFile(ini);
    {
        QSettings settings(ini, QSettings::IniFormat);
        settings.setValue(QStringLiteral("Software/EnhancedGrid/Column100"), QStringLiteral("Name,5"));
        settings.setValue(QStringLiteral("Software/EnhancedGrid/Column101"), QStringLiteral("Name,5"));
        settings.setValue(QStringLiteral("Software/EnhancedGrid/Other"), QStringLiteral("kept"));
    }
    auto grid = gridWithColumns(fixture, {"Name", "City", "Count", "Notes", "Name"}, {10, 20, 30, 40, 50});
    grid->saveLayout();
    grid->columns()->removeAt(4);
    grid->columns()->removeAt(3);

    grid->saveLayout();

    QSettings settings(ini, QSettings::IniFormat);
    settings.beginGroup(QStringLiteral("Software/EnhancedGrid"));
    QStringList keys = settings.childKeys();
    keys.sort();
    // Values up to Column100 are cleared; one past that bound stays.
    QCOMPARE(keys, (QStringList{"Column0", "Column1", "Column101", "Column2", "Other"}));
}

void tst_GridCommands::layoutRoundTripsUnderDefaultName()
{
    GridFixture fixture(2);
    SettingsFileScope settingsFile(fixture.workspace.filePath(QStringLiteral("settings.ini")));
    auto grid = gridWithColumns(fixture, {QStringLiteral("Name"), QStringLiteral("City"), QStringLiteral("Count")},
                                {64, 50, 40});
    grid->columns()->items(1)->setVisible(false);
    grid->saveLayout();
    QCOMPARE(grid->registrySaveName(), QStringLiteral("EnhancedGrid"));

    grid->setRegistrySaveName(QString());
    fixture.table.findField(QStringLiteral("Count"))->setIndex(0);
    grid->columns()->items(0)->setWidth(99);
    grid->columns()->items(1)->setVisible(true);
    grid->columns()->items(2)->setVisible(false);
    grid->setGridAutoSize(true);
    grid->loadLayout();

    QCOMPARE(grid->registrySaveName(), QStringLiteral("EnhancedGrid"));
    QCOMPARE(visibleColumns(*grid), (QStringList{"Name=64", "Count=40"}));
    QCOMPARE(visibleFields(fixture.table), (QStringList{"0:Name", "1:City", "2:Count"}));
    QVERIFY(!grid->gridAutoSize());
}

void tst_GridCommands::loadStoredLayout_data()
{
    QTest::addColumn<QByteArray>("section");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QStringList>("columns");  // the visible ones, with their widths
    QTest::addColumn<QStringList>("fields");   // the visible ones, with their positions

    QTest::newRow("a whole layout") << QByteArray("Column0=\"City,70\"\nColumn1=\"name,60\"\nColumn2=\"Count,-1\"\n")
                                    << QString() << QStringList{"Name=70", "City=60"}
                                    << QStringList{"0:City", "1:Name", "2:Count"};
    QTest::newRow("widths 0 and -1 come back hidden")
        << QByteArray("Column0=\"Name,0\"\nColumn1=\"City,-1\"\nColumn2=\"Count,33\"\n") << QString()
        << QStringList{"Count=33"} << QStringList{"0:Name", "1:City", "2:Count"};
    QTest::newRow("no Column0: position 0 is skipped")
        << QByteArray("Column1=\"City,50\"\n") << QString() << QStringList{"City=50"} << QStringList{"1:City"};
    QTest::newRow("neither Column0 nor Column1: everything hidden")
        << QByteArray("Column2=\"City,50\"\nOther=x\n") << QString() << QStringList{} << QStringList{};
    QTest::newRow("an unknown field and a value without a comma are passed over")
        << QByteArray("Column0=\"Nowhere,50\"\nColumn1=plain\nColumn2=\"Name,20\"\n") << QString()
        << QStringList{"Count=20"} << QStringList{"2:Name"};
    QTest::newRow("a width that is no number stops the load")
        << QByteArray("Column0=\"Name,64\"\nColumn1=\"City,wide\"\nColumn2=\"Count,20\"\n")
        << QStringLiteral("'wide' is not a valid integer value") << QStringList{"Name=64"} << QStringList{"0:Name"};
    QTest::newRow("only the first 20 characters of a width are read")
        << QByteArray("Column0=\"Name,000000000000000000012345\"\n") << QString() << QStringList{"Name=1"}
        << QStringList{"0:Name"};
    QTest::newRow("a comma without quotes reads as a list: not a string")
        << QByteArray("Column0=Name,64\n") << QStringLiteral("Invalid data type for 'Column0'") << QStringList{}
        << QStringList{};
    QTest::newRow("bytes are not a string either")
        << QByteArray("Column0=\"Name,64\"\nColumn1=@ByteArray(City)\n")
        << QStringLiteral("Invalid data type for 'Column1'") << QStringList{"Name=64"} << QStringList{"0:Name"};
}

void tst_GridCommands::loadStoredLayout()
{
    QFETCH(QByteArray, section);
    QFETCH(QString, error);
    QFETCH(QStringList, columns);
    QFETCH(QStringList, fields);

    GridFixture fixture(2);
    // Written by hand, the way the store keeps the key "\Software\Jobs" in its file.
    QByteArray ini("[Software]\n");
    for (const QByteArray &line : section.split('\n')) {
        if (!line.isEmpty())
            ini += "Jobs\\" + line + '\n';
    }
    SettingsFileScope settingsFile(fixture.workspace.writeFile(QStringLiteral("settings.ini"), ini));
    auto grid = gridWithColumns(fixture, {QStringLiteral("Name"), QStringLiteral("City"), QStringLiteral("Count")},
                                {10, 10, 10});
    grid->setRegistrySaveName(QStringLiteral("Jobs"));

    QCOMPARE(errorOf([&] { grid->loadLayout(); }), error);

    QCOMPARE(visibleColumns(*grid), columns);
    QCOMPARE(visibleFields(fixture.table), fields);
    QVERIFY(!fixture.table.controlsDisabled());
}

void tst_GridCommands::loadWithoutLayoutOnlySwitchesSizingOff()
{
    GridFixture fixture(2);
    SettingsFileScope settingsFile(fixture.workspace.filePath(QStringLiteral("settings.ini")));
    auto grid = gridWithColumns(fixture, {QStringLiteral("Name"), QStringLiteral("City")}, {40, 50});
    grid->setGridAutoWidth(TEnhancedGrid::awUniform);
    const QList<int> widths{grid->columns()->items(0)->width(), grid->columns()->items(1)->width()};

    grid->loadLayout();

    QCOMPARE(grid->gridAutoWidth(), TEnhancedGrid::awNone);
    QCOMPARE(grid->gridAutoSize(), false);
    QCOMPARE(grid->registrySaveName(), QStringLiteral("EnhancedGrid"));
    QCOMPARE((QList<int>{grid->columns()->items(0)->width(), grid->columns()->items(1)->width()}), widths);
    QCOMPARE(visibleFields(fixture.table).size(), 4);
}

void tst_GridCommands::saveThatCannotWrite()
{
    GridFixture fixture(2);
    fixture.workspace.writeFile(QStringLiteral("plain"), QByteArray("x"));
    SettingsFileScope settingsFile(fixture.workspace.filePath(QStringLiteral("plain/settings.ini")));
    auto grid = gridWithColumns(fixture, {QStringLiteral("Name"), QStringLiteral("City")});

    QCOMPARE(errorOf([&] { grid->saveLayout(); }), QStringLiteral("Failed to set data for 'Column0'"));
    QCOMPARE(fixture.workspace.readFile(QStringLiteral("plain")), QByteArray("x"));
}

QTEST_MAIN(tst_GridCommands)
#include "tst_gridcommands.moc"
