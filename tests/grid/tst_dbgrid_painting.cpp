#include "grid/tcolumn.h"
#include "gridfixture.h"
#include "store/field.h"

#include <QPainter>
#include <QtTest>

using namespace kelvara;
using kelvara::test::addColumn;
using kelvara::test::darkPixels;
using kelvara::test::GridFixture;
using kelvara::test::TestGrid;

namespace {

const QColor kWhite(255, 255, 255);
const QColor kFixed(212, 208, 200);

// Three records shown in four data rows: indicator, Name (80 wide) and Count (60 wide, numbers to the right).
std::unique_ptr<TestGrid> makeSmallGrid(GridFixture &fixture)
{
    auto grid = fixture.makeGrid(4, 200);
    grid->setColor(kWhite);
    grid->setFixedColor(kFixed);
    addColumn(*grid, QStringLiteral("Name"), 80);
    addColumn(*grid, QStringLiteral("Count"), 60);
    return grid;
}

QImage grabGrid(TDBGrid &grid)
{
    return grid.viewport()->grab().toImage();
}

// A point in a data cell away from its text and focus frame: the lower right corner for a column
// whose text starts at the left, the lower left corner for one whose text ends at the right.
QPoint clearPoint(const QRect &cell, bool textAtLeft = true)
{
    return textAtLeft ? QPoint(cell.right() - 3, cell.bottom() - 2) : QPoint(cell.left() + 3, cell.bottom() - 2);
}

bool allPixels(const QImage &image, const QRect &rect, const QColor &color)
{
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x) {
            if (image.pixelColor(x, y) != color)
                return false;
        }
    }
    return true;
}

// A fixed cell without the light edge its raised look gives it at the top and left.
QRect inside(const QRect &cell)
{
    return cell.adjusted(1, 1, 0, 0);
}

}  // namespace

class DBGridPaintingTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fixedCellsAndEmptyRows_data();
    void fixedCellsAndEmptyRows();
    void linesFollowTheOptions_data();
    void linesFollowTheOptions();
    void currentCellHighlight_data();
    void currentCellHighlight();
    void indicatorMarksTheCurrentRecordByState_data();
    void indicatorMarksTheCurrentRecordByState();
    void multiSelectedRowsAreHighlighted();
    void drawColumnCellEventPaintsOverOrInsteadOfTheGrid_data();
    void drawColumnCellEventPaintsOverOrInsteadOfTheGrid();
    void textFollowsTheColumnsAlignment();
};

void DBGridPaintingTest::fixedCellsAndEmptyRows_data()
{
    QTest::addColumn<bool>("ctl3D");
    QTest::newRow("raised fixed cells") << true;
    QTest::newRow("flat fixed cells") << false;
}

void DBGridPaintingTest::fixedCellsAndEmptyRows()
{
    QFETCH(bool, ctl3D);
    GridFixture fixture(3);
    auto grid = makeSmallGrid(fixture);
    grid->setCtl3D(ctl3D);
    const QImage image = grabGrid(*grid);
    const QColor edge = ctl3D ? grid->palette().color(QPalette::Active, QPalette::Light) : kFixed;
    for (const QRect &cell : {grid->cellRect(0, 0), grid->cellRect(0, 2), grid->cellRect(1, 0)}) {
        QCOMPARE(image.pixelColor(cell.topLeft()), edge);
        QCOMPARE(image.pixelColor(cell.topRight()), edge);
        QCOMPARE(image.pixelColor(cell.bottomLeft()), edge);
    }
    QVERIFY(allPixels(image, inside(grid->cellRect(0, 0)), kFixed));
    QVERIFY(allPixels(image, inside(grid->cellRect(0, 2)), kFixed));
    const QRect title = grid->cellRect(1, 0);
    QCOMPARE(image.pixelColor(title.right() - 1, title.bottom()), kFixed);
    QVERIFY(darkPixels(image, title) > 0);
    // The fourth data row has no record: blank in the grid's colour, its indicator too.
    QVERIFY(allPixels(image, grid->cellRect(1, 4), kWhite));
    QVERIFY(allPixels(image, inside(grid->cellRect(0, 4)), kFixed));
    // Right of the last column the grid's colour shows.
    const QRect count = grid->cellRect(2, 1);
    QCOMPARE(image.pixelColor(count.right() + 5, count.center().y()), kWhite);

    // A locked data column paints as the other fixed cells do, its text included.
    grid->setFixedCols(2);
    const QImage locked = grabGrid(*grid);
    const QRect name = grid->cellRect(1, 1);
    QCOMPARE(locked.pixelColor(name.topLeft()), edge);
    QCOMPARE(locked.pixelColor(clearPoint(name)), kFixed);
    QVERIFY(darkPixels(locked, name) > 0);
    QVERIFY(allPixels(locked, inside(grid->cellRect(1, 4)), kFixed));
}

void DBGridPaintingTest::linesFollowTheOptions_data()
{
    QTest::addColumn<bool>("colLines");
    QTest::addColumn<bool>("rowLines");
    QTest::newRow("column and row lines") << true << true;
    QTest::newRow("no column lines") << false << true;
    QTest::newRow("no row lines") << true << false;
}

