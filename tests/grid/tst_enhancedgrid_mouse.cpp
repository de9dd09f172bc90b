// The enhanced grid's mouse, through a shown grid: which presses start a column drag and which
// reach the base grid, what a release does, dropping a dragged column, its picture and the edge
// scrolling, the pop-up menu against OnRightClick, cell hints and the title search box.

#include "grid/cellhints.h"
#include "grid/columndrag.h"
#include "grid/gridcompanions.h"
#include "grid/tenhancedgrid.h"
#include "grid/tinplaceedit.h"
#include "grid/titlesearch.h"
#include "gridfixture.h"
#include "installed.h"
#include "store/field.h"

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

using namespace kelvara;
using namespace kelvara::test;

namespace {

enum Spot { TitleCell, TopLeftCell, ColumnBorder, DataCell };

class MouseGrid : public TEnhancedGrid
{
public:
    using TEnhancedGrid::cellHint;
    using TEnhancedGrid::TEnhancedGrid;
};

// Four columns of 60 pixels (Name, City, Count, Notes), narrower together than the grid.
std::unique_ptr<MouseGrid> makeGrid(GridFixture &fixture, int width = 400)
{
    auto grid = fixture.makeGrid<MouseGrid>(5, width);
    for (const char *name : {"Name", "City", "Count", "Notes"})
        addColumn(*grid, QString::fromLatin1(name), 60);
    return grid;
}

QPoint spotPos(const TEnhancedGrid &grid, Spot spot)
{
    switch (spot) {
    case TitleCell: return grid.cellRect(2, 0).center();
    case TopLeftCell: return grid.cellRect(0, 0).center();
    case ColumnBorder: {
        const QRect title = grid.cellRect(1, 0);
        return QPoint(title.right(), title.center().y());
    }
    case DataCell: return grid.cellRect(2, 3).center();
    }
    return QPoint();
}

void sendMouse(QWidget *target, QEvent::Type type, const QPoint &pos, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, pos, target->mapToGlobal(pos), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

void press(TEnhancedGrid &grid, const QPoint &pos, Qt::MouseButton button = Qt::LeftButton)
{
    sendMouse(grid.viewport(), QEvent::MouseButtonPress, pos, button, button);
}

void moveHeld(TEnhancedGrid &grid, const QPoint &pos)
{
    sendMouse(grid.viewport(), QEvent::MouseMove, pos, Qt::NoButton, Qt::LeftButton);
}

void moveFree(TEnhancedGrid &grid, const QPoint &pos)
{
    sendMouse(grid.viewport(), QEvent::MouseMove, pos, Qt::NoButton, Qt::NoButton);
}

void release(TEnhancedGrid &grid, const QPoint &pos, Qt::MouseButton button = Qt::LeftButton)
{
    sendMouse(grid.viewport(), QEvent::MouseButtonRelease, pos, button, Qt::NoButton);
}

// Presses on the title of a grid column and moves past the drag threshold, staying on the title.
void startDrag(TEnhancedGrid &grid, int col)
{
    const QPoint start = grid.cellRect(col, 0).center();
    press(grid, start);
    moveHeld(grid, start + QPoint(QApplication::startDragDistance() + 2, 0));
}

QStringList fieldOrder(const TEnhancedGrid &grid)
{
    QStringList names;
    for (int i = 0; i < grid.columns()->count(); ++i)
        names << grid.columns()->items(i)->fieldName();
    return names;
}

QString currentName(GridFixture &fixture)
{
    return fixture.table.fieldByName(QStringLiteral("Name"))->asString();
}

void appendNamed(GridFixture &fixture, const QString &name, int count)
{
    fixture.table.append();
    fixture.table.fieldByName(QStringLiteral("Name"))->setAsString(name);
    fixture.table.fieldByName(QStringLiteral("Count"))->setAsInteger(count);
    fixture.table.post();
}

// Notes each field the grid asks the viewer window to show, with the window's caption.
class NotingCompanions : public GridCompanions
{
public:
    explicit NotingCompanions(QStringList &calls) : m_calls(calls) { }
    void viewField(TDBGrid &, Field &field, const QString &caption) override
    {
        m_calls << field.fieldName() + QStringLiteral(" / ") + caption;
    }

private:
    QStringList &m_calls;
};

}  // namespace

class TestEnhancedGridMouse : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void pressRules_data();
    void pressRules();
    void mouseEventsComeBeforeTheBase();
    void releaseRules_data();
    void releaseRules();
    void rightButton_data();
    void rightButton();
    void columnDrop_data();
    void columnDrop();
    void dragPicture_data();
    void dragPicture();
    void edgeScrolling();
    void titleSearch_data();
    void titleSearch();
    void titleSearchFindsTheStartOfValues_data();
    void titleSearchFindsTheStartOfValues();
    void searchBoxHides();
    void cellHint_data();
    void cellHint();
    void hintKeepsThePointerOnTheGrid_data();
    void hintKeepsThePointerOnTheGrid();
    void hintPlacement_data();
    void hintPlacement();
    void doubleClick_data();
    void doubleClick();
};

