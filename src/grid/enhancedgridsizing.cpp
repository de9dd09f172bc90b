// The enhanced grid's column and row sizing: the width modes and automatic sizing, full-size memo
// columns, the row height it keeps across layout changes, the title row and the reactions to
// resizing, row sizing by the user and font changes. The arithmetic lives in gridsizing.

#include "grid/tenhancedgrid.h"

#include "grid/fieldkind.h"
#include "grid/gridsizing.h"
#include "store/field.h"
#include "store/table.h"

#include <QApplication>
#include <QResizeEvent>
#include <QScopeGuard>

namespace kelvara {

QList<TColumn *> TEnhancedGrid::visibleColumns() const
{
    QList<TColumn *> visible;
    const int count = std::min(columns()->count(), colCount() - indicatorOffset());
    for (int i = 0; i < count; ++i) {
        if (columns()->items(i)->visible())
            visible << columns()->items(i);
    }
    return visible;
}

void TEnhancedGrid::setColumnWidth(TColumn *column, int width)
{
    column->setWidth(width);
    // Inside the layout step the base does not pass column changes on; the grid's own width
    // must follow all the same.
    const int raw = dataToRawColumn(column->index());
    if (raw < colCount() && column->visible() && colWidth(raw) != column->width())
        setColWidth(raw, column->width());
}

void TEnhancedGrid::measureColumns(const QList<TColumn *> &measured, const QList<int> &startWidths)
{
    Table *table = activeTable();
    if (!table || measured.isEmpty())
        return;
    QList<sizing::MeasuredColumn> entries;
    for (int i = 0; i < measured.size(); ++i) {
        TColumn *column = measured[i];
        sizing::MeasuredColumn entry;
        entry.field = fields(column->index());
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
        setColumnWidth(measured[i], sizing::measuredWidth(widths[i], measured[i]->defaultWidth(), clientWidth()));
    }
}

void TEnhancedGrid::setGridAutoSize(bool on)
{
    if (!(options() & dgColumnResize)) {
        m_gridAutoSize = false;
        return;
    }
    m_gridAutoSize = on;
    if (on)
        m_gridAutoWidth = awNone;
    if (activeTable())
        autoSizeColumns();
}

void TEnhancedGrid::autoSizeColumns()
{
    const UpdateLock update(*this);
    if (!m_gridAutoSize)
        return;
    const QList<TColumn *> visible = visibleColumns();
    measureColumns(visible, QList<int>(visible.size(), 0));
}

void TEnhancedGrid::setGridAutoWidth(TAutoWidth mode)
{
    if (!(options() & dgColumnResize)) {
        m_gridAutoWidth = awNone;
        return;
    }
    m_gridAutoWidth = mode;
    if (mode != awNone) {
        m_gridAutoSize = false;
        setFullSizeMemo(false);
    }
    if (OnAutoWidthChange)
        OnAutoWidthChange(this, m_gridAutoWidth);
    if (m_gridAutoWidth == awNone)
        return;
    if (m_gridAutoWidth != awWidestValue && m_gridAutoWidth != awWidestValueTitle)
        setFullSizeMemo(false);
    if (activeTable()) {
        m_busy = true;
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const auto done = qScopeGuard([this] {
            QApplication::restoreOverrideCursor();
            m_busy = false;
        });
        const UpdateLock update(*this);
        applyAutoWidthMode(m_gridAutoWidth);
    }
    if (!m_loading && !m_gridAutoWidthOnResize)
        setGridAutoWidth(awNone);
}

void TEnhancedGrid::applyAutoWidthMode(TAutoWidth mode)
{
    const QList<TColumn *> visible = visibleColumns();
    switch (mode) {
    case awNone: break;
    case awDefault:
        for (TColumn *column : visible)
            setColumnWidth(column, column->defaultWidth());
        break;
    case awWidestValue: measureColumns(visible, QList<int>(visible.size(), 0)); break;
    case awWidestValueTitle: {
        QList<int> starts;
        for (TColumn *column : visible) {
            const GridCanvas titleCanvas(column->title()->font());
            starts << titleCanvas.textWidth(column->title()->caption()) + 2;
        }
        measureColumns(visible, starts);
        break;
    }
    case awProportional:
    case awUniform: {
        QList<int> widths;
        QList<bool> shown;
        const int count = std::min(columns()->count(), colCount() - indicatorOffset());
        for (int i = 0; i < count; ++i) {
            TColumn *column = columns()->items(i);
            widths << column->width();
            shown << column->visible();
        }
        const int available = sizing::availableWidth(clientWidth(), int(visible.size()), gridLineWidth(),
                                                     options() & dgColLines, options() & dgIndicator);
        const QList<int> next = mode == awProportional ? sizing::proportionalWidths(widths, shown, available)
                                                       : sizing::uniformWidths(widths, shown, available);
        for (int i = 0; i < count; ++i) {
            if (shown[i])
                setColumnWidth(columns()->items(i), next[i]);
        }
        break;
    }
    }
}

void TEnhancedGrid::setGridAutoWidthOnResize(bool on)
{
    if (m_gridAutoWidthOnResize == on)
        return;
    m_gridAutoWidthOnResize = on;
    if (on)
        setGridAutoWidth(m_gridAutoWidth);
}

void TEnhancedGrid::setFullSizeMemo(bool on)
{
    if (m_fullSizeMemo == on)
        return;
    m_fullSizeMemo = on;
    if (on) {
        setDisplayMemo(true);
        if (m_gridAutoWidth != awNone && m_gridAutoWidth != awWidestValue && m_gridAutoWidth != awWidestValueTitle)
            setGridAutoWidth(awNone);
    }
    if (!activeTable())
        return;
    m_busy = true;
    const auto done = qScopeGuard([this] { m_busy = false; });
    const UpdateLock update(*this);
    applyMemoWidths();
}

void TEnhancedGrid::applyMemoWidths()
{
    QList<TColumn *> memos;
    for (TColumn *column : visibleColumns()) {
        const Field *field = fields(column->index());
        if (field && isMemoLike(field->dataType()))
            memos << column;
    }
    if (m_fullSizeMemo) {
        measureColumns(memos, QList<int>(memos.size(), 0));
        return;
    }
    for (TColumn *column : memos) {
        const GridCanvas cellCanvas(column->font());
        const int widest = cellCanvas.textWidth(fields(column->index())->displayText());
        setColumnWidth(column, sizing::measuredWidth(widest, column->defaultWidth(), clientWidth()));
    }
}

void TEnhancedGrid::setDefaultRowHeight(int height)
{
    if (height == m_requestedRowHeight && height == defaultRowHeight())
        return;
    ++m_layoutGuard;
    const auto lower = qScopeGuard([this] { --m_layoutGuard; });
    if (height == 0) {
        m_requestedRowHeight = defaultRowHeight();
        return;
    }
    m_requestedRowHeight = height;
    const UpdateLock update(*this);
    TDBGrid::setDefaultRowHeight(height);
    titleRowStep();
}

void TEnhancedGrid::titleRowStep()
{
    if (!(options() & dgTitles))
        return;
    if (m_titleHeightCache == 0) {
        if (columns()->count() > 0 && windowExists()) {
            for (TColumn *column : visibleColumns()) {
                const GridCanvas titleCanvas(column->title()->font());
                m_titleHeightCache = std::max(m_titleHeightCache, titleCanvas.textHeight(QStringLiteral("\u00C2_")));
            }
        }
        if (m_titleHeightCache == 0)
            m_titleHeightCache = defaultRowHeight();
        else
            m_titleHeightCache += 4;
    }
    setRowHeight(0, m_titleHeightCache);
}

void TEnhancedGrid::multiLineTitleStep()
{
    if (m_display.multiLineTitles && (options() & dgTitles)) {
        int height = 0;
        for (int i = 0; i < columns()->count(); ++i) {
            const TColumn *column = columns()->items(i);
            height = std::max(
                height,
                sizing::wrappedTitleHeight(column->title()->font(), column->title()->caption(), column->width() - 1));
        }
        if (height != 0)
            setRowHeight(0, std::max(LineHeight, height + ((options() & dgRowLines) ? 3 : 2)));
    } else if (!m_display.multiLineTitles && rowCount() > 0 && rowHeight(0) != LineHeight) {
        setRowHeight(0, LineHeight);
    }
}

void TEnhancedGrid::setMultiLineTitles(bool on)
{
    if (m_display.multiLineTitles != on) {
        m_display.multiLineTitles = on;
        invalidateGrid();
    }
    multiLineTitleStep();
    // The base fits its rows to the new title row; this is not a row the user sized.
    TDBGrid::rowHeightsChanged();
}

void TEnhancedGrid::setMultiLineRows(bool on)
{
    if (m_multiLineRows == on)
        return;
    m_multiLineRows = on;
    if (on && m_rowSizingAllowed)
        m_rowSizingAllowed = false;
    relayout();
    invalidateGrid();
}

void TEnhancedGrid::setLinesPerRow(int lines)
{
    if (m_linesPerRow == lines)
        return;
    m_linesPerRow = lines;
    relayout();
    invalidateGrid();
}

void TEnhancedGrid::setRowSizingAllowed(bool on)
{
    if (m_rowSizingAllowed == on)
        return;
    m_rowSizingAllowed = on;
    TGridOptions cells
        = cellOptions() | goDrawFocusSelected | goColSizing | goRowMoving | goColMoving | goTabs | goThumbTracking;
    if (on) {
        m_multiLineRows = false;
        cells |= goRowSizing;
    } else {
        cells &= ~TGridOptions(goRowSizing);
    }
    setCellOptions(cells);
}

void TEnhancedGrid::layoutChanged()
{
    TDBGrid::layoutChanged();
    if (m_layoutGuard == 0) {
        m_titleHeightCache = 0;
        setDefaultRowHeight(m_requestedRowHeight);
    }
    resizeNudge();
    if (m_display.multiLineTitles)
        multiLineTitleStep();
    if (m_multiLineRows)
        setDefaultRowHeight(LineHeight * m_linesPerRow);
}

bool TEnhancedGrid::windowExists() const
{
    return testAttribute(Qt::WA_WState_Created);
}

void TEnhancedGrid::resizeNudge()
{
    // The platform's size notification for the grid's own size, so that the resize handling runs
    // again. A scroll area hears of its size through its viewport's resize.
    if (!windowExists() || m_requestedRowHeight == 0)
        return;
    QResizeEvent event(viewport()->size(), viewport()->size());
    QCoreApplication::sendEvent(viewport(), &event);
}

void TEnhancedGrid::resizeReaction()
{
    if (m_busy)
        return;
    if (m_gridAutoWidth != awNone && m_gridAutoWidthOnResize) {
        try {
            setGridAutoWidth(m_gridAutoWidth);
        } catch (const std::exception &) {
            // Sizing again on a resize is a convenience; a record that cannot be read leaves the widths.
        }
    }
}

void TEnhancedGrid::resizeEvent(QResizeEvent *event)
{
    TDBGrid::resizeEvent(event);
    resizeReaction();
    placeHiddenEditors();
}

void TEnhancedGrid::rowHeightsChanged()
{
    const int first = titleOffset();
    const int last = std::min(rowCount() - 1, first + visibleRowCount());
    for (int r = first; r <= last; ++r) {
        if (rowHeight(r) != defaultRowHeight()) {
            setDefaultRowHeight(rowHeight(r));
            break;
        }
    }
    resizeNudge();
    if (!(options() & dgAlwaysShowEditor))
        TDBGrid::rowHeightsChanged();
    placeHiddenEditors();
}

void TEnhancedGrid::fontChanged()
{
    TDBGrid::fontChanged();
    const GridCanvas gridCanvas(font());
    const int height = gridCanvas.textHeight(QStringLiteral("Wg"));
    if (height > LineHeight)
        setDefaultRowHeight(height);
}

}  // namespace kelvara
