// The enhanced grid's column and row sizing, through the grid: the width modes and
// automatic sizing, full-size memo columns, the kept row height, the title row, multi-line rows and
// the reactions to rows sized by the user and to font changes.

#include "grid/gridcanvas.h"
#include "grid/tenhancedgrid.h"
#include "gridfixture.h"
#include "store/field.h"

#include <QtTest>

#include <cmath>

using namespace kelvara;
using namespace kelvara::test;

namespace {

using AW = TEnhancedGrid::TAutoWidth;
// Stands for GridAutoSize in the tables of modes; FullSizeMemo for switching FullSizeMemo on.
constexpr int kAutoSize = -1;
constexpr int kFullSizeMemo = -2;

class SizingGrid : public TEnhancedGrid
{
public:
    using TDBGrid::relayout;
    using TEnhancedGrid::rowHeightsChanged;
    using TEnhancedGrid::TEnhancedGrid;
};

// Applies a width mode, GridAutoSize or FullSizeMemo.
void apply(TEnhancedGrid &grid, int mode)
{
    if (mode == kAutoSize)
        grid.setGridAutoSize(true);
    else if (mode == kFullSizeMemo)
        grid.setFullSizeMemo(true);
    else
        grid.setGridAutoWidth(AW(mode));
}

QList<int> widthsOf(const TEnhancedGrid &grid)
{
    QList<int> widths;
    for (int i = 0; i < grid.columns()->count(); ++i)
        widths << grid.columns()->items(i)->width();
    return widths;
}

// The width the proportional and uniform modes share among k visible columns.
int availableFor(const TEnhancedGrid &grid, int k)
{
    int available = grid.clientWidth();
    const bool colLines = grid.options() & TDBGrid::dgColLines;
    if (colLines)
        available -= k * grid.gridLineWidth();
    if (grid.options() & TDBGrid::dgIndicator) {
        available -= 11;
        if (colLines)
            available -= grid.gridLineWidth();
    }
    return available;
}

int textWidth(const QFont &font, const QString &text)
{
    return GridCanvas(font).textWidth(text);
}

// The widest display text of a field over all records, in a font, as the measurement takes it.
int widestText(Table &table, const QString &fieldName, const QFont &font, bool wholeText = false)
{
    const int current = table.recNo();
    int widest = 0;
    for (table.first(); !table.eof(); table.next()) {
        Field *field = table.findField(fieldName);
        if (field->isNull())
            continue;
        widest = std::max(widest, textWidth(font, wholeText ? field->asString() : field->displayText()));
    }
    table.setRecNo(current);
    return widest;
}

void setValue(Table &table, int recNo, const QString &fieldName, const QVariant &value)
{
    table.setRecNo(recNo);
    table.edit();
    if (value.isNull())
        table.findField(fieldName)->clear();
    else
        table.findField(fieldName)->setValue(value);
    table.post();
}

// Finds a font whose "Wg" measures the given height on this platform.
std::optional<QFont> fontOfHeight(int height)
{
    QFont font;
    for (int px = 4; px < 60; ++px) {
        font.setPixelSize(px);
        if (GridCanvas(font).textHeight(QStringLiteral("Wg")) == height)
            return font;
    }
    return std::nullopt;
}

}  // namespace

class tst_EnhancedGridSizing : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void withoutColumnResizeNothingChanges_data();
    void withoutColumnResizeNothingChanges();
    void emptyTableWidths_data();
    void emptyTableWidths();
    void nullsAreNotMeasured_data();
    void nullsAreNotMeasured();
    void widestValueTitle();
    void valueWiderThanClient_data();
    void valueWiderThanClient();
    void currentRecordBecomesFirst_data();
    void currentRecordBecomesFirst();
    void gridAutoSizeClearsWidthMode();
    void proportionalSumsToAvailable_data();
    void proportionalSumsToAvailable();
    void uniformThroughGrid_data();
    void uniformThroughGrid();
    void defaultMode();
    void layoutChangeReappliesMode();
    void cursorRestored_data();
    void cursorRestored();
    void titleRowFromVisibleTitleFonts();
    void onResizeFalseAppliesOnce_data();
    void onResizeFalseAppliesOnce();
    void onResizeTrueAppliesOnResize();
    void handlerReplacingNoneApplies();
    void fullSizeMemoAndWidthMode_data();
    void fullSizeMemoAndWidthMode();
    void fullSizeMemoOffWidths_data();
    void fullSizeMemoOffWidths();
    void columnWithoutFieldKeepsWidth_data();
    void columnWithoutFieldKeepsWidth();
    void multiLineTitlesOffForces17();
    void multiLineTitlesWrap();
    void draggedRowSetsAllRows_data();
    void draggedRowSetsAllRows();
    void realRowDrag();
    void fontRaisesRowHeight_data();
    void fontRaisesRowHeight();
    void multiLineRows_data();
    void multiLineRows();
    void rowSizingAndMultiLineRowsClearEachOther();
    void requestedHeightSurvivesLayout_data();
    void requestedHeightSurvivesLayout();
    void zeroRowHeightTakesCurrent();
};

