// The enhanced grid's options menu: its items and the "Fixed Columns" choices, captions from
// PopupStrings, which items MenuOptions and the printers show, the check marks it takes from
// the grid before showing, what its switches, choices and commands do, and opening it from the
// top-left cell.

#include "grid/optionsmenu.h"
#include "grid/tenhancedgrid.h"
#include "gridfixture.h"
#include "report/printerlist.h"
#include "scriptedcompanions.h"
#include "scripteddialogs.h"
#include "store/error.h"
#include "store/field.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QScreen>
#include <QtTest>

using namespace kelvara;
using namespace kelvara::test;

namespace {

using Grid = TEnhancedGrid;
using Options = TEnhancedGrid::TMenuOptions;
using Menu = OptionsMenu;

const QList<int> kSeparators{Menu::miAutoSizingLine, Menu::miDisplayLine,    Menu::miEllipsisLine,
                             Menu::miRowsLine,       Menu::miPrintLine,      Menu::miExportLine,
                             Menu::miFormsLineAbove, Menu::miFormsLineBelow, Menu::miEditorModesLine,
                             Menu::miLayoutLine};

// Four columns of 60 pixels over the fixture's fields, so that up to two columns can be locked.
std::unique_ptr<TEnhancedGrid> makeGrid(GridFixture &fixture)
{
    auto grid = fixture.makeGrid<TEnhancedGrid>(5, 400);
    for (const char *name : {"Name", "City", "Count", "Notes"})
        addColumn(*grid, QString::fromLatin1(name), 60);
    return grid;
}

// The items of the menu for which a test of their action holds.
QList<int> itemsWhere(const OptionsMenu &menu, bool (QAction::*test)() const)
{
    QList<int> items;
    for (int i = 0; i < OptionsMenu::ItemCount; ++i) {
        if ((menu.item(i)->*test)())
            items << i;
    }
    return items;
}

QList<int> shownItems(const OptionsMenu &menu)
{
    return itemsWhere(menu, &QAction::isVisible);
}

QList<int> checkedItems(const OptionsMenu &menu)
{
    return itemsWhere(menu, &QAction::isChecked);
}

int checkedChoice(const OptionsMenu &menu)
{
    for (int n = 0; n < OptionsMenu::FixedColumnChoices; ++n) {
        if (menu.fixedColumnsChoice(n)->isChecked())
            return n;
    }
    return -1;
}

}  // namespace

class tst_OptionsMenu : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void builtWithDefaultCaptions();
    void fixedColumnsChoices();
    void popupStrings_data();
    void popupStrings();
    void visibilityByMember_data();
    void visibilityByMember();
    void separatorRules_data();
    void separatorRules();
    void unchangedOptionSetChangesNothing();
    void checkMarksFollowTheGrid_data();
    void checkMarksFollowTheGrid();
    void toggles_data();
    void toggles();
    void autoWidthSwitch();
    void editorModeChoice();
    void fixedColumnsChoice();
    void commands_data();
    void commands();
    void failedCommandIsReported();
    void opensFromTopLeftCell_data();
    void opensFromTopLeftCell();
};

void tst_OptionsMenu::builtWithDefaultCaptions()
{
    TEnhancedGrid grid;
    const OptionsMenu &menu = *grid.optionsMenu();
    const QStringList captions = TEnhancedGrid::defaultPopupStrings();
    QCOMPARE(menu.menu()->actions().size(), OptionsMenu::ItemCount);
    for (int i = 0; i < OptionsMenu::ItemCount; ++i) {
        QAction *item = menu.item(i);
        QCOMPARE(menu.menu()->actions().at(i), item);
        QCOMPARE(item->isSeparator(), kSeparators.contains(i));
        if (!item->isSeparator())
            QCOMPARE(item->text(), captions.at(i));
        QVERIFY(item->isVisible());
        QVERIFY(!item->isChecked());
    }
    // Separators next to each other each show their line.
    QVERIFY(!menu.menu()->separatorsCollapsible());
    // The application's own pop-up menu stays free.
    QCOMPARE(grid.popupMenu(), nullptr);
}

