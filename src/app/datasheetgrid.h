#pragma once

#include <QString>

#include <array>

namespace kelvara {

class DataSource;
class TEnhancedGrid;

// The data sheet's grid: its eleven columns and its settings, kept in one place so that the grid
// class can be swapped without touching the window.
struct DataSheetColumn
{
    const char *field;
    const char *title;  // nullptr: the field's own label
    int width;          // 0: the default width from the field's display width
};

const std::array<DataSheetColumn, 11> &dataSheetColumns();

// Gives the data sheet's grid its settings and columns and binds it to the record table.
void setUpDataSheetGrid(TEnhancedGrid &grid, DataSource *source);

}  // namespace kelvara