void TestEnhancedGridMouse::pressRules_data()
{
    QTest::addColumn<bool>("searchMode");
    QTest::addColumn<bool>("columnResize");
    QTest::addColumn<int>("spot");
    QTest::addColumn<bool>("dragArmed");
    QTest::addColumn<bool>("baseSawPress");

    QTest::newRow("title: drag, the base never sees it") << false << true << int(TitleCell) << true << false;
    QTest::newRow("title without dgColumnResize: to the base") << false << false << int(TitleCell) << false << true;
    QTest::newRow("title in search mode: to the base") << true << true << int(TitleCell) << false << true;
    QTest::newRow("top-left cell: to the base") << false << true << int(TopLeftCell) << false << true;
    QTest::newRow("column border: sizes instead") << false << true << int(ColumnBorder) << false << true;
    QTest::newRow("data cell: to the base") << false << true << int(DataCell) << false << true;
}

void TestEnhancedGridMouse::pressRules()
{
    QFETCH(bool, searchMode);
    QFETCH(bool, columnResize);
    QFETCH(int, spot);
    QFETCH(bool, dragArmed);
    QFETCH(bool, baseSawPress);

    GridFixture fixture(10);
    auto grid = makeGrid(fixture);
    grid->setSearchMode(searchMode);
    if (!columnResize)
        grid->setOptions(grid->options() & ~TDBGrid::dgColumnResize);
    int downs = 0;
    connect(grid.get(), &TEnhancedGrid::OnMouseDown, this,
            [&](Qt::MouseButton button, Qt::KeyboardModifiers, int, int) {
                QCOMPARE(button, Qt::LeftButton);
                ++downs;
            });
    const QPoint pos = spotPos(*grid, Spot(spot));
    const GridCoord cell = grid->cellAt(pos);
    press(*grid, pos);

    QCOMPARE(downs, 1);
    QCOMPARE(grid->columnDrag() && grid->columnDrag()->active(), dragArmed);
    const bool baseSaw = grid->gridState() != CellGrid::GridState::Normal || grid->row() == cell.row;
    QCOMPARE(baseSaw, baseSawPress);
    release(*grid, pos);
    QVERIFY(!grid->columnDrag() || !grid->columnDrag()->active());
}

void TestEnhancedGridMouse::mouseEventsComeBeforeTheBase()
{
    GridFixture fixture(10);
    auto grid = makeGrid(fixture);
    QStringList steps;
    connect(grid.get(), &TEnhancedGrid::OnMouseDown, this,
            [&] { steps << QStringLiteral("down on row %1").arg(grid->row()); });
    connect(grid.get(), &TEnhancedGrid::OnMouseUp, this, [&](Qt::MouseButton, Qt::KeyboardModifiers, int x, int y) {
        steps << QStringLiteral("up at %1,%2").arg(x).arg(y);
    });
    connect(grid.get(), &TEnhancedGrid::OnMouseMove, this, [&] { steps << QStringLiteral("move"); });
    QSignalSpy cellClicks(grid.get(), &TDBGrid::OnCellClick);
    connect(grid.get(), &TDBGrid::OnCellClick, this, [&] { steps << QStringLiteral("cell click"); });

    const QPoint pos = grid->cellRect(2, 3).center();
    moveFree(*grid, pos);
    press(*grid, pos);
    release(*grid, pos);

    QCOMPARE(steps,
             QStringList({QStringLiteral("move"), QStringLiteral("down on row 1"),
                          QStringLiteral("up at %1,%2").arg(pos.x()).arg(pos.y()), QStringLiteral("cell click")}));
    QCOMPARE(grid->row(), 3);
}