void tst_OptionsMenu::fixedColumnsChoices()
{
    TEnhancedGrid grid;
    const OptionsMenu &menu = *grid.optionsMenu();
    QMenu *sub = menu.item(Menu::miFixedColumns)->menu();
    QVERIFY(sub);
    const QStringList captions{"0 Fixed Columns", "1 Fixed Column",  "2 Fixed Columns",
                               "3 Fixed Columns", "4 Fixed Columns", "5 Fixed Columns"};
    QCOMPARE(sub->actions().size(), 6);
    for (int n = 0; n < 6; ++n) {
        QAction *choice = menu.fixedColumnsChoice(n);
        QCOMPARE(sub->actions().at(n), choice);
        QCOMPARE(choice->text(), captions.at(n));
        QCOMPARE(choice->data().toInt(), n + 1);
        QCOMPARE(choice->isChecked(), n == 0);
        QVERIFY(choice->actionGroup() && choice->actionGroup()->isExclusive());
    }
    // Not captioned from PopupStrings.
    QStringList captionsChanged = TEnhancedGrid::defaultPopupStrings();
    captionsChanged.replaceInStrings(QStringLiteral("Fixed"), QStringLiteral("Locked"));
    grid.setPopupStrings(captionsChanged);
    QCOMPARE(menu.item(Menu::miFixedColumns)->text(), QStringLiteral("Locked Columns"));
    QCOMPARE(menu.fixedColumnsChoice(2)->text(), QStringLiteral("2 Fixed Columns"));
}

void tst_OptionsMenu::popupStrings_data()
{
    QTest::addColumn<int>("lines");
    QTest::addColumn<QString>("error");

    QTest::newRow("37 lines") << 37 << QString();
    QTest::newRow("lines after 36 are ignored") << 40 << QString();
    QTest::newRow("30 lines: line 30 is missing") << 30 << QStringLiteral("List index out of bounds (30)");
    QTest::newRow("no lines") << 0 << QStringLiteral("List index out of bounds (0)");
}

void tst_OptionsMenu::popupStrings()
{
    QFETCH(int, lines);
    QFETCH(QString, error);

    TEnhancedGrid grid;
    const OptionsMenu &menu = *grid.optionsMenu();
    QStringList captions;
    for (int i = 0; i < lines; ++i)
        captions << QStringLiteral("Line %1").arg(i);
    if (lines > 6)
        captions[6] = QStringLiteral("-");
    if (lines > 2)
        captions[2] = QStringLiteral("Not a separator");

    QCOMPARE(errorOf([&] { grid.setPopupStrings(captions); }), error);

    QCOMPARE(grid.popupStrings(), captions);
    // The captions before the first missing line were set; the others kept theirs.
    for (int i = 0; i < OptionsMenu::ItemCount; ++i) {
        if (i == 6 && lines > 6) {
            QVERIFY(menu.item(i)->isSeparator());
        } else if (i < lines) {
            QVERIFY(!menu.item(i)->isSeparator());
            QCOMPARE(menu.item(i)->text(), captions.at(i));
        } else {
            QCOMPARE(menu.item(i)->isSeparator(), kSeparators.contains(i));
        }
    }
    // Refreshing before showing reads the same lines, and fails the same way.
    QCOMPARE(errorOf([&] { grid.optionsMenu()->refresh(); }), error);
}

