#include "dbctrls/tdateedit.h"
#include "testworkspace.h"

#include <QAbstractItemView>
#include <QCalendarWidget>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTextCharFormat>
#include <QToolButton>
#include <QtTest>

using namespace kelvara;

class DateEditTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void writesTheDateInTheUsersOrder_data();
    void writesTheDateInTheUsersOrder();
    void calendarWeeksStartOnMondayWithSundayInBlue();
    void pickingADateWritesItAndTells_data();
    void pickingADateWritesItAndTells();
    void clickInTheTextAreaIsReported();
    void narrowBoxIsItsButtonInTheFocusChain_data();
    void narrowBoxIsItsButtonInTheFocusChain();
};

void DateEditTest::writesTheDateInTheUsersOrder_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("text");
    QTest::newRow("en_GB: day first, four-digit year")
        << QLocale(QLocale::English, QLocale::UnitedKingdom) << "05/03/2024";
    QTest::newRow("en_US: month first, two-digit year")
        << QLocale(QLocale::English, QLocale::UnitedStates) << "03/05/24";
    QTest::newRow("de_DE: dots, two-digit year") << QLocale(QLocale::German, QLocale::Germany) << "05.03.24";
}

void DateEditTest::writesTheDateInTheUsersOrder()
{
    QFETCH(QLocale, locale);
    QFETCH(QString, text);
    test::TestWorkspace workspace(locale);
    QCOMPARE(TDateEdit::formatDate(QDate(2024, 3, 5)), text);
    TDateEdit box;
    QCOMPARE(box.text(), QString());
    QVERIFY(!box.date().isValid());
    box.setDate(QDate(2024, 3, 5));
    QCOMPARE(box.text(), text);
    QCOMPARE(box.date(), QDate(2024, 3, 5));
}

void DateEditTest::calendarWeeksStartOnMondayWithSundayInBlue()
{
    test::TestWorkspace workspace;
    TDateEdit box;
    QCalendarWidget *calendar = box.calendar();
    QCOMPARE(calendar->firstDayOfWeek(), Qt::Monday);
    QCOMPARE(calendar->weekdayTextFormat(Qt::Sunday).foreground().color(), QColor(Qt::blue));
    const QColor saturday = calendar->weekdayTextFormat(Qt::Saturday).foreground().color();
    QCOMPARE(saturday, calendar->weekdayTextFormat(Qt::Monday).foreground().color());
    QVERIFY(saturday != QColor(Qt::red) && saturday != QColor(Qt::blue));
}

void DateEditTest::pickingADateWritesItAndTells_data()
{
    QTest::addColumn<QString>("opener");
    QTest::newRow("button") << "button";
    QTest::newRow("Alt+Down") << "keys";
}

void DateEditTest::pickingADateWritesItAndTells()
{
    QFETCH(QString, opener);
    test::TestWorkspace workspace;
    QWidget window;
    auto *box = new TDateEdit(&window);
    box->setGeometry(10, 10, 100, 22);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QSignalSpy changed(box, &TDateEdit::changed);
    QSignalSpy clicked(box, &TDateEdit::clicked);
    if (opener == QLatin1String("button")) {
        QTest::mouseClick(box->button(), Qt::LeftButton);
    } else {
        box->setFocus();
        QTest::keyClick(box->lineEdit(), Qt::Key_Down, Qt::AltModifier);
    }
    QVERIFY(box->isCalendarShown());
    // An empty box opens on today.
    QCOMPARE(box->calendar()->selectedDate(), QDate::currentDate());
    box->calendar()->setSelectedDate(QDate(2024, 2, 29));
    QWidget *view = box->calendar()->findChild<QAbstractItemView *>();
    QVERIFY(view);
    QTest::keyClick(view, Qt::Key_Return);
    QVERIFY(!box->isCalendarShown());
    QCOMPARE(box->text(), QStringLiteral("29/02/2024"));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(clicked.count(), 0);
    // Opened again, it shows the date of the box.
    box->showCalendar();
    QCOMPARE(box->calendar()->selectedDate(), QDate(2024, 2, 29));
    box->hideCalendar();
}

void DateEditTest::clickInTheTextAreaIsReported()
{
    test::TestWorkspace workspace;
    QWidget window;
    auto *box = new TDateEdit(&window);
    box->setGeometry(10, 10, 100, 22);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QSignalSpy changed(box, &TDateEdit::changed);
    QSignalSpy clicked(box, &TDateEdit::clicked);
    QTest::mouseClick(box->lineEdit(), Qt::LeftButton);
    QCOMPARE(clicked.count(), 1);
    QCOMPARE(changed.count(), 0);
    QVERIFY(!box->isCalendarShown());
}

void DateEditTest::narrowBoxIsItsButtonInTheFocusChain_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<bool>("textShown");
    QTest::newRow("25 wide, as on the data sheet: the button alone") << 25 << false;
    QTest::newRow("100 wide: text and button") << 100 << true;
}

void DateEditTest::narrowBoxIsItsButtonInTheFocusChain()
{
    QFETCH(int, width);
    QFETCH(bool, textShown);
    test::TestWorkspace workspace;
    QWidget window;
    auto *layout = new QHBoxLayout(&window);
    auto *before = new QLineEdit(&window);
    auto *box = new TDateEdit(&window);
    auto *after = new QLineEdit(&window);
    box->setFixedWidth(width);
    layout->addWidget(before);
    layout->addWidget(box);
    layout->addWidget(after);
    // The order is set before the window shows, as a window sets it up.
    QWidget::setTabOrder(before, box);
    QWidget::setTabOrder(box, after);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));

    QCOMPARE(box->lineEdit()->isVisible(), textShown);
    if (!textShown)
        QCOMPARE(box->button()->geometry(), box->rect());
    QWidget *takesFocus = textShown ? static_cast<QWidget *>(box->lineEdit()) : box->button();
    QVERIFY(takesFocus->width() > 10);

    before->setFocus();
    QTest::keyClick(before, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), takesFocus);
    QVERIFY(box->hasFocus());
    QTest::keyClick(takesFocus, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), after);
    QTest::keyClick(after, Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget(), takesFocus);
    // The keys of the box work where the focus is.
    QTest::keyClick(takesFocus, Qt::Key_Down, Qt::AltModifier);
    QVERIFY(box->isCalendarShown());
    box->hideCalendar();
}

QTEST_MAIN(DateEditTest)
#include "tst_dateedit.moc"
