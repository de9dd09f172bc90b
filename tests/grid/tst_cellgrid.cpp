#include "grid/cellgrid.h"
#include "grid/gridaxis.h"
#include "scripteddialogs.h"
#include "store/error.h"
#include "testworkspace.h"

#include <QPainter>
#include <QtTest>

#include <limits>

using namespace kelvara;

namespace {

// A cell grid that records the cells it paints and the steps it runs.
class RecordingGrid : public CellGrid
{
public:
    using CellGrid::horizontalScroll;
    using CellGrid::setCurrentCell;

    QList<GridCoord> painted;
    GridCoord failing;
    QList<QPair<int, int>> moves;
    int colWidthsChanges = 0;
    int topLeftChanges = 0;

protected:
    void drawCell(QPainter &painter, int col, int row, const QRect &rect, TGridDrawState state) override
    {
        painted << GridCoord{col, row};
        if (failing == GridCoord{col, row})
            throw Error(QStringLiteral("Cannot read the record"));
        CellGrid::drawCell(painter, col, row, rect, state);
    }
    void columnMoved(int from, int to) override { moves << qMakePair(from, to); }
    void colWidthsChanged() override { ++colWidthsChanges; }
    void topLeftChanged() override { ++topLeftChanges; }
};

// Five columns of 64 pixels and five rows of 24, one fixed column and row, 1-pixel lines.
std::unique_ptr<RecordingGrid> makeGrid(int width, int height = 200)
{
    auto grid = std::make_unique<RecordingGrid>();
    grid->setBorderStyle(CellGrid::bsNone);
    grid->setScrollBars(CellGrid::ssNone);
    grid->resize(width, height);
    grid->show();
    QApplication::setActiveWindow(grid.get());
    if (!QTest::qWaitForWindowActive(grid.get()))
        qWarning("the grid's window did not become active");
    return grid;
}

void settle()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

}  // namespace

Q_DECLARE_METATYPE(kelvara::GridCoord)

class CellGridTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cellRectLeavesTheLinesOutside();
    void cellAtFindsTheCell_data();
    void cellAtFindsTheCell();
    void hiddenColumnTakesNoSpace();
    void hugeSizesStayInReach_data();
    void hugeSizesStayInReach();
    void scrollingMovesWholeColumnsPastTheFixedOnes();
    void fewerFixedOnesKeepAViewAtItsStart();
    void sizingHitsOnlyTitleBorders_data();
    void sizingHitsOnlyTitleBorders();
    void draggingATitleBorderResizesTheColumn();
    void draggingATitleMovesTheColumn();
    void onlyDamagedCellsArePainted();
    void aFailingPaintIsReportedOnceAfterThePaint();
    void keysMoveTheCurrentCell_data();
    void keysMoveTheCurrentCell();
};

void CellGridTest::cellRectLeavesTheLinesOutside()
{
    test::TestWorkspace workspace;
    auto grid = makeGrid(400);
    QCOMPARE(grid->cellRect(0, 0), QRect(0, 0, 64, 24));
    QCOMPARE(grid->cellRect(1, 1), QRect(65, 25, 64, 24));
    QCOMPARE(grid->cellRect(2, 3).topLeft(), QPoint(130, 75));
    grid->setGridLineWidth(3);
    QCOMPARE(grid->cellRect(2, 3).topLeft(), QPoint(134, 81));
    // Cells outside the client area have no rectangle.
    QVERIFY(grid->cellRect(9, 1).isEmpty());
}

void CellGridTest::cellAtFindsTheCell_data()
{
    QTest::addColumn<int>("leftCol");
    QTest::addColumn<int>("hiddenCol");
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<GridCoord>("cell");

    QTest::newRow("inside the fixed corner") << 1 << -1 << QPoint(10, 10) << GridCoord{0, 0};
    QTest::newRow("the line right of a cell belongs to it") << 1 << -1 << QPoint(64, 30) << GridCoord{0, 1};
    QTest::newRow("first pixel of the next cell") << 1 << -1 << QPoint(65, 30) << GridCoord{1, 1};
    QTest::newRow("the line below a cell belongs to it") << 1 << -1 << QPoint(70, 24) << GridCoord{1, 0};
    QTest::newRow("right of the last column") << 1 << -1 << QPoint(330, 30) << GridCoord{};
    QTest::newRow("scrolled: first scrolled column after the fixed one")
        << 3 << -1 << QPoint(66, 30) << GridCoord{3, 1};
    QTest::newRow("fixed column stays under scrolling") << 3 << -1 << QPoint(5, 30) << GridCoord{0, 1};
    QTest::newRow("hidden column is skipped") << 1 << 2 << QPoint(131, 30) << GridCoord{3, 1};
}