void TestEnhancedGridMouse::releaseRules_data()
{
    QTest::addColumn<bool>("titleCheck");
    QTest::addColumn<bool>("tableOpen");
    QTest::addColumn<int>("spot");
    QTest::addColumn<bool>("menuAsked");
    QTest::addColumn<bool>("locksApplied");

    QTest::newRow("top-left, TitleCheck, open") << true << true << int(TopLeftCell) << true << true;
    QTest::newRow("top-left, TitleCheck, closed") << true << false << int(TopLeftCell) << false << false;
    QTest::newRow("top-left without TitleCheck") << false << true << int(TopLeftCell) << false << true;
    QTest::newRow("title cell, TitleCheck") << true << true << int(TitleCell) << false << true;
    QTest::newRow("data cell, TitleCheck") << true << true << int(DataCell) << false << false;
}

void TestEnhancedGridMouse::releaseRules()
{
    QFETCH(bool, titleCheck);
    QFETCH(bool, tableOpen);
    QFETCH(int, spot);
    QFETCH(bool, menuAsked);
    QFETCH(bool, locksApplied);

    GridFixture fixture(10);
    auto grid = makeGrid(fixture);
    grid->setLockedCols(1);
    QCOMPARE(grid->fixedCols(), 2);
    grid->ResetFixedCols();
    QCOMPARE(grid->fixedCols(), 1);
    grid->setTitleCheck(titleCheck);
    if (!tableOpen)
        fixture.table.close();
    const int fixedBefore = grid->fixedCols();
    QSignalSpy menu(grid.get(), &TEnhancedGrid::optionsMenuRequested);
    QSignalSpy ups(grid.get(), &TEnhancedGrid::OnMouseUp);

    // A release alone: a press on a title would arm a column drag, whose release does nothing.
    const QPoint pos = spotPos(*grid, Spot(spot));
    release(*grid, pos);

    QCOMPARE(ups.count(), 1);
    QCOMPARE(menu.count(), menuAsked ? 1 : 0);
    if (menuAsked)
        QCOMPARE(menu.first().first().toPoint(), grid->viewport()->mapToGlobal(pos));
    QCOMPARE(grid->fixedCols(), locksApplied ? 2 : fixedBefore);
}

void TestEnhancedGridMouse::rightButton_data()
{
    QTest::addColumn<bool>("withMenu");
    QTest::addColumn<bool>("withHandler");
    QTest::addColumn<bool>("menuShown");
    QTest::addColumn<int>("mouseDowns");

    QTest::newRow("menu alone: the menu opens") << true << false << true << 0;
    QTest::newRow("menu and OnRightClick: the handler") << true << true << false << 1;
    QTest::newRow("OnRightClick alone") << false << true << false << 1;
}

void TestEnhancedGridMouse::rightButton()
{
    QFETCH(bool, withMenu);
    QFETCH(bool, withHandler);
    QFETCH(bool, menuShown);
    QFETCH(int, mouseDowns);

    GridFixture fixture(10);
    auto grid = makeGrid(fixture);
    QMenu menu;
    menu.addAction(QStringLiteral("Item"));
    if (withMenu)
        grid->setPopupMenu(&menu);
    int rightClicks = 0;
    if (withHandler)
        connect(grid.get(), &TEnhancedGrid::OnRightClick, this, [&] { ++rightClicks; });
    int downs = 0;
    connect(grid.get(), &TEnhancedGrid::OnMouseDown, this,
            [&](Qt::MouseButton button, Qt::KeyboardModifiers, int, int) {
                QCOMPARE(button, Qt::RightButton);
                ++downs;
            });
    const int row = grid->row();

    press(*grid, grid->cellRect(2, 3).center(), Qt::RightButton);

    QCOMPARE(menu.isVisible(), menuShown);
    if (menuShown)
        QCOMPARE(menu.property("PopupComponent").value<QObject *>(), grid.get());
    QCOMPARE(rightClicks, withHandler ? 1 : 0);
    QCOMPARE(downs, mouseDowns);
    QCOMPARE(grid->row(), row);  // a right press never moves the current cell
    menu.close();
}

