#include "colordistance.h"
#include "grid/tcolumn.h"
#include "grid/tenhancedgrid.h"
#include "gridfixture.h"
#include "picturefixtures.h"
#include "platform/colorvalues.h"
#include "store/field.h"

#include <QPainter>
#include <QProxyStyle>
#include <QScreen>
#include <QtTest>

using namespace kelvara;
using kelvara::test::addColumn;
using kelvara::test::darkPixels;
using kelvara::test::GridFixture;
using kelvara::test::near;

namespace {

const QColor kWhite(255, 255, 255);
const QColor kFixed(212, 208, 200);
const QColor kRow1(255, 0, 0);
const QColor kRow2(0, 0, 255);
const QColor kLocked(0, 128, 128);

// The enhanced grid with its scroll step open to the tests.
class PaintGrid : public TEnhancedGrid
{
public:
    using TEnhancedGrid::horizontalScroll;
    using TEnhancedGrid::TEnhancedGrid;
};

// Jobs with a field of each kind the painting tells apart; record i holds Photo empty, Done
// true for odd i and When on day i of 2024.
FieldDefs paintingDefs()
{
    FieldDefs defs = GridFixture::defaultDefs();
    defs << test::fieldDef(QStringLiteral("Photo"), ftGraphic) << test::fieldDef(QStringLiteral("Done"), ftBoolean)
         << test::fieldDef(QStringLiteral("When"), ftDateTime);
    return defs;
}

struct PaintingFixture : GridFixture
{
    explicit PaintingFixture(int records = 8) : GridFixture(records, paintingDefs())
    {
        table.first();
        for (int i = 1; i <= records; ++i) {
            table.edit();
            table.fieldByName(QStringLiteral("Done"))->setAsBoolean(i % 2 == 1);
            table.fieldByName(QStringLiteral("When"))->setAsDateTime(QDateTime(QDate(2024, 1, i), QTime(9, 30)));
            table.post();
            table.next();
        }
        table.first();
    }

    // A grid of five data rows in white with the given columns, 60 pixels wide each.
    std::unique_ptr<PaintGrid> makePaintGrid(const QStringList &fieldNames, int dataRows = 5, int width = 400)
    {
        auto grid = makeGrid<PaintGrid>(dataRows, width);
        grid->setColor(kWhite);
        grid->setFixedColor(kFixed);
        for (const QString &name : fieldNames)
            addColumn(*grid, name, 60);
        return grid;
    }
};

QImage grabGrid(TDBGrid &grid)
{
    grid.viewport()->repaint();
    return grid.viewport()->grab().toImage();
}

// What the screen shows of the grid's viewport after the pending paints ran: unlike grab(), this
// keeps pixels that a scroll moved without painting them again.
QImage onScreen(TDBGrid &grid)
{
    QCoreApplication::processEvents();
    QWidget *window = grid.window();
    const QPoint origin = grid.viewport()->mapTo(window, QPoint(0, 0));
    const QSize size = grid.viewport()->size();
    return window->screen()
        ->grabWindow(window->winId(), origin.x(), origin.y(), size.width(), size.height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

// A point in a data cell away from its text and focus frame.
QPoint clearPoint(const QRect &cell)
{
    return QPoint(cell.right() - 3, cell.bottom() - 2);
}

// A picture scaled into a cell stays this near its colour.
constexpr int kScaledTolerance = 39;

int pixelsOf(const QImage &image, const QRect &rect, const QColor &color)
{
    int count = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x) {
            if (image.pixelColor(x, y) == color)
                ++count;
        }
    }
    return count;
}

// A picture whose every pixel tells where it is.
QImage positionPicture(const QSize &size)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x)
            image.setPixelColor(x, y, QColor(x % 256, (y * 7) % 256, (x / 256) * 60 + 40));
    }
    return image;
}

