#include "boundfixture.h"
#include "dbctrls/editmask.h"
#include "dbctrls/tdbcombobox.h"
#include "dbctrls/tdbedit.h"
#include "dbctrls/tdbmemo.h"
#include "dbctrls/tdbrichedit.h"
#include "store/error.h"

#include <QClipboard>
#include <QLineEdit>
#include <QSignalSpy>

using namespace kelvara;
using kelvara::test::BoundFixture;

namespace {

// Sends one key press per character, as a keyboard or an input method delivers it: a character
// outside the basic plane comes as one event carrying both halves of its surrogate pair.
void typeCharacters(QWidget *box, const QString &text)
{
    for (const uint code : text.toUcs4()) {
        const QString character = QString::fromUcs4(reinterpret_cast<const char32_t *>(&code), 1);
        QTest::sendKeyEvent(QTest::Click, box, Qt::Key(0), character, Qt::NoModifier);
    }
}

}  // namespace

class BoundBoxesTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void showsTheFieldAndFollowsMoves();
    void longValuesShowTheirBeginning();
    void pickListShowsTheBeginningWhenLeft_data();
    void pickListShowsTheBeginningWhenLeft();
    void writesTypedTextOnLeaving();
    void typedTextSurvivesALayoutChange();
    void writesTypedTextWhenAMoveFinishesTheRecord();
    void typingPutsTheRecordIntoEditState();
    void readOnlyTableTakesNoTyping();
    void textBoxTakesAtMostTheFieldSize();
    void textBoxCountsCharactersNotUnits_data();
    void textBoxCountsCharactersNotUnits();
    void comboBoxLeavesTheCutToTheField();
    void editMaskBecomesAnInputMask_data();
    void editMaskBecomesAnInputMask();
    void dateBoxChecksWhatIsTyped_data();
    void dateBoxChecksWhatIsTyped();
    void dateBoxTypingStartsAtTheFirstPosition_data();
    void dateBoxTypingStartsAtTheFirstPosition();
    void escapeRestoresTheFieldAfterAnError();
    void invalidDateStopsAMove();
    void enterReachesTheWindowExceptInTheMemo_data();
    void enterReachesTheWindowExceptInTheMemo();
    void memoKeepsLineBreaksAndWritesOnLeaving();
    void memoBoxesWrapAnywhereOnlyForUnbrokenRuns_data();
    void memoBoxesWrapAnywhereOnlyForUnbrokenRuns();
    void pastedRunWrapsAnywhere();
    void comboBoxWritesBeforeItTellsItWasLeft();
    void comboBoxListIsNeitherSortedNorExtended();
    void comboBoxPickFromTheListGoesIntoTheField();
};

void BoundBoxesTest::showsTheFieldAndFollowsMoves()
{
    BoundFixture f;
    auto *name = f.add<TDBEdit>("Firstname");
    auto *date = f.add<TDBEdit>("Dato");
    auto *memo = f.add<TDBMemo>("notes");
    auto *combo = f.add<TDBComboBox>("camefrom");
    QCOMPARE(name->text(), QStringLiteral("Anna"));
    QCOMPARE(date->text(), QStringLiteral("10/05/2023"));
    QCOMPARE(combo->currentText(), QStringLiteral("Roof"));
    f.table.next();
    QCOMPARE(name->text(), QStringLiteral("Bert"));
    QCOMPARE(date->text(), QStringLiteral("11/05/2023"));
    f.table.edit();
    f.field("notes")->setText(QStringLiteral("two\nlines"));
    QCOMPARE(memo->toPlainText(), QStringLiteral("two\nlines"));
    f.table.close();
    QCOMPARE(name->text(), QString());
    QCOMPARE(memo->toPlainText(), QString());
}

void BoundBoxesTest::longValuesShowTheirBeginning()
{
    BoundFixture f;
    auto *email = f.add<TDBEdit>("Email");
    auto *combo = f.add<TDBComboBox>("camefrom");
    f.table.edit();
    f.field("Email")->setText(QStringLiteral("someone.long@mail.dk"));
    f.field("camefrom")->setText(QStringLiteral("A hollow oak by a river"));
    QCOMPARE(email->cursorPosition(), 0);
    QCOMPARE(combo->lineEdit()->cursorPosition(), 0);
}

