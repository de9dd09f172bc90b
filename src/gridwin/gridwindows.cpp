#include "gridwindows.h"

#include "tdbgrid.h"
#include "tfieldviewerform.h"

namespace kelvara {

void GridWindows::viewField(TDBGrid &grid, Field &field, const QString &caption)
{
    showFieldViewer(&grid, grid.dataSource(), field, caption);
}

} // namespace kelvara