// A style whose check box differs in size from the application's.
class LargeCheckBoxStyle : public QProxyStyle
{
public:
    int pixelMetric(PixelMetric metric, const QStyleOption *option = nullptr,
                    const QWidget *widget = nullptr) const override
    {
        if (metric == PM_IndicatorWidth || metric == PM_IndicatorHeight)
            return 21;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

}  // namespace

class EnhancedGridPaintingTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rowColoursStayWithTheScreenRows();
    void cornerMark_data();
    void cornerMark();
    void lockedColumns_data();
    void lockedColumns();
    void lockedColumnsKeepTheirOwnLook_data();
    void lockedColumnsKeepTheirOwnLook();
    void pictureIsFittedAndCentred();
    void checkBoxStylesDiffer();
    void checkBoxTakesTheGridsStyle();
    void cells3DTurnsTheGridsColour();
    void closedRecordSet_data();
    void closedRecordSet();
    void columnWithoutFieldNameIsLeftAlone();
    void cellAttributeHandlerColoursUnselectedCells();
    void dataCellsArePaintedInsideTheUpdateLock();
    void bitmapDrawingGivesTheSamePixels();
    void backgroundPictureStaysAtTheClientOrigin_data();
    void backgroundPictureStaysAtTheClientOrigin();
    void hotTrackingChangesTheFontColour_data();
    void hotTrackingChangesTheFontColour();
    void hiddenEditorsLieOverTheFocusedCell_data();
    void hiddenEditorsLieOverTheFocusedCell();
};

void EnhancedGridPaintingTest::rowColoursStayWithTheScreenRows()
{
    PaintingFixture fixture;
    auto grid = fixture.makePaintGrid({QStringLiteral("Name"), QStringLiteral("Count")});
    grid->setRowColor1(kRow1);
    grid->setRowColor2(kRow2);
    grid->setUseRowColors(true);
    const int count = 2;  // the grid column of Count; the current cell is in Name

    QImage image = grabGrid(*grid);
    QCOMPARE(image.pixelColor(clearPoint(grid->cellRect(count, 1))), kRow1);
    QCOMPARE(image.pixelColor(clearPoint(grid->cellRect(count, 2))), kRow2);
    QCOMPARE(image.pixelColor(clearPoint(grid->cellRect(count, 3))), kRow1);

    // Record 6 scrolls the view by one record: the rows keep their colours, the records do not.
    for (int i = 1; i < 5; ++i)
        fixture.table.next();
    QCOMPARE(grid->row(), 5);
    onScreen(*grid);
    fixture.table.next();
    QCOMPARE(grid->row(), 5);
    image = onScreen(*grid);
    for (int row = 1; row <= 5; ++row) {
        if (row == grid->row())
            continue;
        const QColor expected = row % 2 == 1 ? kRow1 : kRow2;
        QCOMPARE(image.pixelColor(clearPoint(grid->cellRect(count, row))), expected);
        QCOMPARE(image.pixelColor(clearPoint(grid->cellRect(1, row))), expected);
    }
}

void EnhancedGridPaintingTest::cornerMark_data()
{
    QTest::addColumn<bool>("titleCheck");
    QTest::addColumn<bool>("titles");
    QTest::addColumn<bool>("indicator");
    QTest::addColumn<bool>("marked");
    QTest::newRow("TitleCheck with titles and indicator") << true << true << true << true;
    QTest::newRow("without TitleCheck") << false << true << true << false;
    QTest::newRow("without titles") << true << false << true << false;
    QTest::newRow("without indicator") << true << true << false << false;
}