void BoundBoxesTest::pickListShowsTheBeginningWhenLeft_data()
{
    QTest::addColumn<bool>("typed");
    QTest::addColumn<bool>("listRefilled");
    QTest::newRow("typed, then left") << true << false;
    QTest::newRow("typed, left, and the list takes the new value") << true << true;
    QTest::newRow("list refilled while the box is away") << false << true;
}

void BoundBoxesTest::pickListShowsTheBeginningWhenLeft()
{
    QFETCH(bool, typed);
    QFETCH(bool, listRefilled);
    BoundFixture f;
    auto *combo = f.add<TDBComboBox>("camefrom");
    auto *other = f.add<TDBEdit>("Firstname");
    combo->setFixedWidth(145);
    combo->addItems({QStringLiteral("Roof")});
    QVERIFY(f.showWindow());
    // Wider than the box, within the field size.
    const QString value = QStringLiteral("Woodwork of the wall");
    if (typed) {
        combo->setFocus();
        combo->lineEdit()->selectAll();
        QTest::keyClicks(combo->lineEdit(), value);
        other->setFocus();
    } else {
        other->setFocus();
        f.table.edit();
        f.field("camefrom")->setText(value);
    }
    if (listRefilled) {
        // As the window does when a value joins the pick list.
        combo->clear();
        combo->addItems({QStringLiteral("Roof"), value});
    }
    QCOMPARE(combo->currentText(), value);
    QVERIFY(!combo->hasFocus());
    QCOMPARE(combo->lineEdit()->cursorPosition(), 0);
}

void BoundBoxesTest::writesTypedTextOnLeaving()
{
    BoundFixture f;
    auto *name = f.add<TDBEdit>("Firstname");
    auto *last = f.add<TDBEdit>("Lastname");
    QVERIFY(f.showWindow());
    f.table.edit();
    name->setFocus();
    name->selectAll();
    QTest::keyClicks(name, QStringLiteral("Zora"));
    QCOMPARE(f.field("Firstname")->text(), QStringLiteral("Anna"));
    last->setFocus();
    QCOMPARE(f.field("Firstname")->text(), QStringLiteral("Zora"));
    QVERIFY(f.table.modified());
    QCOMPARE(f.stored("Firstname", 1), QStringLiteral("Anna"));
    QVERIFY(f.dialogs->texts().isEmpty());
}

void BoundBoxesTest::typedTextSurvivesALayoutChange()
{
    BoundFixture f;
    auto *name = f.add<TDBEdit>("Firstname");
    auto *memo = f.add<TDBMemo>("notes");
    QVERIFY(f.showWindow());
    name->setFocus();
    name->selectAll();
    QTest::keyClicks(name, QStringLiteral("Zora"));
    memo->setFocus();
    QTest::keyClicks(memo, QStringLiteral("More"));
    f.field("City1")->setDisplayLabel(QStringLiteral("Town"));
    f.field("Lastname")->setIndex(0);
    QCOMPARE(name->text(), QStringLiteral("Zora"));
    QVERIFY(memo->toPlainText().endsWith(QStringLiteral("More")));
    f.table.post();
    QCOMPARE(f.field("Firstname")->text(), QStringLiteral("Zora"));
    QVERIFY(f.field("notes")->text().endsWith(QStringLiteral("More")));
}

void BoundBoxesTest::writesTypedTextWhenAMoveFinishesTheRecord()
{
    BoundFixture f;
    auto *name = f.add<TDBEdit>("Firstname");
    QVERIFY(f.showWindow());
    f.table.edit();
    name->setFocus();
    name->selectAll();
    QTest::keyClicks(name, QStringLiteral("Zora"));
    f.table.next();  // the focus stays in the box
    QCOMPARE(name->text(), QStringLiteral("Bert"));
    QCOMPARE(f.stored("Firstname", 1), QStringLiteral("Zora"));
    f.table.prior();
    QCOMPARE(name->text(), QStringLiteral("Zora"));
}

void BoundBoxesTest::typingPutsTheRecordIntoEditState()
{
    BoundFixture f;
    auto *name = f.add<TDBEdit>("Firstname");
    QVERIFY(f.showWindow());
    QCOMPARE(f.table.state(), dsBrowse);
    name->setFocus();
    name->end(false);
    QTest::keyClicks(name, QStringLiteral("bel"));
    QCOMPARE(f.table.state(), dsEdit);
    QCOMPARE(name->text(), QStringLiteral("Annabel"));
    f.table.post();
    QCOMPARE(f.stored("Firstname", 1), QStringLiteral("Annabel"));
}