void TestEnhancedGridMouse::columnDrop_data()
{
    QTest::addColumn<int>("locked");
    QTest::addColumn<int>("source");
    QTest::addColumn<QString>("dropAt");
    QTest::addColumn<QStringList>("order");

    const QStringList unchanged{"Name", "City", "Count", "Notes"};
    QTest::newRow("beyond the last column: last")
        << 0 << 1 << "beyond" << QStringList{"City", "Count", "Notes", "Name"};
    QTest::newRow("on the indicator: first scrollable")
        << 0 << 3 << "indicator" << QStringList{"Count", "Name", "City", "Notes"};
    QTest::newRow("on another column") << 0 << 1 << "col 3" << QStringList{"City", "Count", "Name", "Notes"};
    QTest::newRow("on a locked column") << 1 << 3 << "col 1" << QStringList{"Count", "Name", "City", "Notes"};
    QTest::newRow("on the indicator with a locked column")
        << 1 << 4 << "indicator" << QStringList{"Name", "Notes", "City", "Count"};
    QTest::newRow("released below the grid: no drop") << 0 << 1 << "outside" << unchanged;
    QTest::newRow("released before the threshold: no drop") << 0 << 1 << "no move" << unchanged;
}

void TestEnhancedGridMouse::columnDrop()
{
    QFETCH(int, locked);
    QFETCH(int, source);
    QFETCH(QString, dropAt);
    QFETCH(QStringList, order);

    GridFixture fixture(10);
    auto grid = makeGrid(fixture);
    grid->setLockedCols(locked);
    QCOMPARE(grid->fixedCols(), 1 + locked);
    QSignalSpy moved(grid.get(), &TDBGrid::OnColumnMoved);
    QSignalSpy titleClicks(grid.get(), &TDBGrid::OnTitleClick);
    const QString currentField = grid->selectedColumn()->fieldName();

    const QPoint start = grid->cellRect(source, 0).center();
    QPoint end;
    if (dropAt == QLatin1String("beyond"))
        end = QPoint(grid->cellRect(grid->colCount() - 1, 0).right() + 20, start.y());
    else if (dropAt == QLatin1String("indicator"))
        end = QPoint(3, start.y());
    else if (dropAt == QLatin1String("outside"))
        end = QPoint(start.x() + 40, grid->clientHeight() + 30);
    else if (dropAt == QLatin1String("no move"))
        end = start;
    else
        end = grid->cellRect(dropAt.mid(4).toInt(), 0).center() + QPoint(0, 40);  // a data row: y counts as 0
    QVERIFY(end.x() < grid->clientWidth());

    press(*grid, start);
    if (end != start) {
        moveHeld(*grid, start + QPoint(0, QApplication::startDragDistance() + 2));
        moveHeld(*grid, end);
    }
    release(*grid, end);

    QCOMPARE(fieldOrder(*grid), order);
    QCOMPARE(moved.count(), order == QStringList({"Name", "City", "Count", "Notes"}) ? 0 : 1);
    QCOMPARE(titleClicks.count(), 0);
    QVERIFY(!grid->columnDrag()->active());
    QVERIFY(!grid->columnDrag()->edgeTimer()->isActive());
    if (moved.count())
        QCOMPARE(grid->fixedCols(), 1);  // locks are released by a drop
    QCOMPARE(grid->selectedColumn()->fieldName(), currentField);
}

void TestEnhancedGridMouse::dragPicture_data()
{
    QTest::addColumn<bool>("masked");
    QTest::newRow("masked: the title colour is see-through") << true;
    QTest::newRow("unmasked: opaque") << false;
}

void TestEnhancedGridMouse::dragPicture()
{
    QFETCH(bool, masked);

    GridFixture fixture(10);
    auto grid = makeGrid(fixture);
    grid->setMaskedColumnDrag(masked);
    startDrag(*grid, 2);

    ColumnDrag *drag = grid->columnDrag();
    QVERIFY(drag->started());
    QLabel *image = drag->image();
    QVERIFY(image && image->isVisible());
    QCOMPARE(image->parentWidget(), grid->viewport());
    const QImage picture = image->pixmap().toImage();
    QCOMPARE(picture.size(), QSize(grid->colWidth(2), grid->rowHeight(0)));
    QCOMPARE(grid->dragImage().size(), picture.size());
    // Inside the frame, right of the caption: the title's colour.
    const QPoint background(picture.width() - 4, picture.height() - 4);
    QCOMPARE(qAlpha(picture.pixel(background)), masked ? 0 : 255);
    // The frame and the caption always show.
    QCOMPARE(qAlpha(picture.pixel(0, 0)), 255);

    const QPoint over = grid->cellRect(3, 2).center();
    moveHeld(*grid, over);
    QCOMPARE(image->pos(), QPoint(over.x(), 0));
    moveHeld(*grid, QPoint(over.x(), grid->clientHeight() + 50));
    QCOMPARE(image->pos(), ColumnDrag::kAwayPos);

    release(*grid, QPoint(over.x(), grid->clientHeight() + 50));
    QVERIFY(!image->isVisible());
}

