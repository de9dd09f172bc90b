#pragma once

#include "editmask.h"
#include "fielddatalink.h"

#include <QLineEdit>

namespace kelvara {

class DataSource;
class Field;

// A one-line edit box bound to a field: shows the field of the current record, takes at most
// the field's size, applies its edit mask and writes the text back on leaving or a move.
class TDBEdit : public QLineEdit
{
    Q_OBJECT

public:
    static QString invalidInputMessage();

    explicit TDBEdit(QWidget *parent = nullptr);

    DataSource *dataSource() const { return m_link.dataSource(); }
    void setDataSource(DataSource *source) { m_link.setDataSource(source); }
    QString dataField() const { return m_link.fieldName(); }
    void setDataField(const QString &name) { m_link.setFieldName(name); }
    Field *field() const { return m_link.field(); }
    FieldDataLink &dataLink() { return m_link; }

protected:
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void applyField();
    void showField();
    void writeField();
    void userEdited();
    bool nothingEntered() const;

    FieldDataLink m_link;
    EditMask m_mask;
};

// Keys that change the text of an edit box; the record set must be editing before they act.
bool isEditingKey(const QKeyEvent *event);

} // namespace kelvara