void BoundBoxesTest::readOnlyTableTakesNoTyping()
{
    BoundFixture f;
    f.table.close();
    f.table.setReadOnly(true);
    f.table.open();
    auto *name = f.add<TDBEdit>("Firstname");
    auto *combo = f.add<TDBComboBox>("camefrom");
    QVERIFY(f.showWindow());
    name->setFocus();
    QTest::keyClicks(name, QStringLiteral("x"));
    combo->setFocus();
    QTest::keyClicks(combo, QStringLiteral("y"));
    QCOMPARE(name->text(), QStringLiteral("Anna"));
    QCOMPARE(combo->currentText(), QStringLiteral("Roof"));
    QCOMPARE(f.table.state(), dsBrowse);
    QVERIFY(f.dialogs->texts().isEmpty());
}

void BoundBoxesTest::textBoxTakesAtMostTheFieldSize()
{
    BoundFixture f;
    auto *name = f.add<TDBEdit>("Firstname");
    auto *memo = f.add<TDBMemo>("notes");
    QVERIFY(f.showWindow());
    f.table.edit();
    name->setFocus();
    name->selectAll();
    QTest::keyClicks(name, QStringLiteral("abcdefghijklmnopqrstuvwxyz"));
    QCOMPARE(name->text(), QStringLiteral("abcdefghijklmnopqrst"));
    memo->setFocus();
    QCOMPARE(f.field("Firstname")->text(), QStringLiteral("abcdefghijklmnopqrst"));
    QTest::keyClicks(memo, QString(300, QLatin1Char('m')));
    name->setFocus();
    QCOMPARE(f.field("notes")->text().size(), 300);
}

void BoundBoxesTest::textBoxCountsCharactersNotUnits_data()
{
    const QString smile = QString::fromUtf8("\xF0\x9F\x98\x80");  // U+1F600, two UTF-16 units
    const QString a19(19, QLatin1Char('a'));
    QTest::addColumn<QString>("before");
    QTest::addColumn<int>("cursor");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("pasted");
    QTest::addColumn<QString>("after");  // in the box, and what the field holds on leaving

    QTest::newRow("ASCII: 20th taken, 21st refused") << a19 << 19 << "bc"
                                                     << "" << a19 + "b";
    QTest::newRow("emoji as the 20th character") << a19 << 19 << smile << "" << a19 + smile;
    QTest::newRow("emoji as the 21st character refused") << a19 + "b" << 20 << smile << "" << a19 + "b";
    QTest::newRow("twenty emoji fill the box") << "" << 0 << smile.repeated(21) << "" << smile.repeated(20);
    QTest::newRow("paste keeps the emoji at the cut whole")
        << "" << 0 << "" << QString(19, QLatin1Char('p')) + smile + "more" << QString(19, QLatin1Char('p')) + smile;
    QTest::newRow("paste cut before an emoji that does not fit")
        << QString(18, QLatin1Char('a')) << 18 << ""
        << "b" + smile + smile + "c" << QString(18, QLatin1Char('a')) + "b" + smile;
    QTest::newRow("paste in the middle keeps the text after the cursor") << "abcdefghij" << 5 << ""
                                                                         << "0123456789" + smile + "XYZ"
                                                                         << "abcde0123456789fghij";
    // A combining mark is a character of its own, as the field counts it.
    QTest::newRow("combining mark counts as a character")
        << a19 << 19 << QString::fromUtf8("e\xCC\x81") << "" << a19 + "e";
}

void BoundBoxesTest::textBoxCountsCharactersNotUnits()
{
    QFETCH(QString, before);
    QFETCH(int, cursor);
    QFETCH(QString, typed);
    QFETCH(QString, pasted);
    QFETCH(QString, after);
    BoundFixture f;
    auto *name = f.add<TDBEdit>("Firstname");
    auto *last = f.add<TDBEdit>("Lastname");
    QVERIFY(f.showWindow());
    f.table.edit();
    f.field("Firstname")->setText(before);
    name->setFocus();
    name->setCursorPosition(cursor);
    typeCharacters(name, typed);
    if (!pasted.isEmpty()) {
        QApplication::clipboard()->setText(pasted);
        QTest::keyClick(name, Qt::Key_V, Qt::ControlModifier);
    }
    QCOMPARE(name->text(), after);
    last->setFocus();
    QCOMPARE(f.field("Firstname")->text(), after);
    f.table.post();
    QCOMPARE(f.stored("Firstname", 1), after);
}