void TestEnhancedGridMouse::edgeScrolling()
{
    GridFixture fixture(10);
    auto grid = fixture.makeGrid<MouseGrid>(5, 300);
    for (const char *name : {"Name", "City", "Count", "Notes"})
        addColumn(*grid, QString::fromLatin1(name), 120);
    startDrag(*grid, 1);
    ColumnDrag *drag = grid->columnDrag();
    QTimer *timer = drag->edgeTimer();
    QCOMPARE(timer->interval(), 500);
    QVERIFY(!timer->isActive());
    QCOMPARE(grid->leftCol(), 1);

    // Held 5 pixels or fewer from the right edge: no scrolling.
    moveHeld(*grid, QPoint(grid->clientWidth() - 5, 5));
    QVERIFY(!timer->isActive());
    moveHeld(*grid, QPoint(grid->clientWidth() - 2, 5));
    QVERIFY(timer->isActive());
    drag->edgeScrollTick();
    QCOMPARE(grid->leftCol(), 2);
    QVERIFY(drag->image()->isVisible());

    // Left of the first scrollable column less 5 pixels: one column back per tick.
    const int left = grid->cellRect(grid->leftCol(), 0).left();
    moveHeld(*grid, QPoint(left - 6, 5));
    QVERIFY(timer->isActive());
    drag->edgeScrollTick();
    QCOMPARE(grid->leftCol(), 1);

    // Back between the edges: the next tick stops the timer and scrolls nothing.
    moveHeld(*grid, QPoint(grid->clientWidth() / 2, 5));
    drag->edgeScrollTick();
    QVERIFY(!timer->isActive());
    QCOMPARE(grid->leftCol(), 1);

    moveHeld(*grid, QPoint(grid->clientWidth() - 2, 5));
    QVERIFY(timer->isActive());
    release(*grid, QPoint(grid->clientWidth() - 2, 5));
    QVERIFY(!timer->isActive());
}

void TestEnhancedGridMouse::titleSearch_data()
{
    QTest::addColumn<QString>("titleField");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("found");

    // Name order: 10% off, 100 hives, Name 1, Name 10, ..., aXb, a_b, z'"; DROP...; Count order:
    // Name 1 ... Name 12, aXb, a_b, 100 hives, 10% off, z'"; DROP... The selected column is Name.
    // Each key typed searches.
    QTest::newRow("indexed field: exact key") << "Name"
                                              << "Name 7"
                                              << "Name 7";
    QTest::newRow("matching nothing: no move") << "Name"
                                               << "Xyz"
                                               << "10% off";
    QTest::newRow("the last key matching nothing stays") << "Name"
                                                         << "Name 7x"
                                                         << "Name 7";
    QTest::newRow("integer index, text: no move") << "Count"
                                                  << "nAmE 7"
                                                  << "Name 1";
    QTest::newRow("integer index, a number: exact key") << "Count"
                                                        << "12"
                                                        << "Name 12";
    QTest::newRow("partial locate: underscore is literal") << "Name"
                                                           << "a_"
                                                           << "a_b";
    QTest::newRow("partial locate: percent is literal") << "Name"
                                                        << "10%"
                                                        << "10% off";
    QTest::newRow("exact key: quotes and semicolons") << "Name"
                                                      << "z'\"; DROP TABLE j;--"
                                                      << "z'\"; DROP TABLE j;--";
    QTest::newRow("partial locate: quotes and semicolons") << "Name"
                                                           << "Z'\"; drop"
                                                           << "z'\"; DROP TABLE j;--";
}

