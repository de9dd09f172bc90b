// The enhanced grid's in-place editing and keys, driven as a person would: which editor a cell
// gets, what each editor writes into the record or drops, hosted controls, the check-box toggle,
// Enter as Tab, clipboard copy and paste and the rule against appending by moving down.

#include "dbctrls/tborderdatetimepicker.h"
#include "dbctrls/tdbmemo.h"
#include "dbctrls/tdbrichedit.h"
#include "grid/gridcompanions.h"
#include "grid/gridsharedstate.h"
#include "grid/tenhancedgrid.h"
#include "grid/tgridcontrols.h"
#include "grid/tinplaceedit.h"
#include "gridfixture.h"
#include "installed.h"
#include "scripteddialogs.h"
#include "store/error.h"
#include "store/field.h"

#include <QClipboard>
#include <QLineEdit>
#include <QSignalSpy>
#include <QtTest>

using namespace kelvara;
using namespace kelvara::test;

namespace {

enum Col { Name, Count, Notes, Done, Flag, Day, At, Stamp, Photo };

FieldDef photoDef()
{
    FieldDef def = test::fieldDef(QStringLiteral("Photo"), ftGraphic);
    def.displayLabel = QStringLiteral("Hive photo");
    return def;
}

FieldDefs editingDefs()
{
    return {test::fieldDef(QStringLiteral("Name"), ftString, 10),
            test::fieldDef(QStringLiteral("Count"), ftInteger),
            test::fieldDef(QStringLiteral("Notes"), ftMemo),
            test::fieldDef(QStringLiteral("Done"), ftBoolean),
            test::fieldDef(QStringLiteral("Flag"), ftInteger),
            test::fieldDef(QStringLiteral("Day"), ftDate),
            test::fieldDef(QStringLiteral("At"), ftTime),
            test::fieldDef(QStringLiteral("Stamp"), ftDateTime),
            photoDef()};
}

class NotingCompanions : public GridCompanions
{
public:
    explicit NotingCompanions(QStringList &calls) : m_calls(calls) { }
    void viewField(TDBGrid &, Field &field, const QString &caption) override
    {
        m_calls << caption + QLatin1String(" / ") + field.fieldName();
    }

private:
    QStringList &m_calls;
};

// A grid on a form over three records, the form active and the grid focused; the companion
// windows note what they are asked to show.
struct EditingFixture
{
    EditingFixture()
    {
        Table &table = data.table;
        table.first();
        table.edit();
        table.fieldByName(QStringLiteral("Flag"))->setAsInteger(0);
        table.fieldByName(QStringLiteral("Done"))->setAsBoolean(false);
        table.fieldByName(QStringLiteral("Day"))->setAsDateTime(QDateTime(QDate(2024, 5, 1), QTime(0, 0)));
        table.post();
        form.resize(760, 260);
        grid = std::make_unique<TEnhancedGrid>(&form);
        grid->setDataSource(&data.source);
        grid->setGeometry(10, 10, 740, 200);
        nameEdit = new QLineEdit(&form);
        nameEdit->setObjectName(QStringLiteral("NameEdit"));
        nameEdit->hide();
        other = new QLineEdit(&form);
        other->setGeometry(10, 220, 100, 24);
        form.show();
        QApplication::setActiveWindow(&form);
        if (!QTest::qWaitForWindowActive(&form))
            qWarning("the form did not become active");
        grid->setFocus();
    }
    ~EditingFixture() { grid.reset(); }

    Field *field(Col col) const { return data.table.fields().at(col); }
    void select(Col col) { grid->setSelectedIndex(col); }
    QPoint cellCentre(Col col, int dataRow = 0) const
    {
        return grid->cellRect(grid->dataToRawColumn(col), grid->titleOffset() + dataRow).center();
    }
    void click(Col col, int dataRow = 0)
    {
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cellCentre(col, dataRow));
    }
    void key(int key, Qt::KeyboardModifiers modifiers = {})
    {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), modifiers);
    }

    ScriptedDialogsScope dialogs;
    GridFixture data{3, editingDefs()};
    QStringList viewed;
    Installed<&GridCompanions::install> companions{std::make_unique<NotingCompanions>(viewed)};
    QWidget form;
    std::unique_ptr<TEnhancedGrid> grid;
    QLineEdit *nameEdit = nullptr;
    QLineEdit *other = nullptr;
};