void BoundBoxesTest::comboBoxLeavesTheCutToTheField()
{
    // A longer text goes whole into the pick list; the field keeps its first 20 characters.
    const QString smile = QString::fromUtf8("\xF0\x9F\x98\x80");
    const QString text = QString(19, QLatin1Char('c')) + smile + QStringLiteral("xyz");
    BoundFixture f;
    auto *combo = f.add<TDBComboBox>("camefrom");
    auto *name = f.add<TDBEdit>("Firstname");
    QVERIFY(f.showWindow());
    combo->setFocus();
    combo->lineEdit()->selectAll();
    typeCharacters(combo, text);
    QCOMPARE(combo->currentText(), text);
    name->setFocus();
    QCOMPARE(f.field("camefrom")->text(), QString(19, QLatin1Char('c')) + smile);
}

void BoundBoxesTest::editMaskBecomesAnInputMask_data()
{
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QChar>("separator");
    QTest::addColumn<QString>("inputMask");
    QTest::newRow("date, slash") << "!99/99/0000;1;_" << QChar('/') << "00/00/9999;_";
    QTest::newRow("date, dot") << "!99/99/0000;1;_" << QChar('.') << "00.00.9999;_";
    QTest::newRow("date, dash") << "!99/99/0000;1;_" << QChar('-') << "00-00-9999;_";
    QTest::newRow("letters and case") << ">LL<ll<>Aa" << QChar('/') << ">AA<aa!Nn;_";
    QTest::newRow("literals escaped") << "\\A-0#;0; " << QChar('/') << "\\A-9#; ";
    QTest::newRow("no mask") << "" << QChar('/') << "";
}

void BoundBoxesTest::editMaskBecomesAnInputMask()
{
    QFETCH(QString, mask);
    QFETCH(QChar, separator);
    QFETCH(QString, inputMask);
    QCOMPARE(convertEditMask(mask, separator).inputMask, inputMask);
}

void BoundBoxesTest::dateBoxChecksWhatIsTyped_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("message");  // empty: none
    QTest::addColumn<QDate>("stored");
    const QLocale gb(QLocale::English, QLocale::UnitedKingdom);
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    const QString invalid = TDBEdit::invalidInputMessage();
    const QDate old(2023, 5, 10);
    QTest::newRow("complete, day first") << gb << "24122023" << QString() << QDate(2023, 12, 24);
    QTest::newRow("complete, month first") << us << "12242023" << QString() << QDate(2023, 12, 24);
    QTest::newRow("one-digit day and month") << gb << "1/2/2024" << QString() << QDate(2024, 2, 1);
    QTest::newRow("year incomplete") << gb << "241220" << invalid << old;
    QTest::newRow("year missing") << gb << "2412" << invalid << old;
    QTest::newRow("no such day") << gb << "31022024"
                                 << "'31/02/2024' is not a valid date" << old;
    QTest::newRow("no such month, month first") << us << "13012024"
                                                << "'13/01/2024' is not a valid date" << old;
    QTest::newRow("all cleared") << gb << "" << QString() << QDate();
}

void BoundBoxesTest::dateBoxChecksWhatIsTyped()
{
    QFETCH(QLocale, locale);
    QFETCH(QString, typed);
    QFETCH(QString, message);
    QFETCH(QDate, stored);
    BoundFixture f(locale);
    auto *date = f.add<TDBEdit>("Dato");
    auto *name = f.add<TDBEdit>("Firstname");
    QVERIFY(f.showWindow());
    f.table.edit();
    date->setFocus();
    date->selectAll();
    QTest::keyClick(date, Qt::Key_Backspace);
    QTest::keyClicks(date, typed);
    name->setFocus();
    QCOMPARE(f.dialogs->texts(), message.isEmpty() ? QStringList() : QStringList{message});
    QCOMPARE(QApplication::focusWidget(), message.isEmpty() ? static_cast<QWidget *>(name) : date);
    QCOMPARE(f.field("Dato")->value().toDate(), stored);
    if (message.isEmpty())
        QCOMPARE(date->text(), f.field("Dato")->text().isEmpty() ? QStringLiteral("//") : f.field("Dato")->text());
}