void EnhancedGridPaintingTest::cornerMark()
{
    QFETCH(bool, titleCheck);
    QFETCH(bool, titles);
    QFETCH(bool, indicator);
    QFETCH(bool, marked);
    PaintingFixture fixture;
    auto grid = fixture.makePaintGrid({QStringLiteral("Name")});
    grid->columns()->items(0)->setWidth(150);
    // The current record's indicator glyph stays out of the corner cell.
    fixture.table.next();
    TDBGrid::TDBGridOptions options = grid->options();
    options.setFlag(TDBGrid::dgTitles, titles);
    options.setFlag(TDBGrid::dgIndicator, indicator);
    grid->setOptions(options);
    // Without titles the view is left starting at the second record; the corner cell is row 0.
    grid->setTopRow(0);
    grid->setTitleCheck(titleCheck);

    const QImage image = grabGrid(*grid);
    const QRect corner = grid->cellRect(0, 0);
    const int dx = (corner.width() - 7) / 2;
    const int dy = (corner.height() - 7) / 2;
    // The top edge of the triangle, 7 pixels wide, and its middle below it.
    const QRect top(corner.left() + dx, corner.top() + dy, 7, 1);
    const QRect middle(corner.left() + dx + 2, corner.top() + dy + 1, 3, 1);
    if (marked) {
        QCOMPARE(pixelsOf(image, top, clBlack), 7);
        QCOMPARE(pixelsOf(image, middle, clBlack), 3);
        // Pointing down: narrower towards the bottom, nothing beside it.
        QCOMPARE(pixelsOf(image, QRect(corner.left() + dx - 1, corner.top(), 1, corner.height()), clBlack), 0);
        QCOMPARE(pixelsOf(image, QRect(corner.left() + dx + 7, corner.top(), 1, corner.height()), clBlack), 0);
    } else {
        QCOMPARE(pixelsOf(image, top.united(middle), clBlack), 0);
    }
}

void EnhancedGridPaintingTest::lockedColumns_data()
{
    QTest::addColumn<int>("lockedCols");
    QTest::addColumn<bool>("ctl3D");
    QTest::addColumn<int>("fixedCols");
    QTest::addColumn<QColor>("lockedCell");  // what the data cells of the first two columns show

    QTest::newRow("two locked, Ctl3D: data cells in LockedColor") << 2 << true << 3 << kLocked;
    QTest::newRow("two locked, flat: fixed cells") << 2 << false << 3 << kFixed;
    QTest::newRow("data columns - 1: nothing locked") << 3 << true << 1 << kWhite;
    QTest::newRow("more than the columns: nothing locked") << 7 << true << 1 << kWhite;
    QTest::newRow("none") << 0 << true << 1 << kWhite;
}

void EnhancedGridPaintingTest::lockedColumns()
{
    QFETCH(int, lockedCols);
    QFETCH(bool, ctl3D);
    QFETCH(int, fixedCols);
    QFETCH(QColor, lockedCell);
    PaintingFixture fixture;
    auto grid = fixture.makePaintGrid(
        {QStringLiteral("Name"), QStringLiteral("City"), QStringLiteral("Count"), QStringLiteral("Notes")}, 5, 300);
    grid->setCtl3D(ctl3D);
    grid->setLockedColor(kLocked);
    grid->setLockedCols(lockedCols);
    QCOMPARE(grid->fixedCols(), fixedCols);

    // The current cell lies in row 1.
    const QImage image = grabGrid(*grid);
    for (int row = 2; row <= 4; ++row) {
        QCOMPARE(image.pixelColor(clearPoint(grid->cellRect(1, row))), lockedCell);
        QCOMPARE(image.pixelColor(clearPoint(grid->cellRect(2, row))), lockedCell);
        QCOMPARE(image.pixelColor(clearPoint(grid->cellRect(3, row))), kWhite);
    }
    // Locked text is painted in the locked cells, not left out.
    QVERIFY(darkPixels(image, grid->cellRect(1, 2)) > 0);
}

void EnhancedGridPaintingTest::lockedColumnsKeepTheirOwnLook_data()
{
    QTest::addColumn<int>("lockedCols");
    QTest::addColumn<bool>("unlockedAfter");

    QTest::newRow("two locked") << 2 << false;
    QTest::newRow("two locked, then none") << 2 << true;
    QTest::newRow("one locked") << 1 << false;
}