QString memoSelection(QWidget *editor)
{
    QTextCursor cursor;
    int length = 0;
    if (auto *memo = qobject_cast<QPlainTextEdit *>(editor)) {
        cursor = memo->textCursor();
        length = memo->toPlainText().size();
    } else if (auto *rich = qobject_cast<QTextEdit *>(editor)) {
        cursor = rich->textCursor();
        length = rich->toPlainText().size();
    }
    if (cursor.selectionStart() == 0 && cursor.selectionEnd() == length && length > 0)
        return QStringLiteral("all");
    if (!cursor.hasSelection() && cursor.position() == length)
        return QStringLiteral("end");
    return QStringLiteral("other");
}

bool visible(QWidget *widget)
{
    return widget && widget->isVisible();
}

}  // namespace

class TstEnhancedGridEditing : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Each case starts as in a fresh process: no click counted, no clipboard key pending.
    void init()
    {
        QGuiApplication::clipboard()->clear();
        GridSharedState::reset();
    }

    void columnEnter_data();
    void columnEnter();
    void columnEnterOnInactiveLinkRaisesNothing();
    void activation_data();
    void activation();
    void memoEditorFollowsViewType();
    void secondClickOpensMemo_data();
    void secondClickOpensMemo();
    void alwaysShowEditorOpensAtOnce();
    void escapeInMemoDropsWholeRecord();
    void memoEditorOutlivingGridIsLeftAlone();
    void leavingMemoKeepsText();
    void memoTextRefusedKeepsRecord();
    void richEditKeepsFormattedText();
    void datePicker_data();
    void datePicker();
    void datePickerSaveRefusedKeepsRecord();
    void toggle_data();
    void toggle();
    void failingToggleKeepsValue();
    void readOnlyGridNeverEdits();
    void hostedControl();
    void hostedControlReleases_data();
    void hostedControlReleases();
    void controlsItemNamingNoComponent();
    void enterAsTab();
    void clipboard_data();
    void clipboard();
    void autoAppend_data();
    void autoAppend();
};

void TstEnhancedGridEditing::columnEnter_data()
{
    QTest::addColumn<int>("col");
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<bool>("displayDateTime");
    QTest::addColumn<bool>("goEditing");

    QTest::newRow("plain -> text editor") << int(Name) << false << true << true;
    QTest::newRow("boolean -> own editor") << int(Done) << false << true << false;
    QTest::newRow("memo -> own editor") << int(Notes) << false << true << false;
    QTest::newRow("picture -> own editor") << int(Photo) << false << true << false;
    QTest::newRow("date with DisplayDateTime -> picker") << int(Day) << false << true << false;
    QTest::newRow("date without DisplayDateTime -> text") << int(Day) << false << false << true;
    QTest::newRow("read-only grid, plain -> none") << int(Name) << true << true << false;
}

void TstEnhancedGridEditing::columnEnter()
{
    QFETCH(int, col);
    QFETCH(bool, readOnly);
    QFETCH(bool, displayDateTime);
    QFETCH(bool, goEditing);

    EditingFixture f;
    f.grid->setDisplayDateTime(displayDateTime);
    f.grid->setReadOnly(readOnly);
    f.select(Count);
    QSignalSpy entered(f.grid.get(), &TDBGrid::OnColEnter);
    f.select(Col(col));
    QCOMPARE(bool(f.grid->cellOptions() & CellGrid::goEditing), goEditing);
    QCOMPARE(entered.count(), 1);
}

void TstEnhancedGridEditing::columnEnterOnInactiveLinkRaisesNothing()
{
    EditingFixture f;
    QSignalSpy entered(f.grid.get(), &TDBGrid::OnColEnter);
    f.data.table.close();
    f.grid->setDisplayBoolean(!f.grid->displayBoolean());
    QCOMPARE(entered.count(), 0);
}