void BoundBoxesTest::dateBoxTypingStartsAtTheFirstPosition_data()
{
    QTest::addColumn<QDate>("before");
    QTest::addColumn<QString>("how");
    QTest::newRow("focus by the program, empty date") << QDate() << "program";
    QTest::newRow("focus by the program, date typed over") << QDate(2023, 5, 10) << "program";
    QTest::newRow("Tab into an empty date") << QDate() << "tab";
    QTest::newRow("Shift+Tab into an empty date") << QDate() << "backtab";
    QTest::newRow("focus given before the window is shown") << QDate() << "window shown";
    // Half typed, another window in between: the rest goes on where the typing stopped.
    QTest::newRow("back from another window") << QDate() << "other window";
}

void BoundBoxesTest::dateBoxTypingStartsAtTheFirstPosition()
{
    QFETCH(QDate, before);
    QFETCH(QString, how);
    BoundFixture f;
    auto *name = f.add<TDBEdit>("Firstname");
    auto *date = f.add<TDBEdit>("Dato");
    auto *last = f.add<TDBEdit>("Lastname");
    f.table.edit();
    f.field("Dato")->setValue(before);
    if (how == QLatin1String("window shown"))
        date->setFocus();
    QVERIFY(f.showWindow());
    if (how == QLatin1String("tab")) {
        name->setFocus();
        QTest::keyClick(name, Qt::Key_Tab);
    } else if (how == QLatin1String("backtab")) {
        last->setFocus();
        QTest::keyClick(last, Qt::Key_Backtab, Qt::ShiftModifier);
    } else {
        date->setFocus();
    }
    QTRY_VERIFY(date->hasFocus());
    if (how == QLatin1String("other window")) {
        QTest::keyClicks(date, QStringLiteral("1407"));
        QWidget other;
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        f.window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f.window));
        QTRY_VERIFY(date->hasFocus());
        QTest::keyClicks(date, QStringLiteral("2026"));
    } else {
        QTest::keyClicks(date, QStringLiteral("14072026"));
    }
    QCOMPARE(date->text(), QStringLiteral("14/07/2026"));
    name->setFocus();
    QVERIFY2(f.dialogs->texts().isEmpty(), qPrintable(f.dialogs->texts().join(QLatin1Char('|'))));
    QCOMPARE(f.field("Dato")->value().toDate(), QDate(2026, 7, 14));
}

void BoundBoxesTest::escapeRestoresTheFieldAfterAnError()
{
    BoundFixture f;
    auto *date = f.add<TDBEdit>("Dato");
    auto *name = f.add<TDBEdit>("Firstname");
    QVERIFY(f.showWindow());
    f.table.edit();
    date->setFocus();
    date->selectAll();
    QTest::keyClicks(date, QStringLiteral("0101"));
    name->setFocus();
    QCOMPARE(f.dialogs->texts(), QStringList{TDBEdit::invalidInputMessage()});
    QCOMPARE(QApplication::focusWidget(), date);
    QTest::keyClick(date, Qt::Key_Escape);
    QCOMPARE(date->text(), QStringLiteral("10/05/2023"));
    name->setFocus();
    QCOMPARE(QApplication::focusWidget(), name);
    QCOMPARE(f.dialogs->texts().size(), 1);
    QCOMPARE(f.field("Dato")->value().toDate(), QDate(2023, 5, 10));
}

void BoundBoxesTest::invalidDateStopsAMove()
{
    BoundFixture f;
    auto *date = f.add<TDBEdit>("Dato");
    QVERIFY(f.showWindow());
    f.table.edit();
    date->setFocus();
    date->selectAll();
    QTest::keyClicks(date, QStringLiteral("30022023"));
    try {
        f.table.next();
        QFAIL("moved");
    } catch (const Error &error) {
        QCOMPARE(error.message(), QStringLiteral("'30/02/2023' is not a valid date"));
    }
    QCOMPARE(f.table.recNo(), 1);
    QCOMPARE(f.table.state(), dsEdit);
    QCOMPARE(date->text(), QStringLiteral("30/02/2023"));
    // Put right, the move goes through and saves the date.
    date->selectAll();
    QTest::keyClicks(date, QStringLiteral("28022023"));
    f.table.next();
    QCOMPARE(f.stored("Dato", 1), QStringLiteral("28/02/2023"));
}

