#include "grid/tcolumn.h"
#include "grid/tinplaceedit.h"
#include "gridfixture.h"
#include "scripteddialogs.h"
#include "store/field.h"

#include <QClipboard>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QtTest>

using namespace kelvara;
using kelvara::test::GridFixture;
using kelvara::test::TestGrid;

namespace {

QString valueOf(const Table &table, const char *field)
{
    return table.fieldByName(QString::fromLatin1(field))->asString();
}

bool editorShown(const TDBGrid &grid)
{
    return grid.inplaceEditor() && grid.inplaceEditor()->isVisible();
}

}  // namespace

class DBGridEditingTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void typingStartsTheEditorAndAMovePostsIt();
    void f2EditsWithTheCaretAtTheEnd();
    void enterWritesAndTabWritesAndMoves();
    void escapeCancelsTheEdit();
    void editorCountsCharactersNotUnits_data();
    void editorCountsCharactersNotUnits();
    void textTheFieldRefusesStaysInTheEditor();
    void typedTextSurvivesColumnMovesAndTheIndicator();
    void aResizeReportsTextTheFieldRefuses();
    void clickOnTheCurrentCellOpensTheEditor();
    void readOnlyGridsAndColumnsDoNotEdit_data();
    void readOnlyGridsAndColumnsDoNotEdit();
    void insertKeyInserts();
    void ctrlDeleteAsksFirst_data();
    void ctrlDeleteAsksFirst();
    void movingDownPastTheLastRecordAppends();
    void movingAwayFromAnUntouchedNewRecordDropsIt_data();
    void movingAwayFromAnUntouchedNewRecordDropsIt();
    void cancelOnExitDropsAnUntouchedNewRecord_data();
    void cancelOnExitDropsAnUntouchedNewRecord();
    void alwaysShowEditorFollowsTheCurrentCell();
    void editColorColoursTheEditor();
};

void DBGridEditingTest::typingStartsTheEditorAndAMovePostsIt()
{
    GridFixture fixture(3);
    auto grid = fixture.makeGrid();
    QTest::keyClicks(grid.get(), QStringLiteral("Xy"));
    QVERIFY(editorShown(*grid));
    QCOMPARE(grid->inplaceEditor()->text(), QStringLiteral("Xy"));
    QCOMPARE(fixture.table.state(), dsEdit);
    // The field holds the old text until the editor writes it.
    QCOMPARE(valueOf(fixture.table, "Name"), QStringLiteral("Name 1"));

    QTest::keyClick(grid->inplaceEditor(), Qt::Key_Down);
    QCOMPARE(fixture.table.recNo(), 2);
    QCOMPARE(fixture.table.state(), dsBrowse);
    QVERIFY(!editorShown(*grid));
    fixture.table.first();
    QCOMPARE(valueOf(fixture.table, "Name"), QStringLiteral("Xy"));
    fixture.table.refresh();
    QCOMPARE(valueOf(fixture.table, "Name"), QStringLiteral("Xy"));
}

void DBGridEditingTest::f2EditsWithTheCaretAtTheEnd()
{
    GridFixture fixture(3);
    auto grid = fixture.makeGrid();
    QTest::keyClick(grid.get(), Qt::Key_F2);
    QVERIFY(editorShown(*grid));
    TInplaceEdit *editor = grid->inplaceEditor();
    QCOMPARE(editor->text(), QStringLiteral("Name 1"));
    QVERIFY(!editor->hasSelectedText());
    QCOMPARE(editor->cursorPosition(), 6);
    QVERIFY(editor->hasFocus());
    // Showing the editor does not begin an edit; the first change does.
    QCOMPARE(fixture.table.state(), dsBrowse);
    QTest::keyClicks(editor, QStringLiteral("!"));
    QCOMPARE(fixture.table.state(), dsEdit);
    QCOMPARE(editor->text(), QStringLiteral("Name 1!"));
}