void tst_OptionsMenu::visibilityByMember_data()
{
    QTest::addColumn<Options>("member");
    QTest::addColumn<int>("printers");
    QTest::addColumn<QList<int>>("shown");

    const auto row = [](const char *name, Grid::TMenuOption member, QList<int> shown, int printers = 1) {
        QTest::newRow(name) << Options(member) << printers << shown;
    };
    row("moAutoSize", Grid::moAutoSize, {Menu::miAutoSize, Menu::miAutoSizingLine});
    row("moAutoWidth", Grid::moAutoWidth, {Menu::miAutoWidth, Menu::miAutoSizingLine});
    row("moDisplayBoolean", Grid::moDisplayBoolean, {Menu::miDisplayBoolean, Menu::miDisplayLine});
    row("moDisplayImages", Grid::moDisplayImages, {Menu::miDisplayImages, Menu::miDisplayLine});
    row("moDisplayMemo", Grid::moDisplayMemo, {Menu::miDisplayMemo, Menu::miDisplayLine});
    row("moDisplayDateTime", Grid::moDisplayDateTime, {Menu::miDisplayDateTime, Menu::miDisplayLine});
    row("moShowTextEllipsis", Grid::moShowTextEllipsis, {Menu::miShowTextEllipsis, Menu::miEllipsisLine});
    row("moShowTitleEllipsis", Grid::moShowTitleEllipsis, {Menu::miShowTitleEllipsis, Menu::miEllipsisLine});
    row("moFullSizeMemo", Grid::moFullSizeMemo, {Menu::miFullSizeMemo, Menu::miEllipsisLine});
    row("moAllowRowSizing", Grid::moAllowRowSizing, {Menu::miAllowRowSizing, Menu::miRowsLine});
    row("moCellHints", Grid::moCellHints, {Menu::miCellHints, Menu::miRowsLine});
    row("moMultiLineTitles", Grid::moMultiLineTitles, {Menu::miMultiLineTitles, Menu::miRowsLine});
    row("moUseRowColors", Grid::moUseRowColors, {Menu::miUseRowColors, Menu::miRowsLine});
    row("moFixedColumns", Grid::moFixedColumns, {Menu::miFixedColumns, Menu::miRowsLine});
    row("moPrintGrid", Grid::moPrintGrid, {Menu::miPrintGrid, Menu::miPrintLine});
    row("moPrintGrid without a printer", Grid::moPrintGrid, {}, 0);
    row("moPrintDataSet", Grid::moPrintDataSet, {Menu::miPrintDataSet, Menu::miPrintLine});
    row("moPrintDataSet without a printer", Grid::moPrintDataSet, {}, 0);
    row("moExportGrid", Grid::moExportGrid, {Menu::miExportGrid, Menu::miExportLine});
    row("moSelectAll", Grid::moSelectAll, {Menu::miSelectAll});
    row("moUnSelectAll", Grid::moUnSelectAll, {Menu::miUnSelectAll});
    row("moQueryByForm", Grid::moQueryByForm, {Menu::miFormsLineAbove, Menu::miQueryByForm, Menu::miFormsLineBelow});
    row("moSortByForm", Grid::moSortByForm, {Menu::miFormsLineAbove, Menu::miSortByForm, Menu::miFormsLineBelow});
    row("moMemoInplaceEditors", Grid::moMemoInplaceEditors,
        {Menu::miMemoEditorMode, Menu::miRichEditEditorMode, Menu::miEditorModesLine});
    row("moCustomize", Grid::moCustomize, {Menu::miCustomize});
    row("moSearchMode", Grid::moSearchMode, {Menu::miSearchMode});
    row("moSaveLayout", Grid::moSaveLayout, {Menu::miLayoutLine, Menu::miSaveLayout});
    row("moLoadLayout", Grid::moLoadLayout, {Menu::miLayoutLine, Menu::miLoadLayout});
}

void tst_OptionsMenu::visibilityByMember()
{
    QFETCH(Options, member);
    QFETCH(int, printers);
    QFETCH(QList<int>, shown);

    QStringList names;
    for (int i = 0; i < printers; ++i)
        names << QStringLiteral("Printer %1").arg(i);
    PrinterListScope printerList(names);
    TEnhancedGrid grid;

    grid.setMenuOptions(member);

    QCOMPARE(shownItems(*grid.optionsMenu()), shown);
}

void tst_OptionsMenu::separatorRules_data()
{
    QTest::addColumn<Options>("options");
    QTest::addColumn<int>("printers");
    QTest::addColumn<QList<int>>("separatorsShown");

    QTest::newRow("none") << Options() << 1 << QList<int>{};
    QTest::newRow("both sizing members: one separator")
        << Options(Grid::moAutoSize | Grid::moAutoWidth) << 1 << QList<int>{Menu::miAutoSizingLine};
    QTest::newRow("print members without a printer: no separator")
        << Options(Grid::moPrintGrid | Grid::moPrintDataSet) << 0 << QList<int>{};
    QTest::newRow("print members with two printers")
        << Options(Grid::moPrintGrid | Grid::moPrintDataSet) << 2 << QList<int>{Menu::miPrintLine};
    QTest::newRow("query and sort share both their separators")
        << Options(Grid::moQueryByForm | Grid::moSortByForm) << 1
        << QList<int>{Menu::miFormsLineAbove, Menu::miFormsLineBelow};
    QTest::newRow("every member") << Grid::allMenuOptions() << 1 << kSeparators;
    QTest::newRow("every member, no printer") << Grid::allMenuOptions() << 0 << [] {
        QList<int> separators = kSeparators;
        separators.removeAll(Menu::miPrintLine);
        return separators;
    }();
}