void TestEnhancedGridMouse::titleSearch()
{
    QFETCH(QString, titleField);
    QFETCH(QString, typed);
    QFETCH(QString, found);

    GridFixture fixture(12);
    // Ahead of the hostile names in Count order, records that a pattern match would take instead.
    appendNamed(fixture, QStringLiteral("aXb"), 20);
    appendNamed(fixture, QStringLiteral("a_b"), 21);
    appendNamed(fixture, QStringLiteral("100 hives"), 22);
    appendNamed(fixture, QStringLiteral("10% off"), 23);
    appendNamed(fixture, QStringLiteral("z'\"; DROP TABLE j;--"), 24);
    fixture.table.first();
    auto grid = makeGrid(fixture);
    grid->setSelectedIndex(0);
    grid->setSearchMode(true);
    QSignalSpy titleClicks(grid.get(), &TDBGrid::OnTitleClick);

    const int col = fieldOrder(*grid).indexOf(titleField) + 1;
    const QPoint pos = grid->cellRect(col, 0).center();
    press(*grid, pos);
    release(*grid, pos);

    QCOMPARE(titleClicks.count(), 1);
    QCOMPARE(fixture.table.indexFieldNames(), titleField);
    QLineEdit *box = grid->titleSearch()->box();
    QVERIFY(box && box->isVisible());
    QCOMPARE(box->geometry(), grid->cellRect(col, 0));
    QVERIFY(box->text().isEmpty());

    QTest::keyClicks(box, typed);
    QCOMPARE(currentName(fixture), found);
    QCOMPARE(fixture.table.recordCount(), 17);
}

void TestEnhancedGridMouse::titleSearchFindsTheStartOfValues_data()
{
    QTest::addColumn<QString>("titleField");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("found");

    // Name order: Anne Lie, Erik Kleve, Kari Nordmann, Kleve, Søren Ødegård, Ødegård; the order
    // they were added in starts with Kleve. City order starts with Anne Lie's Arendal. The
    // selected column is Name.
    QTest::newRow("small letters find capitals") << "Name"
                                                 << "erik"
                                                 << "Erik Kleve";
    QTest::newRow("a start ending in a letter outside ASCII") << "Name"
                                                              << "Sø"
                                                              << "Søren Ødegård";
    QTest::newRow("a whole value in small letters") << "Name"
                                                    << "ødegård"
                                                    << "Ødegård";
    QTest::newRow("typed without accents") << "Name"
                                           << "odeg"
                                           << "Ødegård";
    QTest::newRow("a start, not a value containing it") << "Name"
                                                        << "kleve"
                                                        << "Kleve";
    QTest::newRow("the first in the column's order") << "Name"
                                                     << "k"
                                                     << "Kari Nordmann";
    QTest::newRow("the clicked column, not the selected one") << "City"
                                                              << "berg"
                                                              << "Erik Kleve";
    QTest::newRow("the clicked column without accents") << "City"
                                                        << "alesund"
                                                        << "Søren Ødegård";
    QTest::newRow("nothing starts with it: no move") << "Name"
                                                     << "xyz"
                                                     << "Anne Lie";
}

void TestEnhancedGridMouse::titleSearchFindsTheStartOfValues()
{
    QFETCH(QString, titleField);
    QFETCH(QString, typed);
    QFETCH(QString, found);

    GridFixture fixture(0);
    const QList<QPair<QString, QString>> jobs = {
        {QStringLiteral("Kleve"), QStringLiteral("Oslo")},
        {QStringLiteral("Søren Ødegård"), QStringLiteral("Ålesund")},
        {QStringLiteral("Erik Kleve"), QStringLiteral("Bergen")},
        {QStringLiteral("Ødegård"), QStringLiteral("Tromsø")},
        {QStringLiteral("Kari Nordmann"), QStringLiteral("Oslo")},
        {QStringLiteral("Anne Lie"), QStringLiteral("Arendal")},
    };
    for (const auto &[name, city] : jobs) {
        fixture.table.append();
        fixture.table.fieldByName(QStringLiteral("Name"))->setAsString(name);
        fixture.table.fieldByName(QStringLiteral("City"))->setAsString(city);
        fixture.table.post();
    }
    fixture.table.first();
    auto grid = makeGrid(fixture);
    grid->setSelectedIndex(0);
    grid->setSearchMode(true);

    const QPoint pos = grid->cellRect(fieldOrder(*grid).indexOf(titleField) + 1, 0).center();
    press(*grid, pos);
    release(*grid, pos);
    QLineEdit *box = grid->titleSearch()->box();
    QVERIFY(box && box->isVisible());

    QTest::keyClicks(box, typed);
    QCOMPARE(currentName(fixture), found);
    QCOMPARE(grid->selectedIndex(), 0);
    QVERIFY(box->hasFrame());
}

