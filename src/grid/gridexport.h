#pragma once

#include <QChar>
#include <QList>
#include <QString>

namespace kelvara {

class Field;
class Table;

// The grid's export to a delimited text file: one line per record, the values as the record
// store shows them, nothing quoted or escaped.
namespace gridexport {

// "DataExport.Dat" in the folder of the table's database file: the data directory, which is
// writable where the program's own folder may not be.
QString defaultFileName(const Table &table);

// Writes a line for every record from the first to the last: the display texts of the fields
// (nullptr gives an empty value) joined by the separator, each line ended by CR LF. An existing
// file is replaced. Fails with "Cannot create file %s" before reading any record when the file
// cannot be made. Leaves the table past its last record.
void writeRecords(Table &table, const QList<const Field *> &fields, QChar separator, const QString &fileName);

}  // namespace gridexport

}  // namespace kelvara
