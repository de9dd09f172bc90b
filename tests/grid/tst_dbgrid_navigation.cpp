#include "grid/tcolumn.h"
#include "grid/tinplaceedit.h"
#include "gridfixture.h"
#include "store/field.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QtTest>

using namespace kelvara;
using kelvara::test::GridFixture;
using kelvara::test::TestGrid;
using ScrollCode = CellGrid::ScrollCode;

Q_DECLARE_METATYPE(kelvara::CellGrid::ScrollCode)

namespace {

QString currentName(const Table &table)
{
    return table.fieldByName(QStringLiteral("Name"))->asString();
}

QPoint dataCellCenter(const TDBGrid &grid, int dataCol, int dataRow)
{
    return grid.cellRect(grid.dataToRawColumn(dataCol), grid.titleOffset() + dataRow).center();
}

void wheel(QWidget *widget, int delta)
{
    const QPoint pos = widget->rect().center();
    QWheelEvent event(pos, widget->mapToGlobal(pos), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(widget, &event);
}

}  // namespace

class DBGridNavigationTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void verticalBarShowsTheRecordNumber();
    void scrollCodesMoveThroughRecords_data();
    void scrollCodesMoveThroughRecords();
    void thumbTrackAndThumbPositionAreKeptApart();
    void keysMoveThroughCellsAndRecords_data();
    void keysMoveThroughCellsAndRecords();
    void lockedColumnsNeverBecomeCurrent_data();
    void lockedColumnsNeverBecomeCurrent();
    void layoutKeepsTheLockedColumns();
    void wheelMovesOneRecordPerNotch();
    void clickMovesToTheCellAndRecord();
    void gridFollowsMovesMadeElsewhere();
    void keyRuleLeavesEnterAndTabToTheWindow_data();
    void keyRuleLeavesEnterAndTabToTheWindow();
    void multiSelectWithCtrlAndShift();
    void removingMultiSelectEmptiesTheSelection();
    void selectedRowsStayHighlightedAfterARefresh();
};

void DBGridNavigationTest::verticalBarShowsTheRecordNumber()
{
    GridFixture fixture(30);
    auto grid = fixture.makeGrid(5);
    const QScrollBar *bar = grid->verticalScrollBar();
    QCOMPARE(bar->minimum(), 0);
    QCOMPARE(bar->maximum(), 29);
    QCOMPARE(bar->value(), 0);
    QCOMPARE(bar->pageStep(), 5);
    fixture.table.moveBy(12);
    QCOMPARE(bar->value(), 12);
    fixture.table.last();
    QCOMPARE(bar->value(), 29);
}

void DBGridNavigationTest::scrollCodesMoveThroughRecords_data()
{
    QTest::addColumn<int>("startRecNo");
    QTest::addColumn<ScrollCode>("code");
    QTest::addColumn<int>("position");
    QTest::addColumn<bool>("thumbTracking");
    QTest::addColumn<int>("recNo");

    QTest::newRow("line down") << 1 << ScrollCode::LineDown << 0 << false << 2;
    QTest::newRow("line up") << 5 << ScrollCode::LineUp << 0 << false << 4;
    QTest::newRow("page down moves a page of rows") << 1 << ScrollCode::PageDown << 0 << false << 6;
    QTest::newRow("page up") << 12 << ScrollCode::PageUp << 0 << false << 7;
    QTest::newRow("page up stops at the first") << 3 << ScrollCode::PageUp << 0 << false << 1;
    QTest::newRow("thumb position goes to the record there") << 1 << ScrollCode::ThumbPosition << 20 << false << 21;
    QTest::newRow("thumb track alone moves nothing") << 1 << ScrollCode::ThumbTrack << 20 << false << 1;
    QTest::newRow("thumb track with thumb tracking") << 1 << ScrollCode::ThumbTrack << 20 << true << 21;
    QTest::newRow("top") << 9 << ScrollCode::Top << 0 << false << 1;
    QTest::newRow("bottom") << 9 << ScrollCode::Bottom << 0 << false << 30;
}