void BoundBoxesTest::enterReachesTheWindowExceptInTheMemo_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("reachesWindow");
    QTest::newRow("text box") << "edit" << 1;
    QTest::newRow("date box") << "date" << 1;
    QTest::newRow("combo box, list closed") << "combo" << 1;
    QTest::newRow("memo") << "memo" << 0;
}

void BoundBoxesTest::enterReachesTheWindowExceptInTheMemo()
{
    QFETCH(QString, control);
    QFETCH(int, reachesWindow);
    BoundFixture f;
    QHash<QString, QWidget *> controls{{"edit", f.add<TDBEdit>("Firstname")},
                                       {"date", f.add<TDBEdit>("Dato")},
                                       {"combo", f.add<TDBComboBox>("camefrom")},
                                       {"memo", f.add<TDBMemo>("notes")}};
    QVERIFY(f.showWindow());
    f.table.edit();
    QWidget *target = controls.value(control);
    target->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(f.window.enterPresses, reachesWindow);
    if (control == QLatin1String("memo"))
        QCOMPARE(static_cast<TDBMemo *>(target)->toPlainText(), QStringLiteral("\n"));
    QVERIFY(f.dialogs->texts().isEmpty());
}

void BoundBoxesTest::memoKeepsLineBreaksAndWritesOnLeaving()
{
    BoundFixture f;
    auto *memo = f.add<TDBMemo>("notes");
    auto *name = f.add<TDBEdit>("Firstname");
    QVERIFY(f.showWindow());
    memo->setFocus();
    QTest::keyClicks(memo, QStringLiteral("Swarm in"));
    QTest::keyClick(memo, Qt::Key_Return);
    QTest::keyClicks(memo, QStringLiteral("the chimney"));
    QCOMPARE(f.table.state(), dsEdit);
    QCOMPARE(f.field("notes")->text(), QString());
    QTest::keyClick(memo, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), name);
    QCOMPARE(f.field("notes")->text(), QStringLiteral("Swarm in\nthe chimney"));
}

void BoundBoxesTest::comboBoxWritesBeforeItTellsItWasLeft()
{
    BoundFixture f;
    auto *combo = f.add<TDBComboBox>("camefrom");
    auto *name = f.add<TDBEdit>("Firstname");
    QVERIFY(f.showWindow());
    QSignalSpy entered(combo, &TDBComboBox::entered);
    QStringList seenOnExit;
    connect(combo, &TDBComboBox::exited, this,
            [&] { seenOnExit << combo->currentText() << f.field("camefrom")->text(); });
    f.table.edit();
    name->setFocus();  // the window gave the combo box the focus when it was shown
    seenOnExit.clear();
    entered.clear();
    combo->setFocus();
    QCOMPARE(entered.count(), 1);
    combo->lineEdit()->selectAll();
    const QString longText = QStringLiteral("Old oak by the church gate");
    QTest::keyClicks(combo, longText);
    name->setFocus();
    // The box keeps the text whole for the window; the field keeps its first 20 characters.
    QCOMPARE(seenOnExit, (QStringList{longText, longText.left(20)}));
    QCOMPARE(entered.count(), 1);
}

void BoundBoxesTest::comboBoxListIsNeitherSortedNorExtended()
{
    BoundFixture f;
    auto *combo = f.add<TDBComboBox>("camefrom");
    auto *name = f.add<TDBEdit>("Firstname");
    QVERIFY(f.showWindow());
    combo->addItems({QStringLiteral("Tree"), QStringLiteral("Chimney")});
    f.table.edit();
    combo->setFocus();
    combo->lineEdit()->selectAll();
    QTest::keyClicks(combo, QStringLiteral("Shed"));
    QTest::keyClick(combo, Qt::Key_Return);
    name->setFocus();
    QCOMPARE(combo->count(), 2);
    QCOMPARE(combo->itemText(0), QStringLiteral("Tree"));
    QCOMPARE(combo->itemText(1), QStringLiteral("Chimney"));
    QCOMPARE(f.field("camefrom")->text(), QStringLiteral("Shed"));
}