void tst_EnhancedGridSizing::withoutColumnResizeNothingChanges_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("GridAutoSize") << kAutoSize;
    QTest::newRow("awDefault") << int(TEnhancedGrid::awDefault);
    QTest::newRow("awProportional") << int(TEnhancedGrid::awProportional);
    QTest::newRow("awUniform") << int(TEnhancedGrid::awUniform);
    QTest::newRow("awWidestValue") << int(TEnhancedGrid::awWidestValue);
    QTest::newRow("awWidestValueTitle") << int(TEnhancedGrid::awWidestValueTitle);
}

void tst_EnhancedGridSizing::withoutColumnResizeNothingChanges()
{
    QFETCH(int, mode);
    GridFixture fixture(4);
    auto grid = fixture.makeGrid<SizingGrid>();
    for (const char *name : {"Name", "City", "Count", "Notes"})
        addColumn(*grid, name, 33);
    grid->setOptions(grid->options() & ~TDBGrid::TDBGridOptions(TDBGrid::dgColumnResize));
    const QList<int> before = widthsOf(*grid);
    QList<AW> events;
    grid->OnAutoWidthChange = [&](QObject *, AW &m) { events << m; };

    apply(*grid, mode);
    QCOMPARE(grid->property("GridAutoSize").toBool(), false);
    QCOMPARE(grid->gridAutoWidth(), TEnhancedGrid::awNone);
    QCOMPARE(widthsOf(*grid), before);
    QVERIFY(events.isEmpty());
}

void tst_EnhancedGridSizing::emptyTableWidths_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("titleWidth");
    QTest::newRow("GridAutoSize") << kAutoSize << false;
    QTest::newRow("awWidestValue") << int(TEnhancedGrid::awWidestValue) << false;
    QTest::newRow("awWidestValueTitle") << int(TEnhancedGrid::awWidestValueTitle) << true;
}

void tst_EnhancedGridSizing::emptyTableWidths()
{
    QFETCH(int, mode);
    QFETCH(bool, titleWidth);
    GridFixture fixture(0);
    auto grid = fixture.makeGrid<SizingGrid>(5, 300);
    for (const char *name : {"Name", "City", "Count", "Notes"})
        addColumn(*grid, name, 33);
    TColumn *wide = addColumn(*grid, QStringLiteral("Name"), 33);
    wide->title()->setCaption(QString(200, QLatin1Char('W')));

    apply(*grid, mode);
    for (int i = 0; i < grid->columns()->count(); ++i) {
        TColumn *column = grid->columns()->items(i);
        int expected = column->defaultWidth();
        if (titleWidth)
            expected
                = std::min(textWidth(column->title()->font(), column->title()->caption()) + 7, grid->clientWidth());
        QCOMPARE(column->width(), expected);
    }
    if (titleWidth)
        QCOMPARE(wide->width(), grid->clientWidth());
}

void tst_EnhancedGridSizing::nullsAreNotMeasured_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("GridAutoSize") << kAutoSize;
    QTest::newRow("awWidestValue") << int(TEnhancedGrid::awWidestValue);
}

void tst_EnhancedGridSizing::nullsAreNotMeasured()
{
    QFETCH(int, mode);
    GridFixture fixture(3);
    for (int r = 1; r <= 3; ++r)
        setValue(fixture.table, r, QStringLiteral("City"), QVariant());
    setValue(fixture.table, 2, QStringLiteral("Name"), QVariant());
    fixture.table.first();
    auto grid = fixture.makeGrid<SizingGrid>();
    TColumn *name = addColumn(*grid, QStringLiteral("Name"), 33);
    TColumn *city = addColumn(*grid, QStringLiteral("City"), 33);

    apply(*grid, mode);
    // A column of nulls only measured nothing and takes its default width.
    QCOMPARE(city->width(), city->defaultWidth());
    QCOMPARE(name->width(), widestText(fixture.table, QStringLiteral("Name"), name->font()) + 5);
}

void tst_EnhancedGridSizing::widestValueTitle()
{
    GridFixture fixture(3);
    auto grid = fixture.makeGrid<SizingGrid>();
    TColumn *count = addColumn(*grid, QStringLiteral("Count"), 33);
    TColumn *name = addColumn(*grid, QStringLiteral("Name"), 33);
    name->title()->setCaption(QStringLiteral("N"));

    grid->setGridAutoWidth(TEnhancedGrid::awWidestValueTitle);
    // Values narrower than the title: the title's width + 7.
    QCOMPARE(count->width(), textWidth(count->title()->font(), QStringLiteral("Count")) + 7);
    const int nameWidest = widestText(fixture.table, QStringLiteral("Name"), name->font());
    QCOMPARE(name->width(), std::max(nameWidest, textWidth(name->title()->font(), QStringLiteral("N")) + 2) + 5);
}