void CellGridTest::cellAtFindsTheCell()
{
    QFETCH(int, leftCol);
    QFETCH(int, hiddenCol);
    QFETCH(QPoint, point);
    QFETCH(GridCoord, cell);
    test::TestWorkspace workspace;
    auto grid = makeGrid(200);
    if (hiddenCol >= 0)
        grid->setColWidth(hiddenCol, -1);
    grid->setLeftCol(leftCol);
    QCOMPARE(grid->leftCol(), leftCol);
    const GridCoord found = grid->cellAt(point);
    QCOMPARE(found.col, cell.col);
    QCOMPARE(found.row, cell.row);
}

void CellGridTest::hiddenColumnTakesNoSpace()
{
    test::TestWorkspace workspace;
    auto grid = makeGrid(400);
    grid->setColWidth(2, -1);
    QVERIFY(grid->cellRect(2, 1).isEmpty());
    QCOMPARE(grid->cellRect(3, 1).left(), 130);
    grid->setColWidth(2, 30);
    QCOMPARE(grid->cellRect(3, 1).left(), 161);
}

void CellGridTest::hugeSizesStayInReach_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("taken");  // the size the column then has on screen
    QTest::newRow("largest int") << std::numeric_limits<int>::max() << int(GridAxis::LargestSize);
    QTest::newRow("half of it") << std::numeric_limits<int>::max() / 2 << int(GridAxis::LargestSize);
    QTest::newRow("wider than any screen") << 100000 << int(GridAxis::LargestSize);
    QTest::newRow("wide") << 5000 << 5000;
}

// Sizes come from stored settings and may be any number: the columns' offsets never overflow,
// so every column stays where its neighbours leave it.
void CellGridTest::hugeSizesStayInReach()
{
    QFETCH(int, size);
    QFETCH(int, taken);
    test::TestWorkspace workspace;
    auto grid = makeGrid(400);
    grid->setColCount(1000);
    for (int col = 1; col < grid->colCount(); ++col)
        grid->setColWidth(col, size);
    QCOMPARE(grid->cellRect(1, 1).left(), 65);
    QCOMPARE(grid->cellRect(1, 1).width(), taken);
    QCOMPARE(grid->cellAt(QPoint(100, 30)), (GridCoord{1, 1}));
    grid->setLeftCol(grid->colCount() - 1);
    QCOMPARE(grid->leftCol(), grid->colCount() - 1);
    QCOMPARE(grid->cellRect(grid->colCount() - 1, 1).left(), 65);
    QCOMPARE(grid->cellAt(QPoint(100, 30)), (GridCoord{grid->colCount() - 1, 1}));
}

void CellGridTest::fewerFixedOnesKeepAViewAtItsStart()
{
    test::TestWorkspace workspace;
    auto grid = makeGrid(200);
    QCOMPARE(grid->topRow(), 1);
    grid->setFixedRows(0);
    QCOMPARE(grid->topRow(), 0);
    QCOMPARE(grid->cellRect(1, 0).top(), 0);
    // A view scrolled away from its start keeps its place.
    grid->setFixedCols(0);
    grid->setFixedCols(1);
    grid->horizontalScroll(CellGrid::ScrollCode::LineDown, 0);
    QCOMPARE(grid->leftCol(), 2);
    grid->setFixedCols(0);
    QCOMPARE(grid->leftCol(), 2);
}

