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

const QList<int> kSeparators{2, 7, 11, 17, 20, 22, 25, 28, 31, 34};

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
    QMenu *sub = menu.item(OptionsMenu::FixedColumnsItem)->menu();
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
    QCOMPARE(menu.item(OptionsMenu::FixedColumnsItem)->text(), QStringLiteral("Locked Columns"));
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
    QTest::addColumn<int>("member");
    QTest::addColumn<int>("printers");
    QTest::addColumn<QList<int>>("shown");

    const auto row = [](const char *name, int member, QList<int> shown, int printers = 1) {
        QTest::newRow(name) << member << printers << shown;
    };
    row("moAutoSize", 0, {0, 2});
    row("moAutoWidth", 1, {1, 2});
    row("moDisplayBoolean", 2, {3, 7});
    row("moDisplayImages", 3, {4, 7});
    row("moDisplayMemo", 4, {5, 7});
    row("moDisplayDateTime", 5, {6, 7});
    row("moShowTextEllipsis", 6, {8, 11});
    row("moShowTitleEllipsis", 7, {9, 11});
    row("moFullSizeMemo", 8, {10, 11});
    row("moAllowRowSizing", 9, {12, 17});
    row("moCellHints", 10, {13, 17});
    row("moMultiLineTitles", 11, {14, 17});
    row("moUseRowColors", 12, {15, 17});
    row("moFixedColumns", 13, {16, 17});
    row("moPrintGrid", 14, {18, 20});
    row("moPrintGrid without a printer", 14, {}, 0);
    row("moPrintDataSet", 15, {19, 20});
    row("moPrintDataSet without a printer", 15, {}, 0);
    row("moExportGrid", 16, {21, 22});
    row("moSelectAll", 17, {23});
    row("moUnSelectAll", 18, {24});
    row("moQueryByForm", 19, {25, 26, 28});
    row("moSortByForm", 20, {25, 27, 28});
    row("moMemoInplaceEditors", 21, {29, 30, 31});
    row("moCustomize", 22, {32});
    row("moSearchMode", 23, {33});
    row("moSaveLayout", 24, {34, 35});
    row("moLoadLayout", 25, {34, 36});
}

void tst_OptionsMenu::visibilityByMember()
{
    QFETCH(int, member);
    QFETCH(int, printers);
    QFETCH(QList<int>, shown);

    QStringList names;
    for (int i = 0; i < printers; ++i)
        names << QStringLiteral("Printer %1").arg(i);
    PrinterListScope printerList(names);
    TEnhancedGrid grid;

    grid.setMenuOptions(Options::fromInt(1u << member));

    QCOMPARE(shownItems(*grid.optionsMenu()), shown);
}

void tst_OptionsMenu::separatorRules_data()
{
    QTest::addColumn<Options>("options");
    QTest::addColumn<int>("printers");
    QTest::addColumn<QList<int>>("separatorsShown");

    QTest::newRow("none") << Options() << 1 << QList<int>{};
    QTest::newRow("both sizing members: one separator")
        << Options(Grid::moAutoSize | Grid::moAutoWidth) << 1 << QList<int>{2};
    QTest::newRow("print members without a printer: no separator")
        << Options(Grid::moPrintGrid | Grid::moPrintDataSet) << 0 << QList<int>{};
    QTest::newRow("print members with two printers")
        << Options(Grid::moPrintGrid | Grid::moPrintDataSet) << 2 << QList<int>{20};
    QTest::newRow("query and sort share both their separators")
        << Options(Grid::moQueryByForm | Grid::moSortByForm) << 1 << QList<int>{25, 28};
    QTest::newRow("every member") << Grid::allMenuOptions() << 1 << kSeparators;
    QTest::newRow("every member, no printer")
        << Grid::allMenuOptions() << 0 << QList<int>{2, 7, 11, 17, 22, 25, 28, 31, 34};
}

