// The enhanced grid's scrolling on a real grid: the wheel with its events and a high-resolution
// wheel's small deltas, the records following a dragged scroll box, and the record position hint.

#include "grid/scrollhintwindow.h"
#include "grid/tenhancedgrid.h"
#include "gridfixture.h"
#include "platform/colorvalues.h"

#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QtTest>

#include <memory>

using namespace kelvara;
using namespace kelvara::test;

namespace {

constexpr int kRecords = 20;

// What the grid's wheel events were asked, and what the test told them to answer.
struct WheelLog
{
    int downCalls = 0;
    int upCalls = 0;
    QPoint lastPos;
    Qt::KeyboardModifiers lastShift;
    QObject *lastSender = nullptr;
};

enum class Handler { None, DownHandles, DownLeaves, UpHandles };

// Where the bar's style puts a part of the bar as it stands.
QRect barPart(const QScrollBar &bar, QStyle::SubControl part)
{
    QStyleOptionSlider option;
    option.initFrom(&bar);
    option.subControls = QStyle::SC_All;
    option.orientation = bar.orientation();
    if (bar.orientation() == Qt::Horizontal)
        option.state |= QStyle::State_Horizontal;
    option.minimum = bar.minimum();
    option.maximum = bar.maximum();
    option.sliderPosition = bar.sliderPosition();
    option.sliderValue = bar.value();
    option.singleStep = bar.singleStep();
    option.pageStep = bar.pageStep();
    option.upsideDown = bar.invertedAppearance();
    return bar.style()->subControlRect(QStyle::CC_ScrollBar, &option, part, &bar);
}

// A grid of the fixture's records with scroll bars, showing five rows.
struct ScrollFixture
{
    GridFixture data{kRecords};
    std::unique_ptr<TEnhancedGrid> grid = data.makeGrid<TEnhancedGrid>();
    WheelLog log;
    QWidget pad;

    ScrollFixture()
    {
        grid->setScrollBars(CellGrid::ssBoth);
        grid->resize(grid->width(), grid->height() + grid->horizontalScrollBar()->sizeHint().height());
        QCoreApplication::processEvents();
    }

    void install(Handler handler)
    {
        auto record = [this](bool down, bool handles) {
            return
                [this, down, handles](QObject *sender, Qt::KeyboardModifiers shift, const QPoint &pos, bool &handled) {
                    QVERIFY(!handled);
                    ++(down ? log.downCalls : log.upCalls);
                    log.lastSender = sender;
                    log.lastShift = shift;
                    log.lastPos = pos;
                    handled = handles;
                };
        };
        switch (handler) {
        case Handler::None: break;
        case Handler::DownHandles: grid->OnMouseWheelDown = record(true, true); break;
        case Handler::DownLeaves: grid->OnMouseWheelDown = record(true, false); break;
        case Handler::UpHandles: grid->OnMouseWheelUp = record(false, true); break;
        }
    }

    // Turns the wheel over the grid; a touchpad's events carry pixels as well as the angle.
    bool wheel(int angle, Qt::KeyboardModifiers shift = Qt::NoModifier, const QPoint &pos = QPoint(40, 40))
    {
        QWidget *viewport = grid->viewport();
        QWheelEvent event(pos, viewport->mapToGlobal(pos), QPoint(0, angle / 8), QPoint(0, angle), Qt::NoButton, shift,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(viewport, &event);
        return event.isAccepted();
    }

    int recNo() const { return data.table.recNo(); }

    // Presses and releases the left button as the desktop reports it, so the application knows
    // the button is down in between.
    void press(QWidget *widget, const QPoint &pos)
    {
        QTest::mousePress(widget->window()->windowHandle(), Qt::LeftButton, {}, widget->mapTo(widget->window(), pos));
    }
    void release(QWidget *widget, const QPoint &pos)
    {
        QTest::mouseRelease(widget->window()->windowHandle(), Qt::LeftButton, {}, widget->mapTo(widget->window(), pos));
    }
    // The vertical bar's arrow that steps down.
    QPoint downArrow() const
    {
        QScrollBar *bar = grid->verticalScrollBar();
        return QPoint(bar->width() / 2, bar->height() - 3);
    }
    // Holds the left button down on a window of its own, so the press itself scrolls nothing.
    void holdButton()
    {
        pad.resize(50, 50);
        pad.show();
        QVERIFY(QTest::qWaitForWindowExposed(&pad));
        press(&pad, QPoint(10, 10));
    }
    void letGo() { release(&pad, QPoint(10, 10)); }
    ScrollHintWindow *hint() const { return grid->findChild<ScrollHintWindow *>(); }
    bool hintShown() const { return hint() && hint()->isVisible(); }
};

}  // namespace

class tst_EnhancedGridScrolling : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void wheelStep_data();
    void wheelStep();
    void wheelHandlerGetsShiftAndPosition();
    void smallDeltasAddUpToNotches_data();
    void smallDeltasAddUpToNotches();