void DBGridEditingTest::enterWritesAndTabWritesAndMoves()
{
    GridFixture fixture(3);
    auto grid = fixture.makeGrid(5, 600);
    QTest::keyClicks(grid.get(), QStringLiteral("Ann"));
    QTest::keyClick(grid->inplaceEditor(), Qt::Key_Return);
    QVERIFY(!editorShown(*grid));
    QCOMPARE(valueOf(fixture.table, "Name"), QStringLiteral("Ann"));
    QCOMPARE(fixture.table.state(), dsEdit);
    QVERIFY(fixture.table.modified());

    QTest::keyClick(grid.get(), Qt::Key_Right);
    QTest::keyClicks(grid.get(), QStringLiteral("Oslo"));
    QTest::keyClick(grid->inplaceEditor(), Qt::Key_Tab);
    QCOMPARE(valueOf(fixture.table, "City"), QStringLiteral("Oslo"));
    QCOMPARE(grid->selectedIndex(), 2);
    // The editor stays open over the next cell, with that cell's text.
    QVERIFY(editorShown(*grid));
    QCOMPARE(grid->inplaceEditor()->text(), QStringLiteral("1"));
    QCOMPARE(grid->inplaceEditor()->geometry(), grid->cellRect(3, 1));
}

void DBGridEditingTest::escapeCancelsTheEdit()
{
    GridFixture fixture(3);
    auto grid = fixture.makeGrid();
    QTest::keyClicks(grid.get(), QStringLiteral("Zed"));
    QTest::keyClick(grid->inplaceEditor(), Qt::Key_Escape);
    QVERIFY(!editorShown(*grid));
    QCOMPARE(fixture.table.state(), dsBrowse);
    QCOMPARE(valueOf(fixture.table, "Name"), QStringLiteral("Name 1"));
    // Nothing pending: Escape goes on to the window.
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(grid.get(), &escape);
    QVERIFY(!escape.isAccepted());
}

void DBGridEditingTest::editorCountsCharactersNotUnits_data()
{
    const QString smile = QString::fromUtf8("\xF0\x9F\x98\x80");  // two UTF-16 units
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("pasted");
    QTest::addColumn<QString>("written");
    QTest::newRow("ASCII stops at 20") << QString(25, QLatin1Char('n')) << "" << QString(20, QLatin1Char('n'));
    QTest::newRow("emoji as the 20th character") << QString(19, QLatin1Char('n')) + smile + "x"
                                                 << "" << QString(19, QLatin1Char('n')) + smile;
    QTest::newRow("paste keeps the emoji at the cut whole")
        << "" << QString(19, QLatin1Char('p')) + smile + "more" << QString(19, QLatin1Char('p')) + smile;
}

void DBGridEditingTest::editorCountsCharactersNotUnits()
{
    QFETCH(QString, typed);
    QFETCH(QString, pasted);
    QFETCH(QString, written);
    GridFixture fixture(3);
    auto grid = fixture.makeGrid();
    QTest::keyClick(grid.get(), Qt::Key_F2);
    TInplaceEdit *editor = grid->inplaceEditor();
    QVERIFY(editor && editor->hasFocus());
    // The first key begins the edit; what is typed after it replaces the whole text.
    QTest::keyClick(editor, Qt::Key_X);
    editor->selectAll();
    // One key event per character, as a keyboard or an input method sends it.
    for (const uint code : typed.toUcs4())
        QTest::sendKeyEvent(QTest::Click, editor, Qt::Key(0),
                            QString::fromUcs4(reinterpret_cast<const char32_t *>(&code), 1), Qt::NoModifier);
    if (!pasted.isEmpty()) {
        QApplication::clipboard()->setText(pasted);
        QTest::keyClick(editor, Qt::Key_V, Qt::ControlModifier);
    }
    QCOMPARE(editor->text(), written);
    QTest::keyClick(editor, Qt::Key_Return);
    QCOMPARE(valueOf(fixture.table, "Name"), written);
}

