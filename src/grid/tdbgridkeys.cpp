// The data grid's keys: key down for movement and commands, key press for typing into the cell, key up.

#include "grid/tdbgrid.h"

#include "grid/tinplaceedit.h"
#include "platform/dialogs.h"
#include "platform/editingkeys.h"
#include "platform/errorreport.h"
#include "store/table.h"

#include <QCoreApplication>
#include <QKeyEvent>

#include <algorithm>

namespace kelvara {

void TDBGrid::keyPressEvent(QKeyEvent *event)
{
    if (!takesKey(*event)) {
        event->ignore();
        return;
    }
    guarded(this, [&] {
        event->accept();
        if (!keyDown(event))
            keyPress(event);
    });
}

void TDBGrid::keyReleaseEvent(QKeyEvent *event)
{
    guarded(this, [&] { keyUp(event); });
}

void TDBGrid::keyUp(QKeyEvent *event)
{
    CellGrid::keyReleaseEvent(event);
}

bool TDBGrid::keyDown(QKeyEvent *event)
{
    Table *table = activeTable();
    if (!table) {
        event->ignore();
        return true;
    }
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    const bool ctrl = modifiers & Qt::ControlModifier;
    const bool shift = modifiers & Qt::ShiftModifier;
    const bool alt = modifiers & Qt::AltModifier;
    const int page = std::max(1, dataRowCount());
    switch (event->key()) {
    case Qt::Key_Up: verticalMoveKey(-1, shift); break;
    case Qt::Key_Down: verticalMoveKey(1, shift); break;
    case Qt::Key_PageUp: verticalMoveKey(-page, shift); break;
    case Qt::Key_PageDown: verticalMoveKey(page, shift); break;
    case Qt::Key_Left:
        if (m_options & dgRowSelect)
            horizontalScroll(ScrollCode::LineUp, 0);
        else if (const int previous = horizontalAxis().previousShown(col()); previous >= fixedCols())
            selectDataColumn(rawToDataColumn(previous));
        break;
    case Qt::Key_Right:
        if (m_options & dgRowSelect)
            horizontalScroll(ScrollCode::LineDown, 0);
        else if (const int next = horizontalAxis().nextShown(col()); next >= 0)
            selectDataColumn(rawToDataColumn(next));
        break;
    case Qt::Key_Home:
        if (ctrl) {
            if ((m_options & dgMultiSelect) && !shift)
                m_selectedRows.clear();
            table->first();
        } else {
            selectDataColumn(firstDataColumn());
        }
        break;
    case Qt::Key_End:
        if (ctrl) {
            if ((m_options & dgMultiSelect) && !shift)
                m_selectedRows.clear();
            table->last();
        } else {
            selectDataColumn(lastDataColumn());
        }
        break;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        if (ctrl || alt) {
            event->ignore();
            return true;
        }
        tabKey(event->key() == Qt::Key_Backtab || shift);
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter: enterKey(); break;
    case Qt::Key_Escape:
        if (!escapeKey()) {
            event->ignore();
            return true;
        }
        break;
    case Qt::Key_F2:
        if (!(cellOptions() & goEditing)) {
            event->ignore();
            return true;
        }
        setEditorMode(true);
        if (m_editor && m_editor->isVisible()) {
            m_editor->deselect();
            m_editor->end(false);
        }
        break;
    case Qt::Key_Insert:
        if (modifiers != Qt::NoModifier || !isEditable() || !(m_options & dgEditing)) {
            event->ignore();
            return true;
        }
        table->insert();
        break;
    case Qt::Key_Delete:
        if (!ctrl) {
            event->ignore();
            return true;
        }
        deleteKey();
        break;
    default: return false;
    }
    event->accept();
    return true;
}

void TDBGrid::verticalMoveKey(int distance, bool shift)
{
    const bool multi = m_options & dgMultiSelect;
    if (multi && shift)
        m_selectedRows.setCurrentRowSelected(true);
    else if (multi)
        m_selectedRows.clear();
    // The editor closes with a move, unless the move fails on text the field refuses.
    const bool wasEditing = m_editorMode;
    if (!(m_options & dgAlwaysShowEditor))
        m_editorMode = false;
    try {
        if (multi && shift) {
            // Every record passed joins the selection.
            const int step = distance < 0 ? -1 : 1;
            for (int i = 0; i < std::abs(distance) && moveRecordsBy(step) != 0; ++i)
                m_selectedRows.setCurrentRowSelected(true);
        } else if (distance == 1) {
            moveDownOrAppend();
        } else {
            moveRecordsBy(distance);
        }
    } catch (...) {
        m_editorMode = wasEditing;
        throw;
    }
}

void TDBGrid::tabKey(bool back)
{
    const int raw = col();
    const int target = back ? horizontalAxis().previousShown(raw) : horizontalAxis().nextShown(raw);
    if (target >= fixedCols()) {
        selectDataColumn(rawToDataColumn(target));
        return;
    }
    // Past the last column the next record begins; before the first, the previous one ends.
    writeEditor();
    if (back) {
        if (moveRecordsBy(-1) != 0)
            selectDataColumn(lastDataColumn());
    } else if (moveDownOrAppend()) {
        selectDataColumn(firstDataColumn());
    }
}

void TDBGrid::enterKey()
{
    if (m_editor && m_editor->isVisible()) {
        writeEditor();
        if (!(cellOptions() & goAlwaysShowEditor)) {
            m_editorMode = false;
            hideEditor();
        }
        return;
    }
    setEditorMode(true);
}

bool TDBGrid::escapeKey()
{
    Table *table = activeTable();
    const bool editorShown = m_editor && m_editor->isVisible();
    if (table && (table->state() == dsEdit || table->state() == dsInsert)) {
        if (m_editor)
            m_editor->setModified(false);
        table->cancel();
    } else if (!editorShown) {
        return false;
    }
    if (!(cellOptions() & goAlwaysShowEditor)) {
        m_editorMode = false;
        hideEditor();
    } else if (m_editor && m_editor->isVisible()) {
        loadEditor();
    }
    return true;
}

void TDBGrid::deleteKey()
{
    Table *table = activeTable();
    if (!table || !isEditable() || table->isEmpty())
        return;
    if ((m_options & dgConfirmDelete) && !dialogs().confirm(this, tr("Delete record?")))
        return;
    discardEditor();
    table->deleteRecord();
}

void TDBGrid::keyPress(QKeyEvent *event)
{
    const QString text = event->text();
    const bool printable = !text.isEmpty() && text.at(0).isPrint();
    // A letter held with Alt or Ctrl is a command; AltGr types.
    if (!printable || !typesText(event) || !(cellOptions() & goEditing)) {
        event->ignore();
        return;
    }
    const bool shown = m_editor && m_editor->isVisible();
    if (!shown)
        setEditorMode(true);
    if (!m_editor || !m_editor->isVisible() || !canEditModify())
        return;
    // The first typed character replaces the cell's text; the editor takes it as its own key.
    if (!shown)
        m_editor->selectAll();
    QKeyEvent copy(event->type(), event->key(), event->modifiers(), text);
    QCoreApplication::sendEvent(m_editor.get(), &copy);
    event->accept();
}

}  // namespace kelvara