    void thumbDrag_data();
    void thumbDrag();
    void horizontalThumbDrag_data();
    void horizontalThumbDrag();
    void horizontalBoxStandsWhereTheViewIs_data();
    void horizontalBoxStandsWhereTheViewIs();

    void hintText_data();
    void hintText();
    void hintWindowSizeAndPlace();
    void hintShowsWhileArrowIsHeld();
    void hintFollowsDraggedBox();
    void noHint_data();
    void noHint();
};

void tst_EnhancedGridScrolling::wheelStep_data()
{
    QTest::addColumn<int>("startRecord");
    QTest::addColumn<int>("angle");
    QTest::addColumn<Handler>("handler");
    QTest::addColumn<int>("expectedRecord");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("downCalls");
    QTest::addColumn<int>("upCalls");

    // A wheel turned towards the user scrolls down: a negative angle.
    QTest::newRow("down, no handler -> next record") << 3 << -120 << Handler::None << 4 << true << 0 << 0;
    QTest::newRow("up, no handler -> previous record") << 3 << 120 << Handler::None << 2 << true << 0 << 0;
    QTest::newRow("two notches in one event -> two records") << 3 << -240 << Handler::None << 5 << true << 0 << 0;
    QTest::newRow("down handler sets Handled -> stays") << 3 << -120 << Handler::DownHandles << 3 << true << 1 << 0;
    QTest::newRow("down handler leaves Handled -> next record")
        << 3 << -120 << Handler::DownLeaves << 4 << true << 1 << 0;
    QTest::newRow("up handler only asked upwards") << 3 << -120 << Handler::UpHandles << 4 << true << 0 << 0;
    QTest::newRow("up handler sets Handled -> stays") << 3 << 120 << Handler::UpHandles << 3 << true << 0 << 1;
    QTest::newRow("down on the last record -> unhandled")
        << kRecords << -120 << Handler::None << kRecords << false << 0 << 0;
    QTest::newRow("up on the first record -> unhandled") << 1 << 120 << Handler::None << 1 << false << 0 << 0;
    QTest::newRow("down on the last record, handler sets Handled -> handled")
        << kRecords << -120 << Handler::DownHandles << kRecords << true << 1 << 0;
}

void tst_EnhancedGridScrolling::wheelStep()
{
    QFETCH(int, startRecord);
    QFETCH(int, angle);
    QFETCH(Handler, handler);
    QFETCH(int, expectedRecord);
    QFETCH(bool, accepted);
    QFETCH(int, downCalls);
    QFETCH(int, upCalls);
    ScrollFixture f;
    f.data.table.setRecNo(startRecord);
    f.install(handler);

    QCOMPARE(f.wheel(angle), accepted);
    QCOMPARE(f.recNo(), expectedRecord);
    QCOMPARE(f.log.downCalls, downCalls);
    QCOMPARE(f.log.upCalls, upCalls);
    // Wheeling past the end never appends a record.
    QCOMPARE(f.data.table.recordCount(), kRecords);
}

void tst_EnhancedGridScrolling::wheelHandlerGetsShiftAndPosition()
{
    ScrollFixture f;
    f.install(Handler::DownHandles);
    f.wheel(-120, Qt::ShiftModifier, QPoint(55, 33));
    QCOMPARE(f.log.downCalls, 1);
    QCOMPARE(f.log.lastSender, f.grid.get());
    QCOMPARE(f.log.lastShift, Qt::KeyboardModifiers(Qt::ShiftModifier));
    QCOMPARE(f.log.lastPos, QPoint(55, 33));
}

void tst_EnhancedGridScrolling::smallDeltasAddUpToNotches_data()
{
    QTest::addColumn<QList<int>>("angles");
    QTest::addColumn<int>("expectedRecord");
    QTest::addColumn<int>("handlerCalls");

    // Each case starts on record 5 with an OnMouseWheelDown that leaves Handled alone.
    QTest::newRow("eight deltas of 15 -> one record") << QList<int>{-15, -15, -15, -15, -15, -15, -15, -15} << 6 << 1;
    QTest::newRow("119 -> nothing yet") << QList<int>{-100, -19} << 5 << 0;
    QTest::newRow("seven deltas of 40 -> two records, 40 left over")
        << QList<int>{-40, -40, -40, -40, -40, -40, -40} << 7 << 2;
    QTest::newRow("back and forth cancels, then one notch down") << QList<int>{-60, 60, -60, -60} << 6 << 1;
    QTest::newRow("small deltas upwards -> one record back") << QList<int>{30, 30, 30, 30} << 4 << 0;
}

