// The enhanced grid's in-place editing: which editor a cell gets, the column-enter step, the memo,
// rich-text and date editors laid over the cell, hosted controls of the form, and the cell click
// that toggles check boxes and opens an editor on a second click.

#include "grid/tenhancedgrid.h"

#include "dbctrls/tborderdatetimepicker.h"
#include "dbctrls/tdbmemo.h"
#include "dbctrls/tdbrichedit.h"
#include "grid/editorhook.h"
#include "grid/fieldkind.h"
#include "grid/gridcompanions.h"
#include "grid/gridsharedstate.h"
#include "grid/tinplaceedit.h"
#include "platform/errorreport.h"
#include "store/field.h"
#include "store/table.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QScopedValueRollback>
#include <QTextCursor>

namespace kelvara {

namespace {

bool isDateType(FieldType type)
{
    return type == ftDate || type == ftDateTime;
}

bool isMemoType(const Field &field)
{
    const FieldType type = field.dataType();
    return type == ftMemo || type == ftFmtMemo || type == ftBytes;
}

template <class Editor> void selectText(Editor *editor, int length, bool selectAll)
{
    QTextCursor cursor = editor->textCursor();
    if (selectAll) {
        cursor.setPosition(0);
        cursor.setPosition(length, QTextCursor::KeepAnchor);
    } else {
        cursor.setPosition(length);
    }
    editor->setTextCursor(cursor);
}

template <class Editor> void unbind(Editor *editor)
{
    editor->setDataSource(nullptr);
    editor->setDataField(QString());
}

bool isExit(const QEvent *event)
{
    if (event->type() != QEvent::FocusOut)
        return false;
    // Another window or a pop-up (the calendar) taking the focus for a while is no exit.
    const Qt::FocusReason reason = static_cast<const QFocusEvent *>(event)->reason();
    return reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason;
}

}  // namespace

TDBRichEdit *TEnhancedGrid::richEditor() const
{
    return qobject_cast<TDBRichEdit *>(m_richEditor.data());
}

// -- Column enter

void TEnhancedGrid::runColumnEnter()
{
    colEnter();
}

void TEnhancedGrid::colEnter()
{
    const int firstScrollable = fixedCols();
    if (col() <= firstScrollable && firstScrollable < colCount()) {
        const int before = col();
        setLeftCol(firstScrollable);
        if (col() != firstScrollable) {
            setCurrentCell(firstScrollable, row(), true);
            // Moving the cell ran this step for the new column.
            if (col() != before)
                return;
        }
    }
    if (selectedIndex() == -1)
        selectDataColumn(m_lockedCols);

    const auto setEditing = [this](bool on) {
        const TGridOptions cells = cellOptions();
        if (bool(cells & goEditing) == on)
            return;
        const UpdateLock lock(*this);
        setCellOptions(on ? (cells | goEditing) : (cells & ~TGridOptions(goEditing)));
    };
    const auto raise = [this] {
        TDBGrid::colEnter();
        placeHiddenEditors();
    };
    if (readOnly() || dataLink().readOnly()) {
        setEditing(false);
        raise();
        return;
    }
    if (!dataLink().active())
        return;
    // These cells have editors of their own; the text editor would only get in their way.
    if (const Field *field = selectedField()) {
        const bool ownEditor = isBooleanField(*field) || field->isBlobField() || field->dataType() == ftBytes
            || (field->isDateTimeField() && displayDateTime());
        setEditing(!ownEditor);
    } else {
        setEditing(true);
    }
    raise();
}

// -- Which editor shows

QWidget *TEnhancedGrid::controlFor(const Field &field) const
{
    const TGridControl *item = m_controls->controlForField(field.fieldName());
    QObject *owner = parent();
    if (!item || !owner || item->controlName().isEmpty())
        return nullptr;
    // A name that matches no control of the form leaves the field without an item: its cells
    // are edited as if the item were not there.
    return owner->findChild<QWidget *>(item->controlName());
}

TEnhancedGrid::EditShow TEnhancedGrid::editShowAnswer(QWidget **control) const
{
    if (!(options() & dgEditing) || !windowExists() || updateLocked())
        return EditShow::No;
    if (!(options() & dgAlwaysShowEditor) && !hasFocusWithin())
        return EditShow::No;
    const int selected = selectedIndex();
    const Field *field = selectedField();
    if (!dataLink().active() || selected < 0 || selected >= columns()->count() || !field)
        return EditShow::No;
    QWidget *hosted = controlFor(*field);
    if (!hosted && !isMemoType(*field) && field->isBlobField())
        return EditShow::No;
    if (!field->canModify() || field->readOnly())
        return EditShow::No;
    if (hosted) {
        if (control)
            *control = hosted;
        return EditShow::Hosted;
    }
    switch (field->dataType()) {
    case ftBoolean: return displayBoolean() ? EditShow::No : EditShow::Yes;
    case ftDate:
    case ftTime:
    case ftDateTime: return displayDateTime() ? EditShow::No : EditShow::Yes;
    default: return EditShow::Yes;
    }
}

bool TEnhancedGrid::canEditShow() const
{
    const TGridOptions cells = cellOptions();
    if (!(cells & goEditing) || (cells & goRowSelect))
        return false;
    if (!editorMode() && !(cells & goAlwaysShowEditor))
        return false;
    return editShowAnswer() != EditShow::No;
}

void TEnhancedGrid::showEditor()
{
    // Placing a control changes the options for a moment; the text editor stays away meanwhile.
    if (m_placingControl)
        return;
    m_controlShown = false;
    QWidget *control = nullptr;
    if (canEditShow() && editShowAnswer(&control) == EditShow::Hosted) {
        // The form's control edits the cell; the text editor stays out of its way.
        TDBGrid::hideEditor();
        ShowEditControl(control, col(), row());
        m_controlShown = true;
        return;
    }
    TDBGrid::showEditor();
}

TInplaceEdit *TEnhancedGrid::createEditor()
{
    TInplaceEdit *editor = TDBGrid::createEditor();
    QPalette colours = editor->palette();
    colours.setColor(QPalette::Base, editColor());
    editor->setPalette(colours);
    return editor;
}

// -- Hosted controls

void TEnhancedGrid::ShowEditControl(QWidget *control, int col, int row)
{
    if (!control || m_placingControl)
        return;
    const QScopedValueRollback<bool> placing(m_placingControl, true);
    dataLink().edit();
    if (!dataLink().editing())
        return;
    if (control != m_hostedControl) {
        releaseHostedControl();
        m_hostedControl = control;
        auto *hook = new EditorHook(
            control, [this](QObject *watched, QEvent *event) { return hostedControlEvent(watched, event); });
        hook->watch(this);
        m_hostedHook = hook;
        // A grid that goes away gives its control back to the form, hidden.
        connect(this, &QObject::destroyed, control, [control, hook = QPointer<EditorHook>(hook)] {
            if (hook)
                hook->release();
            control->hide();
        });
    }
    QWidget *host = parentWidget();
    if (host && control->parentWidget() != host)
        control->setParent(host);
    const QRect cell = cellRect(col, row);
    const QPoint global = viewport()->mapToGlobal(cell.topLeft());
    const QPoint topLeft = control->parentWidget() ? control->parentWidget()->mapFromGlobal(global) : global;
    control->raise();
    control->show();
    control->setGeometry(QRect(topLeft, cell.size()));
    QWidget *form = window();
    if (isVisible() && control->isVisible() && (!host || host->isVisible()) && form->isVisible()) {
        // Leaving the grid for its own control must not drop a new record.
        const TDBGridOptions saved = options();
        const TGridOptions cells = cellOptions();
        if (saved & dgCancelOnExit)
            setOptions(saved & ~TDBGridOptions(dgCancelOnExit));
        control->setFocus(Qt::OtherFocusReason);
        if (saved & dgCancelOnExit) {
            setOptions(saved);
            setCellOptions(cells);
        }
    }
}

bool TEnhancedGrid::hostedControlEvent(QObject *watched, QEvent *event)
{
    if (watched == this) {
        QPointer<QWidget> control = m_hostedControl;
        if (event->type() == QEvent::Resize && control && control->isVisible()) {
            // The new size may move the cell; place the control again once the grid has laid out.
            QMetaObject::invokeMethod(
                this,
                [this, control] {
                    if (control && control == m_hostedControl && control->isVisible())
                        guarded(this, [&] { ShowEditControl(control, col(), row()); });
                },
                Qt::QueuedConnection);
        }
        return false;
    }
    QPointer<QWidget> control = m_hostedControl;
    if (!control)
        return false;
    // The control handles the event first; the grid then acts on what it did.
    const bool escape = event->type() == QEvent::KeyRelease && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape
        && !(options() & dgAlwaysShowEditor);
    const bool focusLost = event->type() == QEvent::FocusOut;
    if (escape || focusLost) {
        QMetaObject::invokeMethod(
            this,
            [this, control, escape] {
                if (!control || control != m_hostedControl)
                    return;
                releaseHostedControl();
                if (escape && isVisible())
                    setFocus(Qt::OtherFocusReason);
            },
            Qt::QueuedConnection);
    }
    return false;
}

void TEnhancedGrid::releaseHostedControl()
{
    if (auto *hook = qobject_cast<EditorHook *>(m_hostedHook.data()))
        hook->release();
    QPointer<QWidget> control = m_hostedControl;
    m_hostedControl = nullptr;
    if (control)
        control->hide();
}

void TEnhancedGrid::editingChanged()
{
    TDBGrid::editingChanged();
    // A control left over a record that is no longer edited would show stale text.
    if (m_hostedControl && dataLink().active() && !dataLink().editing())
        releaseHostedControl();
}

// -- Memo, rich-text and date editors

void TEnhancedGrid::prepareMemoEditor()
{
    placeHiddenEditors();
    const Field *field = selectedField();
    if (!field || fieldKind(field, OnIsBooleanField) != FieldKind::MemoLike || !displayMemo() || !hasFocusWithin())
        return;
    QWidget *host = parentWidget() ? parentWidget() : this;
    QAbstractScrollArea *editor = nullptr;
    if (m_memoInplaceEditor == RichEdit) {
        if (!m_richEditor) {
            auto *rich = new TDBRichEdit(host);
            rich->setObjectName(QStringLiteral("richEditor"));
            rich->hide();
            m_richEditor = rich;
        }
        auto *rich = richEditor();
        rich->setLineWrapMode(m_memoViewType == WordWrapOn ? QTextEdit::WidgetWidth : QTextEdit::NoWrap);
        editor = rich;
    } else if (m_memoEditor) {
        m_memoEditor->setLineWrapMode(m_memoViewType == WordWrapOn ? QPlainTextEdit::WidgetWidth
                                                                   : QPlainTextEdit::NoWrap);
        editor = m_memoEditor;
    }
    if (!editor)
        return;
    const Qt::ScrollBarPolicy bars = m_memoViewType == WordWrapOn ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAlwaysOn;
    editor->setHorizontalScrollBarPolicy(bars);
    editor->setVerticalScrollBarPolicy(bars);
    editor->setFrameShape(QFrame::NoFrame);
    editor->setAutoFillBackground(true);
    editor->setFont(font());
    QPalette palette = editor->palette();
    palette.setColor(QPalette::Base, editColor());
    editor->setPalette(palette);
    placeOverCurrentCell(editor);
    hookEditor(editor);
}

void TEnhancedGrid::hookEditor(QWidget *editor)
{
    if (editor->findChild<EditorHook *>(QString(), Qt::FindDirectChildrenOnly))
        return;
    // The hook is the editor's child and goes with it.
    new EditorHook(editor, [this](QObject *watched, QEvent *event) {
        bool consumed = false;
        guarded(this, [&] {
            consumed = watched == m_datePicker ? datePickerEvent(event)
                                               : memoEditorEvent(static_cast<QWidget *>(watched), event);
        });
        return consumed;
    });
}

void TEnhancedGrid::openMemoEditor(bool selectAll)
{
    prepareMemoEditor();
    const TColumn *column = selectedColumn();
    if (!column)
        return;
    int length = 0;
    QWidget *editor = nullptr;
    if (m_memoInplaceEditor == RichEdit) {
        TDBRichEdit *rich = richEditor();
        if (!rich)
            return;
        rich->setDataSource(dataSource());
        rich->setDataField(column->fieldName());
        editor = rich;
    } else {
        if (!m_memoEditor)
            return;
        m_memoEditor->setDataSource(dataSource());
        m_memoEditor->setDataField(column->fieldName());
        editor = m_memoEditor;
    }
    editor->show();
    editor->raise();
    editor->setFocus(Qt::OtherFocusReason);
    if (TDBRichEdit *rich = qobject_cast<TDBRichEdit *>(editor)) {
        length = rich->document()->characterCount() - 1;
        selectText(rich, length, selectAll);
    } else {
        length = m_memoEditor->document()->characterCount() - 1;
        selectText(m_memoEditor.data(), length, selectAll);
    }
}

// Writes what the editor's own write-back left unwritten: a field that refuses the text says why,
// rather than the text vanishing with the editor.
template <class Editor> static void writeRefusedText(Editor *editor, const QString &text)
{
    FieldDataLink &link = editor->dataLink();
    if (!link.isModified() || !link.field())
        return;
    try {
        link.field()->setText(text);
    } catch (...) {
        editor->setFocus(Qt::OtherFocusReason);
        throw;
    }
    link.reset();
}

void TEnhancedGrid::closeMemoEditor(bool cancelRecord)
{
    if (!cancelRecord) {
        if (m_memoEditor && m_memoEditor->isVisible())
            writeRefusedText(m_memoEditor.data(), m_memoEditor->toPlainText());
        if (TDBRichEdit *rich = richEditor(); rich && rich->isVisible())
            writeRefusedText(rich, rich->toHtml());
    }
    Table *table = activeTable();
    for (QWidget *editor : {static_cast<QWidget *>(m_memoEditor.data()), m_richEditor.data()}) {
        if (!editor || !editor->isVisible())
            continue;
        const bool dropping = cancelRecord && table && table->state() == dsEdit;
        // The typed text goes with the rest of the record's changes, unwritten.
        if (dropping) {
            if (auto *memo = qobject_cast<TDBMemo *>(editor))
                memo->dataLink().reset();
            else if (auto *rich = qobject_cast<TDBRichEdit *>(editor))
                rich->dataLink().reset();
        }
        editor->hide();
        if (dropping)
            table->cancel();
        if (auto *memo = qobject_cast<TDBMemo *>(editor))
            unbind(memo);
        else if (auto *rich = qobject_cast<TDBRichEdit *>(editor))
            unbind(rich);
    }
    focusGrid();
}

bool TEnhancedGrid::memoEditorEvent(QWidget *editor, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
        closeMemoEditor(true);
        return true;
    }
    if (isExit(event) && editor->isVisible()) {
        // The editor writes its text into the record first; text the field refuses keeps the
        // editor open, its message shown.
        QPointer<QWidget> guard = editor;
        QMetaObject::invokeMethod(
            this,
            [this, guard] {
                if (guard && guard->isVisible() && !guard->hasFocus())
                    guarded(this, [&] { closeMemoEditor(false); });
            },
            Qt::QueuedConnection);
    }
    return false;
}

