// The data grid's layout: columns from the fields or the column list, fixed columns and row heights,
// the column attributes and widths going both ways, and the rows that fit the client area.

#include "grid/tdbgrid.h"

#include "grid/tinplaceedit.h"
#include "platform/errorreport.h"
#include "store/field.h"
#include "store/table.h"

#include <QScopedValueRollback>

#include <algorithm>

namespace kelvara {

namespace {

// The height of a line of text in a font, as the row heights are measured.
int lineHeight(const QFont &font)
{
    return GridCanvas(font).textHeight(QStringLiteral("Wg"));
}

}  // namespace

void TDBGrid::beginUpdate()
{
    ++m_updateLock;
}

void TDBGrid::endUpdate()
{
    if (m_updateLock == 0)
        return;
    if (--m_updateLock == 0 && m_layoutPending)
        relayout();
}

void TDBGrid::relayout()
{
    if (m_destroying || m_inLayout)
        return;
    if (m_updateLock > 0) {
        m_layoutPending = true;
        return;
    }
    if (isPainting()) {
        // A layout asked for while cells are painted (by a handler of a paint event, say) resizes
        // and moves widgets: it runs once the paint is over.
        if (!m_layoutPending) {
            m_layoutPending = true;
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (m_layoutPending)
                        relayout();
                },
                Qt::QueuedConnection);
        }
        return;
    }
    m_layoutPending = false;
    const QScopedValueRollback<bool> guard(m_inLayout, true);
    layoutChanged();
    finishLayout();
}

void TDBGrid::layoutChanged()
{
    if (m_destroying)
        return;

    // The column list and the column-to-field map.
    Table *table = activeTable();
    QList<Field *> visibleFields;
    if (table) {
        for (Field *field : table->fields()) {
            if (field->visible())
                visibleFields << field;
        }
    }
    if (m_columns->state() == TDBGridColumns::csDefault) {
        m_columns->buildDefault(visibleFields);
        m_fieldMap = visibleFields;
    } else {
        m_fieldMap.clear();
        for (int i = 0; i < m_columns->count(); ++i) {
            const QString name = m_columns->items(i)->fieldName();
            m_fieldMap << (table && !name.isEmpty() ? table->findField(name) : nullptr);
        }
    }

    // Columns, fixed columns and row heights. Fixed columns beyond the indicator lock leading data
    // columns: they outlive the layout and the indicator coming or going, and one data column stays scrollable.
    const int locked = std::max(0, fixedCols() - m_fixedIndicator);
    const int indicator = indicatorOffset();
    const int titles = titleOffset();
    setColCount(m_columns->count() + indicator);
    m_fixedIndicator = indicator;
    setFixedCols(indicator + std::min(locked, std::max(0, m_columns->count() - 1)));
    // The base's own row height from the font; a grid that keeps a requested height sets it again
    // in its own layout step.
    CellGrid::setDefaultRowHeight(lineHeight(font()) + 3 + ((m_options & dgRowLines) ? gridLineWidth() : 0));
    if (rowCount() < titles + 1)
        setRowCount(titles + 1);
    if (titles > 0) {
        int height = 0;
        for (int i = 0; i < m_columns->count(); ++i)
            height = std::max(height, lineHeight(m_columns->items(i)->title()->font()));
        if (m_columns->count() == 0)
            height = lineHeight(m_titleFont);
        setRowHeight(0, height + 4);
    }
    setFixedRows(titles);

    columnAttributesAboutToApply();
    applyColumnAttributes();
    columnAttributesApplied();
}

void TDBGrid::finishLayout()
{
    if (m_destroying)
        return;
    updateRowCount();
    updateActive();
    ensureVisibleColumn();
    updateScrollBars();
    invalidateGrid();
    updateEditor();
}

void TDBGrid::applyColumnAttributes()
{
    if (indicatorOffset() > 0)
        setColWidth(0, IndicatorWidth);
    for (int i = 0; i < m_columns->count(); ++i)
        setColWidth(dataToRawColumn(i), m_columns->items(i)->width());
}