void TstEnhancedGridEditing::activation_data()
{
    QTest::addColumn<int>("col");
    QTest::addColumn<QString>("options");  // letters: m DisplayMemo off, f FullSizeMemo, p DisplayPopupEditors,
                                           // r RichEdit, d DisplayDateTime off, b DisplayBoolean off
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("expected");

    QTest::newRow("memo, Space -> memo all selected") << int(Notes) << "" << int(Qt::Key_Space) << "memo all";
    QTest::newRow("memo, F2 -> memo caret at end") << int(Notes) << "" << int(Qt::Key_F2) << "memo end";
    QTest::newRow("memo, RichEdit, Space -> rich all selected")
        << int(Notes) << "r" << int(Qt::Key_Space) << "rich all";
    QTest::newRow("memo, RichEdit, F2 -> rich caret at end") << int(Notes) << "r" << int(Qt::Key_F2) << "rich end";
    QTest::newRow("memo, FullSizeMemo -> nothing") << int(Notes) << "f" << int(Qt::Key_Space) << "";
    QTest::newRow("memo, DisplayMemo off, popup -> viewer step")
        << int(Notes) << "mp" << int(Qt::Key_Space) << "dblclick,Field: Notes / Notes";
    QTest::newRow("memo, DisplayMemo off, no popup -> nothing") << int(Notes) << "m" << int(Qt::Key_Space) << "";
    QTest::newRow("picture, popup -> viewer step")
        << int(Photo) << "p" << int(Qt::Key_Space) << "dblclick,Field: Hive photo / Photo";
    QTest::newRow("picture, no popup -> nothing") << int(Photo) << "" << int(Qt::Key_F2) << "";
    QTest::newRow("date, Space -> date picker") << int(Day) << "" << int(Qt::Key_Space) << "date dtkDate";
    QTest::newRow("time, F2 -> time picker") << int(At) << "" << int(Qt::Key_F2) << "date dtkTime";
    QTest::newRow("date and time -> date picker") << int(Stamp) << "" << int(Qt::Key_Space) << "date dtkDate";
    QTest::newRow("date, DisplayDateTime off -> text editor") << int(Day) << "d" << int(Qt::Key_F2) << "text";
    QTest::newRow("boolean, Space -> toggled") << int(Done) << "" << int(Qt::Key_Space) << "toggled";
    QTest::newRow("boolean, DisplayBoolean off -> text editing allowed")
        << int(Done) << "b" << int(Qt::Key_F2) << "goEditing";
    QTest::newRow("plain, F2 -> text editor") << int(Name) << "" << int(Qt::Key_F2) << "text";
}

void TstEnhancedGridEditing::activation()
{
    QFETCH(int, col);
    QFETCH(QString, options);
    QFETCH(int, key);
    QFETCH(QString, expected);

    EditingFixture f;
    f.grid->setDisplayMemo(!options.contains(QLatin1Char('m')));
    f.grid->setFullSizeMemo(options.contains(QLatin1Char('f')));
    f.grid->setDisplayPopupEditors(options.contains(QLatin1Char('p')));
    f.grid->setMemoInplaceEditor(options.contains(QLatin1Char('r')) ? TEnhancedGrid::RichEdit : TEnhancedGrid::Memo);
    f.grid->setDisplayDateTime(!options.contains(QLatin1Char('d')));
    f.grid->setDisplayBoolean(!options.contains(QLatin1Char('b')));
    f.select(Col(col));
    QSignalSpy doubleClicks(f.grid.get(), &TDBGrid::OnDblClick);
    f.key(key);

    QStringList seen;
    if (visible(f.grid->memoEditor()))
        seen << QStringLiteral("memo ") + memoSelection(f.grid->memoEditor());
    if (visible(f.grid->richEditor()))
        seen << QStringLiteral("rich ") + memoSelection(f.grid->richEditor());
    if (visible(f.grid->datePicker()))
        seen << QStringLiteral("date ")
                + QString::fromLatin1(QMetaEnum::fromType<TBorderDateTimePicker::TDateTimeKind>().valueToKey(
                    f.grid->datePicker()->kind()));
    if (doubleClicks.count() > 0)
        seen << QStringLiteral("dblclick");
    for (const QString &view : std::as_const(f.viewed))
        seen << view;
    if (f.field(Done)->asBoolean())
        seen << QStringLiteral("toggled");
    if (f.grid->inplaceEditor() && f.grid->inplaceEditor()->isVisible())
        seen << QStringLiteral("text");
    else if (f.grid->cellOptions() & CellGrid::goEditing)
        seen << QStringLiteral("goEditing");
    QCOMPARE(seen.join(QLatin1Char(',')), expected);
    if (expected.startsWith(QLatin1String("memo")))
        QCOMPARE(f.grid->memoEditor()->toPlainText(), QStringLiteral("Note 1"));
    if (expected.startsWith(QLatin1String("memo")) || expected.startsWith(QLatin1String("rich")))
        QVERIFY(QApplication::focusWidget() == f.grid->memoEditor()
                || QApplication::focusWidget() == f.grid->richEditor());
}