void tst_OptionsMenu::separatorRules()
{
    QFETCH(Options, options);
    QFETCH(int, printers);
    QFETCH(QList<int>, separatorsShown);

    PrinterListScope printerList(QStringList(printers, QStringLiteral("Printer")));
    TEnhancedGrid grid;
    // From another set first, so that every set of the table is a change.
    grid.setMenuOptions(Grid::moFixedColumns);
    grid.setMenuOptions(options);

    QList<int> separators;
    for (int i : shownItems(*grid.optionsMenu())) {
        if (kSeparators.contains(i))
            separators << i;
    }
    QCOMPARE(separators, separatorsShown);
}

void tst_OptionsMenu::unchangedOptionSetChangesNothing()
{
    PrinterListScope noPrinter(QStringList{});
    GridFixture fixture(3);
    auto grid = makeGrid(fixture);
    const OptionsMenu &menu = *grid->optionsMenu();
    QList<int> all;
    for (int i = 0; i < OptionsMenu::ItemCount; ++i)
        all << i;

    // The default set, set again: the print items stay although no printer is installed.
    grid->setMenuOptions(TEnhancedGrid::allMenuOptions());
    QCOMPARE(shownItems(menu), all);

    // A real change counts the printers.
    grid->setMenuOptions(TEnhancedGrid::allMenuOptions() & ~Options(TEnhancedGrid::moSaveLayout));
    QVERIFY(!menu.item(Menu::miPrintGrid)->isVisible() && !menu.item(Menu::miPrintDataSet)->isVisible()
            && !menu.item(Menu::miPrintLine)->isVisible());
    QVERIFY(!menu.item(Menu::miSaveLayout)->isVisible());
    QVERIFY(menu.item(Menu::miLayoutLine)->isVisible() && menu.item(Menu::miLoadLayout)->isVisible());
    QCOMPARE(grid->property("MenuOptions").value<Options>(),
             TEnhancedGrid::allMenuOptions() & ~Options(TEnhancedGrid::moSaveLayout));
}

void tst_OptionsMenu::checkMarksFollowTheGrid_data()
{
    QTest::addColumn<QString>("property");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QList<int>>("checked");

    // The defaults check Display Boolean, Display Images, Display Memo, Display Date/Time and
    // Memo Editor Mode.
    const QList<int> defaults{Menu::miDisplayBoolean, Menu::miDisplayImages, Menu::miDisplayMemo,
                              Menu::miDisplayDateTime, Menu::miMemoEditorMode};
    const auto with = [&](QList<int> more) {
        QList<int> all = defaults + more;
        std::sort(all.begin(), all.end());
        return all;
    };
    const auto without = [&](int item) {
        QList<int> all = defaults;
        all.removeAll(item);
        return all;
    };
    QTest::newRow("defaults") << QString() << QVariant() << defaults;
    QTest::newRow("GridAutoSize") << "GridAutoSize" << QVariant(true) << with({Menu::miAutoSize});
    QTest::newRow("GridAutoWidth awProportional")
        << "GridAutoWidth" << QVariant::fromValue(TEnhancedGrid::awProportional) << with({Menu::miAutoWidth});
    QTest::newRow("DisplayBoolean off") << "DisplayBoolean" << QVariant(false) << without(Menu::miDisplayBoolean);
    QTest::newRow("DisplayImages off") << "DisplayImages" << QVariant(false) << without(Menu::miDisplayImages);
    QTest::newRow("DisplayMemo off") << "DisplayMemo" << QVariant(false) << without(Menu::miDisplayMemo);
    QTest::newRow("DisplayDateTime off") << "DisplayDateTime" << QVariant(false) << without(Menu::miDisplayDateTime);
    QTest::newRow("ShowTextEllipsis") << "ShowTextEllipsis" << QVariant(true) << with({Menu::miShowTextEllipsis});
    QTest::newRow("ShowTitleEllipsis") << "ShowTitleEllipsis" << QVariant(true) << with({Menu::miShowTitleEllipsis});
    QTest::newRow("FullSizeMemo") << "FullSizeMemo" << QVariant(true) << with({Menu::miFullSizeMemo});
    QTest::newRow("RowSizingAllowed") << "RowSizingAllowed" << QVariant(true) << with({Menu::miAllowRowSizing});
    QTest::newRow("CellHints") << "CellHints" << QVariant(true) << with({Menu::miCellHints});
    QTest::newRow("MultiLineTitles") << "MultiLineTitles" << QVariant(true) << with({Menu::miMultiLineTitles});
    QTest::newRow("UseRowColors") << "UseRowColors" << QVariant(true) << with({Menu::miUseRowColors});
    QTest::newRow("SearchMode") << "SearchMode" << QVariant(true) << with({Menu::miSearchMode});
    QList<int> richEdit = without(Menu::miMemoEditorMode);
    richEdit << Menu::miRichEditEditorMode;
    QTest::newRow("MemoInplaceEditor RichEdit")
        << "MemoInplaceEditor" << QVariant::fromValue(TEnhancedGrid::RichEdit) << richEdit;
}

