#include "tdbgrid.h"

#include "characterlimit.h"
#include "dialogs.h"
#include "errorreport.h"
#include "field.h"
#include "table.h"
#include "tinplaceedit.h"

#include <QScopedValueRollback>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionFocusRect>

#include <algorithm>

namespace kelvara {

namespace {

Qt::Alignment horizontalAlignment(Alignment alignment)
{
    switch (alignment) {
    case taRightJustify: return Qt::AlignRight;
    case taCenter: return Qt::AlignHCenter;
    case taLeftJustify: break;
    }
    return Qt::AlignLeft;
}

// The height of a line of text in a font, as the row heights are measured.
int lineHeight(const QFont &font)
{
    return GridCanvas(font).textHeight(QStringLiteral("Wg"));
}

} // namespace

TDBGrid::TDBGridOptions TDBGrid::defaultOptions()
{
    return dgEditing | dgTitles | dgIndicator | dgColumnResize | dgColLines | dgRowLines | dgTabs
        | dgConfirmDelete | dgCancelOnExit;
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
    : CellGrid(parent),
      m_link(std::make_unique<TGridDataLink>(this)),
      m_columns(std::make_unique<TDBGridColumns>(this)),
      m_selectedRows(this),
      m_options(defaultOptions())
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
    delete m_editor;
    m_editor = nullptr;
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
        connect(source, &DataSource::stateChanged, this, [this] { guarded(this, [this] { dataSourceStateChanged(); }); });
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
    if (on == m_defaultDrawing)
        return;
    m_defaultDrawing = on;
    invalidateGrid();
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

void TDBGrid::invalidateDataRows()
{
    const int top = titleOffset() > 0 ? verticalAxis().extent(0) : 0;
    viewport()->update(QRect(0, top, clientWidth(), clientHeight() - top));
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
    case TColumn::Change::Layout:
        relayout();
        break;
    case TColumn::Change::Width:
        if (!m_syncingWidths)
            applyColumnWidth(column);
        break;
    case TColumn::Change::Paint:
        invalidateCol(dataToRawColumn(column->index()));
        if (column == selectedColumn() && m_editor && m_editor->isVisible())
            loadEditor();
        break;
    case TColumn::Change::None:
        break;
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

void TDBGrid::topLeftChanged()
{
    updateEditor();
}

void TDBGrid::drawCell(QPainter &painter, int col, int row, const QRect &rect, TGridDrawState state)
{
    const int indicator = indicatorOffset();
    const int titles = titleOffset();
    if (row < titles) {
        if (col < indicator)
            painter.fillRect(rect, fixedColor());
        else
            drawTitleCell(painter, col - indicator, rect, state);
        if (ctl3D())
            drawFixedBevel(painter, rect);
        return;
    }
    const int dataRow = row - titles;
    if (col < indicator) {
        drawIndicatorCell(painter, dataRow, rect);
        if (ctl3D())
            drawFixedBevel(painter, rect);
        return;
    }
    const int dataCol = col - indicator;
    TColumn *column = dataCol < m_columns->count() ? m_columns->items(dataCol) : nullptr;
    const bool fixed = state & gdFixed;
    if (!column || !m_link->active() || dataRow >= m_link->recordCount()) {
        painter.fillRect(rect, fixed ? fixedColor() : color());
        if (fixed && ctl3D())
            drawFixedBevel(painter, rect);
        return;
    }
    ActiveRecordScope scope(*m_link, dataRow);
    QColor background = fixed ? fixedColor() : column->color();
    QColor text = column->fontColor();
    if (highlightCell(col, row, state)) {
        background = palette().color(QPalette::Active, QPalette::Highlight);
        text = palette().color(QPalette::Active, QPalette::HighlightedText);
    }
    if (!isEnabled())
        text = palette().color(QPalette::Disabled, QPalette::Text);
    painter.setFont(column->font());
    painter.setBrush(background);
    painter.setPen(text);
    drawColumnCell(painter, rect, dataCol, column, state);
    if (fixed && ctl3D())
        drawFixedBevel(painter, rect);
}

void TDBGrid::drawColumnCell(QPainter &painter, const QRect &rect, int dataCol, TColumn *column,
                             TGridDrawState state)
{
    if (m_defaultDrawing)
        defaultDrawColumnCell(painter, rect, dataCol, column, state);
    Q_EMIT OnDrawColumnCell(&painter, rect, dataCol, column, state);
}

void TDBGrid::defaultDrawColumnCell(QPainter &painter, const QRect &rect, int dataCol, TColumn *column,
                                    TGridDrawState state)
{
    painter.fillRect(rect, painter.brush());
    const Field *field = fields(dataCol);
    if (field) {
        const QRect textRect(rect.left() + 2, rect.top() + 2, rect.width() - 4, rect.height() - 2);
        painter.drawText(textRect, horizontalAlignment(column->alignment()) | Qt::AlignTop | Qt::TextSingleLine,
                         field->displayText());
    }
    if ((state & gdFocused) && !(m_options & dgRowSelect)) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = rect;
        option.backgroundColor = painter.brush().color();
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
}

void TDBGrid::drawTitleCell(QPainter &painter, int dataCol, const QRect &rect, TGridDrawState state)
{
    Q_UNUSED(state);
    TColumn *column = dataCol < m_columns->count() ? m_columns->items(dataCol) : nullptr;
    if (!column) {
        painter.fillRect(rect, fixedColor());
        return;
    }
    const TColumnTitle *title = column->title();
    painter.fillRect(rect, title->color());
    painter.setFont(title->font());
    painter.setPen(title->fontColor());
    painter.drawText(QRect(rect.left() + 2, rect.top() + 2, rect.width() - 4, rect.height() - 2),
                     horizontalAlignment(title->alignment()) | Qt::AlignTop | Qt::TextSingleLine,
                     title->caption());
}

void TDBGrid::drawIndicatorCell(QPainter &painter, int dataRow, const QRect &rect)
{
    painter.fillRect(rect, fixedColor());
    const Table *table = activeTable();
    if (!table || dataRow >= m_link->recordCount())
        return;
    const bool current = dataRow == row() - titleOffset();
    const bool selected = (m_options & dgMultiSelect) && isRowSelected(dataRow);
    if (!current && !selected)
        return;
    const QColor ink = palette().color(QPalette::Active, QPalette::WindowText);
    const int cx = rect.left() + rect.width() / 2;
    const int cy = rect.top() + rect.height() / 2;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    if (!current) {
        painter.fillRect(QRect(cx - 1, cy - 1, 3, 3), ink);
    } else if (table->state() == dsEdit) {
        // An I-beam: the record is being edited.
        painter.fillRect(QRect(cx, cy - 4, 1, 9), ink);
        painter.fillRect(QRect(cx - 2, cy - 4, 5, 1), ink);
        painter.fillRect(QRect(cx - 2, cy + 4, 5, 1), ink);
    } else if (table->state() == dsInsert) {
        // An asterisk: a new record.
        painter.setPen(QPen(ink, 1));
        painter.drawLine(cx, cy - 3, cx, cy + 3);
        painter.drawLine(cx - 3, cy, cx + 3, cy);
        painter.drawLine(cx - 2, cy - 2, cx + 2, cy + 2);
        painter.drawLine(cx - 2, cy + 2, cx + 2, cy - 2);
    } else {
        // An arrow pointing at the current record.
        const QPoint points[3] = {QPoint(cx - 2, cy - 4), QPoint(cx - 2, cy + 4), QPoint(cx + 2, cy)};
        painter.setPen(ink);
        painter.setBrush(ink);
        painter.drawPolygon(points, 3);
    }
    painter.restore();
}

bool TDBGrid::highlightCell(int col, int row, TGridDrawState state)
{
    Q_UNUSED(col);
    if ((m_options & dgMultiSelect) && m_selectedRows.count() > 0 && isRowSelected(row - titleOffset()))
        return true;
    if (!(state & gdSelected))
        return false;
    return hasFocusWithin() || (m_options & dgAlwaysShowSelection);
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
    if (m_editor && m_editor->isVisible() && !m_editor->isModified()
        && (!field || field == m_editorField))
        loadEditor();
}

void TDBGrid::updateData()
{
    writeEditor();
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

void TDBGrid::verticalScroll(ScrollCode code, int position)
{
    Table *table = activeTable();
    if (!table)
        return;
    const int page = std::max(1, dataRowCount());
    switch (code) {
    case ScrollCode::LineUp:
        moveRecordsBy(-1);
        break;
    case ScrollCode::LineDown:
        moveRecordsBy(1);
        break;
    case ScrollCode::PageUp:
        moveRecordsBy(-page);
        break;
    case ScrollCode::PageDown:
        moveRecordsBy(page);
        break;
    case ScrollCode::ThumbTrack:
        if (cellOptions() & goThumbTracking)
            table->setRecNo(position + 1);
        break;
    case ScrollCode::ThumbPosition:
        table->setRecNo(position + 1);
        break;
    case ScrollCode::Top:
        table->first();
        break;
    case ScrollCode::Bottom:
        table->last();
        break;
    case ScrollCode::EndScroll:
        break;
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

void TDBGrid::keyPressEvent(QKeyEvent *event)
{
    if (!takesKey(*event)) {
        event->ignore();
        return;
    }
    guarded(this, [&] {
        event->accept();
        if (!keyDown(event))
            keyPress(event);
    });
}

void TDBGrid::keyReleaseEvent(QKeyEvent *event)
{
    guarded(this, [&] { keyUp(event); });
}

void TDBGrid::keyUp(QKeyEvent *event)
{
    CellGrid::keyReleaseEvent(event);
}

bool TDBGrid::keyDown(QKeyEvent *event)
{
    Table *table = activeTable();
    if (!table) {
        event->ignore();
        return true;
    }
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    const bool ctrl = modifiers & Qt::ControlModifier;
    const bool shift = modifiers & Qt::ShiftModifier;
    const bool alt = modifiers & Qt::AltModifier;
    const int page = std::max(1, dataRowCount());
    switch (event->key()) {
    case Qt::Key_Up:
        verticalMoveKey(-1, shift);
        break;
    case Qt::Key_Down:
        verticalMoveKey(1, shift);
        break;
    case Qt::Key_PageUp:
        verticalMoveKey(-page, shift);
        break;
    case Qt::Key_PageDown:
        verticalMoveKey(page, shift);
        break;
    case Qt::Key_Left:
        if (m_options & dgRowSelect)
            horizontalScroll(ScrollCode::LineUp, 0);
        else if (const int previous = horizontalAxis().previousShown(col()); previous >= fixedCols())
            selectDataColumn(rawToDataColumn(previous));
        break;
    case Qt::Key_Right:
        if (m_options & dgRowSelect)
            horizontalScroll(ScrollCode::LineDown, 0);
        else if (const int next = horizontalAxis().nextShown(col()); next >= 0)
            selectDataColumn(rawToDataColumn(next));
        break;
    case Qt::Key_Home:
        if (ctrl) {
            if ((m_options & dgMultiSelect) && !shift)
                m_selectedRows.clear();
            table->first();
        } else {
            selectDataColumn(firstDataColumn());
        }
        break;
    case Qt::Key_End:
        if (ctrl) {
            if ((m_options & dgMultiSelect) && !shift)
                m_selectedRows.clear();
            table->last();
        } else {
            selectDataColumn(lastDataColumn());
        }
        break;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        if (ctrl || alt) {
            event->ignore();
            return true;
        }
        tabKey(event->key() == Qt::Key_Backtab || shift);
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        enterKey();
        break;
    case Qt::Key_Escape:
        if (!escapeKey()) {
            event->ignore();
            return true;
        }
        break;
    case Qt::Key_F2:
        if (!(cellOptions() & goEditing)) {
            event->ignore();
            return true;
        }
        setEditorMode(true);
        if (m_editor && m_editor->isVisible()) {
            m_editor->deselect();
            m_editor->end(false);
        }
        break;
    case Qt::Key_Insert:
        if (modifiers != Qt::NoModifier || !isEditable() || !(m_options & dgEditing)) {
            event->ignore();
            return true;
        }
        table->insert();
        break;
    case Qt::Key_Delete:
        if (!ctrl) {
            event->ignore();
            return true;
        }
        deleteKey();
        break;
    default:
        return false;
    }
    event->accept();
    return true;
}

void TDBGrid::verticalMoveKey(int distance, bool shift)
{
    const bool multi = m_options & dgMultiSelect;
    if (multi && shift)
        m_selectedRows.setCurrentRowSelected(true);
    else if (multi)
        m_selectedRows.clear();
    // The editor closes with a move, unless the move fails on text the field refuses.
    const bool wasEditing = m_editorMode;
    if (!(m_options & dgAlwaysShowEditor))
        m_editorMode = false;
    try {
        if (multi && shift) {
            // Every record passed joins the selection.
            const int step = distance < 0 ? -1 : 1;
            for (int i = 0; i < std::abs(distance) && moveRecordsBy(step) != 0; ++i)
                m_selectedRows.setCurrentRowSelected(true);
        } else if (distance == 1) {
            moveDownOrAppend();
        } else {
            moveRecordsBy(distance);
        }
    } catch (...) {
        m_editorMode = wasEditing;
        throw;
    }
}

void TDBGrid::tabKey(bool back)
{
    const int raw = col();
    const int target = back ? horizontalAxis().previousShown(raw) : horizontalAxis().nextShown(raw);
    if (target >= fixedCols()) {
        selectDataColumn(rawToDataColumn(target));
        return;
    }
    // Past the last column the next record begins; before the first, the previous one ends.
    writeEditor();
    if (back) {
        if (moveRecordsBy(-1) != 0)
            selectDataColumn(lastDataColumn());
    } else if (moveDownOrAppend()) {
        selectDataColumn(firstDataColumn());
    }
}

void TDBGrid::enterKey()
{
    if (m_editor && m_editor->isVisible()) {
        writeEditor();
        if (!(cellOptions() & goAlwaysShowEditor)) {
            m_editorMode = false;
            hideEditor();
        }
        return;
    }
    setEditorMode(true);
}

bool TDBGrid::escapeKey()
{
    Table *table = activeTable();
    const bool editorShown = m_editor && m_editor->isVisible();
    if (table && (table->state() == dsEdit || table->state() == dsInsert)) {
        if (m_editor)
            m_editor->setModified(false);
        table->cancel();
    } else if (!editorShown) {
        return false;
    }
    if (!(cellOptions() & goAlwaysShowEditor)) {
        m_editorMode = false;
        hideEditor();
    } else if (m_editor && m_editor->isVisible()) {
        loadEditor();
    }
    return true;
}

void TDBGrid::deleteKey()
{
    Table *table = activeTable();
    if (!table || !isEditable() || table->isEmpty())
        return;
    if ((m_options & dgConfirmDelete) && !dialogs().confirm(this, tr("Delete record?")))
        return;
    discardEditor();
    table->deleteRecord();
}

void TDBGrid::keyPress(QKeyEvent *event)
{
    const QString text = event->text();
    const bool printable = !text.isEmpty() && text.at(0).isPrint();
    if (!printable || (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))
        || !(cellOptions() & goEditing)) {
        event->ignore();
        return;
    }
    const bool shown = m_editor && m_editor->isVisible();
    if (!shown)
        setEditorMode(true);
    if (!m_editor || !m_editor->isVisible() || !canEditModify())
        return;
    // The first typed character replaces the cell's text; the editor takes it as its own key.
    if (!shown)
        m_editor->selectAll();
    QKeyEvent copy(event->type(), event->key(), event->modifiers(), text);
    QCoreApplication::sendEvent(m_editor, &copy);
    event->accept();
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

void TDBGrid::focusOutEvent(QFocusEvent *event)
{
    CellGrid::focusOutEvent(event);
    guarded(this, [&] { cancelOnExit(event->reason()); });
}

void TDBGrid::cancelOnExit(Qt::FocusReason reason)
{
    if (!(m_options & dgCancelOnExit) || reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason)
        return;
    if (hasFocusWithin())
        return;
    Table *table = activeTable();
    if (!table || table->state() != dsInsert || (m_editor && m_editor->isModified()))
        return;
    table->updateRecord();
    if (!table->modified())
        table->cancel();
}

void TDBGrid::setEditorMode(bool on)
{
    if (on && (!(cellOptions() & goEditing) || (m_options & dgRowSelect)))
        on = false;
    m_editorMode = on;
    if (on) {
        showEditor();
        if (m_editor && m_editor->isVisible())
            m_editor->selectAll();
    } else if (!(cellOptions() & goAlwaysShowEditor)) {
        hideEditor();
    }
}

bool TDBGrid::canEditShow() const
{
    const TGridOptions cells = cellOptions();
    if (!(cells & goEditing) || (cells & goRowSelect))
        return false;
    if (!m_editorMode && !(cells & goAlwaysShowEditor))
        return false;
    if (m_updateLock > 0 || !m_link->active())
        return false;
    if (!(cells & goAlwaysShowEditor) && !hasFocusWithin())
        return false;
    const TColumn *column = selectedColumn();
    const Field *field = selectedField();
    if (!column || !field || !column->visible() || field->isBlobField())
        return false;
    return isEditable() && !column->readOnly() && field->canModify();
}

bool TDBGrid::canEditModify()
{
    const TColumn *column = selectedColumn();
    const Field *field = selectedField();
    if (!isEditable() || !column || !field || column->readOnly() || !field->canModify())
        return false;
    return m_link->edit();
}

TInplaceEdit *TDBGrid::createEditor()
{
    return new TInplaceEdit(this);
}

QRect TDBGrid::editorRect() const
{
    QRect rect = cellRect(col(), row());
    const int left = horizontalAxis().fixedExtent();
    if (rect.left() < left)
        return QRect();
    return rect.intersected(QRect(0, 0, clientWidth(), clientHeight()));
}

void TDBGrid::showEditor()
{
    if (!canEditShow()) {
        hideEditor();
        return;
    }
    const QRect rect = editorRect();
    if (rect.isEmpty()) {
        hideEditor();
        return;
    }
    if (!m_editor)
        m_editor = createEditor();
    // The editor follows its field, not a column index that moving or hiding columns shifts.
    if (!m_editor->isVisible() || m_editorField != selectedField()) {
        writeEditor();
        loadEditor();
    }
    m_editor->setGeometry(rect);
    m_editor->show();
    if (hasFocusWithin() && !m_editor->hasFocus())
        m_editor->setFocus(Qt::OtherFocusReason);
}

void TDBGrid::hideEditor()
{
    if (!m_editor || !m_editor->isVisible())
        return;
    writeEditor();
    const bool hadFocus = m_editor->hasFocus();
    m_editor->hide();
    if (hadFocus)
        setFocus(Qt::OtherFocusReason);
}

void TDBGrid::discardEditor()
{
    if (!m_editor)
        return;
    m_editor->setModified(false);
    const bool hadFocus = m_editor->hasFocus();
    m_editor->hide();
    if (hadFocus)
        setFocus(Qt::OtherFocusReason);
}

void TDBGrid::updateEditor()
{
    if (m_destroying)
        return;
    if (canEditShow())
        showEditor();
    else
        hideEditor();
}

void TDBGrid::loadEditor()
{
    const TColumn *column = selectedColumn();
    const Field *field = selectedField();
    if (!m_editor || !column || !field)
        return;
    m_editorField = selectedField();
    QPalette colours = m_editor->palette();
    colours.setColor(QPalette::Base, m_editColor);
    colours.setColor(QPalette::Text, column->fontColor());
    m_editor->setPalette(colours);
    m_editor->setFont(column->font());
    m_editor->setAlignment(horizontalAlignment(column->alignment()) | Qt::AlignVCenter);
    setCharacterLimit(m_editor, field->dataType() == ftString ? field->size() : 0);
    m_editor->setText(field->text());
    m_editor->setModified(false);
    m_editor->setReadOnly(!m_link->editing());
}

void TDBGrid::writeEditor()
{
    if (!m_editor || !m_editor->isModified())
        return;
    Field *field = m_editorField;
    if (!field || !m_fieldMap.contains(field))
        return;
    const QString text = m_editor->text();
    m_editor->setModified(false);
    try {
        field->setText(text);
    } catch (...) {
        m_editor->setModified(true);
        throw;
    }
}

} // namespace kelvara
