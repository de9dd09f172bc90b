#include "grid/celleditors.h"

#include "dbctrls/tdbrichedit.h"
#include "grid/editorhook.h"
#include "grid/fieldkind.h"
#include "grid/gridcompanions.h"
#include "grid/gridsharedstate.h"
#include "grid/tenhancedgrid.h"
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

using Grid = TEnhancedGrid;

bool isDateType(FieldType type)
{
    return type == ftDate || type == ftDateTime;
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

CellEditors::CellEditors(TEnhancedGrid &grid, Host host) : QObject(&grid), m_grid(grid), m_host(std::move(host)) { }

TDBRichEdit *CellEditors::richEditor() const
{
    return qobject_cast<TDBRichEdit *>(m_richEditor.data());
}

// -- Column enter

void CellEditors::enterColumn()
{
    const int firstScrollable = m_grid.fixedCols();
    if (m_grid.col() <= firstScrollable && firstScrollable < m_grid.colCount()) {
        const int before = m_grid.col();
        m_grid.setLeftCol(firstScrollable);
        if (m_grid.col() != firstScrollable) {
            m_host.moveTo(firstScrollable, m_grid.row());
            // Moving the cell ran this step for the new column.
            if (m_grid.col() != before)
                return;
        }
    }
    if (m_grid.selectedIndex() == -1)
        m_grid.setSelectedIndex(m_grid.lockedCols());

    const auto setEditing = [this](bool on) {
        const Grid::TGridOptions cells = m_grid.cellOptions();
        if (bool(cells & Grid::goEditing) == on)
            return;
        const Grid::UpdateLock lock(m_grid);
        m_grid.setCellOptions(on ? (cells | Grid::goEditing) : (cells & ~Grid::TGridOptions(Grid::goEditing)));
    };
    const auto raise = [this] {
        m_host.columnEntered();
        placeHiddenEditors();
    };
    if (m_grid.readOnly() || m_grid.dataLink().readOnly()) {
        setEditing(false);
        raise();
        return;
    }
    if (!m_grid.dataLink().active())
        return;
    // These cells have editors of their own; the text editor would only get in their way.
    if (const Field *field = m_grid.selectedField()) {
        const FieldKind kind = fieldKind(field, m_grid.OnIsBooleanField);
        const bool ownEditor = kind != FieldKind::Plain && (kind != FieldKind::DateTime || m_grid.displayDateTime());
        setEditing(!ownEditor);
    } else {
        setEditing(true);
    }
    raise();
}

// -- Which editor shows

QWidget *CellEditors::controlFor(const Field &field) const
{
    const TGridControl *item = m_grid.controls()->controlForField(field.fieldName());
    QObject *owner = m_grid.parent();
    if (!item || !owner || item->controlName().isEmpty())
        return nullptr;
    // A name that matches no control of the form leaves the field without an item: its cells
    // are edited as if the item were not there.
    return owner->findChild<QWidget *>(item->controlName());
}

CellEditors::EditShow CellEditors::editShowAnswer(QWidget **control) const
{
    if (!(m_grid.options() & Grid::dgEditing) || !m_host.windowExists() || m_grid.updateLocked())
        return EditShow::No;
    if (!(m_grid.options() & Grid::dgAlwaysShowEditor) && !m_grid.hasFocusWithin())
        return EditShow::No;
    const int selected = m_grid.selectedIndex();
    const Field *field = m_grid.selectedField();
    if (!m_grid.dataLink().active() || selected < 0 || selected >= m_grid.columns()->count() || !field)
        return EditShow::No;
    QWidget *hosted = controlFor(*field);
    // By data type alone: OnIsBooleanField does not decide where the text editor may show.
    const FieldKind kind = fieldKind(field);
    if (!hosted && kind == FieldKind::Picture)
        return EditShow::No;
    if (!field->canModify() || field->readOnly())
        return EditShow::No;
    if (hosted) {
        if (control)
            *control = hosted;
        return EditShow::Hosted;
    }
    switch (kind) {
    case FieldKind::Boolean: return m_grid.displayBoolean() ? EditShow::No : EditShow::Yes;
    case FieldKind::DateTime: return m_grid.displayDateTime() ? EditShow::No : EditShow::Yes;
    default: return EditShow::Yes;
    }
}

bool CellEditors::canEditShow() const
{
    const Grid::TGridOptions cells = m_grid.cellOptions();
    if (!(cells & Grid::goEditing) || (cells & Grid::goRowSelect))
        return false;
    if (!m_grid.editorMode() && !(cells & Grid::goAlwaysShowEditor))
        return false;
    return editShowAnswer() != EditShow::No;
}

bool CellEditors::showOwnEditor()
{
    // Placing a control changes the options for a moment; the text editor stays away meanwhile.
    if (m_placingControl)
        return true;
    m_controlShown = false;
    QWidget *control = nullptr;
    if (canEditShow() && editShowAnswer(&control) == EditShow::Hosted) {
        // The form's control edits the cell; the text editor stays out of its way.
        m_host.hideTextEditor();
        m_grid.ShowEditControl(control, m_grid.col(), m_grid.row());
        m_controlShown = true;
        return true;
    }
    return false;
}

void CellEditors::colourTextEditor(TInplaceEdit *editor) const
{
    QPalette colours = editor->palette();
    colours.setColor(QPalette::Base, m_grid.editColor());
    editor->setPalette(colours);
}

// -- Hosted controls

void CellEditors::showEditControl(QWidget *control, int col, int row)
{
    if (!control || m_placingControl)
        return;
    const QScopedValueRollback<bool> placing(m_placingControl, true);
    m_grid.dataLink().edit();
    if (!m_grid.dataLink().editing())
        return;
    if (control != m_hostedControl) {
        releaseHostedControl();
        m_hostedControl = control;
        auto *hook = new EditorHook(
            control, [this](QObject *watched, QEvent *event) { return hostedControlEvent(watched, event); });
        hook->watch(&m_grid);
        m_hostedHook = hook;
        // A grid that goes away gives its control back to the form, hidden.
        connect(&m_grid, &QObject::destroyed, control, [control, hook = QPointer<EditorHook>(hook)] {
            if (hook)
                hook->release();
            control->hide();
        });
    }
    QWidget *host = m_grid.parentWidget();
    if (host && control->parentWidget() != host)
        control->setParent(host);
    const QRect cell = m_grid.cellRect(col, row);
    const QPoint global = m_grid.viewport()->mapToGlobal(cell.topLeft());
    const QPoint topLeft = control->parentWidget() ? control->parentWidget()->mapFromGlobal(global) : global;
    control->raise();
    control->show();
    control->setGeometry(QRect(topLeft, cell.size()));
    QWidget *form = m_grid.window();
    if (m_grid.isVisible() && control->isVisible() && (!host || host->isVisible()) && form->isVisible()) {
        // Leaving the grid for its own control must not drop a new record.
        const Grid::TDBGridOptions saved = m_grid.options();
        const Grid::TGridOptions cells = m_grid.cellOptions();
        if (saved & Grid::dgCancelOnExit)
            m_grid.setOptions(saved & ~Grid::TDBGridOptions(Grid::dgCancelOnExit));
        control->setFocus(Qt::OtherFocusReason);
        if (saved & Grid::dgCancelOnExit) {
            m_grid.setOptions(saved);
            m_grid.setCellOptions(cells);
        }
    }
}

bool CellEditors::hostedControlEvent(QObject *watched, QEvent *event)
{
    if (watched == &m_grid) {
        QPointer<QWidget> control = m_hostedControl;
        if (event->type() == QEvent::Resize && control && control->isVisible()) {
            // The new size may move the cell; place the control again once the grid has laid out.
            QMetaObject::invokeMethod(
                this,
                [this, control] {
                    if (control && control == m_hostedControl && control->isVisible())
                        guarded(&m_grid, [&] { m_grid.ShowEditControl(control, m_grid.col(), m_grid.row()); });
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
        && !(m_grid.options() & Grid::dgAlwaysShowEditor);
    const bool focusLost = event->type() == QEvent::FocusOut;
    if (escape || focusLost) {
        QMetaObject::invokeMethod(
            this,
            [this, control, escape] {
                if (!control || control != m_hostedControl)
                    return;
                releaseHostedControl();
                if (escape && m_grid.isVisible())
                    m_grid.setFocus(Qt::OtherFocusReason);
            },
            Qt::QueuedConnection);
    }
    return false;
}

void CellEditors::releaseHostedControl()
{
    if (m_hostedHook)
        m_hostedHook->release();
    QPointer<QWidget> control = m_hostedControl;
    m_hostedControl = nullptr;
    if (control)
        control->hide();
}

void CellEditors::editingChanged()
{
    // A control left over a record that is no longer edited would show stale text.
    if (m_hostedControl && m_grid.dataLink().active() && !m_grid.dataLink().editing())
        releaseHostedControl();
}

// -- Placing the hidden editors, when the current cell, the layout or the focus changes (never in
// a paint)

void CellEditors::placeOverCurrentCell(QWidget *editor)
{
    QWidget *host = editor->parentWidget();
    const QRect cell = m_grid.cellRect(m_grid.col(), m_grid.row());
    const QPoint topLeft = m_grid.viewport()->mapTo(host ? host : &m_grid, cell.topLeft());
    editor->setGeometry(QRect(topLeft, cell.size()));
}

void CellEditors::placeHiddenEditors()
{
    // The editors lie, hidden, over the focused cell, so that opening one shows it in place.
    if (!m_grid.hasFocusWithin() || !m_host.activeTable())
        return;
    const int dataCol = m_grid.rawToDataColumn(m_grid.col());
    const Field *field = dataCol >= 0 ? m_grid.fields(dataCol) : nullptr;
    if (!field || m_grid.cellRect(m_grid.col(), m_grid.row()).isEmpty())
        return;
    QWidget *host = m_grid.parentWidget() ? m_grid.parentWidget() : &m_grid;
    const FieldKind kind = fieldKind(field, m_grid.OnIsBooleanField);
    if (kind == FieldKind::MemoLike && m_grid.displayMemo() && m_grid.memoInplaceEditor() == Grid::Memo) {
        if (!m_memoEditor) {
            m_memoEditor = new TDBMemo(host);
            m_memoEditor->setObjectName(QStringLiteral("memoEditor"));
            m_memoEditor->hide();
        }
        // Every scroll and cell move passes here: the palette is set only when the colour changed.
        if (m_memoEditor->palette().color(QPalette::Base) != m_grid.editColor()) {
            QPalette palette = m_memoEditor->palette();
            palette.setColor(QPalette::Base, m_grid.editColor());
            m_memoEditor->setPalette(palette);
        }
        placeOverCurrentCell(m_memoEditor);
    } else if (kind == FieldKind::DateTime && m_grid.displayDateTime()) {
        if (!m_datePicker) {
            m_datePicker = new TBorderDateTimePicker(host);
            m_datePicker->setObjectName(QStringLiteral("datePicker"));
            m_datePicker->hide();
        }
        m_datePicker->setColor(m_grid.editColor());
        m_datePicker->setBorderColor(m_grid.editColor());
        placeOverCurrentCell(m_datePicker);
    }
}

// -- Memo, rich-text and date editors

void CellEditors::prepareMemoEditor()
{
    placeHiddenEditors();
    const Field *field = m_grid.selectedField();
    if (!field || fieldKind(field, m_grid.OnIsBooleanField) != FieldKind::MemoLike || !m_grid.displayMemo()
        || !m_grid.hasFocusWithin())
        return;
    QWidget *host = m_grid.parentWidget() ? m_grid.parentWidget() : &m_grid;
    QAbstractScrollArea *editor = nullptr;
    if (m_grid.memoInplaceEditor() == Grid::RichEdit) {
        if (!m_richEditor) {
            auto *rich = new TDBRichEdit(host);
            rich->setObjectName(QStringLiteral("richEditor"));
            rich->hide();
            m_richEditor = rich;
        }
        auto *rich = richEditor();
        rich->setLineWrapMode(m_grid.memoViewType() == Grid::WordWrapOn ? QTextEdit::WidgetWidth : QTextEdit::NoWrap);
        editor = rich;
    } else if (m_memoEditor) {
        m_memoEditor->setLineWrapMode(m_grid.memoViewType() == Grid::WordWrapOn ? QPlainTextEdit::WidgetWidth
                                                                                : QPlainTextEdit::NoWrap);
        editor = m_memoEditor;
    }
    if (!editor)
        return;
    const Qt::ScrollBarPolicy bars
        = m_grid.memoViewType() == Grid::WordWrapOn ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAlwaysOn;
    editor->setHorizontalScrollBarPolicy(bars);
    editor->setVerticalScrollBarPolicy(bars);
    editor->setFrameShape(QFrame::NoFrame);
    editor->setAutoFillBackground(true);
    editor->setFont(m_grid.font());
    QPalette palette = editor->palette();
    palette.setColor(QPalette::Base, m_grid.editColor());
    editor->setPalette(palette);
    placeOverCurrentCell(editor);
    hookEditor(editor);
}

void CellEditors::hookEditor(QWidget *editor)
{
    if (editor->findChild<EditorHook *>(QString(), Qt::FindDirectChildrenOnly))
        return;
    // The hook is the editor's child and goes with it. The editors stay on the form when the grid
    // goes; their events then reach no one.
    new EditorHook(editor, [this, self = QPointer<CellEditors>(this)](QObject *watched, QEvent *event) {
        if (!self)
            return false;
        bool consumed = false;
        guarded(&m_grid, [&] {
            consumed = watched == m_datePicker ? datePickerEvent(event)
                                               : memoEditorEvent(static_cast<QWidget *>(watched), event);
        });
        return consumed;
    });
}

void CellEditors::openMemoEditor(bool selectAll)
{
    prepareMemoEditor();
    const TColumn *column = m_grid.selectedColumn();
    if (!column)
        return;
    int length = 0;
    QWidget *editor = nullptr;
    if (m_grid.memoInplaceEditor() == Grid::RichEdit) {
        TDBRichEdit *rich = richEditor();
        if (!rich)
            return;
        rich->setDataSource(m_grid.dataSource());
        rich->setDataField(column->fieldName());
        editor = rich;
    } else {
        if (!m_memoEditor)
            return;
        m_memoEditor->setDataSource(m_grid.dataSource());
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

void CellEditors::closeMemoEditor(bool cancelRecord)
{
    if (!cancelRecord) {
        if (m_memoEditor && m_memoEditor->isVisible())
            writeRefusedText(m_memoEditor.data(), m_memoEditor->toPlainText());
        if (TDBRichEdit *rich = richEditor(); rich && rich->isVisible())
            writeRefusedText(rich, rich->toHtml());
    }
    Table *table = m_host.activeTable();
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

bool CellEditors::memoEditorEvent(QWidget *editor, QEvent *event)
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
                    guarded(&m_grid, [&] { closeMemoEditor(false); });
            },
            Qt::QueuedConnection);
    }
    return false;
}

void CellEditors::openDatePicker()
{
    placeHiddenEditors();
    Field *field = m_grid.selectedField();
    if (!m_datePicker || !field || !field->isDateTimeField())
        return;
    hookEditor(m_datePicker);
    if (!m_datePicker->property("gridChangeHandler").toBool()) {
        m_datePicker->setProperty("gridChangeHandler", true);
        connect(m_datePicker, &QDateTimeEdit::dateTimeChanged, this,
                [this] { guarded(&m_grid, [&] { datePickerChanged(); }); });
    }
    {
        const QSignalBlocker quiet(m_datePicker);
        m_datePicker->setCalendarPopup(true);
        m_datePicker->setKind(isDateType(field->dataType()) ? TBorderDateTimePicker::dtkDate
                                                            : TBorderDateTimePicker::dtkTime);
        m_datePicker->setFont(m_grid.font());
        if (!field->isNull())
            m_datePicker->setDateTime(field->asDateTime());
    }
    m_datePicker->show();
    m_datePicker->raise();
    // A picker that cannot take the focus stays open without it.
    m_datePicker->setFocus(Qt::OtherFocusReason);
}

void CellEditors::datePickerChanged()
{
    Table *table = m_host.activeTable();
    Field *field = m_grid.selectedField();
    if (!m_datePicker || !m_datePicker->isVisible() || !table || !field)
        return;
    if (table->canModify() && m_grid.isEditable() && table->state() != dsEdit && table->state() != dsInsert) {
        table->edit();
        field->setAsDateTime(m_datePicker->dateTime());
    }
}

void CellEditors::closeDatePicker(bool cancelRecord)
{
    if (!m_datePicker)
        return;
    m_datePicker->hide();
    Table *table = m_host.activeTable();
    if (cancelRecord && table && table->state() == dsEdit)
        table->cancel();
    focusGrid();
}

bool CellEditors::datePickerEvent(QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Tab || key == Qt::Key_Return || key == Qt::Key_Enter) {
            Table *table = m_host.activeTable();
            Field *field = m_grid.selectedField();
            // A date the record refuses leaves the picker open on it, the record as it was.
            if (table && field) {
                if (table->canModify() && m_grid.isEditable() && table->state() != dsEdit)
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
                    guarded(&m_grid, [&] { closeDatePicker(true); });
            },
            Qt::QueuedConnection);
    }
    return false;
}

void CellEditors::focusGrid()
{
    if (!m_grid.hasFocus() && m_grid.isVisible())
        m_grid.setFocus(Qt::OtherFocusReason);
}

void CellEditors::openFieldViewer()
{
    Field *field = m_grid.selectedField();
    if (!field)
        return;
    gridCompanions().viewField(m_grid, *field, TEnhancedGrid::tr("Field: %1").arg(field->displayLabel()));
}

// -- Clicks and activation

void CellEditors::toggleBoolean(Field &field)
{
    // A value the field cannot turn into a check box state stays as it was, and the user hears why.
    if (m_grid.OnIsBooleanField)
        field.setAsInteger(field.asInteger() == m_grid.valueUnChecked() ? m_grid.valueChecked()
                                                                        : m_grid.valueUnChecked());
    else
        field.setAsBoolean(!field.asBoolean());
}

void CellEditors::cellDoubleClick()
{
    if (!m_grid.displayPopupEditors() || !m_grid.isEditable())
        return;
    const Grid::UpdateLock lock(m_grid);
    const Field *field = m_grid.selectedField();
    // Memos and pictures alike open in the field viewer.
    const Grid::TDBGridOptions options = m_grid.options();
    if (!(options & Grid::dgRowSelect) && (options & Grid::dgEditing) && field && field->isBlobField())
        openFieldViewer();
}

void CellEditors::countClick(bool memo)
{
    GridSharedState::ClickCounters &clicks = GridSharedState::instance().clicks;
    int &counter = memo ? clicks.memo : clicks.date;
    ++counter;
    Table *table = m_host.activeTable();
    // A record being inserted sits one row below where the click found it.
    const int clickedRow = m_grid.row() + (table && table->state() == dsInsert ? 1 : 0);
    const QPoint position = m_grid.cellRect(m_grid.col(), clickedRow).topLeft();
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

bool CellEditors::cellClick(TColumn *column)
{
    if (!m_grid.isEditable())
        return false;
    {
        const Grid::UpdateLock lock(m_grid);
        m_grid.hideSearchBox();
        Field *field = column ? column->field() : nullptr;
        if (field && !(m_grid.options() & Grid::dgRowSelect) && (m_grid.options() & Grid::dgEditing)) {
            const FieldKind kind = fieldKind(field, m_grid.OnIsBooleanField);
            if (m_grid.displayBoolean() && kind == FieldKind::Boolean && m_host.canModifyCell())
                toggleBoolean(*field);
            const bool memoInPlace = kind == FieldKind::MemoLike && !m_grid.displayPopupEditors()
                && m_grid.displayMemo() && !m_grid.fullSizeMemo();
            const bool dateInPlace = kind == FieldKind::DateTime && m_grid.displayDateTime();
            if (m_grid.options() & Grid::dgAlwaysShowEditor) {
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
    return true;
}

void CellEditors::activateCell(bool selectAll)
{
    Field *field = m_grid.selectedField();
    if (!field || !m_grid.isEditable() || (m_grid.options() & Grid::dgRowSelect)
        || !(m_grid.options() & Grid::dgEditing))
        return;
    const FieldKind kind = fieldKind(field, m_grid.OnIsBooleanField);
    if (kind == FieldKind::Boolean) {
        if (m_grid.displayBoolean() && !field->readOnly()) {
            m_host.clickCell(m_grid.selectedColumn());
        } else if (!m_grid.displayBoolean() && !(m_grid.cellOptions() & Grid::goEditing)) {
            const Grid::UpdateLock lock(m_grid);
            m_grid.setCellOptions(m_grid.cellOptions() | Grid::goEditing);
        }
    }
    // The field viewer opens through the double-click step, which also raises OnDblClick.
    if (m_grid.displayPopupEditors() && kind == FieldKind::Picture)
        m_host.doubleClick();
    if (m_grid.displayMemo()) {
        if (!m_grid.fullSizeMemo() && kind == FieldKind::MemoLike)
            openMemoEditor(selectAll);
    } else if (m_grid.displayPopupEditors() && kind == FieldKind::MemoLike) {
        m_host.doubleClick();
    }
    if (m_grid.displayDateTime() && kind == FieldKind::DateTime)
        openDatePicker();
}

}  // namespace kelvara
