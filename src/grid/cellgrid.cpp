// The base grid: construction, properties, the axes' counts and sizes, geometry and hit testing,
// invalidation and moving columns and rows. Painting, input and scrolling have files of their own.

#include "grid/cellgrid.h"

#include "platform/errorreport.h"

#include <QApplication>
#include <QScrollBar>

#include <algorithm>

namespace kelvara {

namespace {

constexpr int kSizingTolerance = 2;

}  // namespace

CellGrid::CellGrid(QWidget *parent) : QAbstractScrollArea(parent)
{
    m_color = palette().color(QPalette::Active, QPalette::Base);
    m_fixedColor = palette().color(QPalette::Active, QPalette::Button);
    m_fontColor = palette().color(QPalette::Active, QPalette::Text);
    m_options = goFixedVertLine | goFixedHorzLine | goVertLine | goHorzLine | goRangeSelect;
    m_canvas.setFont(font());

    // Every pixel of the viewport is painted by the grid itself.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAutoFillBackground(false);
    viewport()->setMouseTracking(true);
    setFocusPolicy(Qt::WheelFocus);

    m_h.setCount(5, m_defaultColWidth);
    m_v.setCount(5, m_defaultRowHeight);
    m_h.setFixedCount(1);
    m_v.setFixedCount(1);
    m_h.setFirst(1);
    m_v.setFirst(1);
    m_current = {1, 1};
    m_anchor = m_current;
    applyLineWidths();

    for (QScrollBar *bar : {horizontalScrollBar(), verticalScrollBar()}) {
        const Qt::Orientation orientation = bar == horizontalScrollBar() ? Qt::Horizontal : Qt::Vertical;
        // The grid decides what a thumb drag does; the bar only reports it.
        bar->setTracking(false);
        bar->setSingleStep(1);
        connect(bar, &QScrollBar::actionTriggered, this,
                [this, orientation](int action) { scrollBarAction(orientation, action); });
        connect(bar, &QScrollBar::sliderMoved, this,
                [this, orientation](int position) { sliderMoved(orientation, position); });
        connect(bar, &QScrollBar::sliderReleased, this, [this, orientation] { sliderReleased(orientation); });
    }
    applyScrollBarPolicy();
    setBorderStyle(bsSingle);
    updateScrollBars();
}

CellGrid::~CellGrid() = default;

void CellGrid::setCellOptions(TGridOptions options)
{
    if (options == m_options)
        return;
    m_options = options;
    applyLineWidths();
    if (m_options & goRowSelect)
        m_anchor = m_current;
    updateScrollBars();
    invalidateGrid();
}

void CellGrid::applyLineWidths()
{
    m_h.setLineWidth(m_options & (goVertLine | goFixedVertLine) ? m_gridLineWidth : 0);
    m_v.setLineWidth(m_options & (goHorzLine | goFixedHorzLine) ? m_gridLineWidth : 0);
}

void CellGrid::setColCount(int count)
{
    setCount(Qt::Horizontal, count);
}

void CellGrid::setRowCount(int count)
{
    setCount(Qt::Vertical, count);
}

void CellGrid::setCount(Qt::Orientation orientation, int count)
{
    GridAxis &axis = this->axis(orientation);
    count = std::max(0, count);
    if (count == axis.count())
        return;
    // The axis keeps its fixed count and first index within the new count itself.
    axis.setCount(count, orientation == Qt::Horizontal ? m_defaultColWidth : m_defaultRowHeight);
    int &current = currentIndex(orientation);
    current = std::clamp(current, std::min(axis.fixedCount(), std::max(0, count - 1)), std::max(0, count - 1));
    m_anchor = m_current;
    updateScrollBars();
    invalidateGrid();
}

void CellGrid::setFixedCols(int count)
{
    setFixedCount(Qt::Horizontal, count);
}

void CellGrid::setFixedRows(int count)
{
    setFixedCount(Qt::Vertical, count);
}

void CellGrid::setFixedCount(Qt::Orientation orientation, int count)
{
    GridAxis &axis = this->axis(orientation);
    count = std::clamp(count, 0, axis.count());
    if (count == axis.fixedCount())
        return;
    // A view at its start stays at its start: fewer fixed ones must not leave the first hidden.
    const bool atStart = axis.first() <= axis.fixedCount();
    axis.setFixedCount(count);
    axis.setFirst(atStart ? count : std::max(axis.first(), count));
    if (currentIndex(orientation) < count && count < axis.count()) {
        // A fixed cell is never current; the grid built on this one hears of the move.
        const int shown = axis.nextShown(count - 1);
        const int target = shown >= 0 ? shown : count;
        if (orientation == Qt::Horizontal)
            setCurrentCell(target, m_current.row, false);
        else
            setCurrentCell(m_current.col, target, false);
    }
    m_anchor = m_current;
    updateScrollBars();
    invalidateGrid();
}

void CellGrid::setDefaultColWidth(int width)
{
    width = std::max(0, width);
    if (width == m_defaultColWidth)
        return;
    m_defaultColWidth = width;
    m_h.setAllSizes(width);
    updateScrollBars();
    invalidateGrid();
}

void CellGrid::setDefaultRowHeight(int height)
{
    height = std::max(0, height);
    bool uniform = true;
    for (int i = 0; i < rowCount() && uniform; ++i)
        uniform = m_v.size(i) == height;
    if (height == m_defaultRowHeight && uniform)
        return;
    m_defaultRowHeight = height;
    m_v.setAllSizes(height);
    updateScrollBars();
    invalidateGrid();
}

void CellGrid::setGridLineWidth(int width)
{
    width = std::max(0, width);
    if (width == m_gridLineWidth)
        return;
    m_gridLineWidth = width;
    applyLineWidths();
    updateScrollBars();
    invalidateGrid();
}

void CellGrid::setColWidth(int col, int width)
{
    if (col < 0 || col >= colCount() || m_h.size(col) == (width < 0 ? -1 : width))
        return;
    m_h.setSize(col, width);
    setFirst(Qt::Horizontal, m_h.first());
    updateScrollBars();
    invalidateGrid();
}

void CellGrid::setRowHeight(int row, int height)
{
    if (row < 0 || row >= rowCount() || m_v.size(row) == (height < 0 ? -1 : height))
        return;
    m_v.setSize(row, height);
    updateScrollBars();
    invalidateGrid();
}

void CellGrid::setScrollBars(TScrollStyle style)
{
    if (style == m_scrollBars)
        return;
    m_scrollBars = style;
    applyScrollBarPolicy();
    updateScrollBars();
}

void CellGrid::applyScrollBarPolicy()
{
    const bool horizontal = m_scrollBars == ssHorizontal || m_scrollBars == ssBoth;
    const bool vertical = m_scrollBars == ssVertical || m_scrollBars == ssBoth;
    setHorizontalScrollBarPolicy(horizontal ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(vertical ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
}

void CellGrid::setBorderStyle(TBorderStyle style)
{
    if (style == m_borderStyle && frameShape() != QFrame::NoFrame)
        return;
    m_borderStyle = style;
    if (style == bsSingle)
        setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    else
        setFrameStyle(QFrame::NoFrame);
}

void CellGrid::setColor(const QColor &color)
{
    storeAndRepaint(m_color, color);
}

void CellGrid::setFixedColor(const QColor &color)
{
    storeAndRepaint(m_fixedColor, color);
}

void CellGrid::setFontColor(const QColor &color)
{
    storeAndRepaint(m_fontColor, color);
}

void CellGrid::setCtl3D(bool on)
{
    storeAndRepaint(m_ctl3D, on);
}

int CellGrid::clientWidth() const
{
    return viewport()->width();
}

int CellGrid::clientHeight() const
{
    return viewport()->height();
}

int CellGrid::clientExtent(Qt::Orientation orientation) const
{
    return orientation == Qt::Horizontal ? clientWidth() : clientHeight();
}

QScrollBar *CellGrid::scrollBar(Qt::Orientation orientation) const
{
    return orientation == Qt::Horizontal ? horizontalScrollBar() : verticalScrollBar();
}

QRect CellGrid::cellRect(int col, int row) const
{
    if (col < 0 || row < 0 || col >= colCount() || row >= rowCount())
        return QRect();
    if (m_h.size(col) < 0 || m_v.size(row) < 0)
        return QRect();
    const int x = m_h.position(col);
    const int y = m_v.position(row);
    if (x < 0 || y < 0 || x >= clientWidth() || y >= clientHeight())
        return QRect();
    return QRect(x, y, m_h.size(col), m_v.size(row));
}

GridCoord CellGrid::cellAt(const QPoint &pos) const
{
    if (pos.x() < 0 || pos.y() < 0 || pos.x() >= clientWidth() || pos.y() >= clientHeight())
        return GridCoord();
    const int col = m_h.indexAt(pos.x());
    const int row = m_v.indexAt(pos.y());
    if (col < 0 || row < 0)
        return GridCoord();
    return GridCoord{col, row};
}

int CellGrid::visibleColCount() const
{
    return visibleCount(Qt::Horizontal);
}

int CellGrid::visibleRowCount() const
{
    return visibleCount(Qt::Vertical);
}

int CellGrid::visibleCount(Qt::Orientation orientation) const
{
    const GridAxis &axis = this->axis(orientation);
    const int last = axis.lastFullyVisible(clientExtent(orientation));
    return last < axis.first() ? 0 : last - axis.first() + 1;
}

CellGrid::SizingHit CellGrid::sizingAt(const QPoint &pos) const
{
    auto nearestBorder = [](const GridAxis &axis, int offset, int clientExtent) {
        int index = axis.indexAt(offset);
        if (index < 0)
            index = axis.lastVisible(clientExtent);
        int best = -1;
        int bestDistance = kSizingTolerance + 1;
        for (int candidate : {index, index >= 0 ? axis.previousShown(index) : -1}) {
            if (candidate < 0 || axis.size(candidate) < 0)
                continue;
            const int start = axis.position(candidate);
            if (start < 0)
                continue;
            const int edge = start + axis.size(candidate);
            int distance = std::abs(offset - edge);
            if (offset >= edge && offset < edge + axis.lineWidth())
                distance = 0;
            if (distance < bestDistance) {
                best = candidate;
                bestDistance = distance;
            }
        }
        return best;
    };
    if ((m_options & goColSizing) && pos.y() >= 0 && pos.y() < m_v.fixedExtent()) {
        const int col = nearestBorder(m_h, pos.x(), clientWidth());
        if (col >= 0)
            return SizingHit{GridState::ColSizing, col};
    }
    if ((m_options & goRowSizing) && pos.x() >= 0 && pos.x() < m_h.fixedExtent()) {
        const int row = nearestBorder(m_v, pos.y(), clientHeight());
        if (row >= 0)
            return SizingHit{GridState::RowSizing, row};
    }
    return SizingHit();
}

void CellGrid::invalidateCell(int col, int row)
{
    if (col < 0 || row < 0 || col >= colCount() || row >= rowCount())
        return;
    const int x = m_h.position(col);
    const int y = m_v.position(row);
    if (x < 0 || y < 0)
        return;
    viewport()->update(QRect(x, y, m_h.extent(col), m_v.extent(row)));
}

void CellGrid::invalidateCol(int col)
{
    if (col < 0 || col >= colCount())
        return;
    const int x = m_h.position(col);
    if (x < 0 || x >= clientWidth())
        return;
    viewport()->update(QRect(x, 0, m_h.extent(col), clientHeight()));
}

void CellGrid::invalidateRow(int row)
{
    if (row < 0 || row >= rowCount())
        return;
    const int y = m_v.position(row);
    if (y < 0 || y >= clientHeight())
        return;
    viewport()->update(QRect(0, y, clientWidth(), m_v.extent(row)));
}

void CellGrid::invalidateGrid()
{
    viewport()->update();
}

bool CellGrid::hasFocusWithin() const
{
    const QWidget *focus = QApplication::focusWidget();
    return focus && (focus == this || isAncestorOf(focus));
}

void CellGrid::moveColumn(int from, int to)
{
    if (moveEntry(Qt::Horizontal, from, to))
        columnMoved(from, to);
}

void CellGrid::moveRow(int from, int to)
{
    if (moveEntry(Qt::Vertical, from, to))
        rowMoved(from, to);
}

bool CellGrid::moveEntry(Qt::Orientation orientation, int from, int to)
{
    GridAxis &axis = this->axis(orientation);
    if (from == to || from < 0 || to < 0 || from >= axis.count() || to >= axis.count())
        return false;
    axis.move(from, to);
    int &current = currentIndex(orientation);
    if (current == from)
        current = to;
    else if (from < current && current <= to)
        --current;
    else if (to <= current && current < from)
        ++current;
    m_anchor = m_current;
    updateScrollBars();
    invalidateGrid();
    return true;
}

void CellGrid::columnMoved(int from, int to)
{
    Q_UNUSED(from);
    Q_UNUSED(to);
}

void CellGrid::rowMoved(int from, int to)
{
    Q_UNUSED(from);
    Q_UNUSED(to);
}

void CellGrid::fontChanged()
{
    invalidateGrid();
}

void CellGrid::changeEvent(QEvent *event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        m_canvas.setFont(font());
        guarded(this, [&] { fontChanged(); });
    } else if (event->type() == QEvent::EnabledChange) {
        invalidateGrid();
    }
}

}  // namespace kelvara