void DBGridNavigationTest::scrollCodesMoveThroughRecords()
{
    QFETCH(int, startRecNo);
    QFETCH(ScrollCode, code);
    QFETCH(int, position);
    QFETCH(bool, thumbTracking);
    QFETCH(int, recNo);
    GridFixture fixture(30);
    auto grid = fixture.makeGrid(5);
    if (thumbTracking)
        grid->setCellOptions(grid->cellOptions() | CellGrid::goThumbTracking);
    fixture.table.setRecNo(startRecNo);
    grid->verticalScroll(code, position);
    QCOMPARE(fixture.table.recNo(), recNo);
    QCOMPARE(grid->verticalScrollBar()->value(), recNo - 1);
    // The current row follows the record inside the rows in view.
    QCOMPARE(grid->row() - grid->titleOffset(), grid->dataLink().activeRecord());
}

void DBGridNavigationTest::thumbTrackAndThumbPositionAreKeptApart()
{
    GridFixture fixture(30);
    auto grid = fixture.makeGrid(5);
    QScrollBar *bar = grid->verticalScrollBar();
    bar->setSliderDown(true);
    bar->setSliderPosition(10);
    bar->setSliderPosition(15);
    QCOMPARE(fixture.table.recNo(), 1);
    bar->setSliderDown(false);
    QCOMPARE(fixture.table.recNo(), 16);
    QCOMPARE(
        grid->verticalCodes,
        (QList<QPair<ScrollCode, int>>{qMakePair(ScrollCode::ThumbTrack, 10), qMakePair(ScrollCode::ThumbTrack, 15),
                                       qMakePair(ScrollCode::ThumbPosition, 15)}));

    // The arrow of the bar sends a line code.
    grid->verticalCodes.clear();
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QCOMPARE(grid->verticalCodes, (QList<QPair<ScrollCode, int>>{qMakePair(ScrollCode::LineDown, 16)}));
    QCOMPARE(fixture.table.recNo(), 17);
    QCOMPARE(bar->value(), 16);
}

void DBGridNavigationTest::keysMoveThroughCellsAndRecords_data()
{
    QTest::addColumn<int>("startRecNo");
    QTest::addColumn<int>("startCol");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<int>("recNo");
    QTest::addColumn<int>("selectedIndex");

    const int none = 0;
    const int shift = int(Qt::ShiftModifier);
    const int ctrl = int(Qt::ControlModifier);
    QTest::newRow("down") << 1 << 0 << int(Qt::Key_Down) << none << 2 << 0;
    QTest::newRow("up") << 4 << 1 << int(Qt::Key_Up) << none << 3 << 1;
    QTest::newRow("up at the first record stays") << 1 << 0 << int(Qt::Key_Up) << none << 1 << 0;
    QTest::newRow("right") << 1 << 0 << int(Qt::Key_Right) << none << 1 << 1;
    QTest::newRow("left at the first column stays") << 1 << 0 << int(Qt::Key_Left) << none << 1 << 0;
    QTest::newRow("tab") << 1 << 1 << int(Qt::Key_Tab) << none << 1 << 2;
    QTest::newRow("shift+tab") << 1 << 1 << int(Qt::Key_Tab) << shift << 1 << 0;
    QTest::newRow("tab on the last column: next record, first column") << 2 << 2 << int(Qt::Key_Tab) << none << 3 << 0;
    QTest::newRow("shift+tab on the first column: previous record, last column")
        << 3 << 0 << int(Qt::Key_Tab) << shift << 2 << 2;
    QTest::newRow("home") << 2 << 2 << int(Qt::Key_Home) << none << 2 << 0;
    QTest::newRow("end") << 2 << 0 << int(Qt::Key_End) << none << 2 << 2;
    QTest::newRow("ctrl+end") << 2 << 1 << int(Qt::Key_End) << ctrl << 30 << 1;
    QTest::newRow("ctrl+home") << 20 << 1 << int(Qt::Key_Home) << ctrl << 1 << 1;
    QTest::newRow("page down") << 2 << 0 << int(Qt::Key_PageDown) << none << 7 << 0;
    QTest::newRow("page up") << 20 << 0 << int(Qt::Key_PageUp) << none << 15 << 0;
}