void TEnhancedGrid::openDatePicker()
{
    placeHiddenEditors();
    Field *field = selectedField();
    if (!m_datePicker || !field || !field->isDateTimeField())
        return;
    hookEditor(m_datePicker);
    if (!m_datePicker->property("gridChangeHandler").toBool()) {
        m_datePicker->setProperty("gridChangeHandler", true);
        connect(m_datePicker, &QDateTimeEdit::dateTimeChanged, this,
                [this] { guarded(this, [&] { datePickerChanged(); }); });
    }
    {
        const QSignalBlocker quiet(m_datePicker);
        m_datePicker->setCalendarPopup(true);
        m_datePicker->setKind(isDateType(field->dataType()) ? TBorderDateTimePicker::dtkDate
                                                            : TBorderDateTimePicker::dtkTime);
        m_datePicker->setFont(font());
        if (!field->isNull())
            m_datePicker->setDateTime(field->asDateTime());
    }
    m_datePicker->show();
    m_datePicker->raise();
    // A picker that cannot take the focus stays open without it.
    m_datePicker->setFocus(Qt::OtherFocusReason);
}

void TEnhancedGrid::datePickerChanged()
{
    Table *table = activeTable();
    Field *field = selectedField();
    if (!m_datePicker || !m_datePicker->isVisible() || !table || !field)
        return;
    if (table->canModify() && isEditable() && table->state() != dsEdit && table->state() != dsInsert) {
        table->edit();
        field->setAsDateTime(m_datePicker->dateTime());
    }
}

