#include "columncustomizing.h"

#include "field.h"
#include "table.h"
#include "tcolumn.h"
#include "tdbgridcolumns.h"

namespace kelvara::columncustomizing {

void fieldsFromColumns(Table &table, const TDBGridColumns &columns)
{
    for (int i = 0; i < columns.count(); ++i) {
        const TColumn *column = columns.items(i);
        if (i < table.fieldCount())
            table.field(i)->setVisible(column->visible());
        if (Field *named = table.findField(column->fieldName()))
            named->setIndex(i);
    }
}

void columnsFromFields(const Table &table, TDBGridColumns &columns)
{
    for (const Field *field : table.fields()) {
        for (int i = 0; i < columns.count(); ++i) {
            TColumn *column = columns.items(i);
            const QString name = column->fieldName();
            if (!name.isEmpty() && field->fieldName().contains(name, Qt::CaseSensitive))
                column->setVisible(field->visible());
        }
    }
}

} // namespace kelvara::columncustomizing