void TestEnhancedGridMouse::searchBoxHides()
{
    GridFixture fixture(5);
    auto grid = makeGrid(fixture);
    grid->setSearchMode(true);
    const QString before = fixture.table.indexFieldNames();

    // A memo column has no index: the box still opens and the order stays.
    const QPoint notes = grid->cellRect(4, 0).center();
    press(*grid, notes);
    release(*grid, notes);
    QLineEdit *box = grid->titleSearch()->box();
    QVERIFY(box->isVisible());
    QCOMPARE(fixture.table.indexFieldNames(), before);

    QTest::keyClick(box, Qt::Key_Escape);
    QVERIFY(!box->isVisible());
    QVERIFY(grid->hasFocus());

    const QPoint name = grid->cellRect(1, 0).center();
    press(*grid, name);
    release(*grid, name);
    QVERIFY(box->isVisible());
    QTest::keyClick(box, Qt::Key_Return);
    QVERIFY(!box->isVisible());

    press(*grid, name);
    release(*grid, name);
    QVERIFY(box->isVisible());
    grid->setSearchMode(false);
    QVERIFY(!box->isVisible());

    // Without search mode a title press drags the column and opens no box.
    press(*grid, name);
    release(*grid, name);
    QVERIFY(!box->isVisible());
}

void TestEnhancedGridMouse::cellHint_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("width");
    QTest::addColumn<bool>("editing");
    QTest::addColumn<QString>("hint");

    QTest::newRow("text wider than its column") << "Name" << 20 << false << "Name 3";
    QTest::newRow("text that fits") << "Name" << 200 << false << "";
    QTest::newRow("while the editor is open") << "Name" << 20 << true << "";
    QTest::newRow("a long memo") << "Notes" << 20 << false << "Note 3";
    QTest::newRow("boolean field") << "Flag" << 5 << false << "";
}

void TestEnhancedGridMouse::cellHint()
{
    QFETCH(QString, field);
    QFETCH(int, width);
    QFETCH(bool, editing);
    QFETCH(QString, hint);

    FieldDefs defs = GridFixture::defaultDefs();
    defs.append(test::fieldDef(QStringLiteral("Flag"), ftBoolean));
    GridFixture fixture(5, defs);
    for (fixture.table.first(); !fixture.table.eof(); fixture.table.next()) {
        fixture.table.edit();
        fixture.table.fieldByName(QStringLiteral("Flag"))->setAsBoolean(true);
        fixture.table.post();
    }
    fixture.table.first();
    auto grid = fixture.makeGrid<MouseGrid>(5, 400);
    addColumn(*grid, field, width);
    grid->setCellHints(true);
    // The hinted cell is the current one, so that the editor can open over it.
    const QRect cell = grid->cellRect(1, 3);
    press(*grid, cell.center());
    release(*grid, cell.center());
    QCOMPARE(grid->row(), 3);
    if (editing) {
        grid->setEditorMode(true);
        QVERIFY(grid->inplaceEditor() && grid->inplaceEditor()->isVisible());
    }

    moveFree(*grid, cell.center());

    CellHints *hints = grid->cellHintWindow();
    QVERIFY(hints);
    QCOMPARE(hints->lastPos(), cell.center());
    QCOMPARE(hints->isShown(), !hint.isEmpty());
    if (!hint.isEmpty()) {
        QCOMPARE(hints->window()->text(), hint);
        QCOMPARE(hints->window()->pos(), grid->viewport()->mapToGlobal(cell.topLeft()) - QPoint(1, 1));
        // Leaving the grid takes the hint away.
        QCursor::setPos(grid->mapToGlobal(QPoint(grid->width() + 50, grid->height() + 50)));
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(grid.get(), &leave);
        QVERIFY(!hints->isShown());
    }
}

void TestEnhancedGridMouse::hintKeepsThePointerOnTheGrid_data()
{
    QTest::addColumn<bool>("pointerOnCell");  // where the pointer is when the grid sees it leave
    QTest::addColumn<bool>("shown");

    QTest::newRow("the hint opening under the resting pointer") << true << true;
    QTest::newRow("the pointer gone from the grid") << false << false;
}

