#pragma once

#include "fielddatalink.h"

#include <QPlainTextEdit>

namespace kelvara {

class DataSource;
class Field;

// A multi-line box bound to a memo field: Enter starts a new line, Tab moves on; the text is
// written back on leaving or when the record is finished.
class TDBMemo : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit TDBMemo(QWidget *parent = nullptr);

    DataSource *dataSource() const { return m_link.dataSource(); }
    void setDataSource(DataSource *source) { m_link.setDataSource(source); }
    QString dataField() const { return m_link.fieldName(); }
    void setDataField(const QString &name) { m_link.setFieldName(name); }
    Field *field() const { return m_link.field(); }
    FieldDataLink &dataLink() { return m_link; }

protected:
    void focusOutEvent(QFocusEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void showField();
    void userEdited();

    FieldDataLink m_link;
    bool m_loading = false;
};

} // namespace kelvara