void TEnhancedGrid::closeDatePicker(bool cancelRecord)
{
    if (!m_datePicker)
        return;
    m_datePicker->hide();
    Table *table = activeTable();
    if (cancelRecord && table && table->state() == dsEdit)
        table->cancel();
    focusGrid();
}

bool TEnhancedGrid::datePickerEvent(QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Tab || key == Qt::Key_Return || key == Qt::Key_Enter) {
            Table *table = activeTable();
            Field *field = selectedField();
            // A date the record refuses leaves the picker open on it, the record as it was.
            if (table && field) {
                if (table->canModify() && isEditable() && table->state() != dsEdit)
                    table->edit();
                field->setAsDateTime(m_datePicker->dateTime());
                table->post();
            }
            m_datePicker->hide();
            focusGrid();
            return true;
        }
        if (key == Qt::Key_Escape) {
            closeDatePicker(true);
            return true;
        }
    }
    if (isExit(event) && m_datePicker->isVisible()) {
        // Leaving the picker any way but Tab or Enter drops what it changed.
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (m_datePicker && m_datePicker->isVisible() && !m_datePicker->hasFocus())
                    guarded(this, [&] { closeDatePicker(true); });
            },
            Qt::QueuedConnection);
    }
    return false;
}

void TEnhancedGrid::focusGrid()
{
    if (!hasFocus() && isVisible())
        setFocus(Qt::OtherFocusReason);
}