void EnhancedGridPaintingTest::lockedColumnsKeepTheirOwnLook()
{
    QFETCH(int, lockedCols);
    QFETCH(bool, unlockedAfter);
    PaintingFixture fixture;
    auto grid = fixture.makePaintGrid(
        {QStringLiteral("Name"), QStringLiteral("City"), QStringLiteral("Count"), QStringLiteral("Notes")}, 5, 300);
    QFont locked(QStringLiteral("MS Sans Serif"));
    locked.setPixelSize(23);
    grid->setLockedFont(locked);
    grid->setLockedFontColor(Qt::red);
    grid->setLockedColor(kLocked);
    grid->setLockedCols(lockedCols);
    if (unlockedAfter)
        grid->setLockedCols(0);

    for (int i = 0; i < grid->columns()->count(); ++i) {
        const TColumn *column = grid->columns()->items(i);
        const bool drawnLocked = !unlockedAfter && i < lockedCols;
        // What the settings keep of a column (its properties) is its own look...
        QCOMPARE(column->property("Color").value<QColor>(), grid->color());
        QCOMPARE(column->property("Font").value<QFont>(), grid->font());
        QCOMPARE(column->property("FontColor").value<QColor>(), grid->fontColor());
        // ...while a locked one is drawn in the locked look.
        QCOMPARE(column->color(), drawnLocked ? kLocked : grid->color());
        QCOMPARE(column->font(), drawnLocked ? locked : grid->font());
        QCOMPARE(column->fontColor(), drawnLocked ? QColor(Qt::red) : grid->fontColor());
    }
}

void EnhancedGridPaintingTest::pictureIsFittedAndCentred()
{
    PaintingFixture fixture;
    fixture.table.setRecNo(2);
    fixture.table.edit();
    fixture.table.fieldByName(QStringLiteral("Photo"))->setAsBytes(test::jpegBytes(QSize(200, 100), Qt::red));
    fixture.table.post();
    fixture.table.first();
    auto grid = fixture.makePaintGrid({QStringLiteral("Name"), QStringLiteral("Photo")});
    grid->setDefaultRowHeight(40);
    grid->columns()->items(1)->setWidth(60);
    grid->resize(grid->width(), 200);

    const QImage image = grabGrid(*grid);
    const QRect cell = grid->cellRect(2, 2);
    QCOMPARE(cell.size(), QSize(60, 40));
    // Full width, half of it high, centred vertically: rows 5 to 34 of the cell.
    const int top = cell.top() + 5;
    const int bottom = cell.top() + 34;
    for (int x : {cell.left() + 1, cell.center().x(), cell.right() - 1}) {
        QVERIFY2(near(image.pixelColor(x, top + 1), Qt::red, kScaledTolerance), qPrintable(QString::number(x)));
        QVERIFY(near(image.pixelColor(x, bottom - 1), Qt::red, kScaledTolerance));
        QCOMPARE(image.pixelColor(x, top - 2), kWhite);
        QCOMPARE(image.pixelColor(x, bottom + 2), kWhite);
    }
    // The record without a photo shows nothing but the background.
    QCOMPARE(pixelsOf(image, grid->cellRect(2, 3), kWhite), 60 * 40);
}

void EnhancedGridPaintingTest::checkBoxStylesDiffer()
{
    PaintingFixture fixture;
    auto grid = fixture.makePaintGrid({QStringLiteral("Name"), QStringLiteral("Done")});
    const QRect checked = grid->cellRect(2, 3);    // record 3: true
    const QRect unchecked = grid->cellRect(2, 2);  // record 2: false

    QList<QImage> looks;
    const QList<QPair<bool, TEnhancedGrid::TFlatCheckBoxType>> styles{{false, TEnhancedGrid::Normal},
                                                                      {true, TEnhancedGrid::Bold},
                                                                      {true, TEnhancedGrid::Normal}};
    for (const auto &style : styles) {
        grid->setFlatCheckBox(style.first);
        grid->setFlatCheckBoxType(style.second);
        const QImage image = grabGrid(*grid);
        looks << image.copy(checked);
        QVERIFY(image.copy(checked) != image.copy(unchecked));
        QVERIFY(darkPixels(image, checked) > darkPixels(image, unchecked));
    }
    QVERIFY(looks[0] != looks[1]);
    QVERIFY(looks[1] != looks[2]);
    QVERIFY(looks[0] != looks[2]);
    // Displayed as text instead: no box at all.
    grid->setDisplayBoolean(false);
    QVERIFY(grabGrid(*grid).copy(checked) != looks[2]);
}

