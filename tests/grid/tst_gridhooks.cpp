// The steps a grid built on the data grid takes over: each must be reached, and reached at the
// point where the richer grid's work still counts.

#include "grid/editorhook.h"
#include "grid/gridcompanions.h"
#include "grid/tinplaceedit.h"
#include "gridfixture.h"
#include "store/error.h"
#include "store/field.h"

#include <QtTest>

using namespace kelvara;
using namespace kelvara::test;

namespace {

const QColor kCover(10, 20, 200);

class HookGrid : public TestGrid
{
public:
    using CellGrid::dragIndex;
    using CellGrid::dragTarget;
    using CellGrid::feedbackRect;
    using TDBGrid::relayout;
    using TestGrid::TestGrid;

    bool coverLines = false;
    bool layoutWhilePainting = false;  // ask for a layout from inside the cell painter
    int layoutsInPaint = 0;
    int layoutRowHeight = 0;      // a row height the grid's own layout step sets, 0 for none
    QList<int> requestedHeights;  // the heights asked of the overridden row-height setter
    bool enterAsTab = false;
    QString typed;
    QRect editorPlace;  // where the editor is to go, empty for the base's place
    QList<QPoint> dragMoves;
    int dragEnds = 0;

    void setDefaultRowHeight(int height) override
    {
        requestedHeights << height;
        TestGrid::setDefaultRowHeight(height);
    }

protected:
    void drawCell(QPainter &painter, int col, int row, const QRect &rect, TGridDrawState state) override
    {
        TestGrid::drawCell(painter, col, row, rect, state);
        if (coverLines)
            painter.fillRect(rect.adjusted(-1, -1, 1, 1), kCover);
        if (layoutWhilePainting && col == 1 && row == 1) {
            layoutWhilePainting = false;
            relayout();
        }
    }
    void layoutChanged() override
    {
        if (isPainting())
            ++layoutsInPaint;
        TestGrid::layoutChanged();
        if (layoutRowHeight > 0)
            CellGrid::setDefaultRowHeight(layoutRowHeight);
    }
    bool keyDown(QKeyEvent *event) override
    {
        if (enterAsTab && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
            QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, event->modifiers());
            const bool done = TestGrid::keyDown(&tab);
            event->setAccepted(tab.isAccepted());
            return done;
        }
        return TestGrid::keyDown(event);
    }
    void keyPress(QKeyEvent *event) override
    {
        typed += event->text();
        TestGrid::keyPress(event);
    }
    QRect editorRect() const override { return editorPlace.isEmpty() ? TestGrid::editorRect() : editorPlace; }
    void dragMoved(const QPoint &pos) override { dragMoves << pos; }
    void dragEnded() override { ++dragEnds; }
};

}  // namespace

class tst_GridHooks : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cellPainterDrawsOverTheLines();
    void ownLayoutStepCountsForTheBuffer();
    void layoutAskedWhilePaintingRunsAfterThePaint();
    void rowHeightSetterIsReachedByNameNotByTheBaseLayout();
    void keysComeInTwoSteps();
    void editorGoesWhereTheGridSays();
    void columnMoveReportsItsCourse();
    void companionWindowsAreReachedThroughTheInstalledOnes();
    void releasedEditorHookStopsAtOnceAndGoesLater();
};

void tst_GridHooks::cellPainterDrawsOverTheLines()
{
    GridFixture fixture(3);
    auto grid = fixture.makeGrid<HookGrid>(3);
    grid->coverLines = true;
    grid->viewport()->repaint();
    const QImage image = grid->viewport()->grab().toImage();
    const QRect cell = grid->cellRect(2, 1);
    QVERIFY(!cell.isEmpty());
    // The pixel column right of the cell and the row below it are the cell's lines.
    QCOMPARE(image.pixelColor(cell.right() + 1, cell.center().y()), kCover);
    QCOMPARE(image.pixelColor(cell.center().x(), cell.bottom() + 1), kCover);
    QCOMPARE(image.pixelColor(cell.right() + 1, cell.bottom() + 1), kCover);
}