void tst_EnhancedGridSizing::valueWiderThanClient_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("GridAutoSize") << kAutoSize;
    QTest::newRow("awWidestValue") << int(TEnhancedGrid::awWidestValue);
    QTest::newRow("awWidestValueTitle") << int(TEnhancedGrid::awWidestValueTitle);
    QTest::newRow("FullSizeMemo") << kFullSizeMemo;
}

void tst_EnhancedGridSizing::valueWiderThanClient()
{
    QFETCH(int, mode);
    GridFixture fixture(3);
    setValue(fixture.table, 2, QStringLiteral("Name"), QString(19, QLatin1Char('W')));
    setValue(fixture.table, 2, QStringLiteral("Notes"), QString(300, QLatin1Char('W')));
    fixture.table.first();
    auto grid = fixture.makeGrid<SizingGrid>(5, 120);
    TColumn *name = addColumn(*grid, QStringLiteral("Name"), 33);
    TColumn *notes = addColumn(*grid, QStringLiteral("Notes"), 33);
    QVERIFY(textWidth(name->font(), QString(19, QLatin1Char('W'))) > grid->clientWidth());

    apply(*grid, mode);
    if (mode == kFullSizeMemo) {
        // The whole memo text, on one line, is what a full-size memo column measures.
        QCOMPARE(notes->width(), grid->clientWidth());
        QCOMPARE(name->width(), 33);
    } else {
        QCOMPARE(name->width(), grid->clientWidth());
    }
}

void tst_EnhancedGridSizing::currentRecordBecomesFirst_data()
{
    valueWiderThanClient_data();
}

void tst_EnhancedGridSizing::currentRecordBecomesFirst()
{
    QFETCH(int, mode);
    GridFixture fixture(6);
    auto grid = fixture.makeGrid<SizingGrid>();
    addColumn(*grid, QStringLiteral("Name"), 33);
    addColumn(*grid, QStringLiteral("Notes"), 33);
    fixture.table.setRecNo(4);
    QCOMPARE(fixture.table.recNo(), 4);

    apply(*grid, mode);
    QCOMPARE(fixture.table.recNo(), 1);
}

void tst_EnhancedGridSizing::gridAutoSizeClearsWidthMode()
{
    GridFixture fixture(3);
    auto grid = fixture.makeGrid<SizingGrid>();
    addColumn(*grid, QStringLiteral("Name"), 33);
    grid->setGridAutoWidth(TEnhancedGrid::awDefault);
    QCOMPARE(grid->gridAutoWidth(), TEnhancedGrid::awDefault);
    QList<AW> events;
    grid->OnAutoWidthChange = [&](QObject *, AW &m) { events << m; };
    grid->setGridAutoSize(true);
    QVERIFY(grid->gridAutoSize());
    QCOMPARE(grid->gridAutoWidth(), TEnhancedGrid::awNone);
    QVERIFY(events.isEmpty());
    grid->setGridAutoWidth(TEnhancedGrid::awDefault);
    QVERIFY(!grid->gridAutoSize());
}

void tst_EnhancedGridSizing::proportionalSumsToAvailable_data()
{
    QTest::addColumn<QList<int>>("widths");
    QTest::addColumn<int>("hidden");
    QTest::addColumn<int>("gridWidth");
    QTest::newRow("equal") << QList<int>{50, 50, 50} << -1 << 400;
    QTest::newRow("thirds") << QList<int>{10, 20, 30} << -1 << 401;
    QTest::newRow("odd") << QList<int>{17, 33, 71, 5} << -1 << 397;
    QTest::newRow("wide") << QList<int>{300, 500, 700} << -1 << 333;
    QTest::newRow("hidden") << QList<int>{40, 90, 60} << 1 << 400;
    QTest::newRow("hidden first") << QList<int>{40, 90, 60} << 0 << 389;
    QTest::newRow("all zero") << QList<int>{0, 0, 0} << -1 << 400;
}