void DBGridNavigationTest::keysMoveThroughCellsAndRecords()
{
    QFETCH(int, startRecNo);
    QFETCH(int, startCol);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(int, recNo);
    QFETCH(int, selectedIndex);
    GridFixture fixture(30,
                        FieldDefs{test::fieldDef(QStringLiteral("Name"), ftString, 20),
                                  test::fieldDef(QStringLiteral("City"), ftString, 20),
                                  test::fieldDef(QStringLiteral("Count"), ftInteger)});
    auto grid = fixture.makeGrid(5);
    fixture.table.setRecNo(startRecNo);
    grid->setSelectedIndex(startCol);
    QTest::keyClick(grid.get(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(fixture.table.recNo(), recNo);
    QCOMPARE(grid->selectedIndex(), selectedIndex);
    QCOMPARE(fixture.table.state(), dsBrowse);
}

void DBGridNavigationTest::lockedColumnsNeverBecomeCurrent_data()
{
    QTest::addColumn<int>("startRecNo");
    QTest::addColumn<int>("startCol");
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<int>("target");  // data column of a click (on data row 2) or a selection
    QTest::addColumn<int>("recNo");
    QTest::addColumn<int>("selectedIndex");

    // Data columns 0 and 1 are locked; 2 is the first scrollable one, 3 the last.
    const QString key = QStringLiteral("key");
    const QString click = QStringLiteral("click");
    const QString select = QStringLiteral("select");
    const int none = 0;
    const int shift = int(Qt::ShiftModifier);
    const int ctrl = int(Qt::ControlModifier);
    QTest::newRow("locking the current column moves it to the first scrollable one")
        << 1 << 0 << QString() << 0 << none << -1 << 1 << 2;
    QTest::newRow("left on the first scrollable column stays")
        << 1 << 2 << key << int(Qt::Key_Left) << none << -1 << 1 << 2;
    QTest::newRow("left from the last column") << 1 << 3 << key << int(Qt::Key_Left) << none << -1 << 1 << 2;
    QTest::newRow("home") << 1 << 3 << key << int(Qt::Key_Home) << none << -1 << 1 << 2;
    QTest::newRow("ctrl+home keeps the column") << 20 << 2 << key << int(Qt::Key_Home) << ctrl << -1 << 1 << 2;
    QTest::newRow("tab on the last column: next record, first scrollable column")
        << 2 << 3 << key << int(Qt::Key_Tab) << none << -1 << 3 << 2;
    QTest::newRow("shift+tab on the first scrollable column: previous record, last column")
        << 3 << 2 << key << int(Qt::Key_Tab) << shift << -1 << 2 << 3;
    QTest::newRow("click on a locked cell: the record moves, the column stays")
        << 1 << 3 << click << 0 << none << 1 << 3 << 3;
    QTest::newRow("click on the first locked cell from the first scrollable column")
        << 1 << 2 << click << 0 << none << 0 << 3 << 2;
    QTest::newRow("selecting a locked column is refused") << 1 << 3 << select << 0 << none << 0 << 1 << 3;
    QTest::newRow("selecting the first scrollable column") << 1 << 3 << select << 0 << none << 2 << 1 << 2;
}

void DBGridNavigationTest::lockedColumnsNeverBecomeCurrent()
{
    QFETCH(int, startRecNo);
    QFETCH(int, startCol);
    QFETCH(QString, action);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(int, target);
    QFETCH(int, recNo);
    QFETCH(int, selectedIndex);
    GridFixture fixture(30);
    auto grid = fixture.makeGrid(5, 600);
    fixture.table.setRecNo(startRecNo);
    grid->setSelectedIndex(startCol);
    const int fixed = grid->indicatorOffset() + 2;
    grid->setFixedCols(fixed);
    QVERIFY(grid->col() >= fixed);

    if (action == QLatin1String("key"))
        QTest::keyClick(grid.get(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    else if (action == QLatin1String("click"))
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, dataCellCenter(*grid, target, 2));
    else if (action == QLatin1String("select"))
        grid->setSelectedIndex(target);
    QCOMPARE(fixture.table.recNo(), recNo);
    QCOMPARE(grid->selectedIndex(), selectedIndex);
    QVERIFY(grid->col() >= grid->fixedCols());
    QCOMPARE(grid->fixedCols(), fixed);

    // A layout keeps the locked columns and the current one.
    QFont titleFont = grid->titleFont();
    titleFont.setPointSize(titleFont.pointSize() + 2);
    grid->setTitleFont(titleFont);
    QCOMPARE(grid->fixedCols(), fixed);
    QCOMPARE(grid->selectedIndex(), selectedIndex);
}

void DBGridNavigationTest::layoutKeepsTheLockedColumns()
{
    GridFixture fixture(3);
    auto grid = fixture.makeGrid(3, 600);
    grid->setSelectedIndex(2);
    grid->setFixedCols(3);

    // The indicator going and coming shifts the fixed count; the same data columns stay locked.
    grid->setOptions(grid->options() & ~TDBGrid::dgIndicator);
    QCOMPARE(grid->fixedCols(), 2);
    QCOMPARE(grid->selectedIndex(), 2);
    grid->setOptions(grid->options() | TDBGrid::dgIndicator);
    QCOMPARE(grid->fixedCols(), 3);
    QCOMPARE(grid->selectedIndex(), 2);

    // With fewer columns one data column stays scrollable, and it becomes current.
    fixture.table.fieldByName(QStringLiteral("Count"))->setVisible(false);
    fixture.table.fieldByName(QStringLiteral("Notes"))->setVisible(false);
    QCOMPARE(grid->columns()->count(), 2);
    QCOMPARE(grid->fixedCols(), 2);
    QCOMPARE(grid->selectedIndex(), 1);

    // Lowering the count by hand is kept as well.
    grid->setFixedCols(1);
    fixture.table.fieldByName(QStringLiteral("Count"))->setVisible(true);
    QCOMPARE(grid->fixedCols(), 1);
    QTest::keyClick(grid.get(), Qt::Key_Home);
    QCOMPARE(grid->selectedIndex(), 0);
}

void DBGridNavigationTest::wheelMovesOneRecordPerNotch()
{
    GridFixture fixture(6);
    auto grid = fixture.makeGrid(3);
    wheel(grid->viewport(), -120);
    QCOMPARE(fixture.table.recNo(), 2);
    wheel(grid->viewport(), -240);
    QCOMPARE(fixture.table.recNo(), 4);
    // Half notches add up.
    wheel(grid->viewport(), 60);
    QCOMPARE(fixture.table.recNo(), 4);
    wheel(grid->viewport(), 60);
    QCOMPARE(fixture.table.recNo(), 3);

    fixture.table.last();
    QVERIFY(!grid->wheelStep(true, Qt::NoModifier, QPoint()));
    QVERIFY(grid->wheelStep(false, Qt::NoModifier, QPoint()));
    QCOMPARE(fixture.table.recNo(), 5);
}

void DBGridNavigationTest::clickMovesToTheCellAndRecord()
{
    GridFixture fixture(3);
    auto grid = fixture.makeGrid(5, 600);
    QSignalSpy cellClicks(grid.get(), &TDBGrid::OnCellClick);
    QSignalSpy titleClicks(grid.get(), &TDBGrid::OnTitleClick);
    QWidget *viewport = grid->viewport();

    QTest::mouseClick(viewport, Qt::LeftButton, {}, dataCellCenter(*grid, 2, 1));
    QCOMPARE(fixture.table.recNo(), 2);
    QCOMPARE(grid->selectedIndex(), 2);
    QCOMPARE(cellClicks.size(), 1);
    QCOMPARE(cellClicks.first().at(0).value<TColumn *>(), grid->columns()->items(2));

    // The indicator column moves the record and keeps the column.
    QTest::mouseClick(viewport, Qt::LeftButton, {}, grid->cellRect(0, 3).center());
    QCOMPARE(fixture.table.recNo(), 3);
    QCOMPARE(grid->selectedIndex(), 2);
    QCOMPARE(cellClicks.size(), 1);

    // Below the last record nothing moves.
    QTest::mouseClick(viewport, Qt::LeftButton, {}, dataCellCenter(*grid, 0, 4));
    QCOMPARE(fixture.table.recNo(), 3);
    QCOMPARE(grid->selectedIndex(), 2);

    QTest::mouseClick(viewport, Qt::LeftButton, {}, grid->cellRect(2, 0).center());
    QCOMPARE(titleClicks.size(), 1);
    QCOMPARE(titleClicks.first().at(0).value<TColumn *>(), grid->columns()->items(1));
    QCOMPARE(fixture.table.recNo(), 3);

    QSignalSpy doubleClicks(grid.get(), &TDBGrid::OnDblClick);
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, dataCellCenter(*grid, 0, 0));
    QCOMPARE(doubleClicks.size(), 1);
    QCOMPARE(fixture.table.recNo(), 1);
}

void DBGridNavigationTest::gridFollowsMovesMadeElsewhere()
{
    GridFixture fixture(20);
    auto grid = fixture.makeGrid(5);
    fixture.table.moveBy(3);
    QCOMPARE(grid->row(), 4);
    QCOMPARE(currentName(fixture.table), QStringLiteral("Name 4"));
    // Past the rows in view the records move under the rows; the current stays on the last row.
    fixture.table.moveBy(4);
    QCOMPARE(grid->row(), 5);
    {
        ActiveRecordScope scope(grid->dataLink(), 0);
        QCOMPARE(currentName(fixture.table), QStringLiteral("Name 4"));
    }
    fixture.table.first();
    QCOMPARE(grid->row(), 1);
}

void DBGridNavigationTest::keyRuleLeavesEnterAndTabToTheWindow_data()
{
    QTest::addColumn<bool>("editing");
    QTest::addColumn<bool>("tabs");
    QTest::addColumn<bool>("rowSelect");
    QTest::addColumn<bool>("defaultPressed");
    QTest::addColumn<bool>("tabStaysInGrid");

    QTest::newRow("editing and tabs") << true << true << false << false << true;
    QTest::newRow("no editing: Enter presses the default button") << false << true << false << true << true;
    QTest::newRow("no tabs: Tab leaves the grid") << true << false << false << false << false;
    QTest::newRow("row select: Tab leaves, Enter goes to the window") << true << true << true << true << false;
}

void DBGridNavigationTest::keyRuleLeavesEnterAndTabToTheWindow()
{
    QFETCH(bool, editing);
    QFETCH(bool, tabs);
    QFETCH(bool, rowSelect);
    QFETCH(bool, defaultPressed);
    QFETCH(bool, tabStaysInGrid);
    GridFixture fixture(3);
    QDialog dialog;
    auto *layout = new QHBoxLayout(&dialog);
    auto *grid = new TestGrid(&dialog);
    auto *other = new QLineEdit(&dialog);
    auto *button = new QPushButton(QStringLiteral("OK"), &dialog);
    button->setDefault(true);
    layout->addWidget(grid);
    layout->addWidget(other);
    layout->addWidget(button);
    grid->setDataSource(&fixture.source);
    TDBGrid::TDBGridOptions options = grid->options();
    options.setFlag(TDBGrid::dgEditing, editing);
    options.setFlag(TDBGrid::dgTabs, tabs);
    options.setFlag(TDBGrid::dgRowSelect, rowSelect);
    grid->setOptions(options);
    dialog.resize(700, 300);
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    grid->setFocus();
    QVERIFY(grid->hasFocus());

    QSignalSpy clicked(button, &QPushButton::clicked);
    QTest::keyClick(grid, Qt::Key_Return);
    QCOMPARE(clicked.size(), defaultPressed ? 1 : 0);
    QVERIFY(dialog.isVisible() || defaultPressed);
    if (editing && !rowSelect) {
        // Enter opened the editor; Escape closes it again.
        QVERIFY(grid->editorMode());
        QTest::keyClick(grid->inplaceEditor(), Qt::Key_Escape);
        QVERIFY(!grid->editorMode());
    }

    dialog.show();
    grid->setFocus();
    const int before = grid->selectedIndex();
    QTest::keyClick(grid, Qt::Key_Tab);
    QCOMPARE(grid->hasFocus(), tabStaysInGrid);
    if (tabStaysInGrid)
        QCOMPARE(grid->selectedIndex(), before + 1);
    else
        QVERIFY(other->hasFocus());

    // Arrows always reach the grid.
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_Down);
    QCOMPARE(fixture.table.recNo(), 2);
}

void DBGridNavigationTest::multiSelectWithCtrlAndShift()
{
    GridFixture fixture(8);
    auto grid = fixture.makeGrid(8);
    grid->setOptions(grid->options() | TDBGrid::dgMultiSelect);
    QWidget *viewport = grid->viewport();
    TBookmarkList &selected = grid->selectedRows();
    auto bookmarkOf = [&](int recNo) {
        const int saved = fixture.table.recNo();
        fixture.table.setRecNo(recNo);
        const Bookmark bookmark = fixture.table.bookmark();
        fixture.table.setRecNo(saved);
        return bookmark;
    };

    QTest::mouseClick(viewport, Qt::LeftButton, Qt::ControlModifier, dataCellCenter(*grid, 0, 1));
    QTest::mouseClick(viewport, Qt::LeftButton, Qt::ControlModifier, dataCellCenter(*grid, 0, 3));
    QCOMPARE(selected.count(), 2);
    QVERIFY(selected.contains(bookmarkOf(2)));
    QVERIFY(selected.contains(bookmarkOf(4)));
    QVERIFY(grid->isRowSelected(1));
    QVERIFY(!grid->isRowSelected(2));
    QVERIFY(grid->isRowSelected(3));
    QVERIFY(selected.currentRowSelected());

    // Ctrl+click on a selected row unselects it.
    QTest::mouseClick(viewport, Qt::LeftButton, Qt::ControlModifier, dataCellCenter(*grid, 0, 1));
    QCOMPARE(selected.count(), 1);
    QVERIFY(!grid->isRowSelected(1));

    // Shift+click selects from the current record (record 2, just unselected) to the clicked one.
    QTest::mouseClick(viewport, Qt::LeftButton, Qt::ShiftModifier, dataCellCenter(*grid, 0, 5));
    QCOMPARE(fixture.table.recNo(), 6);
    QCOMPARE(selected.count(), 5);
    for (int row : {0, 1, 2, 3, 4, 5, 6})
        QCOMPARE(grid->isRowSelected(row), row >= 1 && row <= 5);

    // Shift+Down extends the selection by the record moved to, Shift+Page Down by every record passed.
    QTest::keyClick(grid.get(), Qt::Key_Down, Qt::ShiftModifier);
    QCOMPARE(selected.count(), 6);
    QVERIFY(selected.contains(bookmarkOf(7)));
    fixture.table.setRecNo(1);
    QTest::keyClick(grid.get(), Qt::Key_PageDown, Qt::ShiftModifier);
    QCOMPARE(fixture.table.recNo(), 8);
    QCOMPARE(selected.count(), 8);

    // A plain click empties it.
    QTest::mouseClick(viewport, Qt::LeftButton, {}, dataCellCenter(*grid, 0, 0));
    QCOMPARE(selected.count(), 0);
    QCOMPARE(fixture.table.recNo(), 1);
}

void DBGridNavigationTest::removingMultiSelectEmptiesTheSelection()
{
    GridFixture fixture(5);
    auto grid = fixture.makeGrid(5);
    grid->setOptions(grid->options() | TDBGrid::dgMultiSelect);
    grid->selectedRows().setCurrentRowSelected(true);
    fixture.table.next();
    grid->selectedRows().setCurrentRowSelected(true);
    QCOMPARE(grid->selectedRows().count(), 2);
    grid->setOptions(grid->options() & ~TDBGrid::dgMultiSelect);
    QCOMPARE(grid->selectedRows().count(), 0);

    // Deleting a selected record takes it out of the selection.
    grid->setOptions(grid->options() | TDBGrid::dgMultiSelect);
    grid->selectedRows().setCurrentRowSelected(true);
    fixture.table.deleteRecord();
    QCOMPARE(grid->selectedRows().count(), 0);
}

void DBGridNavigationTest::selectedRowsStayHighlightedAfterARefresh()
{
    GridFixture fixture(5);
    auto grid = fixture.makeGrid(5);
    grid->setOptions(grid->options() | TDBGrid::dgMultiSelect);
    QWidget *viewport = grid->viewport();
    QTest::mouseClick(viewport, Qt::LeftButton, Qt::ControlModifier, dataCellCenter(*grid, 0, 1));
    QTest::mouseClick(viewport, Qt::LeftButton, Qt::ControlModifier, dataCellCenter(*grid, 0, 3));
    QVERIFY(grid->isRowSelected(1));
    fixture.table.refresh();
    QCOMPARE(grid->selectedRows().count(), 2);
    QVERIFY(grid->isRowSelected(3));
    QVERIFY(grid->isRowSelected(1));
    QVERIFY(!grid->isRowSelected(2));
}

QTEST_MAIN(DBGridNavigationTest)
#include "tst_dbgrid_navigation.moc"
