// The window's find: the find bar, what it does to the shown jobs and to a job being typed, and
// the status bar's account of the shown jobs.
#include "app/tform1.h"
#include "dbctrls/tdbedit.h"
#include "namedchild.h"
#include "scripteddialogs.h"
#include "seedjobs.h"
#include "store/field.h"
#include "store/table.h"
#include "testworkspace.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QToolButton>
#include <QtTest>

using namespace kelvara;
using namespace kelvara::test;

namespace {

// The window on three jobs, shown, with its word index up to date.
struct FindWindow
{
    FindWindow()
    {
        form.show();
        if (!QTest::qWaitForWindowExposed(&form))
            qFatal("the window did not show");
        table = form.table();
        table->completeFindIndex();
    }

    QLineEdit *box(const char *name) { return namedChild<QLineEdit>(&form, name); }
    QString status() { return namedChild<QLabel>(&form, "ShownJobs")->text(); }
    QString current() { return table->fieldByName(QStringLiteral("Lastname"))->asString(); }
    // Types into a find box as a user does, replacing what it holds.
    void type(const char *name, const QString &text)
    {
        QLineEdit *target = box(name);
        target->setFocus();
        target->selectAll();
        if (text.isEmpty())
            QTest::keyClick(target, Qt::Key_Delete);
        else
            QTest::keyClicks(target, text);
    }

    TestWorkspace workspace;
    ScriptedDialogsScope dialogs;
    // The jobs are in the file before the window opens it.
    bool seeded
        = (seedJobs({{QStringLiteral("Berg"), 45}, {QStringLiteral("Sørum"), 75}, {QStringLiteral("Ødegård"), 30}}),
           true);
    TForm1 form;
    Table *table = nullptr;
};

}  // namespace

class FindWindowTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void findNarrowsAndEscShowsAll();
    void dateBoxes_data();
    void dateBoxes();
    void typedTextIsKeptWhenTheFindChanges();
    void queryRangeShowsInTheStatusBar();
};

void FindWindowTest::findNarrowsAndEscShowsAll()
{
    FindWindow w;
    QVERIFY(w.form.menuBar()->cornerWidget(Qt::TopRightCorner)->isAncestorOf(w.box("FindBox")));
    QTRY_COMPARE(w.status(), QStringLiteral("3 jobs, 2 h 30"));

    QTest::keyClick(&w.form, Qt::Key_F, Qt::ControlModifier);
    QCOMPARE(QApplication::focusWidget(), w.box("FindBox"));
    QTest::keyClicks(w.box("FindBox"), QStringLiteral("sor"));
    QTRY_COMPARE(w.table->recordCount(), 1);
    QCOMPARE(w.current(), QStringLiteral("Sørum"));
    QTRY_COMPARE(w.status(), QStringLiteral("1 of 3 jobs, 1 h 15"));

    // Esc shows every job again, and the job found stays the current one.
    QTest::keyClick(w.box("FindBox"), Qt::Key_Escape);
    QTRY_COMPARE(w.table->recordCount(), 3);
    QCOMPARE(w.current(), QStringLiteral("Sørum"));
    QTRY_COMPARE(w.status(), QStringLiteral("3 jobs, 2 h 30"));
    QVERIFY(w.box("FindBox")->text().isEmpty());

    // Nothing found: said over the grid, and no blank job is begun in its place.
    w.type("FindBox", QStringLiteral("chimney"));
    QTRY_COMPARE(w.table->recordCount(), 0);
    QTRY_VERIFY(namedChild<QLabel>(&w.form, "NoMatchLabel")->isVisible());
    QVERIFY(namedChild<QLabel>(&w.form, "NoMatchLabel")->text().contains(QStringLiteral("Esc")));
    QTRY_COMPARE(w.status(), QStringLiteral("0 of 3 jobs, 0 h 00"));
    namedChild<QToolButton>(&w.form, "FindClear")->click();
    QTRY_COMPARE(w.table->recordCount(), 3);
    QCOMPARE(w.table->storedCount(), 3);

    // A table opened anew, as after a restore, shows every job, and the bar no find.
    w.type("FindBox", QStringLiteral("sor"));
    QTRY_COMPARE(w.table->recordCount(), 1);
    w.table->close();
    w.table->open();
    QCOMPARE(w.table->recordCount(), 3);
    QVERIFY(w.box("FindBox")->text().isEmpty());
    QVERIFY(w.dialogs->texts(ScriptedDialogs::Kind::Error).isEmpty());
}