void tst_EnhancedGridScrolling::smallDeltasAddUpToNotches()
{
    QFETCH(QList<int>, angles);
    QFETCH(int, expectedRecord);
    QFETCH(int, handlerCalls);
    ScrollFixture f;
    f.data.table.setRecNo(5);
    f.install(Handler::DownLeaves);
    for (int angle : angles)
        f.wheel(angle);
    QCOMPARE(f.recNo(), expectedRecord);
    QCOMPARE(f.log.downCalls, handlerCalls);
}

void tst_EnhancedGridScrolling::thumbDrag_data()
{
    QTest::addColumn<bool>("extendedScroll");
    QTest::addColumn<int>("recordWhileDragging");

    QTest::newRow("ExtendedScroll on -> records follow the box") << true << 13;
    QTest::newRow("ExtendedScroll off -> records wait for the release") << false << 1;
}

void tst_EnhancedGridScrolling::thumbDrag()
{
    QFETCH(bool, extendedScroll);
    QFETCH(int, recordWhileDragging);
    ScrollFixture f;
    f.grid->setExtendedScroll(extendedScroll);
    QScrollBar *bar = f.grid->verticalScrollBar();
    QCOMPARE(bar->maximum(), kRecords - 1);

    bar->setSliderDown(true);
    bar->setSliderPosition(7);
    bar->setSliderPosition(12);
    QCOMPARE(f.recNo(), recordWhileDragging);
    // The box stays where the user holds it while the records follow.
    QCOMPARE(bar->sliderPosition(), 12);

    bar->setSliderDown(false);
    QCOMPARE(f.recNo(), 13);
    QCOMPARE(bar->value(), 12);
}

void tst_EnhancedGridScrolling::horizontalThumbDrag_data()
{
    QTest::addColumn<bool>("extendedScroll");
    QTest::addColumn<bool>("followsWhileDragging");

    QTest::newRow("ExtendedScroll on -> columns follow the box") << true << true;
    QTest::newRow("ExtendedScroll off -> columns wait for the release") << false << false;
}

void tst_EnhancedGridScrolling::horizontalThumbDrag()
{
    QFETCH(bool, extendedScroll);
    QFETCH(bool, followsWhileDragging);
    ScrollFixture f;
    for (const QString &name : {QStringLiteral("Name"), QStringLiteral("City"), QStringLiteral("Count"),
                                QStringLiteral("Notes"), QStringLiteral("Name"), QStringLiteral("City")})
        addColumn(*f.grid, name, 150);
    QCoreApplication::processEvents();
    f.grid->setExtendedScroll(extendedScroll);
    QScrollBar *bar = f.grid->horizontalScrollBar();
    QVERIFY(bar->maximum() >= 2);
    const int firstLeft = f.grid->leftCol();

    bar->setSliderDown(true);
    bar->setSliderPosition(2);
    QCOMPARE(f.grid->leftCol(), followsWhileDragging ? firstLeft + 2 : firstLeft);

    bar->setSliderDown(false);
    QCOMPARE(f.grid->leftCol(), firstLeft + 2);
}

void tst_EnhancedGridScrolling::horizontalBoxStandsWhereTheViewIs_data()
{
    QTest::addColumn<int>("widths");  // of the three columns
    QTest::addColumn<bool>("atEnd");  // scrolled as far as it goes

    // Columns a little wider together than the grid leave a position or two to scroll.
    QTest::newRow("one position to scroll, first column in view") << 140 << false;
    QTest::newRow("one position to scroll, scrolled to the end") << 140 << true;
    QTest::newRow("several positions, first column in view") << 300 << false;
    QTest::newRow("several positions, scrolled to the end") << 300 << true;
}

void tst_EnhancedGridScrolling::horizontalBoxStandsWhereTheViewIs()
{
    QFETCH(int, widths);
    QFETCH(bool, atEnd);
    ScrollFixture f;
    for (const QString &name : {QStringLiteral("Name"), QStringLiteral("City"), QStringLiteral("Count")})
        addColumn(*f.grid, name, widths);
    QCoreApplication::processEvents();
    QScrollBar *bar = f.grid->horizontalScrollBar();
    QVERIFY(bar->maximum() >= 1);
    if (atEnd)
        bar->triggerAction(QAbstractSlider::SliderToMaximum);
    QCOMPARE(f.grid->leftCol(), atEnd ? f.grid->fixedCols() + bar->maximum() : f.grid->fixedCols());

    // The box lies at the end of the track the view is at, and the track beside it is the
    // larger part of the bar, so that nothing else reads as the box.
    const QRect groove = barPart(*bar, QStyle::SC_ScrollBarGroove);
    const QRect box = barPart(*bar, QStyle::SC_ScrollBarSlider);
    QVERIFY(!box.isEmpty());
    if (atEnd)
        QCOMPARE(box.right(), groove.right());
    else
        QCOMPARE(box.left(), groove.left());
    QVERIFY2(box.width() * 2 < groove.width(),
             qPrintable(QStringLiteral("box %1 of a track %2 wide").arg(box.width()).arg(groove.width())));
}

