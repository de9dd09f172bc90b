// The data grid's current cell and scrolling: rows are records, so moving and scrolling vertically move
// the record set, and the vertical bar shows the record number.

#include "grid/tdbgrid.h"

#include "store/table.h"

#include <QScrollBar>

#include <algorithm>

namespace kelvara {

void TDBGrid::topLeftChanged()
{
    updateEditor();
}

int TDBGrid::moveRecordsBy(int distance)
{
    Table *table = activeTable();
    if (!table || distance == 0)
        return 0;
    return table->moveBy(distance);
}

bool TDBGrid::moveDownOrAppend()
{
    Table *table = activeTable();
    if (!table)
        return false;
    if (table->state() == dsInsert) {
        table->updateRecord();
        if (!table->modified() && table->recNo() > table->recordCount())
            return false;
    }
    if (moveRecordsBy(1) != 0)
        return true;
    if (table->eof() && isEditable() && (m_options & dgEditing)) {
        table->append();
        return true;
    }
    return false;
}

bool TDBGrid::selectDataColumn(int dataCol)
{
    const int raw = dataToRawColumn(dataCol);
    if (dataCol < 0 || raw < fixedCols() || raw >= colCount() || colWidth(raw) < 0)
        return false;
    if (raw == col()) {
        scrollIntoView(raw, row());
        return true;
    }
    writeEditor();
    colExit();
    setCurrentCell(raw, row(), true);
    return true;
}

bool TDBGrid::selectCell(int col, int row)
{
    // Rows are records: a new row moves the record set, and the link's notice moves the cell.
    if (row != this->row() && row >= titleOffset())
        moveRecordsBy(row - this->row());
    if (col != this->col() && col >= fixedCols())
        selectDataColumn(rawToDataColumn(col));
    return false;
}

void TDBGrid::currentCellMoved(int oldCol, int oldRow)
{
    if (oldRow != row()) {
        invalidateRow(oldRow);
        invalidateRow(row());
    }
    if (oldCol != col())
        colEnter();
    updateEditor();
}

void TDBGrid::scrollIntoView(int col, int row)
{
    Q_UNUSED(row);
    // Data rows never scroll; the records move under them.
    CellGrid::scrollIntoView(col, -1);
}

void TDBGrid::colEnter()
{
    Q_EMIT OnColEnter();
}

void TDBGrid::colExit()
{
    Q_EMIT OnColExit();
}

void TDBGrid::verticalScroll(ScrollCode code, int position)
{
    Table *table = activeTable();
    if (!table)
        return;
    const int page = std::max(1, dataRowCount());
    switch (code) {
    case ScrollCode::LineUp: moveRecordsBy(-1); break;
    case ScrollCode::LineDown: moveRecordsBy(1); break;
    case ScrollCode::PageUp: moveRecordsBy(-page); break;
    case ScrollCode::PageDown: moveRecordsBy(page); break;
    case ScrollCode::ThumbTrack:
        if (cellOptions() & goThumbTracking)
            table->setRecNo(position + 1);
        break;
    case ScrollCode::ThumbPosition: table->setRecNo(position + 1); break;
    case ScrollCode::Top: table->first(); break;
    case ScrollCode::Bottom: table->last(); break;
    case ScrollCode::EndScroll: break;
    }
}

void TDBGrid::updateVerticalScrollBar()
{
    QScrollBar *bar = verticalScrollBar();
    const Table *table = activeTable();
    if (!table) {
        bar->setRange(0, 0);
        return;
    }
    // The bar shows the record number of the record count.
    const int count = std::max(table->recordCount(), table->recNo());
    bar->setRange(0, std::max(0, count - 1));
    bar->setPageStep(std::max(1, dataRowCount()));
    if (!bar->isSliderDown())
        bar->setValue(std::max(0, table->recNo() - 1));
}

}  // namespace kelvara