void FindWindowTest::dateBoxes_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<int>("shown");

    // The jobs are dated 1 June 2025; the workspace's locale writes dates day first.
    QTest::newRow("from before") << QStringLiteral("01/01/2025") << QString() << 3;
    QTest::newRow("from after") << QStringLiteral("02/06/2025") << QString() << 0;
    QTest::newRow("to the day") << QString() << QStringLiteral("01/06/2025") << 3;
    QTest::newRow("to before") << QString() << QStringLiteral("31/05/2025") << 0;
    QTest::newRow("half typed is no bound") << QStringLiteral("02/06/20") << QString() << 3;
}

void FindWindowTest::dateBoxes()
{
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(int, shown);
    FindWindow w;
    Table *table = w.table;
    table->checkBrowseMode();
    for (table->first(); !table->eof(); table->next()) {
        table->edit();
        table->fieldByName(QStringLiteral("Dato"))->setValue(QDate(2025, 6, 1));
        table->post();
    }
    w.type("FindFrom", from);
    w.type("FindTo", to);
    QTRY_COMPARE(table->recordCount(), shown);
    QCOMPARE(table->storedCount(), 3);
}

void FindWindowTest::typedTextIsKeptWhenTheFindChanges()
{
    FindWindow w;
    QVERIFY(w.table->locate(QStringLiteral("Lastname"), {QStringLiteral("Berg")}, {}));
    auto *lastname = namedChild<TDBEdit>(&w.form, "DBEdit3");
    lastname->setFocus();
    lastname->selectAll();
    QTest::keyClicks(lastname, QStringLiteral("Bergstrand"));
    // The find takes the focus and narrows while the job is being typed: the job is saved first.
    w.type("FindBox", QStringLiteral("bergst"));
    QTRY_COMPARE(w.table->recordCount(), 1);
    QCOMPARE(w.current(), QStringLiteral("Bergstrand"));
    QTest::keyClick(w.box("FindBox"), Qt::Key_Escape);
    QTRY_COMPARE(w.table->recordCount(), 3);
    QCOMPARE(w.current(), QStringLiteral("Bergstrand"));
    QCOMPARE(w.table->storedCount(), 3);
}

void FindWindowTest::queryRangeShowsInTheStatusBar()
{
    FindWindow w;
    Table *table = w.table;
    table->setIndexFieldNames(QStringLiteral("Lastname"));
    table->setRangeStart();
    table->fieldByName(QStringLiteral("Lastname"))->setAsString(QStringLiteral("Berg"));
    table->setRangeEnd();
    table->fieldByName(QStringLiteral("Lastname"))->setAsString(QStringLiteral("Berg"));
    table->applyRange();
    auto *clear = namedChild<QToolButton>(&w.form, "ClearQuery");
    QTRY_VERIFY(clear->isVisible());
    QVERIFY(namedChild<QLabel>(&w.form, "QueryStatus")->isVisible());
    QTRY_COMPARE(w.status(), QStringLiteral("1 of 3 jobs, 0 h 45"));
    // The find narrows what the query shows.
    w.type("FindBox", QStringLiteral("sor"));
    QTRY_COMPARE(table->recordCount(), 0);
    w.type("FindBox", QString());
    QTRY_COMPARE(table->recordCount(), 1);

    clear->click();
    QTRY_COMPARE(table->recordCount(), 3);
    QTRY_VERIFY(!clear->isVisible());
    QTRY_COMPARE(w.status(), QStringLiteral("3 jobs, 2 h 30"));
}

QTEST_MAIN(FindWindowTest)
#include "tst_findwindow.moc"