void tst_GridHooks::ownLayoutStepCountsForTheBuffer()
{
    GridFixture fixture(20);
    auto grid = fixture.makeGrid<HookGrid>(8);
    const int before = grid->dataRowCount();
    grid->layoutRowHeight = 2 * grid->defaultRowHeight() + 1;
    grid->relayout();
    QCOMPARE(grid->rowHeight(1), grid->layoutRowHeight);
    // The buffer, scroll bars and editor are fitted after the grid's own step, to its row heights.
    QVERIFY(grid->dataRowCount() < before);
    QCOMPARE(grid->dataRowCount(), grid->visibleRowCount());
}

void tst_GridHooks::layoutAskedWhilePaintingRunsAfterThePaint()
{
    GridFixture fixture(3);
    auto grid = fixture.makeGrid<HookGrid>(3);
    const int before = grid->layouts;
    grid->layoutWhilePainting = true;
    grid->viewport()->repaint();
    QCOMPARE(grid->layouts, before);
    QTRY_COMPARE(grid->layouts, before + 1);
    QCOMPARE(grid->layoutsInPaint, 0);
}

void tst_GridHooks::rowHeightSetterIsReachedByNameNotByTheBaseLayout()
{
    GridFixture fixture(3);
    auto grid = fixture.makeGrid<HookGrid>(3);
    grid->requestedHeights.clear();
    grid->relayout();
    QVERIFY2(grid->requestedHeights.isEmpty(), "the base's layout set its row height through the override");
    QVERIFY(grid->setProperty("DefaultRowHeight", 23));
    QCOMPARE(grid->requestedHeights, QList<int>{23});
    QCOMPARE(grid->rowHeight(1), 23);
}

void tst_GridHooks::keysComeInTwoSteps()
{
    GridFixture fixture(3);
    auto grid = fixture.makeGrid<HookGrid>(3);
    grid->setReadOnly(true);
    const int first = grid->col();
    QTest::keyClick(grid.get(), Qt::Key_Return);
    QCOMPARE(grid->col(), first);
    grid->enterAsTab = true;
    QTest::keyClick(grid.get(), Qt::Key_Return);
    QCOMPARE(grid->col(), first + 1);
    // A key the first step leaves alone reaches the second with its text; a move never does.
    QTest::keyClick(grid.get(), Qt::Key_Down);
    QTest::keyClicks(grid.get(), QStringLiteral("ab"));
    QCOMPARE(grid->typed, QStringLiteral("ab"));
}

void tst_GridHooks::editorGoesWhereTheGridSays()
{
    GridFixture fixture(3);
    auto grid = fixture.makeGrid<HookGrid>(3);
    const QRect cell = grid->cellRect(grid->col(), grid->row());
    grid->editorPlace = cell.adjusted(2, 2, -2, -2);
    grid->setEditorMode(true);
    QVERIFY(grid->inplaceEditor());
    QVERIFY(grid->inplaceEditor()->isVisible());
    QCOMPARE(grid->inplaceEditor()->geometry(), grid->editorPlace);
}

