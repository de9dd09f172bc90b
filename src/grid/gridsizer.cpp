#include "grid/gridsizer.h"

#include "grid/fieldkind.h"
#include "grid/gridsizing.h"
#include "store/field.h"
#include "store/table.h"

#include <QApplication>
#include <QResizeEvent>
#include <QScopeGuard>

namespace kelvara {

namespace {

using Grid = TEnhancedGrid;

}  // namespace

GridSizer::GridSizer(TEnhancedGrid &grid, Host host) : QObject(&grid), m_grid(grid), m_host(std::move(host)) { }

// -- Columns

QList<TColumn *> GridSizer::visibleColumns() const
{
    QList<TColumn *> visible;
    const int count = std::min(m_grid.columns()->count(), m_grid.colCount() - m_grid.indicatorOffset());
    for (int i = 0; i < count; ++i) {
        if (m_grid.columns()->items(i)->visible())
            visible << m_grid.columns()->items(i);
    }
    return visible;
}

void GridSizer::setColumnWidth(TColumn *column, int width)
{
    column->setWidth(width);
    // Inside the layout step the base does not pass column changes on; the grid's own width
    // must follow all the same.
    const int raw = m_grid.dataToRawColumn(column->index());
    if (raw < m_grid.colCount() && column->visible() && m_grid.colWidth(raw) != column->width())
        m_grid.setColWidth(raw, column->width());
}

void GridSizer::measureColumns(const QList<TColumn *> &measured, const QList<int> &startWidths)
{
    Table *table = m_host.activeTable();
    if (!table || measured.isEmpty())
        return;
    QList<sizing::MeasuredColumn> entries;
    for (int i = 0; i < measured.size(); ++i) {
        TColumn *column = measured[i];
        sizing::MeasuredColumn entry;
        entry.field = m_grid.fields(column->index());
        entry.font = column->font();
        entry.startWidth = startWidths.value(i);
        entry.wholeText = m_fullSizeMemo && entry.field && isMemoLike(entry.field->dataType());
        entries << entry;
    }
    const QList<int> widths = sizing::widestValues(*table, entries);
    for (int i = 0; i < measured.size(); ++i) {
        // A column without a field keeps the width it has.
        if (!entries[i].field)
            continue;
        setColumnWidth(measured[i],
                       sizing::measuredWidth(widths[i], measured[i]->defaultWidth(), m_grid.clientWidth()));
    }
}

void GridSizer::setAutoSize(bool on)
{
    if (!(m_grid.options() & Grid::dgColumnResize)) {
        m_autoSize = false;
        return;
    }
    m_autoSize = on;
    if (on)
        m_autoWidth = Grid::awNone;
    if (m_host.activeTable())
        autoSizeColumns();
}

void GridSizer::autoSizeColumns()
{
    const Grid::UpdateLock update(m_grid);
    if (!m_autoSize)
        return;
    const QList<TColumn *> visible = visibleColumns();
    measureColumns(visible, QList<int>(visible.size(), 0));
}

void GridSizer::setAutoWidth(TAutoWidth mode)
{
    if (!(m_grid.options() & Grid::dgColumnResize)) {
        m_autoWidth = Grid::awNone;
        return;
    }
    m_autoWidth = mode;
    if (mode != Grid::awNone) {
        m_autoSize = false;
        setFullSizeMemo(false);
    }
    if (m_grid.OnAutoWidthChange)
        m_grid.OnAutoWidthChange(&m_grid, m_autoWidth);
    if (m_autoWidth == Grid::awNone)
        return;
    if (m_autoWidth != Grid::awWidestValue && m_autoWidth != Grid::awWidestValueTitle)
        setFullSizeMemo(false);
    if (m_host.activeTable()) {
        m_busy = true;
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const auto done = qScopeGuard([this] {
            QApplication::restoreOverrideCursor();
            m_busy = false;
        });
        const Grid::UpdateLock update(m_grid);
        applyAutoWidthMode(m_autoWidth);
    }
    if (!m_grid.isLoading() && !m_autoWidthOnResize)
        setAutoWidth(Grid::awNone);
}

void GridSizer::applyAutoWidthMode(TAutoWidth mode)
{
    const QList<TColumn *> visible = visibleColumns();
    switch (mode) {
    case Grid::awNone: break;
    case Grid::awDefault:
        for (TColumn *column : visible)
            setColumnWidth(column, column->defaultWidth());
        break;
    case Grid::awWidestValue: measureColumns(visible, QList<int>(visible.size(), 0)); break;
    case Grid::awWidestValueTitle: {
        QList<int> starts;
        for (TColumn *column : visible) {
            const GridCanvas titleCanvas(column->title()->font());
            starts << titleCanvas.textWidth(column->title()->caption()) + 2;
        }
        measureColumns(visible, starts);
        break;
    }
    case Grid::awProportional:
    case Grid::awUniform: {
        QList<int> widths;
        QList<bool> shown;
        const int count = std::min(m_grid.columns()->count(), m_grid.colCount() - m_grid.indicatorOffset());
        for (int i = 0; i < count; ++i) {
            TColumn *column = m_grid.columns()->items(i);
            widths << column->width();
            shown << column->visible();
        }
        const Grid::TDBGridOptions options = m_grid.options();
        const int available = sizing::availableWidth(m_grid.clientWidth(), int(visible.size()), m_grid.gridLineWidth(),
                                                     options & Grid::dgColLines, options & Grid::dgIndicator);
        const QList<int> next = mode == Grid::awProportional ? sizing::proportionalWidths(widths, shown, available)
                                                             : sizing::uniformWidths(widths, shown, available);
        for (int i = 0; i < count; ++i) {
            if (shown[i])
                setColumnWidth(m_grid.columns()->items(i), next[i]);
        }
        break;
    }
    }
}

void GridSizer::setAutoWidthOnResize(bool on)
{
    if (m_autoWidthOnResize == on)
        return;
    m_autoWidthOnResize = on;
    if (on)
        setAutoWidth(m_autoWidth);
}

void GridSizer::setFullSizeMemo(bool on)
{
    if (m_fullSizeMemo == on)
        return;
    m_fullSizeMemo = on;
    if (on) {
        m_grid.setDisplayMemo(true);
        if (m_autoWidth != Grid::awNone && m_autoWidth != Grid::awWidestValue
            && m_autoWidth != Grid::awWidestValueTitle)
            setAutoWidth(Grid::awNone);
    }
    if (!m_host.activeTable())
        return;
    m_busy = true;
    const auto done = qScopeGuard([this] { m_busy = false; });
    const Grid::UpdateLock update(m_grid);
    applyMemoWidths();
}

void GridSizer::applyMemoWidths()
{
    QList<TColumn *> memos;
    for (TColumn *column : visibleColumns()) {
        const Field *field = m_grid.fields(column->index());
        if (field && isMemoLike(field->dataType()))
            memos << column;
    }
    if (m_fullSizeMemo) {
        measureColumns(memos, QList<int>(memos.size(), 0));
        return;
    }
    for (TColumn *column : memos) {
        const GridCanvas cellCanvas(column->font());
        const int widest = cellCanvas.textWidth(m_grid.fields(column->index())->displayText());
        setColumnWidth(column, sizing::measuredWidth(widest, column->defaultWidth(), m_grid.clientWidth()));
    }
}

void GridSizer::reapplyModes()
{
    if (m_autoSize)
        setAutoSize(true);
    if (m_autoWidth != Grid::awNone)
        setAutoWidth(m_autoWidth);
}

void GridSizer::dropWidthModes()
{
    m_autoSize = false;
    m_autoWidth = Grid::awNone;
}

// -- Rows and the title row

void GridSizer::setDefaultRowHeight(int height)
{
    if (height == m_requestedRowHeight && height == m_grid.defaultRowHeight())
        return;
    ++m_layoutGuard;
    const auto lower = qScopeGuard([this] { --m_layoutGuard; });
    if (height == 0) {
        m_requestedRowHeight = m_grid.defaultRowHeight();
        return;
    }
    m_requestedRowHeight = height;
    const Grid::UpdateLock update(m_grid);
    m_host.setBaseRowHeight(height);
    titleRowStep();
}

void GridSizer::titleRowStep()
{
    if (!(m_grid.options() & Grid::dgTitles))
        return;
    if (m_titleHeightCache == 0) {
        if (m_grid.columns()->count() > 0 && m_host.windowExists()) {
            for (TColumn *column : visibleColumns()) {
                const GridCanvas titleCanvas(column->title()->font());
                m_titleHeightCache = std::max(m_titleHeightCache, titleCanvas.textHeight(QStringLiteral("\u00C2_")));
            }
        }
        if (m_titleHeightCache == 0)
            m_titleHeightCache = m_grid.defaultRowHeight();
        else
            m_titleHeightCache += 4;
    }
    m_grid.setRowHeight(0, m_titleHeightCache);
}

void GridSizer::multiLineTitleStep()
{
    if (m_grid.multiLineTitles() && (m_grid.options() & Grid::dgTitles)) {
        int height = 0;
        for (int i = 0; i < m_grid.columns()->count(); ++i) {
            const TColumn *column = m_grid.columns()->items(i);
            height = std::max(
                height,
                sizing::wrappedTitleHeight(column->title()->font(), column->title()->caption(), column->width() - 1));
        }
        if (height != 0)
            m_grid.setRowHeight(0,
                                std::max(Grid::LineHeight, height + ((m_grid.options() & Grid::dgRowLines) ? 3 : 2)));
    } else if (!m_grid.multiLineTitles() && m_grid.rowCount() > 0 && m_grid.rowHeight(0) != Grid::LineHeight) {
        m_grid.setRowHeight(0, Grid::LineHeight);
    }
}

void GridSizer::applyMultiLineTitles()
{
    multiLineTitleStep();
    // The base fits its rows to the new title row; this is not a row the user sized.
    m_host.baseRowHeightsChanged();
}

void GridSizer::setMultiLineRows(bool on)
{
    if (m_multiLineRows == on)
        return;
    m_multiLineRows = on;
    if (on && m_rowSizingAllowed)
        m_rowSizingAllowed = false;
    m_host.relayout();
    m_grid.invalidateGrid();
}

void GridSizer::setLinesPerRow(int lines)
{
    if (m_linesPerRow == lines)
        return;
    m_linesPerRow = lines;
    m_host.relayout();
    m_grid.invalidateGrid();
}

void GridSizer::setRowSizingAllowed(bool on)
{
    if (m_rowSizingAllowed == on)
        return;
    m_rowSizingAllowed = on;
    Grid::TGridOptions cells = m_grid.cellOptions() | Grid::goDrawFocusSelected | Grid::goColSizing | Grid::goRowMoving
        | Grid::goColMoving | Grid::goTabs | Grid::goThumbTracking;
    if (on) {
        m_multiLineRows = false;
        cells |= Grid::goRowSizing;
    } else {
        cells &= ~Grid::TGridOptions(Grid::goRowSizing);
    }
    m_grid.setCellOptions(cells);
}

void GridSizer::keepRowSizing()
{
    if (m_rowSizingAllowed && !(m_grid.cellOptions() & Grid::goRowSizing))
        m_grid.setCellOptions(m_grid.cellOptions() | Grid::goRowSizing);
}

// -- The grid's steps

void GridSizer::layoutChanged()
{
    if (m_layoutGuard == 0) {
        m_titleHeightCache = 0;
        m_grid.setDefaultRowHeight(m_requestedRowHeight);
    }
    resizeNudge();
    if (m_grid.multiLineTitles())
        multiLineTitleStep();
    if (m_multiLineRows)
        m_grid.setDefaultRowHeight(Grid::LineHeight * m_linesPerRow);
}

void GridSizer::resizeNudge()
{
    // The platform's size notification for the grid's own size, so that the resize handling runs
    // again. A scroll area hears of its size through its viewport's resize.
    if (!m_host.windowExists() || m_requestedRowHeight == 0)
        return;
    QWidget *viewport = m_grid.viewport();
    QResizeEvent event(viewport->size(), viewport->size());
    QCoreApplication::sendEvent(viewport, &event);
}

void GridSizer::resized()
{
    if (m_busy)
        return;
    if (m_autoWidth != Grid::awNone && m_autoWidthOnResize) {
        try {
            setAutoWidth(m_autoWidth);
        } catch (const std::exception &) {
            // Sizing again on a resize is a convenience; a record that cannot be read leaves the widths.
        }
    }
}

void GridSizer::rowHeightsChanged()
{
    const int first = m_grid.titleOffset();
    const int last = std::min(m_grid.rowCount() - 1, first + m_grid.visibleRowCount());
    for (int r = first; r <= last; ++r) {
        if (m_grid.rowHeight(r) != m_grid.defaultRowHeight()) {
            m_grid.setDefaultRowHeight(m_grid.rowHeight(r));
            break;
        }
    }
    resizeNudge();
    if (!(m_grid.options() & Grid::dgAlwaysShowEditor))
        m_host.baseRowHeightsChanged();
}

void GridSizer::fontChanged()
{
    const GridCanvas gridCanvas(m_grid.font());
    const int height = gridCanvas.textHeight(QStringLiteral("Wg"));
    if (height > Grid::LineHeight)
        m_grid.setDefaultRowHeight(height);
}

}  // namespace kelvara