void EnhancedGridPaintingTest::checkBoxTakesTheGridsStyle()
{
    PaintingFixture fixture;
    LargeCheckBoxStyle style;
    auto grid = std::make_unique<PaintGrid>();
    grid->setStyle(&style);
    fixture.show(*grid, 4, 300);
    grid->setColor(kWhite);
    addColumn(*grid, QStringLiteral("Done"), 60);
    grid->setDefaultRowHeight(30);

    const QImage image = grabGrid(*grid);
    const QRect cell = grid->cellRect(1, 2);
    // The thin grey frame of the flat box: 21 pixels on each side, centred in the cell.
    const QRect box(cell.left() + (cell.width() - 21) / 2, cell.top() + (cell.height() - 21) / 2, 21, 21);
    QCOMPARE(pixelsOf(image, QRect(box.left(), box.top(), 21, 1), clGray), 21);
    QCOMPARE(pixelsOf(image, QRect(box.left(), box.bottom(), 21, 1), clGray), 21);
    QCOMPARE(pixelsOf(image, QRect(box.left(), box.top(), 1, 21), clGray), 21);
    QCOMPARE(pixelsOf(image, QRect(box.right(), box.top(), 1, 21), clGray), 21);
    grid.reset();
}

void EnhancedGridPaintingTest::cells3DTurnsTheGridsColour()
{
    PaintingFixture fixture;
    auto grid = fixture.makePaintGrid({QStringLiteral("Name")});
    const QColor window = systemColor(SystemColor::Window);
    const QColor face = systemColor(SystemColor::BtnFace);
    grid->setColor(window);
    grid->setFixedColor(kFixed);
    grid->setCells3D(true);

    grid->viewport()->repaint();
    // Set after the paint, not inside it.
    QCOMPARE(grid->color(), window);
    QCoreApplication::processEvents();
    QCOMPARE(grid->color(), kFixed);
    grid->viewport()->repaint();
    QCoreApplication::processEvents();
    QCOMPARE(grid->color(), kFixed);

    // Back to the flat look: a button-face grid becomes a window-coloured one.
    grid->setColor(face);
    grid->setCells3D(false);
    grid->viewport()->repaint();
    QCoreApplication::processEvents();
    QCOMPARE(grid->color(), window);

    // A colour asked by a paint is dropped when a later paint, before it was set, asks none.
    grid->setCells3D(true);
    grid->viewport()->repaint();
    grid->setCells3D(false);
    grid->viewport()->repaint();
    QCoreApplication::processEvents();
    QCOMPARE(grid->color(), window);

    // Without both line options the flat form applies.
    grid->setCells3D(true);
    grid->setOptions(grid->options() & ~TDBGrid::TDBGridOptions(TDBGrid::dgRowLines));
    grid->viewport()->repaint();
    QCoreApplication::processEvents();
    QCOMPARE(grid->color(), window);
}

void EnhancedGridPaintingTest::closedRecordSet_data()
{
    QTest::addColumn<bool>("showTitles");
    QTest::newRow("ShowTitlesWhenInactive False: all in Color") << false;
    QTest::newRow("ShowTitlesWhenInactive True: titles shown") << true;
}