void tst_EnhancedGridSizing::proportionalSumsToAvailable()
{
    QFETCH(QList<int>, widths);
    QFETCH(int, hidden);
    QFETCH(int, gridWidth);
    const QStringList names{"Name", "City", "Count", "Notes"};
    GridFixture fixture(3);
    auto grid = fixture.makeGrid<SizingGrid>(5, gridWidth);
    for (int i = 0; i < widths.size(); ++i) {
        TColumn *column = addColumn(*grid, names.at(i));
        column->setWidth(widths.at(i));
        if (i == hidden)
            column->setVisible(false);
    }
    QCOMPARE(grid->columns()->items(0)->width(), hidden == 0 ? -1 : widths.at(0));
    const int k = widths.size() - (hidden >= 0 ? 1 : 0);
    const int available = availableFor(*grid, k);
    qint64 sum = 0;
    for (int i = 0; i < widths.size(); ++i)
        sum += i == hidden ? 0 : widths.at(i);

    grid->setGridAutoWidth(TEnhancedGrid::awProportional);
    QCOMPARE(grid->gridAutoWidth(), TEnhancedGrid::awProportional);
    const QList<int> after = widthsOf(*grid);
    int total = 0;
    int lastVisible = -1;
    for (int i = 0; i < after.size(); ++i) {
        if (i == hidden) {
            QCOMPARE(after.at(i), -1);
            continue;
        }
        total += after.at(i);
        lastVisible = i;
    }
    QCOMPARE(total, available);
    if (sum > 0) {
        for (int i = 0; i < lastVisible; ++i) {
            if (i == hidden)
                continue;
            QCOMPARE(after.at(i), int(std::nearbyint(double(widths.at(i)) / double(sum) * double(available))));
        }
    }
}

void tst_EnhancedGridSizing::uniformThroughGrid_data()
{
    QTest::addColumn<bool>("hiddenFirst");
    QTest::addColumn<QList<int>>("expected");
    QTest::newRow("positions 0 1 2") << false << QList<int>{334, 333, 333};
    QTest::newRow("hidden at 0") << true << QList<int>{-1, 333, 333, 333};
}

void tst_EnhancedGridSizing::uniformThroughGrid()
{
    QFETCH(bool, hiddenFirst);
    QFETCH(QList<int>, expected);
    GridFixture fixture(3);
    auto grid = fixture.makeGrid<SizingGrid>(5, 600);
    // A = 1000 over three visible columns: the client width less three lines, the indicator and its line.
    grid->resize(grid->width() - grid->clientWidth() + 1000 + 3 + 11 + 1, grid->height());
    QCOMPARE(grid->clientWidth(), 1015);
    if (hiddenFirst)
        addColumn(*grid, QStringLiteral("Notes"), 50)->setVisible(false);
    for (const char *name : {"Name", "City", "Count"})
        addColumn(*grid, name, 50);
    QCOMPARE(availableFor(*grid, 3), 1000);

    grid->setGridAutoWidth(TEnhancedGrid::awUniform);
    QCOMPARE(widthsOf(*grid), expected);
}

void tst_EnhancedGridSizing::defaultMode()
{
    GridFixture fixture(3);
    auto grid = fixture.makeGrid<SizingGrid>();
    QList<TColumn *> columns;
    for (const char *name : {"Name", "City", "Count"})
        columns << addColumn(*grid, name, 33);
    columns[1]->setVisible(false);
    grid->setGridAutoWidth(TEnhancedGrid::awDefault);
    QCOMPARE(columns[0]->width(), columns[0]->defaultWidth());
    QCOMPARE(columns[2]->width(), columns[2]->defaultWidth());
    columns[1]->setVisible(true);
    QCOMPARE(columns[1]->width(), 33);
}

void tst_EnhancedGridSizing::layoutChangeReappliesMode()
{
    GridFixture fixture(3);
    auto grid = fixture.makeGrid<SizingGrid>();
    for (const char *name : {"Name", "City", "Count"})
        addColumn(*grid, name, 33);
    grid->setDefaultRowHeight(20);
    grid->setGridAutoWidth(TEnhancedGrid::awUniform);
    // The layout change's resize nudge applies the mode again, now over four columns.
    addColumn(*grid, QStringLiteral("Notes"));
    const QList<int> widths = widthsOf(*grid);
    QCOMPARE(widths.size(), 4);
    const int available = availableFor(*grid, 4);
    QCOMPARE(widths.at(3), available / 4);
    QCOMPARE(widths.at(0) + widths.at(1) + widths.at(2) + widths.at(3), available);
}

void tst_EnhancedGridSizing::cursorRestored_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("GridAutoSize") << kAutoSize;
    QTest::newRow("awWidestValue") << int(TEnhancedGrid::awWidestValue);
    QTest::newRow("awUniform") << int(TEnhancedGrid::awUniform);
    QTest::newRow("FullSizeMemo") << kFullSizeMemo;
}

void tst_EnhancedGridSizing::cursorRestored()
{
    QFETCH(int, mode);
    GridFixture fixture(3);
    auto grid = fixture.makeGrid<SizingGrid>();
    addColumn(*grid, QStringLiteral("Name"), 33);
    addColumn(*grid, QStringLiteral("Notes"), 33);
    QVERIFY(!QApplication::overrideCursor());
    apply(*grid, mode);
    QVERIFY(!QApplication::overrideCursor());
}

