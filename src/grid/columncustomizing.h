#pragma once

namespace kelvara {

class Table;
class TDBGridColumns;

// The grid's side of customizing with the column chooser, which works on the record set's
// fields: the fields take the columns' order and visibility before it opens, and the columns
// take the fields' visibility after the user confirmed.
namespace columncustomizing {

// Each field takes the visibility the grid gives it: visible when a visible column names it,
// hidden otherwise; the field each column names moves to the column's position.
void fieldsFromColumns(Table &table, const TDBGridColumns &columns);

// Each column takes the visibility of the fields whose names contain its field name (case
// sensitive); of several, the last in field order decides.
void columnsFromFields(const Table &table, TDBGridColumns &columns);

}  // namespace columncustomizing

}  // namespace kelvara
