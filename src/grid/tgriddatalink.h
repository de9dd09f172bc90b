#pragma once

#include "store/datasource.h"

namespace kelvara {

class TDBGrid;

// The data grid's link to its data source: passes every notification of the record set on to
// the grid's overridable steps. The buffer of visible records has one record per data row.
class TGridDataLink : public DataLink
{
public:
    explicit TGridDataLink(TDBGrid *grid) : m_grid(grid) { }
    // Stops the notifications while the grid is being destroyed.
    void detachGrid() { m_grid = nullptr; }

protected:
    void activeChanged() override;
    void dataSetChanged() override;
    void dataSetScrolled(int distance) override;
    void editingChanged() override;
    void layoutChanged() override;
    void recordChanged(Field *field) override;
    void updateData() override;

private:
    TDBGrid *m_grid;
};

}  // namespace kelvara