void DBGridEditingTest::textTheFieldRefusesStaysInTheEditor()
{
    ScriptedDialogsScope dialogs;
    GridFixture fixture(3);
    auto grid = fixture.makeGrid(5, 600);
    grid->setSelectedIndex(2);
    QTest::keyClicks(grid.get(), QStringLiteral("abc"));
    QTest::keyClick(grid->inplaceEditor(), Qt::Key_Return);
    QCOMPARE(dialogs->texts(ScriptedDialogs::Kind::Error).size(), 1);
    QVERIFY(editorShown(*grid));
    QCOMPARE(grid->inplaceEditor()->text(), QStringLiteral("abc"));
    QVERIFY(grid->inplaceEditor()->isModified());
    QCOMPARE(valueOf(fixture.table, "Count"), QStringLiteral("1"));

    // A move has to write the text first, so it fails; the record and the editor stay.
    dialogs->clear();
    QTest::keyClick(grid->inplaceEditor(), Qt::Key_Down);
    QCOMPARE(dialogs->texts(ScriptedDialogs::Kind::Error).size(), 1);
    QCOMPARE(fixture.table.recNo(), 1);
    QVERIFY(grid->editorMode());
    QVERIFY(editorShown(*grid));
    // Corrected, the text goes in with the move.
    grid->inplaceEditor()->selectAll();
    QTest::keyClicks(grid->inplaceEditor(), QStringLiteral("42"));
    QTest::keyClick(grid->inplaceEditor(), Qt::Key_Down);
    QCOMPARE(fixture.table.recNo(), 2);
    fixture.table.first();
    QCOMPARE(valueOf(fixture.table, "Count"), QStringLiteral("42"));
}

void DBGridEditingTest::typedTextSurvivesColumnMovesAndTheIndicator()
{
    // The editor belongs to its field: moving columns or the indicator shifts indexes, not fields.
    GridFixture fixture(3);
    auto grid = fixture.makeGrid(5, 600);
    QTest::keyClicks(grid.get(), QStringLiteral("Typed"));
    QCOMPARE(grid->inplaceEditor()->text(), QStringLiteral("Typed"));
    grid->moveColumn(3, 1);
    QCOMPARE(grid->inplaceEditor()->text(), QStringLiteral("Typed"));
    grid->setOptions(grid->options() & ~TDBGrid::dgIndicator);
    QCOMPARE(grid->inplaceEditor()->text(), QStringLiteral("Typed"));
    fixture.table.post();
    QCOMPARE(valueOf(fixture.table, "Name"), QStringLiteral("Typed"));
}

void DBGridEditingTest::aResizeReportsTextTheFieldRefuses()
{
    // A resize hides or moves the editor, which writes its text; a refusal is reported, not thrown.
    ScriptedDialogsScope dialogs;
    GridFixture fixture(3);
    auto grid = fixture.makeGrid(5, 600);
    grid->setSelectedIndex(2);
    QTest::keyClicks(grid.get(), QStringLiteral("abc"));
    grid->resize(60, 60);
    grid->resize(600, 200);
    QCOMPARE(dialogs->texts(ScriptedDialogs::Kind::Error),
             QStringList{QStringLiteral("'abc' is not a valid integer value for field 'Count'")});
    QVERIFY(editorShown(*grid));
    QCOMPARE(grid->inplaceEditor()->text(), QStringLiteral("abc"));
    QCOMPARE(valueOf(fixture.table, "Count"), QStringLiteral("1"));
}

void DBGridEditingTest::clickOnTheCurrentCellOpensTheEditor()
{
    GridFixture fixture(3);
    auto grid = fixture.makeGrid(5, 600);
    const QPoint cell = grid->cellRect(2, 2).center();
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell);
    QVERIFY(!editorShown(*grid));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell);
    QVERIFY(editorShown(*grid));
    QCOMPARE(grid->inplaceEditor()->text(), QStringLiteral("City 2"));
}

void DBGridEditingTest::readOnlyGridsAndColumnsDoNotEdit_data()
{
    QTest::addColumn<QString>("what");
    QTest::newRow("read-only grid") << "grid";
    QTest::newRow("read-only column") << "column";
    QTest::newRow("read-only field") << "field";
    QTest::newRow("read-only link") << "link";
    QTest::newRow("no dgEditing") << "options";
    QTest::newRow("memo column") << "memo";
}

void DBGridEditingTest::readOnlyGridsAndColumnsDoNotEdit()
{
    QFETCH(QString, what);
    GridFixture fixture(3);
    auto grid = fixture.makeGrid(5, 600);
    if (what == QLatin1String("grid"))
        grid->setReadOnly(true);
    else if (what == QLatin1String("column"))
        grid->columns()->items(0)->setReadOnly(true);
    else if (what == QLatin1String("field"))
        fixture.table.fieldByName(QStringLiteral("Name"))->setReadOnly(true);
    else if (what == QLatin1String("link"))
        grid->dataLink().setReadOnly(true);
    else if (what == QLatin1String("options"))
        grid->setOptions(grid->options() & ~TDBGrid::dgEditing);
    else if (what == QLatin1String("memo"))
        grid->setSelectedIndex(3);
    QTest::keyClicks(grid.get(), QStringLiteral("Q"));
    QTest::keyClick(grid.get(), Qt::Key_F2);
    QVERIFY(!editorShown(*grid));
    QCOMPARE(fixture.table.state(), dsBrowse);
    QTest::keyClick(grid.get(), Qt::Key_Insert);
    if (what != QLatin1String("column") && what != QLatin1String("field") && what != QLatin1String("memo"))
        QCOMPARE(fixture.table.state(), dsBrowse);
}

