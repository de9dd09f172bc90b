// The enhanced grid's column and row sizing: each property and step goes to the sizer, which
// reaches back for the base grid's own steps through its host.

#include "grid/gridsizer.h"
#include "grid/tenhancedgrid.h"

namespace kelvara {

void TEnhancedGrid::makeSizer()
{
    GridSizer::Host host;
    host.activeTable = [this] { return activeTable(); };
    host.windowExists = [this] { return windowExists(); };
    host.relayout = [this] { relayout(); };
    host.setBaseRowHeight = [this](int height) { TDBGrid::setDefaultRowHeight(height); };
    host.baseRowHeightsChanged = [this] { TDBGrid::rowHeightsChanged(); };
    m_sizer = new GridSizer(*this, std::move(host));
}

bool TEnhancedGrid::gridAutoSize() const
{
    return m_sizer->autoSize();
}

void TEnhancedGrid::setGridAutoSize(bool on)
{
    m_sizer->setAutoSize(on);
}

TEnhancedGrid::TAutoWidth TEnhancedGrid::gridAutoWidth() const
{
    return m_sizer->autoWidth();
}

void TEnhancedGrid::setGridAutoWidth(TAutoWidth mode)
{
    m_sizer->setAutoWidth(mode);
}

bool TEnhancedGrid::gridAutoWidthOnResize() const
{
    return m_sizer->autoWidthOnResize();
}

void TEnhancedGrid::setGridAutoWidthOnResize(bool on)
{
    m_sizer->setAutoWidthOnResize(on);
}

bool TEnhancedGrid::fullSizeMemo() const
{
    return m_sizer->fullSizeMemo();
}

void TEnhancedGrid::setFullSizeMemo(bool on)
{
    m_sizer->setFullSizeMemo(on);
}

int TEnhancedGrid::requestedRowHeight() const
{
    return m_sizer->requestedRowHeight();
}

void TEnhancedGrid::setDefaultRowHeight(int height)
{
    m_sizer->setDefaultRowHeight(height);
}

bool TEnhancedGrid::rowSizingAllowed() const
{
    return m_sizer->rowSizingAllowed();
}

void TEnhancedGrid::setRowSizingAllowed(bool on)
{
    m_sizer->setRowSizingAllowed(on);
}

void TEnhancedGrid::setMultiLineTitles(bool on)
{
    if (m_display.multiLineTitles != on) {
        m_display.multiLineTitles = on;
        invalidateGrid();
    }
    m_sizer->applyMultiLineTitles();
}

bool TEnhancedGrid::multiLineRows() const
{
    return m_sizer->multiLineRows();
}

void TEnhancedGrid::setMultiLineRows(bool on)
{
    m_sizer->setMultiLineRows(on);
}

int TEnhancedGrid::linesPerRow() const
{
    return m_sizer->linesPerRow();
}

void TEnhancedGrid::setLinesPerRow(int lines)
{
    m_sizer->setLinesPerRow(lines);
}

bool TEnhancedGrid::windowExists() const
{
    return testAttribute(Qt::WA_WState_Created);
}

void TEnhancedGrid::layoutChanged()
{
    TDBGrid::layoutChanged();
    m_sizer->layoutChanged();
}

void TEnhancedGrid::resizeEvent(QResizeEvent *event)
{
    TDBGrid::resizeEvent(event);
    m_sizer->resized();
    placeHiddenEditors();
}

void TEnhancedGrid::rowHeightsChanged()
{
    m_sizer->rowHeightsChanged();
    placeHiddenEditors();
}

void TEnhancedGrid::fontChanged()
{
    TDBGrid::fontChanged();
    m_sizer->fontChanged();
}

}  // namespace kelvara
