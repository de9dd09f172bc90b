#include "grid/columncustomizing.h"

#include "grid/tcolumn.h"
#include "grid/tdbgridcolumns.h"
#include "store/field.h"
#include "store/table.h"

#include <QSet>

namespace kelvara::columncustomizing {

void fieldsFromColumns(Table &table, const TDBGridColumns &columns)
{
    // A field is ticked when the grid shows it: when a visible column names it. Taking the
    // visibility by position instead would hand it to whichever field happens to stand there,
    // which after a loaded layout is seldom the column's own.
    QSet<const Field *> shown;
    for (int i = 0; i < columns.count(); ++i) {
        const TColumn *column = columns.items(i);
        if (Field *named = table.findField(column->fieldName())) {
            if (column->visible())
                shown.insert(named);
            named->setIndex(i);
        }
    }
    for (Field *field : table.fields())
        field->setVisible(shown.contains(field));
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

}  // namespace kelvara::columncustomizing
