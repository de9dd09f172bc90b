#pragma once

#include "store/datasource.h"

#include <QString>

#include <functional>

class QFocusEvent;
class QWidget;

namespace kelvara {

class Field;

// Binds one control to one field of a data source by the field's name: shows the field when
// the record changes and writes the control's text back when the store or the control asks.
class FieldDataLink : public DataLink
{
public:
    FieldDataLink() = default;

    QString fieldName() const { return m_fieldName; }
    void setFieldName(const QString &name);
    Field *field() const { return m_field; }

    // The control may change the field: a field is bound, it and the table take changes.
    bool canModify() const;
    // Puts the record set into edit state when the field can be changed; true when editing.
    // Text the user has typed stays in the control.
    bool edit();

    // The user has just changed the control's text: puts the record set into edit state and keeps
    // the text. When editing is refused the control shows the field again; gives false then.
    bool editForTypedText();

    // The user changed the control's text since it last showed or wrote the field.
    bool isModified() const { return m_modified; }
    void setModified() { m_modified = true; }
    // Drops the user's changes and shows the field again.
    void reset();
    // Writes the control's text into the field when the user changed it, in edit state.
    // Conversion errors ("'%s' is not a valid date") reach the caller; the text stays modified.
    void writeBack();
    // A control's write-back when the focus leaves it for good, not for another window or a
    // popup. A failure is reported and the control takes the focus back, its text selected by
    // selectText when given, to be put right. True when the focus left for good and the
    // write-back did not fail.
    bool writeBackOnFocusOut(QWidget *control, const QFocusEvent &event, const std::function<void()> &selectText = {});

    // Set by the control.
    std::function<void()> onDataChange;  // show the field's value (the field may be none)
    std::function<void()> onUpdateData;  // write the control's value into field()
    std::function<void()> onEditingChange;
    std::function<void()> onActiveChange;  // also when the bound field changed

protected:
    void activeChanged() override;
    void layoutChanged() override;
    void recordChanged(Field *field) override;
    void editingChanged() override;
    void updateData() override;

private:
    void updateField();
    void showField();

    QString m_fieldName;
    Field *m_field = nullptr;
    bool m_modified = false;
    bool m_keepText = false;  // while writing or entering edit state on the user's behalf
};

}  // namespace kelvara
