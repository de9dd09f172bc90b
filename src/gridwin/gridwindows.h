#pragma once

#include "grid/gridcompanions.h"

namespace kelvara {

// The program's companion windows of the grid, installed at start. A window not yet built here
// keeps the interface's message that it is not available.
class GridWindows : public GridCompanions
{
public:
    // Opens the field viewer over the grid, on the grid's data source.
    void viewField(TDBGrid &grid, Field &field, const QString &caption) override;
    // Shows the column chooser over the grid, on the grid's data source.
    bool chooseColumns(TDBGrid &grid) override;
    // Runs the query-by-form dialog on the grid in the mode asked for.
    void queryByForm(TDBGrid &grid, FormMode mode) override;
    // The paged listing of the grid's record set, or of the grid's own columns.
    void printDataSet(TDBGrid &grid, const QString &caption, PrintMode mode) override;
    void printGrid(TDBGrid &grid, const QString &caption, PrintMode mode) override;
};

}  // namespace kelvara