void BoundBoxesTest::comboBoxPickFromTheListGoesIntoTheField()
{
    BoundFixture f;
    auto *combo = f.add<TDBComboBox>("camefrom");
    auto *name = f.add<TDBEdit>("Firstname");
    QVERIFY(f.showWindow());
    combo->addItems({QStringLiteral("Tree"), QStringLiteral("Chimney")});
    // Reloading the list, as the window does on entering, leaves the record's text shown.
    QCOMPARE(combo->currentText(), QStringLiteral("Roof"));
    combo->clear();
    combo->addItems({QStringLiteral("Tree"), QStringLiteral("Chimney")});
    QCOMPARE(combo->currentText(), QStringLiteral("Roof"));
    QCOMPARE(f.table.state(), dsBrowse);
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_Down);
    QCOMPARE(f.table.state(), dsEdit);
    QCOMPARE(combo->currentText(), QStringLiteral("Tree"));
    name->setFocus();
    QCOMPARE(f.field("camefrom")->text(), QStringLiteral("Tree"));
    f.table.next();
    QCOMPARE(f.stored("camefrom", 1), QStringLiteral("Tree"));
}

void BoundBoxesTest::memoBoxesWrapAnywhereOnlyForUnbrokenRuns_data()
{
    // Laying a run of characters without a blank out at word boundaries takes time that grows
    // with the square of the run: seconds for fifty thousand characters, minutes for a few
    // hundred thousand.
    QTest::addColumn<QString>("notes");
    QTest::addColumn<bool>("anywhere");
    QTest::newRow("a note") << QStringLiteral("Swarm on the gate post, taken at dusk.") << false;
    QTest::newRow("a run of 2000") << QString(2000, QLatin1Char('x')) << false;
    QTest::newRow("runs of 2000 between line breaks")
        << QString(2000, QLatin1Char('x')) + QLatin1Char('\n') + QString(2000, QLatin1Char('y')) << false;
    QTest::newRow("50,000 characters in words") << QStringLiteral("hive bee ").repeated(5556) << false;
    QTest::newRow("a run of 2001") << QString(2001, QLatin1Char('x')) << true;
    QTest::newRow("a run of 50,000 after words")
        << QStringLiteral("Notes: ") + QString(50000, QLatin1Char('7')) << true;
}

void BoundBoxesTest::memoBoxesWrapAnywhereOnlyForUnbrokenRuns()
{
    QFETCH(QString, notes);
    QFETCH(bool, anywhere);
    BoundFixture f;
    auto *memo = f.add<TDBMemo>("notes");
    auto *rich = f.add<TDBRichEdit>("notes");
    f.table.next();
    f.table.edit();
    f.field("notes")->setText(notes);
    f.table.post();
    QVERIFY(f.showWindow());
    const QTextOption::WrapMode expected
        = anywhere ? QTextOption::WrapAnywhere : QTextOption::WrapAtWordBoundaryOrAnywhere;
    QCOMPARE(memo->wordWrapMode(), expected);
    QCOMPARE(rich->wordWrapMode(), expected);
    QCOMPARE(memo->toPlainText(), notes);
    QCOMPARE(rich->toPlainText(), notes);
    // The next record's note wraps at word boundaries again.
    f.table.prior();
    QCOMPARE(memo->wordWrapMode(), QTextOption::WrapAtWordBoundaryOrAnywhere);
    QCOMPARE(rich->wordWrapMode(), QTextOption::WrapAtWordBoundaryOrAnywhere);
}

void BoundBoxesTest::pastedRunWrapsAnywhere()
{
    BoundFixture f;
    auto *memo = f.add<TDBMemo>("notes");
    auto *rich = f.add<TDBRichEdit>("comment1");
    QVERIFY(f.showWindow());
    const QString run(50000, QLatin1Char('7'));
    QGuiApplication::clipboard()->setText(QStringLiteral("a few words"));
    memo->setFocus();
    memo->paste();
    QCOMPARE(memo->wordWrapMode(), QTextOption::WrapAtWordBoundaryOrAnywhere);
    QGuiApplication::clipboard()->setText(run);
    memo->paste();
    rich->setFocus();
    rich->paste();
    QCOMPARE(memo->wordWrapMode(), QTextOption::WrapAnywhere);
    QCOMPARE(rich->wordWrapMode(), QTextOption::WrapAnywhere);
    QVERIFY(memo->toPlainText().endsWith(run));
    QVERIFY(rich->toPlainText().endsWith(run));
}

QTEST_MAIN(BoundBoxesTest)
#include "tst_boundboxes.moc"