void tst_OptionsMenu::separatorRules()
{
    QFETCH(Options, options);
    QFETCH(int, printers);
    QFETCH(QList<int>, separatorsShown);

    PrinterListScope printerList(QStringList(printers, QStringLiteral("Printer")));
    TEnhancedGrid grid;
    // From another set first, so that every set of the table is a change.
    grid.setMenuOptions(Options::fromInt(1u << 13));
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
    QVERIFY(!menu.item(18)->isVisible() && !menu.item(19)->isVisible() && !menu.item(20)->isVisible());
    QVERIFY(!menu.item(35)->isVisible());
    QVERIFY(menu.item(34)->isVisible() && menu.item(36)->isVisible());
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
    const QList<int> defaults{3, 4, 5, 6, 29};
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
    QTest::newRow("GridAutoSize") << "GridAutoSize" << QVariant(true) << with({0});
    QTest::newRow("GridAutoWidth awProportional")
        << "GridAutoWidth" << QVariant::fromValue(TEnhancedGrid::awProportional) << with({1});
    QTest::newRow("DisplayBoolean off") << "DisplayBoolean" << QVariant(false) << without(3);
    QTest::newRow("DisplayImages off") << "DisplayImages" << QVariant(false) << without(4);
    QTest::newRow("DisplayMemo off") << "DisplayMemo" << QVariant(false) << without(5);
    QTest::newRow("DisplayDateTime off") << "DisplayDateTime" << QVariant(false) << without(6);
    QTest::newRow("ShowTextEllipsis") << "ShowTextEllipsis" << QVariant(true) << with({8});
    QTest::newRow("ShowTitleEllipsis") << "ShowTitleEllipsis" << QVariant(true) << with({9});
    QTest::newRow("FullSizeMemo") << "FullSizeMemo" << QVariant(true) << with({10});
    QTest::newRow("RowSizingAllowed") << "RowSizingAllowed" << QVariant(true) << with({12});
    QTest::newRow("CellHints") << "CellHints" << QVariant(true) << with({13});
    QTest::newRow("MultiLineTitles") << "MultiLineTitles" << QVariant(true) << with({14});
    QTest::newRow("UseRowColors") << "UseRowColors" << QVariant(true) << with({15});
    QTest::newRow("SearchMode") << "SearchMode" << QVariant(true) << with({33});
    QList<int> richEdit = without(29);
    richEdit << 30;
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

    QTest::newRow("0 Auto Size") << 0 << "GridAutoSize";
    QTest::newRow("3 Display Boolean") << 3 << "DisplayBoolean";
    QTest::newRow("4 Display Images") << 4 << "DisplayImages";
    QTest::newRow("5 Display Memo") << 5 << "DisplayMemo";
    QTest::newRow("6 Display Date/Time") << 6 << "DisplayDateTime";
    QTest::newRow("8 Show Text Ellipsis") << 8 << "ShowTextEllipsis";
    QTest::newRow("9 Show Title Ellipsis") << 9 << "ShowTitleEllipsis";
    QTest::newRow("10 Full Size Memo") << 10 << "FullSizeMemo";
    QTest::newRow("12 Allow Row Sizing") << 12 << "RowSizingAllowed";
    QTest::newRow("13 Cell Hints") << 13 << "CellHints";
    QTest::newRow("14 Multi Line Titles") << 14 << "MultiLineTitles";
    QTest::newRow("15 Use Row Colors") << 15 << "UseRowColors";
    QTest::newRow("33 Search Mode") << 33 << "SearchMode";
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
    menu.item(1)->trigger();
    QCOMPARE(grid->gridAutoWidth(), TEnhancedGrid::awUniform);
    QVERIFY(menu.item(1)->isChecked());
    // The record set's display updates are held back while the switch applies.
    QCOMPARE(suspended.value(0), true);

    // A mode set by code shows checked, and the switch turns it off.
    grid->setGridAutoWidth(TEnhancedGrid::awProportional);
    menu.refresh();
    QVERIFY(menu.item(1)->isChecked());
    menu.item(1)->trigger();
    QCOMPARE(grid->gridAutoWidth(), TEnhancedGrid::awNone);
    QVERIFY(!menu.item(1)->isChecked());
    QVERIFY(!fixture.table.controlsDisabled());
}