void TstEnhancedGridEditing::memoEditorFollowsViewType()
{
    EditingFixture f;
    f.grid->setEditColor(QColor(250, 240, 200));
    f.select(Notes);
    f.grid->setMemoViewType(TEnhancedGrid::ScrollBarsOn);
    f.key(Qt::Key_Space);
    TDBMemo *memo = f.grid->memoEditor();
    QVERIFY(visible(memo));
    QCOMPARE(memo->lineWrapMode(), QPlainTextEdit::NoWrap);
    QCOMPARE(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(memo->palette().color(QPalette::Base), QColor(250, 240, 200));
    const QRect cell = f.grid->cellRect(f.grid->col(), f.grid->row());
    QCOMPARE(memo->geometry(), QRect(f.grid->viewport()->mapTo(&f.form, cell.topLeft()), cell.size()));
    f.key(Qt::Key_Escape);
    f.grid->setMemoViewType(TEnhancedGrid::WordWrapOn);
    f.key(Qt::Key_Space);
    QCOMPARE(memo->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    QCOMPARE(memo->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
}

void TstEnhancedGridEditing::secondClickOpensMemo_data()
{
    QTest::addColumn<QList<QPoint>>("clicks");  // (data column, data row) per click
    QTest::addColumn<bool>("opened");

    QTest::newRow("same memo cell twice -> opens") << QList<QPoint>{{Notes, 0}, {Notes, 0}} << true;
    QTest::newRow("memo cell, another memo cell -> stays shut") << QList<QPoint>{{Notes, 0}, {Notes, 1}} << false;
    QTest::newRow("memo, plain, memo -> count starts again")
        << QList<QPoint>{{Notes, 0}, {Name, 0}, {Notes, 0}} << false;
    QTest::newRow("memo, plain, memo, memo -> opens")
        << QList<QPoint>{{Notes, 0}, {Name, 0}, {Notes, 0}, {Notes, 0}} << true;
}

void TstEnhancedGridEditing::secondClickOpensMemo()
{
    QFETCH(QList<QPoint>, clicks);
    QFETCH(bool, opened);

    EditingFixture f;
    f.select(Name);
    for (const QPoint &click : clicks) {
        f.click(Col(click.x()), click.y());
        if (visible(f.grid->memoEditor()))
            break;
    }
    QCOMPARE(visible(f.grid->memoEditor()), opened);
    if (opened)
        QCOMPARE(memoSelection(f.grid->memoEditor()), QStringLiteral("all"));
}

void TstEnhancedGridEditing::alwaysShowEditorOpensAtOnce()
{
    EditingFixture f;
    f.grid->setOptions(f.grid->options() | TDBGrid::dgAlwaysShowEditor);
    f.select(Name);
    f.click(Notes);
    QVERIFY(visible(f.grid->memoEditor()));
    QCOMPARE(memoSelection(f.grid->memoEditor()), QStringLiteral("all"));
}

void TstEnhancedGridEditing::escapeInMemoDropsWholeRecord()
{
    EditingFixture f;
    f.data.table.edit();
    f.field(Name)->setAsString(QStringLiteral("Changed"));
    f.select(Notes);
    f.key(Qt::Key_F2);
    QVERIFY(visible(f.grid->memoEditor()));
    QTest::keyClicks(f.grid->memoEditor(), QStringLiteral(" more"));
    QTest::keyClick(f.grid->memoEditor(), Qt::Key_Escape);

    QVERIFY(!f.grid->memoEditor()->isVisible());
    QCOMPARE(f.data.table.state(), dsBrowse);
    QCOMPARE(f.field(Name)->asString(), QStringLiteral("Name 1"));
    QCOMPARE(f.field(Notes)->asString(), QStringLiteral("Note 1"));
    QVERIFY(f.grid->memoEditor()->dataField().isEmpty());
    QVERIFY(f.grid->hasFocus());
}

void TstEnhancedGridEditing::memoEditorOutlivingGridIsLeftAlone()
{
    // The editors live on the form; once the grid has gone, their keys are theirs alone.
    EditingFixture f;
    f.select(Notes);
    f.key(Qt::Key_F2);
    QPointer<TDBMemo> memo = f.grid->memoEditor();
    QTest::keyClicks(memo, QStringLiteral(" more"));
    QCOMPARE(f.data.table.state(), dsEdit);
    f.grid.reset();
    QTest::keyClick(memo, Qt::Key_Escape);

    QVERIFY(visible(memo));
    QCOMPARE(f.data.table.state(), dsEdit);
}

void TstEnhancedGridEditing::leavingMemoKeepsText()
{
    EditingFixture f;
    f.select(Notes);
    f.key(Qt::Key_F2);
    QTest::keyClicks(f.grid->memoEditor(), QStringLiteral(" more"));
    f.other->setFocus();
    QTRY_VERIFY(!f.grid->memoEditor()->isVisible());

    QCOMPARE(f.data.table.state(), dsEdit);
    QCOMPARE(f.field(Notes)->asString(), QStringLiteral("Note 1 more"));
    QVERIFY(f.grid->memoEditor()->dataField().isEmpty());
    QVERIFY(f.grid->hasFocus());
    QVERIFY(f.dialogs->messages.isEmpty());
}

void TstEnhancedGridEditing::memoTextRefusedKeepsRecord()
{
    EditingFixture f;
    f.data.table.edit();
    f.field(Name)->setAsString(QStringLiteral("Changed"));
    f.select(Notes);
    f.key(Qt::Key_F2);
    QTest::keyClicks(f.grid->memoEditor(), QStringLiteral(" more"));
    // Another part of the program locks the field while the text is being typed.
    f.field(Notes)->setReadOnly(true);
    f.other->setFocus();
    QTRY_COMPARE(f.dialogs->texts(ScriptedDialogs::Kind::Error).size(), 1);
    QCOMPARE(f.dialogs->texts(ScriptedDialogs::Kind::Error).first(),
             QStringLiteral("Field 'Notes' cannot be modified"));

    QApplication::processEvents();
    QVERIFY(f.grid->memoEditor()->isVisible());
    QCOMPARE(f.grid->memoEditor()->toPlainText(), QStringLiteral("Note 1 more"));
    QCOMPARE(f.data.table.state(), dsEdit);
    QCOMPARE(f.field(Name)->asString(), QStringLiteral("Changed"));
}

void TstEnhancedGridEditing::richEditKeepsFormattedText()
{
    EditingFixture f;
    f.grid->setMemoInplaceEditor(TEnhancedGrid::RichEdit);
    f.select(Notes);
    f.key(Qt::Key_F2);
    TDBRichEdit *rich = f.grid->richEditor();
    QVERIFY(visible(rich));
    QCOMPARE(rich->toPlainText(), QStringLiteral("Note 1"));
    QTextCursor cursor = rich->textCursor();
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    cursor.insertText(QStringLiteral(" bold"), bold);
    f.grid->setFocus();
    QTRY_VERIFY(!rich->isVisible());

    QVERIFY(Qt::mightBeRichText(f.field(Notes)->asString()));
    QTextDocument stored;
    stored.setHtml(f.field(Notes)->asString());
    QCOMPARE(stored.toPlainText(), QStringLiteral("Note 1 bold"));
}

void TstEnhancedGridEditing::datePicker_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<DataSetState>("state");
    QTest::addColumn<QDate>("stored");

    QTest::newRow("Tab saves the chosen date") << "tab" << dsBrowse << QDate(2024, 6, 2);
    QTest::newRow("Enter saves the chosen date") << "enter" << dsBrowse << QDate(2024, 6, 2);
    QTest::newRow("Escape drops the change") << "escape" << dsBrowse << QDate(2024, 5, 1);
    QTest::newRow("leaving the picker drops the change") << "leave" << dsBrowse << QDate(2024, 5, 1);
}

void TstEnhancedGridEditing::datePicker()
{
    QFETCH(QString, how);
    QFETCH(DataSetState, state);
    QFETCH(QDate, stored);

    EditingFixture f;
    f.select(Day);
    f.key(Qt::Key_Space);
    TBorderDateTimePicker *picker = f.grid->datePicker();
    QVERIFY(visible(picker));
    QCOMPARE(picker->date(), QDate(2024, 5, 1));
    QCOMPARE(QApplication::focusWidget(), picker);
    picker->setDate(QDate(2024, 6, 2));
    QCOMPARE(f.data.table.state(), dsEdit);
    if (how == QLatin1String("tab"))
        QTest::keyClick(picker, Qt::Key_Tab);
    else if (how == QLatin1String("enter"))
        QTest::keyClick(picker, Qt::Key_Return);
    else if (how == QLatin1String("escape"))
        QTest::keyClick(picker, Qt::Key_Escape);
    else
        f.other->setFocus();
    QTRY_VERIFY(!picker->isVisible());

    QCOMPARE(f.data.table.state(), state);
    QCOMPARE(f.field(Day)->asDateTime().date(), stored);
    QVERIFY(f.dialogs->messages.isEmpty());
    if (how != QLatin1String("leave"))
        QVERIFY(f.grid->hasFocus());
}

void TstEnhancedGridEditing::datePickerSaveRefusedKeepsRecord()
{
    EditingFixture f;
    f.select(Day);
    f.key(Qt::Key_Space);
    TBorderDateTimePicker *picker = f.grid->datePicker();
    picker->setDate(QDate(2024, 6, 2));
    f.data.table.fieldByName(QStringLiteral("Name"))->setAsString(QStringLiteral("Changed"));
    f.field(Day)->setReadOnly(true);
    QTest::keyClick(picker, Qt::Key_Tab);

    QCOMPARE(f.dialogs->texts(ScriptedDialogs::Kind::Error),
             QStringList{QStringLiteral("Field 'Day' cannot be modified")});
    QVERIFY(picker->isVisible());
    QCOMPARE(f.data.table.state(), dsEdit);
    QCOMPARE(f.field(Name)->asString(), QStringLiteral("Changed"));
}

void TstEnhancedGridEditing::toggle_data()
{
    QTest::addColumn<bool>("ownTest");  // OnIsBooleanField makes Flag a check box
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("after");

    QTest::newRow("integer 0 -> 1") << true << 0 << 1;
    QTest::newRow("integer 1 -> 0") << true << 1 << 0;
    QTest::newRow("integer 5 -> 0") << true << 5 << 0;
    QTest::newRow("boolean false -> true") << false << 0 << 1;
    QTest::newRow("boolean true -> false") << false << 1 << 0;
}

void TstEnhancedGridEditing::toggle()
{
    QFETCH(bool, ownTest);
    QFETCH(int, before);
    QFETCH(int, after);

    EditingFixture f;
    const Col col = ownTest ? Flag : Done;
    f.data.table.edit();
    if (ownTest)
        f.field(Flag)->setAsInteger(before);
    else
        f.field(Done)->setAsBoolean(before != 0);
    f.data.table.post();
    if (ownTest)
        f.grid->OnIsBooleanField = [](const Field &field) { return field.fieldName() == QLatin1String("Flag"); };
    QSignalSpy cellClicks(f.grid.get(), &TDBGrid::OnCellClick);
    f.select(Name);
    f.click(col);

    QCOMPARE(f.data.table.state(), dsEdit);
    QCOMPARE(ownTest ? f.field(Flag)->asInteger() : int(f.field(Done)->asBoolean()), after);
    QCOMPARE(cellClicks.count(), 1);
}

void TstEnhancedGridEditing::failingToggleKeepsValue()
{
    EditingFixture f;
    // A date column the program calls a check box cannot take the number a toggle writes.
    f.grid->OnIsBooleanField = [](const Field &field) { return field.fieldName() == QLatin1String("Day"); };
    f.select(Count);
    f.click(Day);
    QCOMPARE(f.field(Day)->asDateTime().date(), QDate(2024, 5, 1));
    QCOMPARE(f.dialogs->texts(ScriptedDialogs::Kind::Error), QStringList{QStringLiteral("'1' is not a valid date")});
}

void TstEnhancedGridEditing::readOnlyGridNeverEdits()
{
    EditingFixture f;
    f.grid->setReadOnly(true);
    QSignalSpy cellClicks(f.grid.get(), &TDBGrid::OnCellClick);
    for (Col col : {Done, Notes, Notes, Day, Day}) {
        f.click(col);
        f.key(Qt::Key_Space);
    }
    QCOMPARE(cellClicks.count(), 0);
    QCOMPARE(f.data.table.state(), dsBrowse);
    QVERIFY(!f.field(Done)->asBoolean());
    QVERIFY(!visible(f.grid->memoEditor()));
    QVERIFY(!visible(f.grid->datePicker()));
}

void TstEnhancedGridEditing::hostedControl()
{
    EditingFixture f;
    TGridControl *item = f.grid->controls()->add();
    item->setControlName(QStringLiteral("NameEdit"));
    item->setFieldName(QStringLiteral("name"));
    f.select(Count);
    f.select(Name);
    f.key(Qt::Key_F2);

    QCOMPARE(f.grid->hostedControl(), f.nameEdit);
    QVERIFY(f.nameEdit->isVisible());
    QCOMPARE(QApplication::focusWidget(), f.nameEdit);
    QCOMPARE(f.data.table.state(), dsEdit);
    const QRect cell = f.grid->cellRect(f.grid->col(), f.grid->row());
    QCOMPARE(f.nameEdit->geometry(), QRect(f.grid->viewport()->mapTo(&f.form, cell.topLeft()), cell.size()));
    QVERIFY(!(f.grid->inplaceEditor() && f.grid->inplaceEditor()->isVisible()));

    // A wider grid moves nothing here, but the control is placed again over the same cell.
    f.nameEdit->setGeometry(0, 0, 5, 5);
    f.grid->resize(f.grid->width() - 20, f.grid->height());
    QTRY_COMPARE(f.nameEdit->geometry(), QRect(f.grid->viewport()->mapTo(&f.form, cell.topLeft()), cell.size()));
}

void TstEnhancedGridEditing::hostedControlReleases_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("gridFocused");

    QTest::newRow("Escape released") << "escape" << true;
    QTest::newRow("focus lost") << "focus" << false;
    QTest::newRow("record saved") << "post" << false;
    QTest::newRow("grid destroyed") << "destroy" << false;
}

void TstEnhancedGridEditing::hostedControlReleases()
{
    QFETCH(QString, how);
    QFETCH(bool, gridFocused);

    EditingFixture f;
    TGridControl *item = f.grid->controls()->add();
    item->setControlName(QStringLiteral("NameEdit"));
    item->setFieldName(QStringLiteral("Name"));
    f.select(Count);
    f.select(Name);
    f.key(Qt::Key_F2);
    QVERIFY(f.nameEdit->isVisible());

    if (how == QLatin1String("escape"))
        QTest::keyClick(f.nameEdit, Qt::Key_Escape);
    else if (how == QLatin1String("focus"))
        f.other->setFocus();
    else if (how == QLatin1String("post"))
        f.data.table.post();
    else
        f.grid.reset();
    QTRY_VERIFY(!f.nameEdit->isVisible());
    if (f.grid) {
        QCOMPARE(f.grid->hostedControl(), nullptr);
        QCOMPARE(f.grid->hasFocus(), gridFocused);
    }
    // A released control no longer answers to the grid.
    f.nameEdit->show();
    f.nameEdit->setFocus();
    QTest::keyClick(f.nameEdit, Qt::Key_Escape);
    QApplication::processEvents();
    QVERIFY(f.nameEdit->isVisible());
}

void TstEnhancedGridEditing::controlsItemNamingNoComponent()
{
    EditingFixture f;
    TGridControl *item = f.grid->controls()->add();
    item->setControlName(QStringLiteral("NoSuchControl"));
    item->setFieldName(QStringLiteral("Name"));
    f.select(Count);
    f.select(Name);
    f.key(Qt::Key_F2);

    QCOMPARE(f.grid->hostedControl(), nullptr);
    QVERIFY(f.grid->inplaceEditor() && f.grid->inplaceEditor()->isVisible());
    QTest::keyClicks(f.grid->inplaceEditor(), QStringLiteral("X"));
    QTest::keyClick(f.grid->inplaceEditor(), Qt::Key_Return);
    QCOMPARE(f.field(Name)->asString(), QStringLiteral("Name 1X"));
    QVERIFY(f.dialogs->messages.isEmpty());
}

void TstEnhancedGridEditing::enterAsTab()
{
    EditingFixture f;
    f.grid->setEnterAsTab(true);
    f.select(Name);
    f.key(Qt::Key_Return);
    QCOMPARE(f.grid->selectedIndex(), int(Count));
    QVERIFY(!(f.grid->inplaceEditor() && f.grid->inplaceEditor()->isVisible()));

    // Where the grid does not take Enter, the key goes on to the window.
    f.grid->setReadOnly(true);
    f.select(Name);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QApplication::sendEvent(f.grid.get(), &enter);
    QVERIFY(!enter.isAccepted());
    QCOMPARE(f.grid->selectedIndex(), int(Name));
}

void TstEnhancedGridEditing::clipboard_data()
{
    QTest::addColumn<int>("col");
    QTest::addColumn<bool>("editing");
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("clipboardBefore");
    QTest::addColumn<QString>("clipboardAfter");
    QTest::addColumn<QString>("fieldAfter");
    QTest::addColumn<QString>("error");

    const int ctrl = int(Qt::ControlModifier);
    const int ctrlShift = int(Qt::ControlModifier | Qt::ShiftModifier);
    QTest::newRow("Ctrl+C copies the cell") << int(Name) << false << false << int(Qt::Key_C) << ctrl << ""
                                            << "Name 1"
                                            << "Name 1"
                                            << "";
    QTest::newRow("Ctrl+Shift+C copies nothing") << int(Name) << false << false << int(Qt::Key_C) << ctrlShift << ""
                                                 << ""
                                                 << "Name 1"
                                                 << "";
    QTest::newRow("Ctrl+C on a read-only grid copies nothing")
        << int(Name) << false << true << int(Qt::Key_C) << ctrl << ""
        << ""
        << "Name 1"
        << "";
    QTest::newRow("Ctrl+V in browse state changes nothing")
        << int(Name) << false << false << int(Qt::Key_V) << ctrl << "Pasted"
        << "Pasted"
        << "Name 1"
        << "";
    QTest::newRow("Ctrl+V while editing pastes") << int(Name) << true << false << int(Qt::Key_V) << ctrl << "Pasted"
                                                 << "Pasted"
                                                 << "Pasted"
                                                 << "";
    QTest::newRow("Ctrl+V of a number into a number") << int(Count) << true << false << int(Qt::Key_V) << ctrl << "42"
                                                      << "42"
                                                      << "42"
                                                      << "";
    QTest::newRow("Ctrl+V of words into a number is refused")
        << int(Count) << true << false << int(Qt::Key_V) << ctrl << "forty"
        << "forty"
        << "1"
        << "'forty' is not a valid integer value for field 'Count'";
    QTest::newRow("Ctrl+V of too long a text is refused")
        << int(Name) << true << false << int(Qt::Key_V) << ctrl << "Much too long a name"
        << "Much too long a name"
        << "Name 1"
        << "The clipboard's text is 20 characters long; field 'Name' holds at most 10";
}

void TstEnhancedGridEditing::clipboard()
{
    QFETCH(int, col);
    QFETCH(bool, editing);
    QFETCH(bool, readOnly);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, clipboardBefore);
    QFETCH(QString, clipboardAfter);
    QFETCH(QString, fieldAfter);
    QFETCH(QString, error);

    EditingFixture f;
    f.grid->setReadOnly(readOnly);
    f.select(Col(col));
    QGuiApplication::clipboard()->setText(clipboardBefore);
    if (editing)
        f.data.table.edit();
    f.key(key, Qt::KeyboardModifiers(modifiers));

    QCOMPARE(QGuiApplication::clipboard()->text(), clipboardAfter);
    QCOMPARE(f.field(Col(col))->asString(), fieldAfter);
    QCOMPARE(f.dialogs->texts(ScriptedDialogs::Kind::Error), error.isEmpty() ? QStringList() : QStringList{error});
    QCOMPARE(f.data.table.state(), editing ? dsEdit : dsBrowse);
    // The command is used up: a plain key that follows runs none.
    QGuiApplication::clipboard()->setText(QStringLiteral("later"));
    f.grid->setFocus();
    f.key(Qt::Key_Left);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("later"));
}

void TstEnhancedGridEditing::autoAppend_data()
{
    QTest::addColumn<bool>("allow");
    QTest::addColumn<int>("key");
    QTest::addColumn<DataSetState>("state");

    QTest::newRow("Down, append allowed -> new record") << true << int(Qt::Key_Down) << dsInsert;
    QTest::newRow("Down, no append -> none") << false << int(Qt::Key_Down) << dsBrowse;
    QTest::newRow("Tab past the last column, no append -> none") << false << int(Qt::Key_Tab) << dsBrowse;
}

void TstEnhancedGridEditing::autoAppend()
{
    QFETCH(bool, allow);
    QFETCH(int, key);
    QFETCH(DataSetState, state);

    EditingFixture f;
    f.grid->setAllowAutoAppend(allow);
    f.data.table.last();
    f.select(key == Qt::Key_Tab ? Photo : Name);
    f.key(key);
    QCOMPARE(f.data.table.state(), state);
    QCOMPARE(f.data.table.recordCount(), 3);
    if (!allow)
        QCOMPARE(f.field(Name)->asString(), QStringLiteral("Name 3"));
}

QTEST_MAIN(TstEnhancedGridEditing)
#include "tst_enhancedgrid_editing.moc"