void tst_EnhancedGridSizing::titleRowFromVisibleTitleFonts()
{
    GridFixture fixture(3);
    auto grid = fixture.makeGrid<SizingGrid>();
    TColumn *shown = addColumn(*grid, QStringLiteral("Name"), 60);
    TColumn *hidden = addColumn(*grid, QStringLiteral("City"), 60);
    QFont big = hidden->title()->font();
    big.setPixelSize(40);
    hidden->title()->setFont(big);
    hidden->setVisible(false);
    grid->setDefaultRowHeight(21);
    grid->relayout();
    // Only the visible columns' title fonts count, with 4 pixels of room.
    QCOMPARE(grid->rowHeight(0), GridCanvas(shown->title()->font()).textHeight(QStringLiteral("\u00C2_")) + 4);
    QCOMPARE(grid->rowHeight(1), 21);
}

void tst_EnhancedGridSizing::onResizeFalseAppliesOnce_data()
{
    QTest::addColumn<bool>("active");
    QTest::addColumn<int>("mode");
    QTest::newRow("active awDefault") << true << int(TEnhancedGrid::awDefault);
    QTest::newRow("active awUniform") << true << int(TEnhancedGrid::awUniform);
    QTest::newRow("inactive awDefault") << false << int(TEnhancedGrid::awDefault);
    QTest::newRow("inactive awWidestValue") << false << int(TEnhancedGrid::awWidestValue);
}

void tst_EnhancedGridSizing::onResizeFalseAppliesOnce()
{
    QFETCH(bool, active);
    QFETCH(int, mode);
    GridFixture fixture(3);
    auto grid = fixture.makeGrid<SizingGrid>();
    QList<TColumn *> columns;
    for (const char *name : {"Name", "City", "Count"})
        columns << addColumn(*grid, name, 33);
    QList<AW> events;
    grid->OnAutoWidthChange = [&](QObject *, AW &m) { events << m; };
    grid->setGridAutoWidthOnResize(false);
    QVERIFY(events.isEmpty());
    if (!active)
        fixture.table.close();

    grid->setGridAutoWidth(AW(mode));
    QCOMPARE(events, (QList<AW>{AW(mode), TEnhancedGrid::awNone}));
    QCOMPARE(grid->gridAutoWidth(), TEnhancedGrid::awNone);
    if (!active) {
        for (TColumn *column : columns)
            QCOMPARE(column->width(), 33);
        return;
    }
    QVERIFY(widthsOf(*grid) != (QList<int>{33, 33, 33}));
    // Applied once: a resize does not apply it again.
    for (TColumn *column : columns)
        column->setWidth(33);
    events.clear();
    grid->resize(grid->width() + 50, grid->height());
    QCOMPARE(widthsOf(*grid), (QList<int>{33, 33, 33}));
    QVERIFY(events.isEmpty());
}

void tst_EnhancedGridSizing::onResizeTrueAppliesOnResize()
{
    GridFixture fixture(3);
    auto grid = fixture.makeGrid<SizingGrid>();
    for (const char *name : {"Name", "City", "Count"})
        addColumn(*grid, name, 33);
    grid->setGridAutoWidth(TEnhancedGrid::awUniform);
    QCOMPARE(grid->gridAutoWidth(), TEnhancedGrid::awUniform);
    grid->resize(grid->width() + 60, grid->height());
    int total = 0;
    for (int w : widthsOf(*grid))
        total += w;
    QCOMPARE(total, availableFor(*grid, 3));

    // Switching it back on applies the mode once more.
    grid->setGridAutoWidthOnResize(false);
    grid->setGridAutoWidth(TEnhancedGrid::awNone);
    for (int i = 0; i < 3; ++i)
        grid->columns()->items(i)->setWidth(33);
    QList<AW> events;
    grid->OnAutoWidthChange = [&](QObject *, AW &m) { events << m; };
    grid->setGridAutoWidthOnResize(true);
    QCOMPARE(events, (QList<AW>{TEnhancedGrid::awNone}));
}

void tst_EnhancedGridSizing::handlerReplacingNoneApplies()
{
    GridFixture fixture(3);
    auto grid = fixture.makeGrid<SizingGrid>();
    TColumn *name = addColumn(*grid, QStringLiteral("Name"), 33);
    bool replaced = false;
    grid->OnAutoWidthChange = [&](QObject *, AW &m) {
        if (m == TEnhancedGrid::awNone && !replaced) {
            replaced = true;
            m = TEnhancedGrid::awDefault;
        }
    };
    grid->setGridAutoWidth(TEnhancedGrid::awNone);
    QVERIFY(replaced);
    QCOMPARE(grid->gridAutoWidth(), TEnhancedGrid::awDefault);
    QCOMPARE(name->width(), name->defaultWidth());
}

