#include "grid/tgriddatalink.h"

#include "grid/tdbgrid.h"

namespace kelvara {

void TGridDataLink::activeChanged()
{
    if (m_grid)
        m_grid->linkActive(active());
}

void TGridDataLink::dataSetChanged()
{
    if (m_grid)
        m_grid->dataSetChanged();
}

void TGridDataLink::dataSetScrolled(int distance)
{
    if (m_grid)
        m_grid->dataSetScrolled(distance);
}

void TGridDataLink::editingChanged()
{
    if (m_grid)
        m_grid->editingChanged();
}

void TGridDataLink::layoutChanged()
{
    if (m_grid)
        m_grid->relayout();
}

void TGridDataLink::recordChanged(Field *field)
{
    if (m_grid)
        m_grid->recordChanged(field);
}

void TGridDataLink::updateData()
{
    if (m_grid)
        m_grid->updateData();
}

}  // namespace kelvara