void CellGridTest::scrollingMovesWholeColumnsPastTheFixedOnes()
{
    test::TestWorkspace workspace;
    auto grid = makeGrid(200);
    // 200 pixels hold the fixed column and two scrolled ones whole.
    QCOMPARE(grid->visibleColCount(), 2);
    grid->horizontalScroll(CellGrid::ScrollCode::LineDown, 0);
    QCOMPARE(grid->leftCol(), 2);
    QCOMPARE(grid->topLeftChanges, 1);
    QCOMPARE(grid->cellRect(0, 1).left(), 0);
    QCOMPARE(grid->cellRect(2, 1).left(), 65);
    QVERIFY(grid->cellRect(1, 1).isEmpty());
    grid->horizontalScroll(CellGrid::ScrollCode::LineUp, 0);
    QCOMPARE(grid->leftCol(), 1);
    // The last column shows whole at the right: columns 3 and 4 are the furthest view.
    grid->horizontalScroll(CellGrid::ScrollCode::ThumbPosition, 10);
    QCOMPARE(grid->leftCol(), 3);
    grid->horizontalScroll(CellGrid::ScrollCode::Top, 0);
    QCOMPARE(grid->leftCol(), 1);
    // A thumb track scrolls only with thumb tracking.
    grid->horizontalScroll(CellGrid::ScrollCode::ThumbTrack, 1);
    QCOMPARE(grid->leftCol(), 1);
    grid->setCellOptions(grid->cellOptions() | CellGrid::goThumbTracking);
    grid->horizontalScroll(CellGrid::ScrollCode::ThumbTrack, 1);
    QCOMPARE(grid->leftCol(), 2);
}

void CellGridTest::sizingHitsOnlyTitleBorders_data()
{
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("index");

    const int colSizing = int(CellGrid::GridState::ColSizing);
    const int none = int(CellGrid::GridState::Normal);
    QTest::newRow("on the line right of column 1") << QPoint(129, 10) << colSizing << 1;
    QTest::newRow("two pixels left of it") << QPoint(127, 10) << colSizing << 1;
    QTest::newRow("two pixels right of it, in column 2") << QPoint(131, 10) << colSizing << 1;
    QTest::newRow("middle of a title") << QPoint(100, 10) << none << -1;
    QTest::newRow("the same border below the title row") << QPoint(129, 40) << none << -1;
}

void CellGridTest::sizingHitsOnlyTitleBorders()
{
    QFETCH(QPoint, point);
    QFETCH(int, state);
    QFETCH(int, index);
    test::TestWorkspace workspace;
    auto grid = makeGrid(400);
    grid->setCellOptions(grid->cellOptions() | CellGrid::goColSizing);
    const CellGrid::SizingHit hit = grid->sizingAt(point);
    QCOMPARE(int(hit.state), state);
    QCOMPARE(hit.index, index);
}

void CellGridTest::draggingATitleBorderResizesTheColumn()
{
    test::TestWorkspace workspace;
    auto grid = makeGrid(400);
    QWidget *viewport = grid->viewport();
    QTest::mousePress(viewport, Qt::LeftButton, {}, QPoint(129, 10));
    QTest::mouseMove(viewport, QPoint(149, 10));
    // The width is applied when the button is released, once.
    QCOMPARE(grid->colWidth(1), 64);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, QPoint(149, 10));
    QCOMPARE(grid->colWidth(1), 64);
    QCOMPARE(grid->colWidthsChanges, 0);

    grid->setCellOptions(grid->cellOptions() | CellGrid::goColSizing);
    QTest::mousePress(viewport, Qt::LeftButton, {}, QPoint(129, 10));
    QTest::mouseMove(viewport, QPoint(149, 10));
    QCOMPARE(grid->colWidth(1), 64);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, QPoint(149, 10));
    QCOMPARE(grid->colWidth(1), 84);
    QCOMPARE(grid->colWidthsChanges, 1);
    QCOMPARE(grid->cellRect(2, 1).left(), 150);
}