void TEnhancedGrid::openFieldViewer()
{
    Field *field = selectedField();
    if (!field)
        return;
    gridCompanions().viewField(*this, *field, tr("Field: %1").arg(field->displayLabel()));
}

// -- Clicks and activation

void TEnhancedGrid::toggleBoolean(Field &field)
{
    // A value the field cannot turn into a check box state stays as it was, and the user hears why.
    if (OnIsBooleanField)
        field.setAsInteger(field.asInteger() == valueUnChecked() ? m_valueChecked : valueUnChecked());
    else
        field.setAsBoolean(!field.asBoolean());
}

void TEnhancedGrid::countClick(bool memo)
{
    GridSharedState::ClickCounters &clicks = GridSharedState::instance().clicks;
    int &counter = memo ? clicks.memo : clicks.date;
    ++counter;
    Table *table = activeTable();
    // A record being inserted sits one row below where the click found it.
    const int clickedRow = row() + (table && table->state() == dsInsert ? 1 : 0);
    const QPoint position = cellRect(col(), clickedRow).topLeft();
    if (counter == 1) {
        clicks.first = position;
        return;
    }
    clicks.second = position;
    clicks.memo = 0;
    clicks.date = 0;
    if (clicks.second != clicks.first)
        return;
    if (memo)
        openMemoEditor(true);
    else
        openDatePicker();
}

