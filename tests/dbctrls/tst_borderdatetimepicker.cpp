#include "dbctrls/tborderdatetimepicker.h"
#include "testworkspace.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QImage>
#include <QLineEdit>
#include <QSignalSpy>
#include <QtTest>

using namespace kelvara;

namespace {

// Counts the paint events a widget receives.
class PaintCounter : public QObject
{
public:
    int count = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++count;
        return false;
    }
};

QLineEdit *editOf(TBorderDateTimePicker &picker)
{
    return picker.findChild<QLineEdit *>();
}

QImage grabOf(TBorderDateTimePicker &picker)
{
    return picker.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// The colour at every pixel of a line of the frame, given as the inward distance from an edge:
// the top, bottom, left and right edges are walked along their whole length.
QString edgeMismatch(const QImage &image, int inset, const QColor &expected)
{
    const int w = image.width();
    const int h = image.height();
    const auto check = [&](int x, int y) -> QString {
        const QColor got = image.pixelColor(x, y);
        if (got != expected)
            return QStringLiteral("(%1,%2) is %3, not %4").arg(x).arg(y).arg(got.name(), expected.name());
        return QString();
    };
    for (int x = 0; x < w; ++x) {
        if (QString m = check(x, inset); !m.isEmpty())
            return m;
        if (QString m = check(x, h - 1 - inset); !m.isEmpty())
            return m;
    }
    for (int y = 0; y < h; ++y) {
        if (QString m = check(inset, y); !m.isEmpty())
            return m;
        if (QString m = check(w - 1 - inset, y); !m.isEmpty())
            return m;
    }
    return QString();
}

// The inner ring, one pixel inside the frame, leaving out its corners, must hold no pixel of the
// frame's colour along most of its length: the frame is 2 pixels wide, not wider.
int innerPixelsOf(const QImage &image, const QColor &color)
{
    const int w = image.width();
    const int h = image.height();
    const int in = TBorderDateTimePicker::FrameWidth;
    int n = 0;
    for (int x = in + 1; x < w - in - 1; ++x)
        n += (image.pixelColor(x, in) == color) + (image.pixelColor(x, h - 1 - in) == color);
    for (int y = in + 1; y < h - in - 1; ++y)
        n += (image.pixelColor(in, y) == color) + (image.pixelColor(w - 1 - in, y) == color);
    return n;
}

}  // namespace

class BorderDateTimePickerTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void newPickerShowsAWhiteFrameOnAllFourEdges();
    void redBorderColourPaintsTheTwoOuterPixelsRedAndNoMore();
    void frameFollowsTheSize();
    void frameLiesOverATextBoxThatReachesTheEdges();
    void equalColourDoesNotRecreate();
    void newColourRecreatesOnce();
    void dropDownCalendarIsOn();
    void kindChoosesTheLocalesShortDateOrTime();
    void colourIsTheBackgroundOfTheTextBox();
    void clicksReachThePicker();
};

void BorderDateTimePickerTest::initTestCase()
{
    // No cursor blinking: it would repaint while a test counts paints.
    QApplication::setCursorFlashTime(0);
}

void BorderDateTimePickerTest::newPickerShowsAWhiteFrameOnAllFourEdges()
{
    test::TestWorkspace workspace;
    TBorderDateTimePicker picker;
    QCOMPARE(picker.borderColor(), QColor(255, 255, 255));
    QCOMPARE(picker.property("BorderColor").value<QColor>(), QColor(255, 255, 255));
    picker.setColor(QColor(Qt::yellow));
    picker.resize(130, 24);
    const QImage image = grabOf(picker);
    QCOMPARE(image.size(), QSize(130, 24));
    const QColor white(255, 255, 255);
    QCOMPARE(edgeMismatch(image, 0, white), QString());
    QCOMPARE(edgeMismatch(image, 1, white), QString());
    QCOMPARE(innerPixelsOf(image, white), 0);
}

void BorderDateTimePickerTest::redBorderColourPaintsTheTwoOuterPixelsRedAndNoMore()
{
    test::TestWorkspace workspace;
    TBorderDateTimePicker picker;
    picker.resize(130, 24);
    picker.setProperty("BorderColor", QColor(Qt::red));
    QCOMPARE(picker.borderColor(), QColor(Qt::red));
    const QImage image = grabOf(picker);
    QCOMPARE(edgeMismatch(image, 0, Qt::red), QString());
    QCOMPARE(edgeMismatch(image, 1, Qt::red), QString());
    QCOMPARE(innerPixelsOf(image, Qt::red), 0);
    // The frame is flat: the bottom-right edges are in the same colour as the top-left ones.
    QCOMPARE(image.pixelColor(0, 0), image.pixelColor(image.width() - 1, image.height() - 1));
}

void BorderDateTimePickerTest::frameFollowsTheSize()
{
    test::TestWorkspace workspace;
    TBorderDateTimePicker picker;
    picker.setBorderColor(Qt::blue);
    picker.resize(100, 22);
    (void)grabOf(picker);
    picker.resize(180, 30);
    const QImage image = grabOf(picker);
    QCOMPARE(image.size(), QSize(180, 30));
    QCOMPARE(edgeMismatch(image, 0, Qt::blue), QString());
    QCOMPARE(edgeMismatch(image, 1, Qt::blue), QString());
    QCOMPARE(innerPixelsOf(image, Qt::blue), 0);
}