void DBGridEditingTest::insertKeyInserts()
{
    GridFixture fixture(3);
    auto grid = fixture.makeGrid();
    fixture.table.setRecNo(2);
    QTest::keyClick(grid.get(), Qt::Key_Insert);
    QCOMPARE(fixture.table.state(), dsInsert);
    QCOMPARE(fixture.table.recNo(), 2);
    QCOMPARE(grid->row(), 2);
    QTest::keyClicks(grid.get(), QStringLiteral("New"));
    QTest::keyClick(grid->inplaceEditor(), Qt::Key_Up);
    QCOMPARE(fixture.table.recordCount(), 4);
    QCOMPARE(valueOf(fixture.table, "Name"), QStringLiteral("Name 1"));
    fixture.table.next();
    QCOMPARE(valueOf(fixture.table, "Name"), QStringLiteral("New"));
}

void DBGridEditingTest::ctrlDeleteAsksFirst_data()
{
    QTest::addColumn<bool>("confirmOption");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<int>("questions");
    QTest::addColumn<int>("records");

    QTest::newRow("confirmed") << true << true << 1 << 2;
    QTest::newRow("refused") << true << false << 1 << 3;
    QTest::newRow("without dgConfirmDelete") << false << false << 0 << 2;
}

void DBGridEditingTest::ctrlDeleteAsksFirst()
{
    QFETCH(bool, confirmOption);
    QFETCH(bool, answer);
    QFETCH(int, questions);
    QFETCH(int, records);
    ScriptedDialogsScope dialogs;
    dialogs->confirmAnswers = {answer};
    GridFixture fixture(3);
    auto grid = fixture.makeGrid();
    if (!confirmOption)
        grid->setOptions(grid->options() & ~TDBGrid::dgConfirmDelete);
    fixture.table.setRecNo(2);
    QTest::keyClick(grid.get(), Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(dialogs->texts(ScriptedDialogs::Kind::Confirm).size(), questions);
    if (questions)
        QCOMPARE(dialogs->texts(ScriptedDialogs::Kind::Confirm).first(), QStringLiteral("Delete record?"));
    QCOMPARE(fixture.table.recordCount(), records);
    // Delete without Ctrl deletes nothing.
    QTest::keyClick(grid.get(), Qt::Key_Delete);
    QCOMPARE(fixture.table.recordCount(), records);
}

void DBGridEditingTest::movingDownPastTheLastRecordAppends()
{
    GridFixture fixture(3);
    auto grid = fixture.makeGrid();
    fixture.table.last();
    QTest::keyClick(grid.get(), Qt::Key_Down);
    QCOMPARE(fixture.table.state(), dsInsert);
    QCOMPARE(fixture.table.recNo(), 4);
    QCOMPARE(grid->row(), 4);
    // Down on the untouched new record adds no second one.
    QTest::keyClick(grid.get(), Qt::Key_Down);
    QCOMPARE(fixture.table.recNo(), 4);
    QCOMPARE(grid->dataLink().recordCount(), 4);
    // Up drops it again and stands on the record before it.
    QTest::keyClick(grid.get(), Qt::Key_Up);
    QCOMPARE(fixture.table.state(), dsBrowse);
    QCOMPARE(fixture.table.recordCount(), 3);
    QCOMPARE(valueOf(fixture.table, "Name"), QStringLiteral("Name 3"));

    // A grid that may not edit does not append.
    grid->setReadOnly(true);
    QTest::keyClick(grid.get(), Qt::Key_Down);
    QCOMPARE(fixture.table.state(), dsBrowse);
    QCOMPARE(fixture.table.recNo(), 3);
}

void DBGridEditingTest::movingAwayFromAnUntouchedNewRecordDropsIt_data()
{
    QTest::addColumn<int>("at");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("lands");

    QTest::newRow("inserted before record 3, down") << 3 << int(Qt::Key_Down) << "Name 3";
    QTest::newRow("inserted before record 3, up") << 3 << int(Qt::Key_Up) << "Name 2";
    QTest::newRow("inserted before record 2, page down") << 2 << int(Qt::Key_PageDown) << "Name 5";
    QTest::newRow("inserted before record 1, up") << 1 << int(Qt::Key_Up) << "Name 1";
}

void DBGridEditingTest::movingAwayFromAnUntouchedNewRecordDropsIt()
{
    QFETCH(int, at);
    QFETCH(int, key);
    QFETCH(QString, lands);
    GridFixture fixture(8);
    auto grid = fixture.makeGrid(4);
    fixture.table.setRecNo(at);
    fixture.table.insert();
    QTest::keyClick(grid.get(), Qt::Key(key));
    QCOMPARE(fixture.table.state(), dsBrowse);
    QCOMPARE(fixture.table.recordCount(), 8);
    QCOMPARE(valueOf(fixture.table, "Name"), lands);
}

void DBGridEditingTest::cancelOnExitDropsAnUntouchedNewRecord_data()
{
    QTest::addColumn<bool>("option");
    QTest::addColumn<bool>("typed");
    QTest::addColumn<bool>("kept");

    QTest::newRow("untouched") << true << false << false;
    QTest::newRow("typed into") << true << true << true;
    QTest::newRow("without dgCancelOnExit") << false << false << true;
}

void DBGridEditingTest::cancelOnExitDropsAnUntouchedNewRecord()
{
    QFETCH(bool, option);
    QFETCH(bool, typed);
    QFETCH(bool, kept);
    GridFixture fixture(3);
    QWidget window;
    auto *layout = new QHBoxLayout(&window);
    auto *grid = new TestGrid(&window);
    auto *other = new QLineEdit(&window);
    layout->addWidget(grid);
    layout->addWidget(other);
    grid->setDataSource(&fixture.source);
    if (!option)
        grid->setOptions(grid->options() & ~TDBGrid::dgCancelOnExit);
    window.resize(600, 300);
    window.show();
    QApplication::setActiveWindow(&window);
    QVERIFY(QTest::qWaitForWindowActive(&window));
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_Insert);
    QCOMPARE(fixture.table.state(), dsInsert);
    if (typed)
        QTest::keyClicks(grid, QStringLiteral("Kept"));
    other->setFocus(Qt::TabFocusReason);
    QCOMPARE(fixture.table.state(), kept ? dsInsert : dsBrowse);
    QCOMPARE(fixture.table.recordCount(), 3);
}

