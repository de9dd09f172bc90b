// The data grid's in-place editor: when it shows, where it sits, loading it from the field and writing
// it back, and the new record abandoned when the focus leaves the grid.

#include "grid/tdbgrid.h"
#include "grid/tdbgridprivate.h"

#include "grid/tinplaceedit.h"
#include "platform/characterlimit.h"
#include "platform/errorreport.h"
#include "store/field.h"
#include "store/table.h"

#include <QFocusEvent>

namespace kelvara {

void TDBGrid::focusOutEvent(QFocusEvent *event)
{
    CellGrid::focusOutEvent(event);
    guarded(this, [&] { cancelOnExit(event->reason()); });
}

void TDBGrid::cancelOnExit(Qt::FocusReason reason)
{
    if (!(m_options & dgCancelOnExit) || reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason)
        return;
    if (hasFocusWithin())
        return;
    Table *table = activeTable();
    if (!table || table->state() != dsInsert || (m_editor && m_editor->isModified()))
        return;
    table->updateRecord();
    if (!table->modified())
        table->cancel();
}

void TDBGrid::setEditorMode(bool on)
{
    if (on && (!(cellOptions() & goEditing) || (m_options & dgRowSelect)))
        on = false;
    m_editorMode = on;
    if (on) {
        showEditor();
        if (m_editor && m_editor->isVisible())
            m_editor->selectAll();
    } else if (!(cellOptions() & goAlwaysShowEditor)) {
        hideEditor();
    }
}

bool TDBGrid::canEditShow() const
{
    const TGridOptions cells = cellOptions();
    if (!(cells & goEditing) || (cells & goRowSelect))
        return false;
    if (!m_editorMode && !(cells & goAlwaysShowEditor))
        return false;
    if (m_updateLock > 0 || !m_link->active())
        return false;
    if (!(cells & goAlwaysShowEditor) && !hasFocusWithin())
        return false;
    const TColumn *column = selectedColumn();
    const Field *field = selectedField();
    if (!column || !field || !column->visible() || field->isBlobField())
        return false;
    return isEditable() && !column->readOnly() && field->canModify();
}

bool TDBGrid::canEditModify()
{
    const TColumn *column = selectedColumn();
    const Field *field = selectedField();
    if (!isEditable() || !column || !field || column->readOnly() || !field->canModify())
        return false;
    return m_link->edit();
}

TInplaceEdit *TDBGrid::createEditor()
{
    return new TInplaceEdit(this);
}

QRect TDBGrid::editorRect() const
{
    QRect rect = cellRect(col(), row());
    const int left = horizontalAxis().fixedExtent();
    if (rect.left() < left)
        return QRect();
    return rect.intersected(QRect(0, 0, clientWidth(), clientHeight()));
}

void TDBGrid::showEditor()
{
    if (!canEditShow()) {
        hideEditor();
        return;
    }
    const QRect rect = editorRect();
    if (rect.isEmpty()) {
        hideEditor();
        return;
    }
    if (!m_editor)
        m_editor.reset(createEditor());
    // The editor follows its field, not a column index that moving or hiding columns shifts.
    if (!m_editor->isVisible() || m_editorField != selectedField()) {
        writeEditor();
        loadEditor();
    }
    m_editor->setGeometry(rect);
    m_editor->show();
    if (hasFocusWithin() && !m_editor->hasFocus())
        m_editor->setFocus(Qt::OtherFocusReason);
}

void TDBGrid::hideEditor()
{
    if (!m_editor || !m_editor->isVisible())
        return;
    writeEditor();
    const bool hadFocus = m_editor->hasFocus();
    m_editor->hide();
    if (hadFocus)
        setFocus(Qt::OtherFocusReason);
}

void TDBGrid::discardEditor()
{
    if (!m_editor)
        return;
    m_editor->setModified(false);
    const bool hadFocus = m_editor->hasFocus();
    m_editor->hide();
    if (hadFocus)
        setFocus(Qt::OtherFocusReason);
}

void TDBGrid::updateEditor()
{
    if (m_destroying)
        return;
    if (canEditShow())
        showEditor();
    else
        hideEditor();
}

void TDBGrid::loadEditor()
{
    const TColumn *column = selectedColumn();
    const Field *field = selectedField();
    if (!m_editor || !column || !field)
        return;
    m_editorField = selectedField();
    QPalette colours = m_editor->palette();
    colours.setColor(QPalette::Base, m_editColor);
    colours.setColor(QPalette::Text, column->fontColor());
    m_editor->setPalette(colours);
    m_editor->setFont(column->font());
    m_editor->setAlignment(horizontalAlignment(column->alignment()) | Qt::AlignVCenter);
    setCharacterLimit(m_editor.get(), field->dataType() == ftString ? field->size() : 0);
    m_editor->setText(field->text());
    m_editor->setModified(false);
    m_editor->setReadOnly(!m_link->editing());
}

void TDBGrid::writeEditor()
{
    if (!m_editor || !m_editor->isModified())
        return;
    Field *field = m_editorField;
    if (!field || !m_fieldMap.contains(field))
        return;
    const QString text = m_editor->text();
    m_editor->setModified(false);
    try {
        field->setText(text);
    } catch (...) {
        m_editor->setModified(true);
        throw;
    }
}

}  // namespace kelvara