void TestEnhancedGridMouse::hintKeepsThePointerOnTheGrid()
{
    QFETCH(bool, pointerOnCell);
    QFETCH(bool, shown);

    GridFixture fixture(5);
    auto grid = fixture.makeGrid<MouseGrid>(5, 400);
    addColumn(*grid, QStringLiteral("Name"), 20);
    grid->setCellHints(true);
    const QPoint pos = grid->cellRect(1, 3).center();
    QCursor::setPos(grid->viewport()->mapToGlobal(pos));
    moveFree(*grid, pos);
    CellHints *hints = grid->cellHintWindow();
    QVERIFY(hints && hints->isShown());

    if (!pointerOnCell)
        QCursor::setPos(grid->mapToGlobal(QPoint(grid->width() + 50, grid->height() + 50)));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(grid.get(), &leave);
    QCOMPARE(hints->isShown(), shown);
    // Moving on the same cell keeps the hint where it is.
    if (shown) {
        const QPoint placed = hints->window()->pos();
        moveFree(*grid, pos + QPoint(1, 0));
        QVERIFY(hints->isShown());
        QCOMPARE(hints->window()->pos(), placed);
    }
    // The pointer passes through the hint to the grid below it.
    QVERIFY(hints->window()->windowFlags().testFlag(Qt::WindowTransparentForInput));
}

void TestEnhancedGridMouse::hintPlacement_data()
{
    QTest::addColumn<QPoint>("cell");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QRect>("placed");

    const QSize size(200, 20);
    QTest::newRow("fits: one pixel up and left") << QPoint(100, 100) << size << QRect(99, 99, 200, 20);
    QTest::newRow("past the right edge: moved left") << QPoint(900, 100) << size << QRect(824, 99, 200, 20);
    QTest::newRow("past the bottom edge: moved up") << QPoint(100, 760) << size << QRect(99, 748, 200, 20);
    QTest::newRow("past both") << QPoint(1000, 790) << size << QRect(824, 748, 200, 20);
    QTest::newRow("cell left of the screen") << QPoint(-30, 100) << size << QRect(0, 99, 200, 20);
}

void TestEnhancedGridMouse::hintPlacement()
{
    QFETCH(QPoint, cell);
    QFETCH(QSize, size);
    QFETCH(QRect, placed);

    const QRect screen(0, 0, 1024, 768);
    const QRect rect = CellHints::placement(cell, size, screen);
    QCOMPARE(rect, placed);
    QVERIFY(screen.contains(rect));
}

void TestEnhancedGridMouse::doubleClick_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<bool>("popupEditors");
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<QStringList>("viewed");

    QTest::newRow("memo with DisplayPopupEditors: the viewer")
        << "Notes" << true << false << QStringList{"Notes / Field: Notes"};
    QTest::newRow("memo without DisplayPopupEditors") << "Notes" << false << false << QStringList();
    QTest::newRow("memo on a read-only grid") << "Notes" << true << true << QStringList();
    QTest::newRow("plain cell: only OnDblClick") << "Name" << true << false << QStringList();
}

void TestEnhancedGridMouse::doubleClick()
{
    QFETCH(QString, field);
    QFETCH(bool, popupEditors);
    QFETCH(bool, readOnly);
    QFETCH(QStringList, viewed);

    QStringList calls;
    const Installed<&GridCompanions::install> companions(std::make_unique<NotingCompanions>(calls));
    GridFixture fixture(5);
    auto grid = fixture.makeGrid<MouseGrid>(5, 400);
    addColumn(*grid, field, 20);
    grid->setDisplayMemo(false);
    grid->setDisplayPopupEditors(popupEditors);
    grid->setReadOnly(readOnly);
    grid->setCellHints(true);
    QSignalSpy dblClicks(grid.get(), &TDBGrid::OnDblClick);

    const QPoint pos = grid->cellRect(1, 2).center();
    moveFree(*grid, pos);
    QCOMPARE(grid->cellHintWindow()->isShown(), true);
    press(*grid, pos);
    release(*grid, pos);
    sendMouse(grid->viewport(), QEvent::MouseButtonDblClick, pos, Qt::LeftButton, Qt::LeftButton);
    release(*grid, pos);

    QCOMPARE(calls, viewed);
    QCOMPARE(dblClicks.count(), 1);
    QVERIFY(!grid->cellHintWindow()->isShown());
}

QTEST_MAIN(TestEnhancedGridMouse)
#include "tst_enhancedgrid_mouse.moc"
