#include "dbctrls/fielddatalink.h"

#include "platform/errorreport.h"
#include "store/field.h"
#include "store/table.h"

#include <QFocusEvent>
#include <QScopedValueRollback>
#include <QWidget>

namespace kelvara {

void FieldDataLink::setFieldName(const QString &name)
{
    if (name == m_fieldName)
        return;
    m_fieldName = name;
    updateField();
}

bool FieldDataLink::canModify() const
{
    return !readOnly() && m_field && m_field->canModify();
}

bool FieldDataLink::edit()
{
    if (!canModify())
        return false;
    // Entering edit state tells every link that the record changed; that must not wipe out
    // what the user typed before the record set was editing.
    const QScopedValueRollback<bool> keep(m_keepText, m_modified);
    return DataLink::edit();
}

bool FieldDataLink::editForTypedText()
{
    // Marked first, so that entering edit state keeps the text the user has just changed.
    m_modified = true;
    if (edit())
        return true;
    reset();
    return false;
}

void FieldDataLink::reset()
{
    m_modified = false;
    showField();
}

void FieldDataLink::writeBack()
{
    if (!m_modified || !m_field)
        return;
    if (!edit())
        return;
    updateRecord();
}

bool FieldDataLink::writeBackOnFocusOut(QWidget *control, const QFocusEvent &event,
                                        const std::function<void()> &selectText)
{
    if (event.reason() == Qt::ActiveWindowFocusReason || event.reason() == Qt::PopupFocusReason)
        return false;
    try {
        writeBack();
    } catch (const std::exception &error) {
        // The focus stays until the text is put right or Escape restores the field.
        control->setFocus(Qt::OtherFocusReason);
        if (selectText)
            selectText();
        reportError(control, error);
        return false;
    }
    return true;
}

void FieldDataLink::activeChanged()
{
    updateField();
}

void FieldDataLink::layoutChanged()
{
    // The field list may have been rebuilt; find the field again.
    Field *before = m_field;
    m_field = active() && dataSet() ? dataSet()->findField(m_fieldName) : nullptr;
    // Text typed into the box stays until it is written or dropped; only a new field replaces it.
    if (m_field == before && m_modified)
        return;
    if (m_field != before && onActiveChange)
        onActiveChange();
    m_modified = false;
    showField();
}

void FieldDataLink::updateField()
{
    m_field = active() && dataSet() && !m_fieldName.isEmpty() ? dataSet()->findField(m_fieldName) : nullptr;
    m_modified = false;
    if (onActiveChange)
        onActiveChange();
    showField();
}

void FieldDataLink::recordChanged(Field *field)
{
    if (m_keepText)
        return;
    if (field && field != m_field)
        return;
    m_modified = false;
    showField();
}

void FieldDataLink::editingChanged()
{
    if (onEditingChange)
        onEditingChange();
}

void FieldDataLink::updateData()
{
    if (!m_modified || !m_field)
        return;
    {
        // The control keeps the text as typed while the field takes it (a longer text is cut
        // to the field's size only in the field, as the window's pick lists expect).
        const QScopedValueRollback<bool> keep(m_keepText, true);
        if (onUpdateData)
            onUpdateData();
    }
    m_modified = false;
}

void FieldDataLink::showField()
{
    if (onDataChange)
        onDataChange();
}

}  // namespace kelvara