void TEnhancedGrid::cellClick(TColumn *column)
{
    if (!isEditable())
        return;
    {
        const UpdateLock lock(*this);
        hideSearchBox();
        Field *field = column ? column->field() : nullptr;
        if (field && !(options() & dgRowSelect) && (options() & dgEditing)) {
            const FieldKind kind = fieldKind(field, OnIsBooleanField);
            if (displayBoolean() && kind == FieldKind::Boolean && canEditModify())
                toggleBoolean(*field);
            const bool memoInPlace
                = kind == FieldKind::MemoLike && !m_displayPopupEditors && displayMemo() && !m_fullSizeMemo;
            const bool dateInPlace = kind == FieldKind::DateTime && displayDateTime();
            if (options() & dgAlwaysShowEditor) {
                if (memoInPlace)
                    openMemoEditor(true);
                if (dateInPlace)
                    openDatePicker();
            } else if (memoInPlace) {
                countClick(true);
            } else if (dateInPlace) {
                countClick(false);
            } else if (kind == FieldKind::Plain) {
                GridSharedState::instance().clicks.memo = 0;
                GridSharedState::instance().clicks.date = 0;
            }
        }
    }
    TDBGrid::cellClick(column);
}

void TEnhancedGrid::activateCell(bool selectAll)
{
    Field *field = selectedField();
    if (!field || !isEditable() || (options() & dgRowSelect) || !(options() & dgEditing))
        return;
    const FieldKind kind = fieldKind(field, OnIsBooleanField);
    if (kind == FieldKind::Boolean) {
        if (displayBoolean() && !field->readOnly()) {
            cellClick(selectedColumn());
        } else if (!displayBoolean() && !(cellOptions() & goEditing)) {
            const UpdateLock lock(*this);
            setCellOptions(cellOptions() | goEditing);
        }
    }
    // The field viewer opens through the double-click step, which also raises OnDblClick.
    if (m_displayPopupEditors && kind == FieldKind::Picture)
        dblClick();
    if (displayMemo()) {
        if (!m_fullSizeMemo && isMemoType(*field))
            openMemoEditor(selectAll);
    } else if (m_displayPopupEditors && kind == FieldKind::MemoLike) {
        dblClick();
    }
    if (displayDateTime() && kind == FieldKind::DateTime)
        openDatePicker();
}

}  // namespace kelvara