void BorderDateTimePickerTest::frameLiesOverATextBoxThatReachesTheEdges()
{
    test::TestWorkspace workspace;
    TBorderDateTimePicker picker;
    picker.setColor(QColor(Qt::yellow));
    picker.setBorderColor(Qt::red);
    picker.resize(130, 24);
    (void)grabOf(picker);
    // A style may let the text box reach the control's edges; the frame still lies over it.
    editOf(picker)->setGeometry(picker.rect());
    const QImage image = grabOf(picker);
    QCOMPARE(edgeMismatch(image, 0, Qt::red), QString());
    QCOMPARE(edgeMismatch(image, 1, Qt::red), QString());
    QCOMPARE(innerPixelsOf(image, Qt::red), 0);
}

void BorderDateTimePickerTest::equalColourDoesNotRecreate()
{
    test::TestWorkspace workspace;
    QWidget window;
    auto *picker = new TBorderDateTimePicker(&window);
    picker->setGeometry(10, 10, 130, 24);
    window.resize(200, 60);
    PaintCounter paints;
    picker->installEventFilter(&paints);
    QWidget *frame = picker->findChild<QWidget *>(QStringLiteral("borderFrame"));
    QVERIFY(frame);
    frame->installEventFilter(&paints);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // The window's first paint is over before the colour is set again.
    QTRY_VERIFY(paints.count > 0);
    QCoreApplication::processEvents();
    paints.count = 0;
    QSignalSpy changed(picker, &TBorderDateTimePicker::borderColorChanged);

    picker->setBorderColor(QColor(255, 255, 255));
    picker->setProperty("BorderColor", QColor(Qt::white));
    QCoreApplication::processEvents();
    QCOMPARE(changed.count(), 0);
    QCOMPARE(paints.count, 0);
    QCOMPARE(picker->borderColor(), QColor(255, 255, 255));
}

void BorderDateTimePickerTest::newColourRecreatesOnce()
{
    test::TestWorkspace workspace;
    QWidget window;
    auto *picker = new TBorderDateTimePicker(&window);
    picker->setGeometry(10, 10, 130, 24);
    window.resize(200, 60);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QSignalSpy changed(picker, &TBorderDateTimePicker::borderColorChanged);
    PaintCounter paints;
    picker->findChild<QWidget *>(QStringLiteral("borderFrame"))->installEventFilter(&paints);

    picker->setBorderColor(Qt::green);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).value<QColor>(), QColor(Qt::green));
    QTRY_VERIFY(paints.count > 0);
    picker->setBorderColor(Qt::green);
    QCOMPARE(changed.count(), 1);
}

void BorderDateTimePickerTest::dropDownCalendarIsOn()
{
    test::TestWorkspace workspace;
    TBorderDateTimePicker picker;
    QVERIFY(picker.calendarPopup());
    QVERIFY(picker.calendarWidget());
}

void BorderDateTimePickerTest::kindChoosesTheLocalesShortDateOrTime()
{
    test::TestWorkspace workspace(QLocale(QLocale::German, QLocale::Germany));
    TBorderDateTimePicker picker;
    QCOMPARE(picker.kind(), TBorderDateTimePicker::dtkDate);
    QCOMPARE(picker.displayFormat(), QLocale().dateFormat(QLocale::ShortFormat));
    QVERIFY(picker.setProperty("Kind", QStringLiteral("dtkTime")));
    QCOMPARE(picker.kind(), TBorderDateTimePicker::dtkTime);
    QCOMPARE(picker.displayFormat(), QLocale().timeFormat(QLocale::ShortFormat));
    picker.setTime(QTime(14, 5));
    QCOMPARE(picker.text(), QLocale().toString(QTime(14, 5), QLocale::ShortFormat));
    picker.setKind(TBorderDateTimePicker::dtkDate);
    picker.setDate(QDate(2024, 3, 5));
    QCOMPARE(picker.date(), QDate(2024, 3, 5));
    QCOMPARE(picker.text(), QLocale().toString(QDate(2024, 3, 5), QLocale::ShortFormat));
}

void BorderDateTimePickerTest::colourIsTheBackgroundOfTheTextBox()
{
    test::TestWorkspace workspace;
    TBorderDateTimePicker picker;
    picker.resize(130, 24);
    const QColor edit(0xE0, 0xF0, 0xC0);
    picker.setColor(edit);
    picker.setBorderColor(edit);
    QCOMPARE(picker.color(), edit);
    QCOMPARE(editOf(picker)->palette().color(QPalette::Base), edit);
    const QImage image = grabOf(picker);
    // Just inside the text box, before the text begins.
    const QPoint inside = editOf(picker)->geometry().topLeft() + QPoint(1, 1);
    QCOMPARE(image.pixelColor(inside), edit);
    QCOMPARE(image.pixelColor(0, 0), edit);
}

void BorderDateTimePickerTest::clicksReachThePicker()
{
    test::TestWorkspace workspace;
    QWidget window;
    auto *picker = new TBorderDateTimePicker(&window);
    picker->setGeometry(10, 10, 130, 24);
    window.resize(200, 60);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // The frame lies over the whole picker but takes no clicks: the text box beneath gets them.
    QCOMPARE(picker->childAt(1, 12), editOf(*picker)->geometry().contains(1, 12) ? editOf(*picker) : nullptr);
    QCOMPARE(picker->childAt(editOf(*picker)->geometry().center()), editOf(*picker));
}

QTEST_MAIN(BorderDateTimePickerTest)
#include "tst_borderdatetimepicker.moc"
