#include "gridwin/tbuttonstatusbar.h"
#include "testworkspace.h"

#include <QPushButton>
#include <QSignalSpy>
#include <QSizeGrip>
#include <QVBoxLayout>
#include <QtTest>

using namespace kelvara;

namespace {

// A window like the column chooser's: its content above, the button bar along the bottom edge.
struct BarWindow
{
    QWidget window;
    QWidget *content;
    TButtonStatusBar *bar;

    BarWindow()
    {
        auto *layout = new QVBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        content = new QWidget(&window);
        layout->addWidget(content, 1);
        bar = new TButtonStatusBar(&window);
        layout->addWidget(bar);
    }
};

}  // namespace

class ButtonStatusBarTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void standsTwentySevenPixelsHighWithoutSizeGripOrMessages();
    void panelsHoldOneFlatButtonEachFromLeftToRight();
    void buttonStaysChildAndMovesWithTheBarOnResize();
    void buttonClicksArrive();
};

void ButtonStatusBarTest::standsTwentySevenPixelsHighWithoutSizeGripOrMessages()
{
    test::TestWorkspace workspace;
    BarWindow w;
    w.window.resize(300, 200);
    w.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w.window));
    QCOMPARE(w.bar->height(), 27);
    QCOMPARE(w.bar->geometry(), QRect(0, 200 - 27, 300, 27));
    QVERIFY(!w.bar->isSizeGripEnabled());
    QVERIFY(!w.bar->findChild<QSizeGrip *>());
    QCOMPARE(w.bar->currentMessage(), QString());
    QCOMPARE(w.bar->panelCount(), 0);
    QVERIFY(w.bar->autoFillBackground());
}

void ButtonStatusBarTest::panelsHoldOneFlatButtonEachFromLeftToRight()
{
    test::TestWorkspace workspace;
    BarWindow w;
    QPushButton *ok = w.bar->addButtonPanel(QStringLiteral("OK"), 75);
    QPushButton *cancel = w.bar->addButtonPanel(QStringLiteral("Cancel"), 90);
    w.window.resize(300, 200);
    w.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w.window));

    QCOMPARE(w.bar->panelCount(), 2);
    QVERIFY(ok->isFlat());
    QVERIFY(cancel->isFlat());
    QCOMPARE(ok->text(), QStringLiteral("OK"));
    QCOMPARE(cancel->text(), QStringLiteral("Cancel"));
    QCOMPARE(ok->parentWidget(), w.bar->panel(0));
    QCOMPARE(cancel->parentWidget(), w.bar->panel(1));
    QCOMPARE(w.bar->panel(0)->parentWidget(), w.bar);
    QCOMPARE(w.bar->panel(0)->width(), 75);
    QCOMPARE(w.bar->panel(1)->width(), 90);
    QVERIFY(w.bar->panel(0)->x() + 75 <= w.bar->panel(1)->x());
    // Each button fills its panel within the bar.
    for (QPushButton *button : {ok, cancel}) {
        QVERIFY(button->isVisible());
        const QRect inBar(button->mapTo(w.bar, QPoint(0, 0)), button->size());
        QVERIFY2(
            w.bar->rect().contains(inBar),
            qPrintable(
                QStringLiteral("%1 %2 %3 %4").arg(inBar.x()).arg(inBar.y()).arg(inBar.width()).arg(inBar.height())));
        QVERIFY(inBar.height() >= 16);
        QVERIFY(button->width() >= button->parentWidget()->width() - 2);
    }
}

void ButtonStatusBarTest::buttonStaysChildAndMovesWithTheBarOnResize()
{
    test::TestWorkspace workspace;
    BarWindow w;
    QPushButton *ok = w.bar->addButtonPanel(QStringLiteral("OK"), 75);
    QPushButton *cancel = w.bar->addButtonPanel(QStringLiteral("Cancel"), 75);
    w.window.resize(300, 200);
    w.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w.window));
    const QRect okInBar(ok->mapTo(w.bar, QPoint(0, 0)), ok->size());
    const QRect cancelInBar(cancel->mapTo(w.bar, QPoint(0, 0)), cancel->size());
    const QPoint okInWindow = ok->mapTo(&w.window, QPoint(0, 0));

    w.window.resize(480, 330);
    QTRY_COMPARE(w.bar->geometry(), QRect(0, 330 - 27, 480, 27));
    QCoreApplication::processEvents();
    QVERIFY(w.bar->isAncestorOf(ok));
    QVERIFY(w.bar->isAncestorOf(cancel));
    QCOMPARE(QRect(ok->mapTo(w.bar, QPoint(0, 0)), ok->size()), okInBar);
    QCOMPARE(QRect(cancel->mapTo(w.bar, QPoint(0, 0)), cancel->size()), cancelInBar);
    QCOMPARE(ok->mapTo(&w.window, QPoint(0, 0)), okInWindow + QPoint(0, 130));
    QVERIFY(ok->isVisible());

    w.window.resize(250, 120);
    QTRY_COMPARE(w.bar->geometry(), QRect(0, 120 - 27, 250, 27));
    QCoreApplication::processEvents();
    QCOMPARE(QRect(ok->mapTo(w.bar, QPoint(0, 0)), ok->size()), okInBar);
    QCOMPARE(ok->mapTo(&w.window, QPoint(0, 0)), okInWindow - QPoint(0, 80));
}

void ButtonStatusBarTest::buttonClicksArrive()
{
    test::TestWorkspace workspace;
    BarWindow w;
    QPushButton *ok = w.bar->addButtonPanel(QStringLiteral("OK"), 75);
    w.window.resize(300, 200);
    w.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w.window));
    QSignalSpy clicked(ok, &QPushButton::clicked);
    QTest::mouseClick(ok, Qt::LeftButton);
    QCOMPARE(clicked.count(), 1);
}

QTEST_MAIN(ButtonStatusBarTest)
#include "tst_buttonstatusbar.moc"
