#include "grid/gridexport.h"

#include "platform/textfile.h"
#include "store/field.h"
#include "store/table.h"

#include <QDir>
#include <QFileInfo>

namespace kelvara::gridexport {

QString defaultFileName(const Table &table)
{
    return QFileInfo(table.fileName()).absoluteDir().filePath(QStringLiteral("DataExport.Dat"));
}

void writeRecords(Table &table, const QList<const Field *> &fields, QChar separator, const QString &fileName)
{
    TextFileWriter out(fileName);
    table.first();
    while (!table.eof()) {
        for (qsizetype i = 0; i < fields.size(); ++i) {
            if (i > 0)
                out.write(separator);
            if (const Field *field = fields.at(i))
                field->appendDisplayText(out.buffer());
        }
        out.endLine();
        table.next();
    }
    out.finish();
}

}  // namespace kelvara::gridexport
