#pragma once

#include "gridcompanions.h"

namespace kelvara {

// The program's companion windows of the grid, installed at start. A window not yet built here
// keeps the interface's message that it is not available.
class GridWindows : public GridCompanions
{
public:
    // Opens the field viewer over the grid, on the grid's data source.
    void viewField(TDBGrid &grid, Field &field, const QString &caption) override;
};

} // namespace kelvara