void TDBGrid::updateRowCount()
{
    const int titles = titleOffset();
    const GridAxis &axis = verticalAxis();
    const int available = clientHeight();
    int y = titles > 0 && rowCount() > 0 ? axis.extent(0) : 0;
    int rows = 0;
    for (;;) {
        const int row = titles + rows;
        const int height = std::max(1, row < rowCount() ? rowHeight(row) : defaultRowHeight());
        if (y + height > available)
            break;
        y += height + axis.lineWidth();
        ++rows;
    }
    rows = std::max(1, rows);
    setRowCount(titles + rows);
    m_link->setBufferCount(rows);
}

void TDBGrid::updateActive()
{
    const int titles = titleOffset();
    int dataRow = 0;
    if (m_link->active() && m_link->recordCount() > 0)
        dataRow = std::clamp(m_link->activeRecord(), 0, std::max(0, dataRowCount() - 1));
    const int target = titles + dataRow;
    if (target != row() && target < rowCount())
        setCurrentCell(col(), target, false);
}

int TDBGrid::firstDataColumn() const
{
    // The first column that can be current: locked columns are fixed like the indicator.
    const int first = horizontalAxis().nextShown(fixedCols() - 1);
    return first >= 0 ? rawToDataColumn(first) : -1;
}

int TDBGrid::lastDataColumn() const
{
    const int last = horizontalAxis().previousShown(colCount());
    return last >= fixedCols() ? rawToDataColumn(last) : -1;
}

void TDBGrid::ensureVisibleColumn()
{
    const int raw = col();
    const int fixed = fixedCols();
    if (raw >= fixed && raw < colCount() && colWidth(raw) >= 0)
        return;
    int target = horizontalAxis().nextShown(std::max(raw, fixed - 1));
    if (target < 0)
        target = horizontalAxis().previousShown(std::min(raw, colCount()));
    if (target >= fixed)
        setCurrentCell(target, row(), false);
}

void TDBGrid::columnChanged(TColumn *column, int change)
{
    if (m_destroying || m_inLayout)
        return;
    switch (static_cast<TColumn::Change>(change)) {
    case TColumn::Change::Layout: relayout(); break;
    case TColumn::Change::Width:
        if (!m_syncingWidths)
            applyColumnWidth(column);
        break;
    case TColumn::Change::Paint:
        invalidateCol(dataToRawColumn(column->index()));
        if (column == selectedColumn() && m_editor && m_editor->isVisible())
            loadEditor();
        break;
    case TColumn::Change::None: break;
    }
}

void TDBGrid::applyColumnWidth(TColumn *column)
{
    const int raw = dataToRawColumn(column->index());
    if (raw >= colCount()) {
        relayout();
        return;
    }
    setColWidth(raw, column->width());
    if (titleOffset() > 0)
        invalidateRow(0);
    ensureVisibleColumn();
    colWidthsChanged();
}

void TDBGrid::colWidthsChanged()
{
    // Widths sized on the grid go back into the columns.
    const QScopedValueRollback<bool> guard(m_syncingWidths, true);
    for (int i = 0; i < m_columns->count(); ++i) {
        TColumn *column = m_columns->items(i);
        const int width = colWidth(dataToRawColumn(i));
        if (column->visible() && width >= 0 && width != column->width())
            column->setWidth(width);
    }
    updateScrollBars();
    updateEditor();
}

void TDBGrid::rowHeightsChanged()
{
    updateRowCount();
    updateActive();
    invalidateGrid();
    updateEditor();
}

void TDBGrid::fontChanged()
{
    CellGrid::fontChanged();
    relayout();
}

void TDBGrid::columnMoved(int from, int to)
{
    const int indicator = indicatorOffset();
    const int fromData = from - indicator;
    const int toData = to - indicator;
    if (fromData < 0 || toData < 0 || fromData >= m_columns->count() || toData >= m_columns->count())
        return;
    if (m_columns->state() == TDBGridColumns::csDefault) {
        // Automatic columns follow the field order, so the field moves.
        Field *field = fields(fromData);
        Field *target = fields(toData);
        if (field && target)
            field->setIndex(target->index());
    } else {
        m_columns->move(fromData, toData);
    }
    Q_EMIT OnColumnMoved(from, to);
}

void TDBGrid::resizeEvent(QResizeEvent *event)
{
    CellGrid::resizeEvent(event);
    guarded(this, [this] {
        updateRowCount();
        updateActive();
        updateScrollBars();
        updateEditor();
    });
}

}  // namespace kelvara