void DBGridEditingTest::alwaysShowEditorFollowsTheCurrentCell()
{
    GridFixture fixture(3);
    auto grid = fixture.makeGrid(5, 600);
    grid->setOptions(grid->options() | TDBGrid::dgAlwaysShowEditor);
    QVERIFY(editorShown(*grid));
    QCOMPARE(grid->inplaceEditor()->text(), QStringLiteral("Name 1"));
    QTest::keyClick(grid->inplaceEditor(), Qt::Key_Down);
    QVERIFY(editorShown(*grid));
    QCOMPARE(grid->inplaceEditor()->text(), QStringLiteral("Name 2"));
    QCOMPARE(grid->inplaceEditor()->geometry(), grid->cellRect(1, 2));
    // Escape keeps it shown.
    QTest::keyClick(grid->inplaceEditor(), Qt::Key_Escape);
    QVERIFY(editorShown(*grid));
    // Moving onto the memo column hides it; it is no plain field.
    grid->setSelectedIndex(3);
    QVERIFY(!editorShown(*grid));
}

void DBGridEditingTest::editColorColoursTheEditor()
{
    GridFixture fixture(3);
    auto grid = fixture.makeGrid();
    grid->setEditColor(QColor(255, 255, 200));
    QTest::keyClick(grid.get(), Qt::Key_F2);
    QCOMPARE(grid->inplaceEditor()->palette().color(QPalette::Base), QColor(255, 255, 200));
    grid->setEditColor(Qt::cyan);
    QCOMPARE(grid->inplaceEditor()->palette().color(QPalette::Base), QColor(Qt::cyan));
}

QTEST_MAIN(DBGridEditingTest)
#include "tst_dbgrid_editing.moc"