void tst_GridHooks::columnMoveReportsItsCourse()
{
    GridFixture fixture(3);
    auto grid = fixture.makeGrid<HookGrid>(3);
    grid->setCellOptions(grid->cellOptions() | CellGrid::goColMoving);
    const QRect from = grid->cellRect(1, 0);
    const QRect to = grid->cellRect(3, 0);
    QTest::mousePress(grid->viewport(), Qt::LeftButton, {}, from.center());
    QMouseEvent move(QEvent::MouseMove, QPointF(to.center()), grid->viewport()->mapToGlobal(QPointF(to.center())),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(grid->viewport(), &move);
    QCOMPARE(grid->dragMoves, QList<QPoint>{to.center()});
    QCOMPARE(grid->dragIndex(), 1);
    QCOMPARE(grid->dragTarget(), 3);
    QVERIFY(!grid->feedbackRect().isEmpty());
    QTest::mouseRelease(grid->viewport(), Qt::LeftButton, {}, to.center());
    QCOMPARE(grid->dragEnds, 1);
}

namespace {

// Companion windows that only note what the grid asked of them.
class NotingCompanions : public GridCompanions
{
public:
    explicit NotingCompanions(QStringList &calls) : m_calls(calls) { }

    void viewField(TDBGrid &, Field &field, const QString &caption) override
    {
        m_calls << caption + QLatin1Char(' ') + field.fieldName();
    }
    bool chooseColumns(TDBGrid &) override
    {
        m_calls << QStringLiteral("choose");
        return true;
    }
    void queryByForm(TDBGrid &, FormMode mode) override
    {
        m_calls << (mode == FormMode::Query ? QStringLiteral("query") : QStringLiteral("sort"));
    }
    void printDataSet(TDBGrid &, const QString &caption, PrintMode) override { m_calls << caption; }
    void printGrid(TDBGrid &, const QString &caption, PrintMode) override { m_calls << caption; }

private:
    QStringList &m_calls;
};

}  // namespace

void tst_GridHooks::companionWindowsAreReachedThroughTheInstalledOnes()
{
    GridCompanions::install(nullptr);
    // Without installed windows a command fails with a message rather than doing nothing.
    QVERIFY_THROWS_EXCEPTION(Error, gridCompanions());

    QStringList calls;
    QVERIFY(!GridCompanions::install(std::make_unique<NotingCompanions>(calls)));
    GridFixture fixture(2);
    auto grid = fixture.makeGrid<HookGrid>(2);
    gridCompanions().viewField(*grid, *fixture.table.fieldByName(QStringLiteral("Notes")), QStringLiteral("Field:"));
    gridCompanions().queryByForm(*grid, GridCompanions::FormMode::Sort);
    QCOMPARE(calls, (QStringList{QStringLiteral("Field: Notes"), QStringLiteral("sort")}));

    // A program that installs only some windows: the others fail with a message naming them.
    GridCompanions::install(std::make_unique<GridCompanions>());
    try {
        gridCompanions().chooseColumns(*grid);
        QFAIL("a missing column chooser reported nothing");
    } catch (const Error &error) {
        QCOMPARE(error.message(), QStringLiteral("The column chooser is not available."));
    }
    QVERIFY(GridCompanions::install(nullptr));
}

void tst_GridHooks::releasedEditorHookStopsAtOnceAndGoesLater()
{
    QObject first;
    QObject second;
    first.setObjectName(QStringLiteral("first"));
    second.setObjectName(QStringLiteral("second"));
    QStringList seen;
    bool releaseNow = false;
    EditorHook *hook = nullptr;
    hook = new EditorHook(&first, [&](QObject *watched, QEvent *) {
        seen << watched->objectName();
        if (releaseNow)
            hook->release();
        return false;
    });
    hook->watch(&second);
    const QPointer<EditorHook> alive(hook);
    QEvent event(QEvent::User);
    QCoreApplication::sendEvent(&first, &event);
    QCoreApplication::sendEvent(&second, &event);
    QCOMPARE(seen, (QStringList{QStringLiteral("first"), QStringLiteral("second")}));

    // Released from inside one of its own events, as the grid may do: that event ends safely, no
    // later one reaches it, and it lives until control returns to the event loop.
    releaseNow = true;
    QCoreApplication::sendEvent(&second, &event);
    QCoreApplication::sendEvent(&first, &event);
    QCoreApplication::sendEvent(&second, &event);
    QCOMPARE(seen, (QStringList{QStringLiteral("first"), QStringLiteral("second"), QStringLiteral("second")}));
    QVERIFY(alive);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!alive);
}

QTEST_MAIN(tst_GridHooks)
#include "tst_gridhooks.moc"