void tst_EnhancedGridSizing::fullSizeMemoAndWidthMode_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("expected");
    QTest::newRow("awUniform") << int(TEnhancedGrid::awUniform) << int(TEnhancedGrid::awNone);
    QTest::newRow("awProportional") << int(TEnhancedGrid::awProportional) << int(TEnhancedGrid::awNone);
    QTest::newRow("awDefault") << int(TEnhancedGrid::awDefault) << int(TEnhancedGrid::awNone);
    QTest::newRow("awWidestValue") << int(TEnhancedGrid::awWidestValue) << int(TEnhancedGrid::awWidestValue);
    QTest::newRow("awWidestValueTitle") << int(TEnhancedGrid::awWidestValueTitle)
                                        << int(TEnhancedGrid::awWidestValueTitle);
}

void tst_EnhancedGridSizing::fullSizeMemoAndWidthMode()
{
    QFETCH(int, mode);
    QFETCH(int, expected);
    GridFixture fixture(3);
    auto grid = fixture.makeGrid<SizingGrid>();
    addColumn(*grid, QStringLiteral("Name"), 33);
    TColumn *notes = addColumn(*grid, QStringLiteral("Notes"), 33);
    grid->setDisplayMemo(false);
    grid->setGridAutoWidth(AW(mode));
    grid->setFullSizeMemo(true);
    QVERIFY(grid->fullSizeMemo());
    QVERIFY(grid->displayMemo());
    QCOMPARE(int(grid->gridAutoWidth()), expected);
    QCOMPARE(notes->width(), widestText(fixture.table, QStringLiteral("Notes"), notes->font(), true) + 5);
}

void tst_EnhancedGridSizing::fullSizeMemoOffWidths_data()
{
    QTest::addColumn<int>("recNo");
    QTest::newRow("first") << 1;
    QTest::newRow("long note") << 3;
    QTest::newRow("null note") << 4;
}

void tst_EnhancedGridSizing::fullSizeMemoOffWidths()
{
    QFETCH(int, recNo);
    GridFixture fixture(4);
    setValue(fixture.table, 3, QStringLiteral("Notes"), QStringLiteral("A much longer note for the third record"));
    setValue(fixture.table, 4, QStringLiteral("Notes"), QVariant());
    fixture.table.first();
    auto grid = fixture.makeGrid<SizingGrid>();
    TColumn *name = addColumn(*grid, QStringLiteral("Name"), 33);
    TColumn *notes = addColumn(*grid, QStringLiteral("Notes"), 33);
    grid->setFullSizeMemo(true);
    QCOMPARE(notes->width(), widestText(fixture.table, QStringLiteral("Notes"), notes->font(), true) + 5);
    QCOMPARE(name->width(), 33);

    fixture.table.setRecNo(recNo);
    grid->setFullSizeMemo(false);
    const int shown = textWidth(notes->font(), fixture.table.findField(QStringLiteral("Notes"))->displayText());
    QCOMPARE(notes->width(), shown == 0 ? notes->defaultWidth() : std::min(shown + 5, grid->clientWidth()));
    QCOMPARE(name->width(), 33);
    QCOMPARE(fixture.table.recNo(), recNo);
}

void tst_EnhancedGridSizing::columnWithoutFieldKeepsWidth_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("GridAutoSize") << kAutoSize;
    QTest::newRow("awWidestValue") << int(TEnhancedGrid::awWidestValue);
    QTest::newRow("awWidestValueTitle") << int(TEnhancedGrid::awWidestValueTitle);
    QTest::newRow("FullSizeMemo") << kFullSizeMemo;
}

void tst_EnhancedGridSizing::columnWithoutFieldKeepsWidth()
{
    QFETCH(int, mode);
    GridFixture fixture(3);
    auto grid = fixture.makeGrid<SizingGrid>();
    TColumn *none = addColumn(*grid, QStringLiteral("NoSuchField"), 77);
    TColumn *name = addColumn(*grid, QStringLiteral("Name"), 33);
    QCOMPARE(grid->fields(0), nullptr);
    apply(*grid, mode);
    QCOMPARE(none->width(), 77);
    if (mode != kFullSizeMemo)
        QVERIFY(name->width() != 33);
}

void tst_EnhancedGridSizing::multiLineTitlesOffForces17()
{
    GridFixture fixture(3);
    auto grid = fixture.makeGrid<SizingGrid>();
    addColumn(*grid, QStringLiteral("Name"), 40)->title()->setCaption(QStringLiteral("A rather long title here"));
    grid->setRowHeight(0, 30);
    QCOMPARE(grid->rowHeight(0), 30);
    grid->setMultiLineTitles(false);
    QCOMPARE(grid->rowHeight(0), 17);
    grid->setMultiLineTitles(true);
    QVERIFY(grid->rowHeight(0) > 17);
    grid->setMultiLineTitles(false);
    QCOMPARE(grid->rowHeight(0), 17);
}

