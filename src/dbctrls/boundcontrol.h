#pragma once

#include "dbctrls/fielddatalink.h"
#include "platform/errorreport.h"

#include <QString>

namespace kelvara {

class DataSource;
class Field;

// What every control bound to one field offers on top of the Qt widget it is made of: the data
// source and the field it shows, and the link that binds it to them.
template <typename Widget> class BoundControl : public Widget
{
public:
    using Widget::Widget;

    DataSource *dataSource() const { return m_link.dataSource(); }
    void setDataSource(DataSource *source) { m_link.setDataSource(source); }
    QString dataField() const { return m_link.fieldName(); }
    void setDataField(const QString &name) { m_link.setFieldName(name); }
    Field *field() const { return m_link.field(); }
    FieldDataLink &dataLink() { return m_link; }

protected:
    // Puts the record set into edit state before a key or a pick changes the text; a failure is
    // reported. True when editing.
    bool beginEdit()
    {
        bool editing = false;
        guarded(this, [&] { editing = m_link.edit(); });
        return editing;
    }

    FieldDataLink m_link;
};

}  // namespace kelvara