void CellGridTest::draggingATitleMovesTheColumn()
{
    test::TestWorkspace workspace;
    auto grid = makeGrid(400);
    grid->setCellOptions(grid->cellOptions() | CellGrid::goColMoving);
    grid->setColWidth(1, 40);
    QWidget *viewport = grid->viewport();
    // Column 1 (40 wide) is dragged onto column 3.
    const QPoint start = grid->cellRect(1, 0).center();
    const QPoint target = grid->cellRect(3, 0).center();
    QTest::mousePress(viewport, Qt::LeftButton, {}, start);
    QTest::mouseMove(viewport, start + QPoint(10, 0));
    QTest::mouseMove(viewport, target);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, target);
    QCOMPARE(grid->moves, (QList<QPair<int, int>>{qMakePair(1, 3)}));
    QCOMPARE(grid->colWidth(3), 40);
    QCOMPARE(grid->colWidth(1), 64);

    // A press and release without moving is no drag.
    QTest::mouseClick(viewport, Qt::LeftButton, {}, grid->cellRect(2, 0).center());
    QCOMPARE(grid->moves.size(), 1);
}

void CellGridTest::onlyDamagedCellsArePainted()
{
    test::TestWorkspace workspace;
    auto grid = makeGrid(400);
    grid->viewport()->repaint();
    QVERIFY(grid->painted.size() >= 25);

    grid->painted.clear();
    grid->invalidateCell(3, 2);
    settle();
    QCOMPARE(grid->painted.size(), 1);
    QCOMPARE(grid->painted.first(), (GridCoord{3, 2}));

    // Moving the current cell repaints the cell it leaves and the one it enters.
    grid->painted.clear();
    grid->setCol(2);
    settle();
    QCOMPARE(grid->painted.size(), 2);
    QVERIFY(grid->painted.contains(GridCoord{1, 1}));
    QVERIFY(grid->painted.contains(GridCoord{2, 1}));
}

void CellGridTest::aFailingPaintIsReportedOnceAfterThePaint()
{
    test::TestWorkspace workspace;
    ScriptedDialogsScope dialogs;
    auto grid = makeGrid(400);
    grid->failing = GridCoord{2, 2};
    grid->viewport()->repaint();
    QVERIFY(dialogs->messages.isEmpty());
    settle();
    QCOMPARE(dialogs->texts(ScriptedDialogs::Kind::Error), QStringList{QStringLiteral("Cannot read the record")});
    // The same failure again is not reported again, until a paint has succeeded.
    grid->viewport()->repaint();
    settle();
    QCOMPARE(dialogs->messages.size(), 1);
    grid->failing = GridCoord{};
    grid->viewport()->repaint();
    grid->failing = GridCoord{2, 2};
    grid->viewport()->repaint();
    settle();
    QCOMPARE(dialogs->messages.size(), 2);
}

void CellGridTest::keysMoveTheCurrentCell_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<GridCoord>("start");
    QTest::addColumn<GridCoord>("expected");

    QTest::newRow("right") << int(Qt::Key_Right) << 0 << GridCoord{1, 1} << GridCoord{2, 1};
    QTest::newRow("left stops at the fixed column") << int(Qt::Key_Left) << 0 << GridCoord{1, 1} << GridCoord{1, 1};
    QTest::newRow("down") << int(Qt::Key_Down) << 0 << GridCoord{1, 1} << GridCoord{1, 2};
    QTest::newRow("end") << int(Qt::Key_End) << 0 << GridCoord{1, 1} << GridCoord{4, 1};
    QTest::newRow("ctrl+end") << int(Qt::Key_End) << int(Qt::ControlModifier) << GridCoord{1, 1} << GridCoord{4, 4};
    QTest::newRow("home") << int(Qt::Key_Home) << 0 << GridCoord{3, 2} << GridCoord{1, 2};
    QTest::newRow("tab without goTabs leaves the grid") << int(Qt::Key_Tab) << 0 << GridCoord{1, 1} << GridCoord{1, 1};
}

void CellGridTest::keysMoveTheCurrentCell()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(GridCoord, start);
    QFETCH(GridCoord, expected);
    test::TestWorkspace workspace;
    auto grid = makeGrid(400);
    grid->setFocus();
    grid->setCurrentCell(start.col, start.row, true);
    QTest::keyClick(grid.get(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(grid->col(), expected.col);
    QCOMPARE(grid->row(), expected.row);
}

QTEST_MAIN(CellGridTest)
#include "tst_cellgrid.moc"
