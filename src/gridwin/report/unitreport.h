#pragma once

#include "grid/gridcompanions.h"

#include <QString>

#include <memory>

class QWidget;

namespace kelvara {

class BandReport;
class Table;
class TDBGrid;

// The paged listing of a record set or of a grid: a title, a row of column titles, one line per
// record and the page number. Every call builds a report, outputs it and lets it go.
namespace unitreport {

using PrintMode = GridCompanions::PrintMode;

// The listing of the record set's visible fields, their display widths taken as millimetres.
std::unique_ptr<BandReport> buildDataSetReport(Table &table, const QString &caption);
// The listing of the grid's visible columns, their widths taken as report pixels; the records
// are those of the grid's data source.
std::unique_ptr<BandReport> buildGridReport(const TDBGrid &grid, const QString &caption);

// Prints the report at once, shows it in the preview until that is closed, or does neither.
// The report's record set is walked with its bound controls held still and is left on its
// first record. Printer failures are told to the user; other failures are thrown.
void outputReport(const BandReport &report, PrintMode mode, QWidget *parent);

void printDataSet(Table &table, const QString &caption, PrintMode mode, QWidget *parent);
void printGrid(TDBGrid &grid, const QString &caption, PrintMode mode);

}  // namespace unitreport

}  // namespace kelvara