void EnhancedGridPaintingTest::closedRecordSet()
{
    QFETCH(bool, showTitles);
    PaintingFixture fixture;
    auto grid = fixture.makePaintGrid({QStringLiteral("Name"), QStringLiteral("Count")});
    const QColor color(250, 240, 200);
    grid->setColor(color);
    grid->setShowTitlesWhenInactive(showTitles);
    fixture.table.close();

    const QImage image = grabGrid(*grid);
    const QRect title = grid->cellRect(1, 0);
    if (showTitles) {
        QVERIFY(darkPixels(image, title) > 0);
        QCOMPARE(image.pixelColor(title.center().x(), title.bottom()), kFixed);
    } else {
        // Lines and titles covered as well.
        const QRect cells = grid->cellRect(0, 0).united(grid->cellRect(2, 5)).adjusted(0, 0, 1, 1);
        QCOMPARE(pixelsOf(image, cells, color), cells.width() * cells.height());
    }
}

void EnhancedGridPaintingTest::columnWithoutFieldNameIsLeftAlone()
{
    PaintingFixture fixture;
    auto grid = fixture.makePaintGrid({QStringLiteral("Name"), QString(), QStringLiteral("Count")});
    QList<int> columnsPainted;
    connect(grid.get(), &TDBGrid::OnDrawColumnCell, grid.get(),
            [&](QPainter *, const QRect &, int dataCol, TColumn *, CellGrid::TGridDrawState) {
                columnsPainted << dataCol;
            });
    grid->columns()->items(1)->setColor(QColor(10, 200, 10));
    const QImage image = grabGrid(*grid);
    QVERIFY(columnsPainted.contains(0));
    QVERIFY(columnsPainted.contains(2));
    QVERIFY(!columnsPainted.contains(1));
    // Nothing drawn in it, but its cells are cleared: no pixels of an earlier paint show there.
    const QRect cell = grid->cellRect(2, 1);
    QCOMPARE(image.pixelColor(cell.center()).rgb(), QColor(10, 200, 10).rgb());
}

void EnhancedGridPaintingTest::cellAttributeHandlerColoursUnselectedCells()
{
    PaintingFixture fixture;
    auto grid = fixture.makePaintGrid({QStringLiteral("Name"), QStringLiteral("Count")});
    const QColor green(0, 200, 0);
    QList<CellGrid::TGridDrawState> states;
    grid->OnApplyCellAttribute = [&](QObject *sender, Field *field, QPainter &canvas, CellGrid::TGridDrawState state) {
        QCOMPARE(sender, grid.get());
        QVERIFY(field);
        states << state;
        canvas.setBrush(green);
    };
    fixture.table.next();
    QCOMPARE(grid->row(), 2);
    const QImage image = grabGrid(*grid);
    QCOMPARE(image.pixelColor(clearPoint(grid->cellRect(1, 1))), green);
    QCOMPARE(image.pixelColor(clearPoint(grid->cellRect(2, 3))), green);
    // The focused cell keeps the highlight.
    QCOMPARE(image.pixelColor(clearPoint(grid->cellRect(1, 2))), grid->highlightColor());
    QVERIFY(!states.isEmpty());
    for (CellGrid::TGridDrawState state : states)
        QVERIFY(!(state & (CellGrid::gdSelected | CellGrid::gdFixed)));
}

void EnhancedGridPaintingTest::dataCellsArePaintedInsideTheUpdateLock()
{
    PaintingFixture fixture;
    auto grid = fixture.makePaintGrid({QStringLiteral("Name")});
    int cells = 0;
    int locked = 0;
    connect(grid.get(), &TDBGrid::OnDrawColumnCell, grid.get(),
            [&](QPainter *, const QRect &, int, TColumn *, CellGrid::TGridDrawState) {
                ++cells;
                locked += grid->updateLocked() ? 1 : 0;
            });
    grabGrid(*grid);
    QVERIFY(cells > 0);
    QCOMPARE(locked, cells);
    QVERIFY(!grid->updateLocked());
}