void tst_EnhancedGridSizing::multiLineTitlesWrap()
{
    GridFixture fixture(3);
    auto grid = fixture.makeGrid<SizingGrid>();
    TColumn *column = addColumn(*grid, QStringLiteral("Name"), 40);
    column->title()->setCaption(QStringLiteral("A rather long title here"));
    addColumn(*grid, QStringLiteral("City"), 60)->setVisible(false);
    grid->setMultiLineTitles(true);
    const int wrapped = GridCanvas(column->title()->font()).wrappedTextHeight(column->title()->caption(), 39);
    const int lines = (grid->options() & TDBGrid::dgRowLines) ? 3 : 2;
    QCOMPARE(grid->rowHeight(0), std::max(17, wrapped + lines));
    // A layout change keeps the wrapped title row.
    grid->relayout();
    QCOMPARE(grid->rowHeight(0), std::max(17, wrapped + lines));
}

void tst_EnhancedGridSizing::draggedRowSetsAllRows_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("height");
    QTest::newRow("first row to 30") << 1 << 30;
    QTest::newRow("third row to 30") << 3 << 30;
    QTest::newRow("second row to 12") << 2 << 12;
}

void tst_EnhancedGridSizing::draggedRowSetsAllRows()
{
    QFETCH(int, row);
    QFETCH(int, height);
    GridFixture fixture(8);
    auto grid = fixture.makeGrid<SizingGrid>(5);
    grid->setRowSizingAllowed(true);
    const int title = grid->rowHeight(0);
    grid->setRowHeight(row, height);
    grid->rowHeightsChanged();
    QCOMPARE(grid->defaultRowHeight(), height);
    QCOMPARE(grid->requestedRowHeight(), height);
    for (int r = 1; r < grid->rowCount(); ++r)
        QCOMPARE(grid->rowHeight(r), height);
    QCOMPARE(grid->rowHeight(0), title);
    grid->relayout();
    for (int r = 1; r < grid->rowCount(); ++r)
        QCOMPARE(grid->rowHeight(r), height);
}

void tst_EnhancedGridSizing::realRowDrag()
{
    GridFixture fixture(8);
    auto grid = fixture.makeGrid<SizingGrid>(5);
    grid->setRowSizingAllowed(true);
    QVERIFY(grid->cellOptions() & CellGrid::goRowSizing);
    const int before = grid->rowHeight(1);
    // The lower border of the first data row, in the indicator column.
    const QRect cell = grid->cellRect(0, 1);
    QVERIFY(cell.isValid());
    const QPoint start(cell.center().x(), cell.bottom() + 1);
    QWidget *surface = grid->viewport();
    QTest::mousePress(surface, Qt::LeftButton, {}, start);
    QTest::mouseMove(surface, start + QPoint(0, 30 - before));
    QTest::mouseRelease(surface, Qt::LeftButton, {}, start + QPoint(0, 30 - before));
    if (grid->rowHeight(1) == before)
        QSKIP("the base grid did not start a row drag at the row border");
    QCOMPARE(grid->rowHeight(1), 30);
    QCOMPARE(grid->defaultRowHeight(), 30);
    QCOMPARE(grid->requestedRowHeight(), 30);
    for (int r = 1; r < grid->rowCount(); ++r)
        QCOMPARE(grid->rowHeight(r), 30);
}

void tst_EnhancedGridSizing::fontRaisesRowHeight_data()
{
    QTest::addColumn<int>("fontHeight");
    QTest::addColumn<int>("expected");
    QTest::newRow("20 raises") << 20 << 20;
    QTest::newRow("25 raises") << 25 << 25;
    QTest::newRow("17 leaves") << 17 << 17;
    QTest::newRow("13 leaves") << 13 << 17;
}

void tst_EnhancedGridSizing::fontRaisesRowHeight()
{
    QFETCH(int, fontHeight);
    QFETCH(int, expected);
    const std::optional<QFont> font = fontOfHeight(fontHeight);
    if (!font)
        QSKIP("no font of that height on this platform");
    GridFixture fixture(3);
    auto grid = fixture.makeGrid<SizingGrid>();
    grid->setDefaultRowHeight(17);
    QCOMPARE(grid->defaultRowHeight(), 17);
    grid->setFont(*font);
    QCOMPARE(grid->defaultRowHeight(), expected);
    QCOMPARE(grid->rowHeight(1), expected);
}