void tst_OptionsMenu::editorModeChoice()
{
    GridFixture fixture(3);
    auto grid = makeGrid(fixture);
    OptionsMenu &menu = *grid->optionsMenu();
    menu.refresh();

    // Choosing the mode already checked changes nothing.
    menu.item(29)->trigger();
    QCOMPARE(grid->memoInplaceEditor(), TEnhancedGrid::Memo);
    QVERIFY(menu.item(29)->isChecked());
    QVERIFY(!menu.item(30)->isChecked());

    menu.item(30)->trigger();
    QCOMPARE(grid->memoInplaceEditor(), TEnhancedGrid::RichEdit);
    QVERIFY(!menu.item(29)->isChecked());
    QVERIFY(menu.item(30)->isChecked());

    menu.item(30)->trigger();
    QCOMPARE(grid->memoInplaceEditor(), TEnhancedGrid::RichEdit);
    QVERIFY(menu.item(30)->isChecked());

    menu.item(29)->trigger();
    QCOMPARE(grid->memoInplaceEditor(), TEnhancedGrid::Memo);
    QVERIFY(menu.item(29)->isChecked());
    QVERIFY(!menu.item(30)->isChecked());
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

    QTest::newRow("18 Print Grid") << 18 << "printGrid";
    QTest::newRow("19 Print Dataset") << 19 << "printDataSet";
    QTest::newRow("26 Query By Form") << 26 << "query";
    QTest::newRow("27 Sort By Form") << 27 << "sort";
    QTest::newRow("32 Customize") << 32 << "chooseColumns";
    QTest::newRow("21 Export Grid") << 21 << QString();
    QTest::newRow("23 Select All") << 23 << QString();
    QTest::newRow("24 Unselect All") << 24 << QString();
    QTest::newRow("35 Save Layout") << 35 << QString();
    QTest::newRow("36 Load Layout") << 36 << QString();
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

    menu.item(item)->trigger();

    QStringList windows;
    for (const ScriptedCompanions::Call &call : companions->calls)
        windows << call.window;
    QCOMPARE(windows, window.isEmpty() ? QStringList() : QStringList{window});
    QStringList expectedMessages;
    if (item == 21)
        expectedMessages << QStringLiteral("Exported To File: ") + grid->defaultExportFileName();
    QCOMPARE(dialogs->texts(), expectedMessages);
    switch (item) {
    case 21: QVERIFY(QFile::exists(grid->defaultExportFileName())); break;
    case 23: QCOMPARE(grid->selectedRows().count(), 3); break;
    case 24: QVERIFY(!(grid->options() & TDBGrid::dgMultiSelect)); break;
    case 35:
        QCOMPARE(grid->registrySaveName(), QStringLiteral("EnhancedGrid"));
        QVERIFY(QFile::exists(fixture.workspace.filePath(QStringLiteral("settings.ini"))));
        break;
    case 36: QVERIFY(!grid->gridAutoSize()); break;
    }
}

void tst_OptionsMenu::failedCommandIsReported()
{
    ScriptedDialogsScope dialogs;
    GridFixture fixture(3);
    auto grid = makeGrid(fixture);
    const QString file = grid->defaultExportFileName();
    QVERIFY(QDir().mkpath(file));

    grid->optionsMenu()->item(21)->trigger();

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
    QVERIFY(grid->optionsMenu()->item(8)->isChecked());
    menu->close();

    // Not from a data cell.
    QTest::mouseRelease(grid->viewport(), Qt::LeftButton, Qt::NoModifier, grid->cellRect(1, 1).center());
    QVERIFY(!menu->isVisible());
}

QTEST_MAIN(tst_OptionsMenu)
#include "tst_optionsmenu.moc"
