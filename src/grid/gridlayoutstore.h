#pragma once

#include <QString>

namespace kelvara {

class Table;
class TDBGridColumns;

// The grid's column layout in the per-user settings store, under "\Software\" and a name of the
// grid's choice: one string value "Column<i>" per column holding the name of the record set's
// field at position i, a comma and the column's width (-1 for a hidden column).
namespace gridlayout {

QString keyPath(const QString &saveName);

// Writes the layout and removes the values of columns the layout no longer has, up to Column100.
// Fails with "Failed to set data for 'Column0'" when the store cannot be written.
void save(const Table &table, const TDBGridColumns &columns, const QString &saveName);

// Applies a saved layout: everything is hidden, then each stored field moves to its position and
// shows, and its column takes the stored width, shown when it is above 0. Stops at the first
// missing or empty value after Column0. Gives false, changing nothing, when there is no layout.
// Fails with "'%s' is not a valid integer value" for a width that is not a whole number and with
// "Invalid data type for '%s'" for a value that is not a string; what was restored before stays.
bool load(Table &table, TDBGridColumns &columns, const QString &saveName);

}  // namespace gridlayout

}  // namespace kelvara