void tst_OptionsMenu::checkMarksFollowTheGrid()
{
    QFETCH(QString, property);
    QFETCH(QVariant, value);
    QFETCH(QList<int>, checked);

    GridFixture fixture(3);
    auto grid = makeGrid(fixture);
    OptionsMenu &menu = *grid->optionsMenu();
    menu.refresh();
    if (!property.isEmpty())
        QVERIFY(grid->setProperty(property.toLatin1().constData(), value));

    menu.refresh();

    QCOMPARE(checkedItems(menu), checked);
}

void tst_OptionsMenu::toggles_data()
{
    QTest::addColumn<int>("item");
    QTest::addColumn<QString>("property");

    QTest::newRow("Auto Size") << int(Menu::miAutoSize) << "GridAutoSize";
    QTest::newRow("Display Boolean") << int(Menu::miDisplayBoolean) << "DisplayBoolean";
    QTest::newRow("Display Images") << int(Menu::miDisplayImages) << "DisplayImages";
    QTest::newRow("Display Memo") << int(Menu::miDisplayMemo) << "DisplayMemo";
    QTest::newRow("Display Date/Time") << int(Menu::miDisplayDateTime) << "DisplayDateTime";
    QTest::newRow("Show Text Ellipsis") << int(Menu::miShowTextEllipsis) << "ShowTextEllipsis";
    QTest::newRow("Show Title Ellipsis") << int(Menu::miShowTitleEllipsis) << "ShowTitleEllipsis";
    QTest::newRow("Full Size Memo") << int(Menu::miFullSizeMemo) << "FullSizeMemo";
    QTest::newRow("Allow Row Sizing") << int(Menu::miAllowRowSizing) << "RowSizingAllowed";
    QTest::newRow("Cell Hints") << int(Menu::miCellHints) << "CellHints";
    QTest::newRow("Multi Line Titles") << int(Menu::miMultiLineTitles) << "MultiLineTitles";
    QTest::newRow("Use Row Colors") << int(Menu::miUseRowColors) << "UseRowColors";
    QTest::newRow("Search Mode") << int(Menu::miSearchMode) << "SearchMode";
}

void tst_OptionsMenu::toggles()
{
    QFETCH(int, item);
    QFETCH(QString, property);

    GridFixture fixture(3);
    auto grid = makeGrid(fixture);
    OptionsMenu &menu = *grid->optionsMenu();
    const QByteArray propertyName = property.toLatin1();
    const bool before = grid->property(propertyName).toBool();
    menu.refresh();
    // The item's name stands where the default captions put its caption (the row's name).
    QCOMPARE(menu.item(item)->text(), QString::fromLatin1(QTest::currentDataTag()));
    QCOMPARE(menu.item(item)->isChecked(), before);

    menu.item(item)->trigger();
    QCOMPARE(grid->property(propertyName).toBool(), !before);
    QCOMPARE(menu.item(item)->isChecked(), !before);
    QVERIFY(!fixture.table.controlsDisabled());

    menu.item(item)->trigger();
    QCOMPARE(grid->property(propertyName).toBool(), before);
    QCOMPARE(menu.item(item)->isChecked(), before);
}

void tst_OptionsMenu::autoWidthSwitch()
{
    GridFixture fixture(3);
    auto grid = makeGrid(fixture);
    OptionsMenu &menu = *grid->optionsMenu();
    QList<bool> suspended;
    grid->OnAutoWidthChange
        = [&](QObject *, TEnhancedGrid::TAutoWidth &) { suspended << fixture.table.controlsDisabled(); };

    menu.refresh();
    menu.item(Menu::miAutoWidth)->trigger();
    QCOMPARE(grid->gridAutoWidth(), TEnhancedGrid::awUniform);
    QVERIFY(menu.item(Menu::miAutoWidth)->isChecked());
    // The record set's display updates are held back while the switch applies.
    QCOMPARE(suspended.value(0), true);

    // A mode set by code shows checked, and the switch turns it off.
    grid->setGridAutoWidth(TEnhancedGrid::awProportional);
    menu.refresh();
    QVERIFY(menu.item(Menu::miAutoWidth)->isChecked());
    menu.item(Menu::miAutoWidth)->trigger();
    QCOMPARE(grid->gridAutoWidth(), TEnhancedGrid::awNone);
    QVERIFY(!menu.item(Menu::miAutoWidth)->isChecked());
    QVERIFY(!fixture.table.controlsDisabled());
}

