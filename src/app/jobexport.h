#pragma once

#include <QList>
#include <QString>

namespace kelvara {

class Field;
class Table;

// Writes jobs to a file for spreadsheet programs: CSV as RFC 4180 describes it, in UTF-8 led by
// a byte order mark (without it spreadsheet programs read the file in the system's code page
// and garble letters such as Æøå), fields separated by commas, each record ended by CR LF, a
// field quoted when it holds a comma, a quote, CR or LF, a quote inside doubled.
//
// Every value is written as the data sheet shows it, except that dates are ISO 8601
// (yyyy-MM-dd), numbers are plain (no display format, '.' for a decimal point) and booleans
// True or False, which spreadsheet programs read in any language. A value stored by another
// program that its field cannot hold is written as the text stored, as the sheet shows it.
//
// Text that a spreadsheet program would take for a formula (it begins with '=', '+', '-' or
// '@', or with TAB or CR, which some programs skip before looking) is written with a single
// quote in front, so that it shows as the text it is and is never run. Numbers of number
// fields are numbers, not formulas: a negative one is written as it is.
namespace jobexport {

// One column of the file: a field of the table and the heading written above it.
struct Column
{
    QString fieldName;
    QString heading;
};

enum class Rows { Shown, All };

// The fields a file holds: every field but those holding photos, in the table's order.
QList<const Field *> exportedFields(const Table &table);

// Writes the heading row and one record per job, the shown ones (in the order shown) or all
// (in the same order, whatever the range), in one read of the table; the table does not move.
// The file is written beside the target and takes its place once complete: when anything
// fails, a file already there is left as it was, and the message says why. Gives the number
// of jobs written.
qint64 writeCsv(const Table &table, const QList<Column> &columns, Rows rows, const QString &fileName);

}  // namespace jobexport
}  // namespace kelvara