void EnhancedGridPaintingTest::bitmapDrawingGivesTheSamePixels()
{
    PaintingFixture fixture;
    auto grid = fixture.makePaintGrid(
        {QStringLiteral("Name"), QStringLiteral("Done"), QStringLiteral("When"), QStringLiteral("Notes")});
    grid->setUseRowColors(true);
    grid->setTitleCheck(true);
    fixture.table.next();
    const QImage direct = grabGrid(*grid);
    grid->setUseBitmapDrawing(true);
    QCOMPARE(grabGrid(*grid), direct);
}

void EnhancedGridPaintingTest::backgroundPictureStaysAtTheClientOrigin_data()
{
    QTest::addColumn<QString>("scroll");
    QTest::newRow("scroll bar line right") << QStringLiteral("line");
    QTest::newRow("left column set") << QStringLiteral("leftCol");
    QTest::newRow("key Right past the view") << QStringLiteral("key");
    QTest::newRow("records scrolled by one") << QStringLiteral("records");
}

void EnhancedGridPaintingTest::backgroundPictureStaysAtTheClientOrigin()
{
    QFETCH(QString, scroll);
    PaintingFixture fixture;
    auto grid = fixture.makePaintGrid({QStringLiteral("Name"), QStringLiteral("City"), QStringLiteral("Count"),
                                       QStringLiteral("Notes"), QStringLiteral("Name"), QStringLiteral("City"),
                                       QStringLiteral("Count")},
                                      5, 250);
    const QImage picture = positionPicture(QSize(600, 200));
    grid->setBackgroundPicture(picture);
    grid->setUseBackgroundPicture(true);

    QImage image = grabGrid(*grid);
    QPoint point = clearPoint(grid->cellRect(2, 2));
    QCOMPARE(image.pixelColor(point), picture.pixelColor(point));

    if (scroll == QLatin1String("records")) {
        for (int i = 1; i < 5; ++i)
            fixture.table.next();
    }
    onScreen(*grid);
    if (scroll == QLatin1String("records")) {
        fixture.table.next();
    } else if (scroll == QLatin1String("line")) {
        grid->horizontalScroll(CellGrid::ScrollCode::LineDown, 0);
    } else if (scroll == QLatin1String("leftCol")) {
        grid->setLeftCol(3);
    } else {
        grid->setCol(grid->visibleColCount() + grid->leftCol() - 1);
        QTest::keyClick(grid.get(), Qt::Key_Right);
    }
    QVERIFY(scroll == QLatin1String("records") ? grid->row() == 5 : grid->leftCol() > 1);
    image = onScreen(*grid);
    for (int col = grid->leftCol(); col < grid->leftCol() + 2; ++col) {
        for (int row : {2, 3}) {
            point = clearPoint(grid->cellRect(col, row));
            QCOMPARE(image.pixelColor(point), picture.pixelColor(point));
        }
    }
}

void EnhancedGridPaintingTest::hotTrackingChangesTheFontColour_data()
{
    QTest::addColumn<bool>("hotTrack");
    QTest::newRow("HotTrack on") << true;
    QTest::newRow("HotTrack off") << false;
}