void tst_EnhancedGridSizing::multiLineRows_data()
{
    QTest::addColumn<int>("lines");
    QTest::addColumn<bool>("linesFirst");
    QTest::newRow("3 lines, set first") << 3 << true;
    QTest::newRow("3 lines, set after") << 3 << false;
    QTest::newRow("2 lines") << 2 << true;
}

void tst_EnhancedGridSizing::multiLineRows()
{
    QFETCH(int, lines);
    QFETCH(bool, linesFirst);
    GridFixture fixture(8);
    auto grid = fixture.makeGrid<SizingGrid>();
    grid->setDefaultRowHeight(17);
    if (linesFirst)
        grid->setLinesPerRow(lines);
    grid->setMultiLineRows(true);
    if (!linesFirst)
        grid->setLinesPerRow(lines);
    QCOMPARE(grid->linesPerRow(), lines);
    QCOMPARE(grid->defaultRowHeight(), 17 * lines);
    QCOMPARE(grid->rowHeight(1), 17 * lines);
    QCOMPARE(grid->requestedRowHeight(), 17 * lines);

    grid->setMultiLineRows(false);
    QCOMPARE(grid->defaultRowHeight(), 17 * lines);
    grid->relayout();
    QCOMPARE(grid->defaultRowHeight(), 17 * lines);
    QCOMPARE(grid->rowHeight(2), 17 * lines);
}

void tst_EnhancedGridSizing::rowSizingAndMultiLineRowsClearEachOther()
{
    GridFixture fixture(3);
    auto grid = fixture.makeGrid<SizingGrid>();
    QVERIFY(!(grid->cellOptions() & CellGrid::goRowSizing));
    grid->setMultiLineRows(true);
    grid->setRowSizingAllowed(true);
    QVERIFY(grid->rowSizingAllowed());
    QVERIFY(!grid->multiLineRows());
    QVERIFY(grid->cellOptions() & CellGrid::goRowSizing);
    QVERIFY(grid->cellOptions() & CellGrid::goColSizing);

    // A change of Options drops goRowSizing; the grid puts it back while rows may be sized.
    grid->setOptions(grid->options() & ~TDBGrid::TDBGridOptions(TDBGrid::dgTabs));
    QVERIFY(grid->cellOptions() & CellGrid::goRowSizing);

    grid->setMultiLineRows(true);
    QVERIFY(grid->multiLineRows());
    QVERIFY(!grid->rowSizingAllowed());

    grid->setRowSizingAllowed(true);
    grid->setRowSizingAllowed(false);
    QVERIFY(!(grid->cellOptions() & CellGrid::goRowSizing));
    QVERIFY(grid->cellOptions() & CellGrid::goColSizing);
}

void tst_EnhancedGridSizing::requestedHeightSurvivesLayout_data()
{
    QTest::addColumn<QString>("change");
    QTest::newRow("adding a column") << QStringLiteral("column");
    QTest::newRow("reopening the table") << QStringLiteral("reopen");
    QTest::newRow("changing Options") << QStringLiteral("options");
    QTest::newRow("changing the title font") << QStringLiteral("titlefont");
}

void tst_EnhancedGridSizing::requestedHeightSurvivesLayout()
{
    QFETCH(QString, change);
    GridFixture fixture(8);
    auto grid = fixture.makeGrid<SizingGrid>();
    addColumn(*grid, QStringLiteral("Name"), 60);
    grid->setDefaultRowHeight(25);
    QCOMPARE(grid->requestedRowHeight(), 25);
    QCOMPARE(grid->rowHeight(1), 25);

    if (change == QLatin1String("column")) {
        addColumn(*grid, QStringLiteral("City"), 60);
    } else if (change == QLatin1String("reopen")) {
        fixture.table.close();
        fixture.table.open();
    } else if (change == QLatin1String("options")) {
        grid->setOptions(grid->options() & ~TDBGrid::TDBGridOptions(TDBGrid::dgRowLines));
    } else {
        QFont bigger = grid->titleFont();
        bigger.setPixelSize(22);
        grid->setTitleFont(bigger);
        grid->columns()->items(0)->title()->setFont(bigger);
    }
    QCOMPARE(grid->defaultRowHeight(), 25);
    QCOMPARE(grid->requestedRowHeight(), 25);
    for (int r = 1; r < grid->rowCount(); ++r)
        QCOMPARE(grid->rowHeight(r), 25);
}

void tst_EnhancedGridSizing::zeroRowHeightTakesCurrent()
{
    GridFixture fixture(3);
    auto grid = fixture.makeGrid<SizingGrid>();
    grid->setDefaultRowHeight(22);
    grid->setDefaultRowHeight(0);
    QCOMPARE(grid->requestedRowHeight(), 22);
    QCOMPARE(grid->defaultRowHeight(), 22);
}

QTEST_MAIN(tst_EnhancedGridSizing)
#include "tst_enhancedgrid_sizing.moc"