void tst_OptionsMenu::editorModeChoice()
{
    GridFixture fixture(3);
    auto grid = makeGrid(fixture);
    OptionsMenu &menu = *grid->optionsMenu();
    menu.refresh();

    // Choosing the mode already checked changes nothing.
    menu.item(Menu::miMemoEditorMode)->trigger();
    QCOMPARE(grid->memoInplaceEditor(), TEnhancedGrid::Memo);
    QVERIFY(menu.item(Menu::miMemoEditorMode)->isChecked());
    QVERIFY(!menu.item(Menu::miRichEditEditorMode)->isChecked());

    menu.item(Menu::miRichEditEditorMode)->trigger();
    QCOMPARE(grid->memoInplaceEditor(), TEnhancedGrid::RichEdit);
    QVERIFY(!menu.item(Menu::miMemoEditorMode)->isChecked());
    QVERIFY(menu.item(Menu::miRichEditEditorMode)->isChecked());

    menu.item(Menu::miRichEditEditorMode)->trigger();
    QCOMPARE(grid->memoInplaceEditor(), TEnhancedGrid::RichEdit);
    QVERIFY(menu.item(Menu::miRichEditEditorMode)->isChecked());

    menu.item(Menu::miMemoEditorMode)->trigger();
    QCOMPARE(grid->memoInplaceEditor(), TEnhancedGrid::Memo);
    QVERIFY(menu.item(Menu::miMemoEditorMode)->isChecked());
    QVERIFY(!menu.item(Menu::miRichEditEditorMode)->isChecked());
}

void tst_OptionsMenu::fixedColumnsChoice()
{
    GridFixture fixture(3);
    auto grid = makeGrid(fixture);
    OptionsMenu &menu = *grid->optionsMenu();

    menu.fixedColumnsChoice(2)->trigger();
    QCOMPARE(grid->lockedCols(), 2);
    // Applied at once: the indicator and two locked columns stay put.
    QCOMPARE(grid->fixedCols(), 3);
    QCOMPARE(checkedChoice(menu), 2);
    QVERIFY(!fixture.table.controlsDisabled());

    // A count set by code is marked when the menu is refreshed...
    grid->setLockedCols(1);
    menu.refresh();
    QCOMPARE(checkedChoice(menu), 1);
    // ...and one no choice stands for leaves the last mark.
    grid->setLockedCols(7);
    menu.refresh();
    QCOMPARE(checkedChoice(menu), 1);

    menu.fixedColumnsChoice(0)->trigger();
    QCOMPARE(grid->lockedCols(), 0);
    QCOMPARE(grid->fixedCols(), 1);
}

void tst_OptionsMenu::commands_data()
{
    QTest::addColumn<int>("item");
    QTest::addColumn<QString>("window");

    QTest::newRow("Print Grid") << int(Menu::miPrintGrid) << "printGrid";
    QTest::newRow("Print Dataset") << int(Menu::miPrintDataSet) << "printDataSet";
    QTest::newRow("Query By Form") << int(Menu::miQueryByForm) << "query";
    QTest::newRow("Sort By Form") << int(Menu::miSortByForm) << "sort";
    QTest::newRow("Customize") << int(Menu::miCustomize) << "chooseColumns";
    QTest::newRow("Export Grid") << int(Menu::miExportGrid) << QString();
    QTest::newRow("Select All") << int(Menu::miSelectAll) << QString();
    QTest::newRow("Unselect All") << int(Menu::miUnSelectAll) << QString();
    QTest::newRow("Save Layout") << int(Menu::miSaveLayout) << QString();
    QTest::newRow("Load Layout") << int(Menu::miLoadLayout) << QString();
}