void tst_EnhancedGridScrolling::hintText_data()
{
    QTest::addColumn<int>("recNo");
    QTest::addColumn<int>("recordCount");
    QTest::addColumn<QString>("text");

    QTest::newRow("12 of 57") << 12 << 57 << QStringLiteral(" 12 of 57 ");
    QTest::newRow("1 of 1") << 1 << 1 << QStringLiteral(" 1 of 1 ");
    QTest::newRow("large numbers stay undivided") << 100000 << 100000 << QStringLiteral(" 100000 of 100000 ");
}

void tst_EnhancedGridScrolling::hintText()
{
    QFETCH(int, recNo);
    QFETCH(int, recordCount);
    QFETCH(QString, text);
    QCOMPARE(ScrollHintWindow::positionText(recNo, recordCount), text);
}

void tst_EnhancedGridScrolling::hintWindowSizeAndPlace()
{
    QWidget owner;
    ScrollHintWindow hint(&owner);
    QCOMPARE(ScrollHintWindow::placeFor(QPoint(200, 300)), QPoint(216, 316));
    QCOMPARE(hint.palette().color(QPalette::Window), systemColor(SystemColor::InfoBk));
    QCOMPARE(hint.palette().color(QPalette::WindowText), systemColor(SystemColor::InfoText));

    const QString shortText = ScrollHintWindow::positionText(12, 57);
    const QSize shortSize = hint.sizeFor(shortText);
    QVERIFY(shortSize.width() >= hint.fontMetrics().horizontalAdvance(shortText));
    QVERIFY(shortSize.width() <= ScrollHintWindow::MaxWidth);
    // A text wider than the limit wraps rather than widening the window.
    const QString longText = QStringLiteral("one two three four five six seven eight nine ten eleven");
    const QSize longSize = hint.sizeFor(longText);
    QCOMPARE(longSize.width(), ScrollHintWindow::MaxWidth);
    QVERIFY(longSize.height() > shortSize.height());
}

void tst_EnhancedGridScrolling::hintShowsWhileArrowIsHeld()
{
    ScrollFixture f;
    f.grid->setScrollHints(true);
    f.data.table.setRecNo(4);
    QScrollBar *bar = f.grid->verticalScrollBar();
    QVERIFY(bar->isVisible());
    f.press(bar, f.downArrow());
    const QPoint pointer = QCursor::pos();
    QCOMPARE(f.recNo(), 5);
    QVERIFY(f.hintShown());
    QCOMPARE(f.hint()->text(), QStringLiteral(" 5 of 20 "));
    QCOMPARE(f.hint()->pos(), ScrollHintWindow::placeFor(pointer));

    // Letting go of the arrow takes the hint away, although no scroll notification follows.
    f.release(bar, f.downArrow());
    QVERIFY(!f.hintShown());

    // A notification that arrives while the button is up shows no hint.
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QCOMPARE(f.recNo(), 6);
    QVERIFY(!f.hintShown());
}

void tst_EnhancedGridScrolling::hintFollowsDraggedBox()
{
    ScrollFixture f;
    f.grid->setScrollHints(true);
    QScrollBar *bar = f.grid->verticalScrollBar();
    f.holdButton();
    bar->setSliderDown(true);
    bar->setSliderPosition(9);
    QVERIFY(f.hintShown());
    QCOMPARE(f.hint()->text(), QStringLiteral(" 10 of 20 "));
    bar->setSliderPosition(15);
    QCOMPARE(f.hint()->text(), QStringLiteral(" 16 of 20 "));
    f.letGo();
    bar->setSliderDown(false);
    QVERIFY(!f.hintShown());
    QCOMPARE(f.recNo(), 16);
}

void tst_EnhancedGridScrolling::noHint_data()
{
    QTest::addColumn<bool>("scrollHints");
    QTest::addColumn<bool>("tableOpen");

    QTest::newRow("ScrollHints off") << false << true;
    QTest::newRow("data source inactive") << true << false;
}

void tst_EnhancedGridScrolling::noHint()
{
    QFETCH(bool, scrollHints);
    QFETCH(bool, tableOpen);
    ScrollFixture f;
    f.grid->setScrollHints(scrollHints);
    if (!tableOpen)
        f.data.table.close();
    f.holdButton();
    f.grid->verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QVERIFY(!f.hintShown());
    f.letGo();
}

QTEST_MAIN(tst_EnhancedGridScrolling)
#include "tst_enhancedgrid_scrolling.moc"