void DBGridPaintingTest::linesFollowTheOptions()
{
    QFETCH(bool, colLines);
    QFETCH(bool, rowLines);
    GridFixture fixture(3);
    auto grid = makeSmallGrid(fixture);
    TDBGrid::TDBGridOptions options = grid->options();
    options.setFlag(TDBGrid::dgColLines, colLines);
    options.setFlag(TDBGrid::dgRowLines, rowLines);
    grid->setOptions(options);
    const QImage image = grabGrid(*grid);
    const QRect name = grid->cellRect(1, 2);
    const QRect count = grid->cellRect(2, 2);
    const QRect below = grid->cellRect(1, 3);
    if (colLines) {
        QCOMPARE(count.left(), name.right() + 2);
        QCOMPARE(image.pixelColor(name.right() + 1, name.center().y()), grid->lineColor());
        const QRect title = grid->cellRect(1, 0);
        QCOMPARE(image.pixelColor(title.right() + 1, title.center().y()), grid->fixedLineColor());
    } else {
        QCOMPARE(count.left(), name.right() + 1);
    }
    if (rowLines) {
        QCOMPARE(below.top(), name.bottom() + 2);
        QCOMPARE(image.pixelColor(name.center().x(), name.bottom() + 1), grid->lineColor());
        const QRect indicator = grid->cellRect(0, 2);
        QCOMPARE(image.pixelColor(indicator.center().x(), indicator.bottom() + 1), grid->fixedLineColor());
    } else {
        QCOMPARE(below.top(), name.bottom() + 1);
    }
}

void DBGridPaintingTest::currentCellHighlight_data()
{
    QTest::addColumn<bool>("focused");
    QTest::addColumn<int>("options");
    QTest::addColumn<bool>("nameHighlighted");
    QTest::addColumn<bool>("countHighlighted");

    QTest::newRow("focused: the current cell") << true << 0 << true << false;
    QTest::newRow("without focus: none") << false << 0 << false << false;
    QTest::newRow("without focus, dgAlwaysShowSelection")
        << false << int(TDBGrid::dgAlwaysShowSelection) << true << false;
    QTest::newRow("row select: the whole row") << true << int(TDBGrid::dgRowSelect) << true << true;
}

void DBGridPaintingTest::currentCellHighlight()
{
    QFETCH(bool, focused);
    QFETCH(int, options);
    QFETCH(bool, nameHighlighted);
    QFETCH(bool, countHighlighted);
    GridFixture fixture(3);
    auto grid = makeSmallGrid(fixture);
    grid->setOptions(grid->options() | TDBGrid::TDBGridOptions(options));
    fixture.table.setRecNo(2);
    if (!focused)
        grid->clearFocus();
    QCOMPARE(grid->hasFocus(), focused);
    const QImage image = grabGrid(*grid);
    const QColor highlight = grid->palette().color(QPalette::Active, QPalette::Highlight);
    QCOMPARE(image.pixelColor(clearPoint(grid->cellRect(1, 2))), nameHighlighted ? highlight : kWhite);
    QCOMPARE(image.pixelColor(clearPoint(grid->cellRect(2, 2), false)), countHighlighted ? highlight : kWhite);
    QCOMPARE(image.pixelColor(clearPoint(grid->cellRect(1, 1))), kWhite);
}

void DBGridPaintingTest::indicatorMarksTheCurrentRecordByState_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QList<QPoint>>("ink");
    QTest::addColumn<QList<QPoint>>("blank");

    // Offsets from the indicator cell's centre.
    QTest::newRow("browse: an arrow") << int(dsBrowse) << QList<QPoint>{{-2, 0}, {1, 0}, {-2, -4}}
                                      << QList<QPoint>{{0, -4}, {3, 0}};
    QTest::newRow("edit: an I-beam") << int(dsEdit) << QList<QPoint>{{0, -4}, {-2, -4}, {2, 4}, {0, 0}}
                                     << QList<QPoint>{{-2, 0}, {2, 0}};
    QTest::newRow("insert: an asterisk") << int(dsInsert) << QList<QPoint>{{3, 0}, {-3, 0}, {0, -3}, {2, 2}}
                                         << QList<QPoint>{{0, -4}, {1, -2}};
}

void DBGridPaintingTest::indicatorMarksTheCurrentRecordByState()
{
    QFETCH(int, state);
    QFETCH(QList<QPoint>, ink);
    QFETCH(QList<QPoint>, blank);
    GridFixture fixture(3);
    auto grid = makeSmallGrid(fixture);
    fixture.table.setRecNo(2);
    if (state == dsEdit)
        fixture.table.edit();
    else if (state == dsInsert)
        fixture.table.insert();
    QCOMPARE(int(fixture.table.state()), state);
    const QImage image = grabGrid(*grid);
    const QColor inkColor = grid->palette().color(QPalette::Active, QPalette::WindowText);
    const QRect indicator = grid->cellRect(0, 2);
    const QPoint centre(indicator.left() + indicator.width() / 2, indicator.top() + indicator.height() / 2);
    for (const QPoint &offset : ink)
        QVERIFY2(image.pixelColor(centre + offset) == inkColor,
                 qPrintable(QStringLiteral("no ink at %1,%2").arg(offset.x()).arg(offset.y())));
    for (const QPoint &offset : blank)
        QVERIFY2(image.pixelColor(centre + offset) == kFixed,
                 qPrintable(QStringLiteral("ink at %1,%2").arg(offset.x()).arg(offset.y())));
    // The other rows carry no mark.
    QVERIFY(allPixels(image, inside(grid->cellRect(0, 1)), kFixed));
    QVERIFY(allPixels(image, inside(grid->cellRect(0, 3)), kFixed));
}

