#pragma once

#include <QChar>
#include <QList>
#include <QString>
#include <QStringList>

namespace kelvara {

class Field;
class Table;

// The grid's export to a delimited text file: one line per record, the values as the record
// store shows them, nothing quoted or escaped.
namespace gridexport {

// "DataExport.Dat" in the folder of the table's database file: the data directory, which is
// writable where the program's own folder may not be.
QString defaultFileName(const Table &table);

// The lines of every record from the first to the last: the display texts of the fields
// (nullptr gives an empty value) joined by the separator. Leaves the table past its last record.
QStringList collectLines(Table &table, const QList<const Field *> &fields, QChar separator);

} // namespace gridexport

} // namespace kelvara