void tst_OptionsMenu::commands()
{
    QFETCH(int, item);
    QFETCH(QString, window);

    ScriptedCompanionsScope companions;
    ScriptedDialogsScope dialogs;
    GridFixture fixture(3);
    SettingsFileScope settingsFile(fixture.workspace.filePath(QStringLiteral("settings.ini")));
    auto grid = makeGrid(fixture);
    grid->setGridAutoSize(true);
    OptionsMenu &menu = *grid->optionsMenu();
    menu.refresh();
    QCOMPARE(menu.item(item)->text(), QString::fromLatin1(QTest::currentDataTag()));

    menu.item(item)->trigger();

    QStringList windows;
    for (const ScriptedCompanions::Call &call : companions->calls)
        windows << call.window;
    QCOMPARE(windows, window.isEmpty() ? QStringList() : QStringList{window});
    QStringList expectedMessages;
    if (item == Menu::miExportGrid)
        expectedMessages << QStringLiteral("Exported To File: ") + grid->defaultExportFileName();
    QCOMPARE(dialogs->texts(), expectedMessages);
    switch (item) {
    case Menu::miExportGrid: QVERIFY(QFile::exists(grid->defaultExportFileName())); break;
    case Menu::miSelectAll: QCOMPARE(grid->selectedRows().count(), 3); break;
    case Menu::miUnSelectAll: QVERIFY(!(grid->options() & TDBGrid::dgMultiSelect)); break;
    case Menu::miSaveLayout:
        QCOMPARE(grid->registrySaveName(), QStringLiteral("EnhancedGrid"));
        QVERIFY(QFile::exists(fixture.workspace.filePath(QStringLiteral("settings.ini"))));
        break;
    case Menu::miLoadLayout: QVERIFY(!grid->gridAutoSize()); break;
    }
}

void tst_OptionsMenu::failedCommandIsReported()
{
    ScriptedDialogsScope dialogs;
    GridFixture fixture(3);
    auto grid = makeGrid(fixture);
    const QString file = grid->defaultExportFileName();
    QVERIFY(QDir().mkpath(file));

    grid->optionsMenu()->item(Menu::miExportGrid)->trigger();

    QCOMPARE(dialogs->texts(ScriptedDialogs::Kind::Error), QStringList{QStringLiteral("Cannot create file ") + file});
    QCOMPARE(dialogs->texts(ScriptedDialogs::Kind::Information), QStringList());
    QVERIFY(!fixture.table.controlsDisabled());
}

void tst_OptionsMenu::opensFromTopLeftCell_data()
{
    QTest::addColumn<bool>("nearBottom");  // the grid's window near the screen's bottom edge

    QTest::newRow("room below the corner cell") << false;
    QTest::newRow("near the screen's bottom edge") << true;
}

void tst_OptionsMenu::opensFromTopLeftCell()
{
    QFETCH(bool, nearBottom);

    GridFixture fixture(3);
    auto grid = makeGrid(fixture);
    grid->setTitleCheck(true);
    grid->setShowTextEllipsis(true);
    QMenu *menu = grid->optionsMenu()->menu();
    QVERIFY(!menu->isVisible());
    const QRect screen = grid->screen()->availableGeometry();
    if (nearBottom)
        grid->move(screen.left() + 20, screen.bottom() - grid->frameGeometry().height() - 20);

    const QPoint pos = grid->cellRect(0, 0).center();
    // The pointer is where it clicked, as the menu may look there.
    QCursor::setPos(grid->viewport()->mapToGlobal(pos));
    QTest::mouseRelease(grid->viewport(), Qt::LeftButton, Qt::NoModifier, pos);

    QTRY_VERIFY(menu->isVisible());
    // At the pointer; where the menu is too tall for the room below, it moves up only as far
    // as the screen needs, staying over the cell rather than opening above it.
    const QPoint clicked = grid->viewport()->mapToGlobal(pos);
    QVERIFY(menu->height() > 0);
    QCOMPARE(menu->pos(),
             QPoint(clicked.x(), std::max(screen.top(), std::min(clicked.y(), screen.bottom() + 1 - menu->height()))));
    QVERIFY(menu->geometry().contains(clicked));
    // Refreshed before it showed.
    QVERIFY(grid->optionsMenu()->item(Menu::miShowTextEllipsis)->isChecked());
    menu->close();

    // Not from a data cell.
    QTest::mouseRelease(grid->viewport(), Qt::LeftButton, Qt::NoModifier, grid->cellRect(1, 1).center());
    QVERIFY(!menu->isVisible());
}

QTEST_MAIN(tst_OptionsMenu)
#include "tst_optionsmenu.moc"
