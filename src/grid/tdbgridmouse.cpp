// The data grid's mouse: presses move the record and the column, clicks on titles and cells, the
// wheel moves the record, and sizing is kept off the indicator column and the title row.

#include "grid/tdbgrid.h"

#include "grid/tinplaceedit.h"
#include "platform/errorreport.h"
#include "store/table.h"

#include <QMouseEvent>

#include <algorithm>

namespace kelvara {

void TDBGrid::titleClick(TColumn *column)
{
    Q_EMIT OnTitleClick(column);
}

void TDBGrid::cellClick(TColumn *column)
{
    Q_EMIT OnCellClick(column);
}

void TDBGrid::dblClick()
{
    Q_EMIT OnDblClick();
}

bool TDBGrid::wheelStep(bool down, Qt::KeyboardModifiers modifiers, const QPoint &pos)
{
    Q_UNUSED(modifiers);
    Q_UNUSED(pos);
    if (!acquireFocus() || !m_link->active())
        return false;
    return moveRecordsBy(down ? 1 : -1) != 0;
}

CellGrid::SizingHit TDBGrid::sizingAt(const QPoint &pos) const
{
    SizingHit hit = CellGrid::sizingAt(pos);
    // The indicator column keeps its width and the title row its height.
    if (hit.state == GridState::ColSizing && hit.index < indicatorOffset())
        return SizingHit();
    if (hit.state == GridState::RowSizing && hit.index < titleOffset())
        return SizingHit();
    return hit;
}

void TDBGrid::selectRangeTo(int dataRow)
{
    const int distance = dataRow - (row() - titleOffset());
    const int step = distance < 0 ? -1 : 1;
    m_selectedRows.setCurrentRowSelected(true);
    for (int i = 0; i < std::abs(distance); ++i) {
        if (moveRecordsBy(step) == 0)
            break;
        m_selectedRows.setCurrentRowSelected(true);
    }
}

void TDBGrid::mousePressEvent(QMouseEvent *event)
{
    guarded(this, [&] {
        const QPoint pos = event->position().toPoint();
        const GridCoord cell = cellAt(pos);
        if (event->button() != Qt::LeftButton || sizingAt(pos).state != GridState::Normal || !cell.isValid()
            || cell.row < titleOffset()) {
            CellGrid::mousePressEvent(event);
            return;
        }
        if (!acquireFocus())
            return;
        Table *table = activeTable();
        const int dataRow = cell.row - titleOffset();
        if (!table || dataRow >= m_link->recordCount())
            return;
        const bool currentCell = cell.col == col() && cell.row == row();
        const int distance = dataRow - (row() - titleOffset());
        if (m_options & dgMultiSelect) {
            const Qt::KeyboardModifiers modifiers = event->modifiers();
            if (modifiers & Qt::ControlModifier) {
                moveRecordsBy(distance);
                m_selectedRows.setCurrentRowSelected(!m_selectedRows.currentRowSelected());
            } else if (modifiers & Qt::ShiftModifier) {
                selectRangeTo(dataRow);
            } else {
                m_selectedRows.clear();
                moveRecordsBy(distance);
            }
        } else if (distance != 0) {
            const bool wasEditing = m_editorMode;
            if (!(m_options & dgAlwaysShowEditor))
                m_editorMode = false;
            try {
                moveRecordsBy(distance);
            } catch (...) {
                m_editorMode = wasEditing;
                throw;
            }
        }
        // A press on a fixed cell, locked or indicator, moves the record and keeps the column.
        if (cell.col >= fixedCols()) {
            if (cell.col != col())
                selectDataColumn(rawToDataColumn(cell.col));
            else if (currentCell && (cellOptions() & goEditing) && !(m_options & dgMultiSelect))
                setEditorMode(true);
        }
    });
}

void TDBGrid::mouseReleaseEvent(QMouseEvent *event)
{
    const GridState state = gridState();
    const bool dragged = state == GridState::ColSizing || state == GridState::RowSizing
        || ((state == GridState::ColMoving || state == GridState::RowMoving) && dragStarted());
    CellGrid::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton || dragged)
        return;
    guarded(this, [&] {
        const QPoint pos = event->position().toPoint();
        const GridCoord cell = cellAt(pos);
        if (!cell.isValid() || cell.col < indicatorOffset())
            return;
        if (m_editor && m_editor->isVisible() && m_editor->geometry().contains(pos))
            return;
        if (cell.row < titleOffset()) {
            const int dataCol = rawToDataColumn(cell.col);
            if (dataCol < m_columns->count())
                titleClick(m_columns->items(dataCol));
        } else if (TColumn *column = selectedColumn()) {
            cellClick(column);
        }
    });
}

void TDBGrid::mouseDoubleClickEvent(QMouseEvent *event)
{
    mousePressEvent(event);
    if (event->button() == Qt::LeftButton)
        guarded(this, [this] { dblClick(); });
}

}  // namespace kelvara