void DBGridPaintingTest::multiSelectedRowsAreHighlighted()
{
    GridFixture fixture(3);
    auto grid = makeSmallGrid(fixture);
    grid->setOptions(grid->options() | TDBGrid::dgMultiSelect);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::ControlModifier, grid->cellRect(1, 1).center());
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::ControlModifier, grid->cellRect(1, 3).center());
    grid->clearFocus();
    const QImage image = grabGrid(*grid);
    const QColor highlight = grid->palette().color(QPalette::Active, QPalette::Highlight);
    for (int row : {1, 2, 3}) {
        const QColor expected = row == 2 ? kWhite : highlight;
        QCOMPARE(image.pixelColor(clearPoint(grid->cellRect(1, row))), expected);
        QCOMPARE(image.pixelColor(clearPoint(grid->cellRect(2, row), false)), expected);
    }
    // The selected row that is not current shows a dot in its indicator.
    const QRect indicator = grid->cellRect(0, 1);
    QVERIFY(darkPixels(image, indicator) > 0);
    QVERIFY(allPixels(image, inside(grid->cellRect(0, 2)), kFixed));
}

void DBGridPaintingTest::drawColumnCellEventPaintsOverOrInsteadOfTheGrid_data()
{
    QTest::addColumn<bool>("defaultDrawing");
    QTest::newRow("default drawing, then the event") << true;
    QTest::newRow("the event alone") << false;
}

void DBGridPaintingTest::drawColumnCellEventPaintsOverOrInsteadOfTheGrid()
{
    QFETCH(bool, defaultDrawing);
    GridFixture fixture(3);
    auto grid = makeSmallGrid(fixture);
    grid->setDefaultDrawing(defaultDrawing);
    struct Call
    {
        int dataCol;
        TColumn *column;
        bool focused;
        QColor brush;
    };
    QList<Call> calls;
    QObject::connect(
        grid.get(), &TDBGrid::OnDrawColumnCell,
        [&](QPainter *painter, const QRect &rect, int dataCol, TColumn *column, CellGrid::TGridDrawState state) {
            calls << Call{dataCol, column, bool(state & CellGrid::gdFocused), painter->brush().color()};
            // Only the lower half, so the grid's own drawing stays visible above it.
            painter->fillRect(rect.adjusted(0, rect.height() / 2, 0, 0), dataCol == 0 ? Qt::red : Qt::green);
        });
    const QImage image = grabGrid(*grid);
    // Three records in two columns; no event for the row without a record.
    QCOMPARE(calls.size(), 6);
    for (const Call &call : std::as_const(calls))
        QCOMPARE(call.column, grid->columns()->items(call.dataCol));
    QCOMPARE(std::count_if(calls.cbegin(), calls.cend(), [](const Call &call) { return call.focused; }), 1);
    // The brush the grid prepared: the column's colour, the highlight on the focused cell.
    const QColor highlight = grid->palette().color(QPalette::Active, QPalette::Highlight);
    for (const Call &call : std::as_const(calls))
        QCOMPARE(call.brush, call.focused ? highlight : kWhite);
    const QRect name = grid->cellRect(1, 2);
    QCOMPARE(image.pixelColor(name.right() - 3, name.bottom() - 1), QColor(Qt::red));
    QCOMPARE(image.pixelColor(clearPoint(grid->cellRect(2, 3), false)), QColor(Qt::green));
    // Above the event's half, the grid's fill shows only with default drawing.
    if (defaultDrawing)
        QCOMPARE(image.pixelColor(name.right() - 3, name.top()), kWhite);
}

void DBGridPaintingTest::textFollowsTheColumnsAlignment()
{
    GridFixture fixture(3);
    auto grid = makeSmallGrid(fixture);
    grid->clearFocus();
    const QRect count = grid->cellRect(2, 1);
    const QRect leftPart(count.left(), count.top(), count.width() / 3, count.height());
    const QRect rightPart(count.right() - count.width() / 3, count.top(), count.width() / 3, count.height());
    QImage image = grabGrid(*grid);
    QCOMPARE(darkPixels(image, leftPart), 0);
    QVERIFY(darkPixels(image, rightPart) > 0);

    grid->columns()->items(1)->setAlignment(taLeftJustify);
    image = grabGrid(*grid);
    QVERIFY(darkPixels(image, leftPart) > 0);
    QCOMPARE(darkPixels(image, rightPart), 0);
}

QTEST_MAIN(DBGridPaintingTest)
#include "tst_dbgrid_painting.moc"
