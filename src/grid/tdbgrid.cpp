// The data grid: construction, options and properties, the selected column and rows, and the data
// link's notices. Layout, painting, keys, mouse, scrolling and the editor have files of their own.

#include "grid/tdbgrid.h"

#include "grid/tinplaceedit.h"
#include "platform/errorreport.h"
#include "store/table.h"

#include <algorithm>

namespace kelvara {

TDBGrid::TDBGridOptions TDBGrid::defaultOptions()
{
    return dgEditing | dgTitles | dgIndicator | dgColumnResize | dgColLines | dgRowLines | dgTabs | dgConfirmDelete
        | dgCancelOnExit;
}

CellGrid::TGridOptions TDBGrid::cellOptionsFor(TDBGridOptions options)
{
    TGridOptions cells;
    if (options & dgColLines)
        cells |= goFixedVertLine | goVertLine;
    if (options & dgRowLines)
        cells |= goFixedHorzLine | goHorzLine;
    if (options & dgColumnResize)
        cells |= goColSizing | goColMoving;
    if (options & dgTabs)
        cells |= goTabs;
    if (options & dgRowSelect) {
        cells |= goRowSelect;
    } else {
        if (options & dgEditing)
            cells |= goEditing;
        if (options & dgAlwaysShowEditor)
            cells |= goAlwaysShowEditor;
    }
    return cells;
}

TDBGrid::TDBGrid(QWidget *parent)
    : CellGrid(parent), m_link(std::make_unique<TGridDataLink>(this)),
      m_columns(std::make_unique<TDBGridColumns>(this)), m_selectedRows(this), m_options(defaultOptions())
{
    m_titleFont = font();
    m_titleFontColor = fontColor();
    m_editColor = palette().color(QPalette::Active, QPalette::Base);
    setCellOptions(cellOptionsFor(m_options));
    relayout();
}

TDBGrid::~TDBGrid()
{
    m_destroying = true;
    // The editor must not call back into a grid that is going away when it loses the focus.
    m_editor.reset();
    m_link->detachGrid();
    m_link->setDataSource(nullptr);
    for (const auto &connection : std::as_const(m_tableConnections))
        disconnect(connection);
}

void TDBGrid::setOptions(TDBGridOptions options)
{
    if (options == m_options)
        return;
    const TDBGridOptions old = m_options;
    const int selected = selectedIndex();
    m_options = options;
    if ((old & dgMultiSelect) && !(options & dgMultiSelect))
        m_selectedRows.clear();
    if (!(options & dgEditing) || (options & dgRowSelect))
        m_editorMode = false;
    setCellOptions(cellOptionsFor(options));
    relayout();
    // The indicator column coming or going shifts the grid columns; the data column stays current.
    if (selected >= 0 && selected < m_columns->count() && dataToRawColumn(selected) >= fixedCols()
        && colWidth(dataToRawColumn(selected)) >= 0)
        setCurrentCell(dataToRawColumn(selected), row(), true);
    updateEditor();
    invalidateGrid();
}

void TDBGrid::setDataSource(DataSource *source)
{
    if (source == m_dataSource)
        return;
    if (m_dataSource)
        disconnect(m_dataSource, nullptr, this, nullptr);
    m_dataSource = source;
    if (source) {
        connect(source, &DataSource::stateChanged, this,
                [this] { guarded(this, [this] { dataSourceStateChanged(); }); });
        connect(source, &QObject::destroyed, this, [this] { guarded(this, [this] { dataSourceStateChanged(); }); });
    }
    const bool wasActive = m_link->active();
    m_link->setDataSource(source);
    // The link reports a change of activity itself; a swap between two open sets it does not.
    if (wasActive == m_link->active())
        dataSourceStateChanged();
}

void TDBGrid::dataSourceStateChanged()
{
    if (m_destroying)
        return;
    if (m_trackedTable != activeTable()) {
        trackTable();
        m_fieldMap.fill(nullptr);
        relayout();
    }
}

Table *TDBGrid::dataSet() const
{
    return m_link->dataSet();
}

Table *TDBGrid::activeTable() const
{
    return m_link->active() ? m_link->dataSet() : nullptr;
}

void TDBGrid::setReadOnly(bool readOnly)
{
    if (readOnly == m_readOnly)
        return;
    m_readOnly = readOnly;
    updateEditor();
    invalidateGrid();
}

void TDBGrid::setDefaultDrawing(bool on)
{
    storeAndRepaint(m_defaultDrawing, on);
}

void TDBGrid::setTitleFont(const QFont &font)
{
    if (font == m_titleFont)
        return;
    m_titleFont = font;
    relayout();
}

void TDBGrid::setTitleFontColor(const QColor &color)
{
    if (color == m_titleFontColor)
        return;
    m_titleFontColor = color;
    if (titleOffset() > 0)
        invalidateRow(0);
}

void TDBGrid::setEditColor(const QColor &color)
{
    if (color == m_editColor)
        return;
    m_editColor = color;
    if (m_editor && m_editor->isVisible())
        loadEditor();
}

Field *TDBGrid::fields(int dataCol) const
{
    return dataCol >= 0 && dataCol < m_fieldMap.size() ? m_fieldMap.at(dataCol) : nullptr;
}

int TDBGrid::selectedIndex() const
{
    const int dataCol = rawToDataColumn(col());
    return dataCol >= 0 && dataCol < m_columns->count() ? dataCol : -1;
}

void TDBGrid::setSelectedIndex(int dataCol)
{
    selectDataColumn(dataCol);
}

TColumn *TDBGrid::selectedColumn() const
{
    const int dataCol = selectedIndex();
    return dataCol >= 0 ? m_columns->items(dataCol) : nullptr;
}

Field *TDBGrid::selectedField() const
{
    return fields(selectedIndex());
}

bool TDBGrid::isEditable() const
{
    const Table *table = activeTable();
    return !m_readOnly && table && !m_link->readOnly() && table->canModify();
}

Bookmark TDBGrid::rowBookmark(int dataRow)
{
    Table *table = activeTable();
    if (!table || dataRow < 0 || dataRow >= m_link->recordCount())
        return Bookmark();
    ActiveRecordScope scope(*m_link, dataRow);
    return table->bookmark();
}

bool TDBGrid::isRowSelected(int dataRow)
{
    if (m_selectedRows.count() == 0)
        return false;
    const Bookmark bookmark = rowBookmark(dataRow);
    return !bookmark.isNull() && m_selectedRows.contains(bookmark);
}

void TDBGrid::trackTable()
{
    for (const auto &connection : std::as_const(m_tableConnections))
        disconnect(connection);
    m_tableConnections.clear();
    m_trackedTable = activeTable();
    if (!m_trackedTable)
        return;
    Table *table = m_trackedTable;
    m_tableConnections << connect(table, &Table::afterDelete, this, [this] { m_selectedRows.refresh(); });
}

void TDBGrid::linkActive(bool active)
{
    if (!active) {
        discardEditor();
        m_editorField = nullptr;
        m_fieldMap.fill(nullptr);
        m_selectedRows.clear();
    }
    trackTable();
    relayout();
}

void TDBGrid::dataSetChanged()
{
    updateActive();
    invalidateDataRows();
    updateScrollBars();
    if (m_editor && m_editor->isVisible() && !m_editor->isModified())
        loadEditor();
    updateEditor();
}

void TDBGrid::dataSetScrolled(int distance)
{
    const int oldRow = row();
    const int rows = dataRowCount();
    if (distance != 0) {
        bool uniform = true;
        for (int r = titleOffset() + 1; r < rowCount() && uniform; ++r)
            uniform = rowHeight(r) == rowHeight(titleOffset());
        if (uniform && std::abs(distance) < rows) {
            // The rows that stay in view move as pixels; only the uncovered ones are painted.
            const int top = titleOffset() > 0 ? verticalAxis().extent(0) : 0;
            const int pitch = verticalAxis().extent(titleOffset());
            viewport()->scroll(0, -distance * pitch, QRect(0, top, clientWidth(), rows * pitch));
        } else {
            invalidateDataRows();
        }
        invalidateRow(oldRow - distance);
    }
    invalidateRow(oldRow);
    updateActive();
    invalidateRow(row());
    updateScrollBars();
    if (m_editor && m_editor->isVisible() && !m_editor->isModified())
        loadEditor();
    updateEditor();
}

void TDBGrid::editingChanged()
{
    invalidateRow(row());
    if (m_editor) {
        m_editor->setReadOnly(!m_link->editing());
        if (!m_link->editing() && m_editor->isVisible())
            loadEditor();
    }
}

void TDBGrid::recordChanged(Field *field)
{
    if (!field) {
        invalidateRow(row());
    } else {
        for (int i = 0; i < m_fieldMap.size(); ++i) {
            if (m_fieldMap.at(i) == field)
                invalidateCell(dataToRawColumn(i), row());
        }
    }
    if (m_editor && m_editor->isVisible() && !m_editor->isModified() && (!field || field == m_editorField))
        loadEditor();
}

void TDBGrid::updateData()
{
    writeEditor();
}

}  // namespace kelvara
