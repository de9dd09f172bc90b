#include "gridexport.h"

#include "field.h"
#include "table.h"

#include <QDir>
#include <QFileInfo>

namespace kelvara::gridexport {

QString defaultFileName(const Table &table)
{
    return QFileInfo(table.fileName()).absoluteDir().filePath(QStringLiteral("DataExport.Dat"));
}

QStringList collectLines(Table &table, const QList<const Field *> &fields, QChar separator)
{
    QStringList lines;
    lines.reserve(table.recordCount());
    QString line;
    table.first();
    while (!table.eof()) {
        line.clear();
        for (qsizetype i = 0; i < fields.size(); ++i) {
            if (i > 0)
                line += separator;
            if (const Field *field = fields.at(i))
                line += field->displayText();
        }
        lines << line;
        table.next();
    }
    return lines;
}

} // namespace kelvara::gridexport