void EnhancedGridPaintingTest::hotTrackingChangesTheFontColour()
{
    QFETCH(bool, hotTrack);
    PaintingFixture fixture;
    auto grid = fixture.makePaintGrid({QStringLiteral("Name"), QStringLiteral("Count")});
    const QColor loadedColour(0, 0, 0);
    const QColor hot(255, 0, 0);
    grid->beginLoading();
    grid->setFontColor(loadedColour);
    grid->setHotTrack(hotTrack);
    grid->setHotTrackColor(hot);
    grid->loaded();

    auto redText = [&](const QImage &image) {
        int red = 0;
        const QRect cell = grid->cellRect(1, 2);
        for (int y = cell.top(); y <= cell.bottom(); ++y) {
            for (int x = cell.left(); x <= cell.right(); ++x) {
                const QColor c = image.pixelColor(x, y);
                if (c.red() > 150 && c.green() < 110 && c.blue() < 110)
                    ++red;
            }
        }
        return red;
    };

    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QCoreApplication::sendEvent(grid.get(), &enter);
    QCOMPARE(grid->fontColor(), hotTrack ? hot : loadedColour);
    // Every column was given the grid's font colour at the last column layout and keeps it until
    // the layout is applied again, which entering and leaving do not do.
    QCOMPARE(redText(grabGrid(*grid)) > 0, hotTrack);

    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(grid.get(), &leave);
    QCOMPARE(grid->fontColor(), loadedColour);
    QCOMPARE(redText(grabGrid(*grid)), 0);
}

void EnhancedGridPaintingTest::hiddenEditorsLieOverTheFocusedCell_data()
{
    QTest::addColumn<QString>("fieldName");
    QTest::newRow("memo: the memo editor") << QStringLiteral("Notes");
    QTest::newRow("date and time: the date picker") << QStringLiteral("When");
}

void EnhancedGridPaintingTest::hiddenEditorsLieOverTheFocusedCell()
{
    QFETCH(QString, fieldName);
    PaintingFixture fixture;
    QWidget form;
    form.resize(500, 300);
    auto *grid = new PaintGrid(&form);
    grid->setBorderStyle(CellGrid::bsNone);
    grid->setScrollBars(CellGrid::ssNone);
    grid->setDataSource(&fixture.source);
    grid->setGeometry(15, 25, 400, 200);
    addColumn(*grid, QStringLiteral("Name"), 60);
    addColumn(*grid, QStringLiteral("Count"), 60);
    addColumn(*grid, fieldName, 90);
    grid->setDisplayDateTime(true);
    form.show();
    QApplication::setActiveWindow(&form);
    QVERIFY(QTest::qWaitForWindowActive(&form));
    grid->setFocus();
    QVERIFY(grid->hasFocus());

    auto editor = [&]() -> QWidget * {
        return fieldName == QLatin1String("Notes") ? static_cast<QWidget *>(grid->memoEditor())
                                                   : static_cast<QWidget *>(grid->datePicker());
    };
    auto overCurrentCell = [&] {
        const QRect cell = grid->cellRect(grid->col(), grid->row());
        return QRect(grid->viewport()->mapTo(&form, cell.topLeft()), cell.size());
    };
    QVERIFY(!editor());
    grid->setCol(3);
    QVERIFY(editor());
    QCOMPARE(editor()->parentWidget(), &form);
    QVERIFY(editor()->isHidden());
    QCOMPARE(editor()->geometry(), overCurrentCell());

    // It follows the focused cell down the records, not the paint.
    fixture.table.setRecNo(3);
    QCOMPARE(editor()->geometry(), overCurrentCell());
    editor()->setGeometry(0, 0, 1, 1);
    grid->viewport()->repaint();
    QCOMPARE(editor()->geometry(), QRect(0, 0, 1, 1));
    fixture.table.setRecNo(2);
    QCOMPARE(editor()->geometry(), overCurrentCell());
    QVERIFY(editor()->isHidden());

    // A column before it widened by the user: the cell moves right, and the editor with it.
    const QRect title = grid->cellRect(1, 0);
    const QPoint border(title.right() + 1, title.center().y());
    QTest::mousePress(grid->viewport(), Qt::LeftButton, {}, border);
    QTest::mouseMove(grid->viewport(), border + QPoint(25, 0));
    QTest::mouseRelease(grid->viewport(), Qt::LeftButton, {}, border + QPoint(25, 0));
    QCOMPARE(grid->columns()->items(0)->width(), 85);
    QCOMPARE(editor()->geometry(), overCurrentCell());
}

QTEST_MAIN(EnhancedGridPaintingTest)
#include "tst_enhancedgrid_painting.moc"
