#include "cellgrid.h"

#include "error.h"
#include "errorreport.h"

#include <QScopedValueRollback>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>

namespace kelvara {

namespace {

constexpr int kSizingTolerance = 2;
constexpr int kWheelNotch = 120;

} // namespace

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
    axis.setFixedCount(count);
    axis.setFirst(std::max(axis.first(), count));
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
    if (color == m_color)
        return;
    m_color = color;
    invalidateGrid();
}

void CellGrid::setFixedColor(const QColor &color)
{
    if (color == m_fixedColor)
        return;
    m_fixedColor = color;
    invalidateGrid();
}

void CellGrid::setFontColor(const QColor &color)
{
    if (color == m_fontColor)
        return;
    m_fontColor = color;
    invalidateGrid();
}

void CellGrid::setCtl3D(bool on)
{
    if (on == m_ctl3D)
        return;
    m_ctl3D = on;
    invalidateGrid();
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

bool CellGrid::selectCell(int col, int row)
{
    Q_UNUSED(col);
    Q_UNUSED(row);
    return true;
}

void CellGrid::currentCellMoved(int oldCol, int oldRow)
{
    Q_UNUSED(oldCol);
    Q_UNUSED(oldRow);
}

void CellGrid::setCurrentCell(int col, int row, bool scrollIntoView)
{
    const GridCoord old = m_current;
    const GridCoord target{col, row};
    if (target == old) {
        if (scrollIntoView)
            this->scrollIntoView(col, row);
        return;
    }
    const bool rows = m_options & goRowSelect;
    const bool range = (m_options & goRangeSelect) && m_anchor != old;
    if (rows)
        invalidateRow(old.row);
    else if (range)
        invalidateGrid();
    else
        invalidateCell(old.col, old.row);
    m_current = target;
    if (rows)
        invalidateRow(row);
    else
        invalidateCell(col, row);
    if (scrollIntoView)
        this->scrollIntoView(col, row);
    currentCellMoved(old.col, old.row);
}

bool CellGrid::moveCurrent(int col, int row)
{
    if (colCount() == 0 || rowCount() == 0)
        return false;
    col = std::clamp(col, std::min(fixedCols(), colCount() - 1), colCount() - 1);
    row = std::clamp(row, std::min(fixedRows(), rowCount() - 1), rowCount() - 1);
    if (col == m_current.col && row == m_current.row)
        return true;
    if (!selectCell(col, row))
        return false;
    setCurrentCell(col, row, true);
    return true;
}

void CellGrid::setCol(int col)
{
    moveCurrent(col, m_current.row);
    m_anchor = m_current;
}

void CellGrid::setRow(int row)
{
    moveCurrent(m_current.col, row);
    m_anchor = m_current;
}

int CellGrid::firstToShow(const GridAxis &axis, int index, int clientExtent) const
{
    // The smallest first index that still shows index whole.
    const int available = clientExtent - axis.fixedExtent();
    const int end = axis.start(index) + std::max(0, axis.size(index));
    int low = axis.fixedCount();
    int high = index;
    while (low < high) {
        const int mid = (low + high) / 2;
        if (end - axis.start(mid) <= available)
            high = mid;
        else
            low = mid + 1;
    }
    return low;
}

void CellGrid::scrollIntoView(int col, int row)
{
    showInView(Qt::Horizontal, col);
    showInView(Qt::Vertical, row);
}

void CellGrid::showInView(Qt::Orientation orientation, int index)
{
    const GridAxis &axis = this->axis(orientation);
    if (index < axis.fixedCount() || index >= axis.count())
        return;
    if (index < axis.first())
        setFirst(orientation, index);
    else if (const int first = firstToShow(axis, index, clientExtent(orientation)); first > axis.first())
        setFirst(orientation, first);
}

void CellGrid::setFirst(Qt::Orientation orientation, int first)
{
    GridAxis &axis = this->axis(orientation);
    const int clientExtent = this->clientExtent(orientation);
    const int count = axis.count();
    const int fixed = axis.fixedCount();
    if (count <= fixed) {
        axis.setFirst(fixed);
        return;
    }
    first = std::clamp(first, fixed, std::max(fixed, std::min(axis.maxFirst(clientExtent), count - 1)));
    // A hidden entry never leads the view.
    while (first < count - 1 && axis.size(first) < 0)
        ++first;
    const int old = axis.first();
    if (first == old)
        return;
    const int delta = axis.start(old) - axis.start(first);
    axis.setFirst(first);
    const int fixedExtent = axis.fixedExtent();
    if (std::abs(delta) < clientExtent - fixedExtent) {
        // Move the pixels that stay in view; only the uncovered strip is painted again.
        if (orientation == Qt::Horizontal)
            viewport()->scroll(delta, 0, QRect(fixedExtent, 0, clientWidth() - fixedExtent, clientHeight()));
        else
            viewport()->scroll(0, delta, QRect(0, fixedExtent, clientWidth(), clientHeight() - fixedExtent));
    } else {
        invalidateGrid();
    }
    updateScrollBars();
    topLeftChanged();
}

void CellGrid::setLeftCol(int col)
{
    setFirst(Qt::Horizontal, col);
}

void CellGrid::setTopRow(int row)
{
    setFirst(Qt::Vertical, row);
}

void CellGrid::updateScrollBars()
{
    if (m_updatingScrollBars)
        return;
    const QScopedValueRollback<bool> guard(m_updatingScrollBars, true);
    updateHorizontalScrollBar();
    updateVerticalScrollBar();
}

void CellGrid::updateHorizontalScrollBar()
{
    updateAxisScrollBar(Qt::Horizontal);
}

void CellGrid::updateVerticalScrollBar()
{
    updateAxisScrollBar(Qt::Vertical);
}

void CellGrid::updateAxisScrollBar(Qt::Orientation orientation)
{
    const GridAxis &axis = this->axis(orientation);
    QScrollBar *bar = scrollBar(orientation);
    const int maximum = std::max(0, axis.maxFirst(clientExtent(orientation)) - axis.fixedCount());
    bar->setRange(0, maximum);
    bar->setPageStep(std::max(1, visibleCount(orientation)));
    if (!bar->isSliderDown())
        bar->setValue(axis.first() - axis.fixedCount());
}

void CellGrid::horizontalScroll(ScrollCode code, int position)
{
    defaultScrollStep(Qt::Horizontal, code, position);
}

void CellGrid::verticalScroll(ScrollCode code, int position)
{
    defaultScrollStep(Qt::Vertical, code, position);
}

void CellGrid::defaultScrollStep(Qt::Orientation orientation, ScrollCode code, int position)
{
    const GridAxis &axis = this->axis(orientation);
    const int fixed = axis.fixedCount();
    const int first = axis.first();
    switch (code) {
    case ScrollCode::LineUp:
        if (const int previous = axis.previousShown(first); previous >= fixed)
            setFirst(orientation, previous);
        break;
    case ScrollCode::LineDown:
        if (const int next = axis.nextShown(first); next >= 0)
            setFirst(orientation, next);
        break;
    case ScrollCode::PageUp:
        setFirst(orientation, first - std::max(1, visibleCount(orientation)));
        break;
    case ScrollCode::PageDown:
        setFirst(orientation, first + std::max(1, visibleCount(orientation)));
        break;
    case ScrollCode::ThumbTrack:
        if (m_options & goThumbTracking)
            setFirst(orientation, fixed + position);
        break;
    case ScrollCode::ThumbPosition:
        setFirst(orientation, fixed + position);
        break;
    case ScrollCode::Top:
        setFirst(orientation, fixed);
        break;
    case ScrollCode::Bottom:
        setFirst(orientation, axis.count());
        break;
    case ScrollCode::EndScroll:
        break;
    }
}

void CellGrid::scrollStep(Qt::Orientation orientation, ScrollCode code, int position)
{
    if (orientation == Qt::Horizontal)
        horizontalScroll(code, position);
    else
        verticalScroll(code, position);
}

void CellGrid::scrollBarAction(Qt::Orientation orientation, int action)
{
    if (m_updatingScrollBars)
        return;
    QScrollBar *bar = scrollBar(orientation);
    ScrollCode code;
    switch (action) {
    case QAbstractSlider::SliderSingleStepAdd: code = ScrollCode::LineDown; break;
    case QAbstractSlider::SliderSingleStepSub: code = ScrollCode::LineUp; break;
    case QAbstractSlider::SliderPageStepAdd: code = ScrollCode::PageDown; break;
    case QAbstractSlider::SliderPageStepSub: code = ScrollCode::PageUp; break;
    case QAbstractSlider::SliderToMinimum: code = ScrollCode::Top; break;
    case QAbstractSlider::SliderToMaximum: code = ScrollCode::Bottom; break;
    case QAbstractSlider::SliderMove:
        // A drag reports through sliderMoved and sliderReleased; this is a jump without one.
        if (bar->isSliderDown())
            return;
        code = ScrollCode::ThumbPosition;
        break;
    default:
        return;
    }
    const int position = bar->sliderPosition();
    guarded(this, [&] { scrollStep(orientation, code, position); });
    updateScrollBars();
    // The bar applies its own idea of the new position after this; make it ours.
    bar->setSliderPosition(bar->value());
}

void CellGrid::sliderMoved(Qt::Orientation orientation, int position)
{
    if (m_updatingScrollBars)
        return;
    guarded(this, [&] { scrollStep(orientation, ScrollCode::ThumbTrack, position); });
}

void CellGrid::sliderReleased(Qt::Orientation orientation)
{
    if (m_updatingScrollBars)
        return;
    QScrollBar *bar = scrollBar(orientation);
    const int position = bar->sliderPosition();
    guarded(this, [&] { scrollStep(orientation, ScrollCode::ThumbPosition, position); });
    updateScrollBars();
    bar->setValue(bar->value());
}

void CellGrid::scrollContentsBy(int dx, int dy)
{
    // Scrolling is the grid's own business (see horizontalScroll and verticalScroll).
    Q_UNUSED(dx);
    Q_UNUSED(dy);
}

bool CellGrid::wheelStep(bool down, Qt::KeyboardModifiers modifiers, const QPoint &pos)
{
    Q_UNUSED(modifiers);
    Q_UNUSED(pos);
    const int before = topRow();
    verticalScroll(down ? ScrollCode::LineDown : ScrollCode::LineUp, 0);
    return topRow() != before;
}

bool CellGrid::acquireFocus()
{
    if (!m_acquireFocus || !isEnabled() || focusPolicy() == Qt::NoFocus)
        return true;
    if (!hasFocusWithin())
        setFocus(Qt::MouseFocusReason);
    return hasFocusWithin();
}

bool CellGrid::takesKey(const QKeyEvent &event) const
{
    switch (event.key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Left:
    case Qt::Key_Right:
        return true;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return (m_options & goTabs) && !(m_options & goRowSelect);
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return m_options & goEditing;
    default:
        return true;
    }
}

CellGrid::TGridDrawState CellGrid::drawStateOf(int col, int row) const
{
    TGridDrawState state;
    if (col < fixedCols() || row < fixedRows())
        return gdFixed;
    const bool current = col == m_current.col && row == m_current.row;
    if (m_options & goRowSelect) {
        if (row == m_current.row)
            state |= gdSelected;
    } else if (current) {
        state |= gdSelected;
    } else if (m_options & goRangeSelect) {
        const int left = std::min(m_anchor.col, m_current.col);
        const int right = std::max(m_anchor.col, m_current.col);
        const int top = std::min(m_anchor.row, m_current.row);
        const int bottom = std::max(m_anchor.row, m_current.row);
        if (col >= left && col <= right && row >= top && row <= bottom)
            state |= gdSelected;
    }
    if (current && hasFocusWithin())
        state |= gdFocused;
    return state;
}

void CellGrid::drawCell(QPainter &painter, int col, int row, const QRect &rect, TGridDrawState state)
{
    Q_UNUSED(col);
    Q_UNUSED(row);
    QColor background = state & gdFixed ? m_fixedColor : m_color;
    const bool focused = state & gdFocused;
    if (!(state & gdFixed) && (state & gdSelected) && (!focused || (m_options & goDrawFocusSelected)))
        background = palette().color(QPalette::Active, QPalette::Highlight);
    painter.fillRect(rect, background);
    if ((state & gdFixed) && m_ctl3D)
        drawFixedBevel(painter, rect);
    if (focused && !(m_options & goRowSelect)) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = rect;
        option.backgroundColor = background;
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
}

QList<int> CellGrid::indicesIn(const GridAxis &axis, int from, int to, int clientExtent) const
{
    QList<int> indices;
    for (int i = 0; i < axis.fixedCount(); ++i) {
        const int extent = axis.extent(i);
        const int start = axis.start(i);
        if (extent > 0 && start <= to && start + extent - 1 >= from && start < clientExtent)
            indices << i;
    }
    const int fixedExtent = axis.fixedExtent();
    if (to < fixedExtent)
        return indices;
    for (int i = axis.indexAt(std::max(from, fixedExtent)); i >= 0 && i < axis.count(); ++i) {
        const int position = axis.position(i);
        if (position < 0 || position > to || position >= clientExtent)
            break;
        if (axis.extent(i) > 0)
            indices << i;
    }
    return indices;
}

void CellGrid::drawLines(QPainter &painter, int col, int row, const QRect &rect)
{
    const bool fixed = col < fixedCols() || row < fixedRows();
    const int vertical = m_h.lineWidth();
    const int horizontal = m_v.lineWidth();
    if (vertical > 0) {
        const bool drawn = m_options & (fixed ? goFixedVertLine : goVertLine);
        const QColor color = drawn ? (fixed ? fixedLineColor() : lineColor()) : (fixed ? m_fixedColor : m_color);
        painter.fillRect(QRect(rect.left() + rect.width(), rect.top(), vertical, rect.height() + horizontal), color);
    }
    if (horizontal > 0) {
        const bool drawn = m_options & (fixed ? goFixedHorzLine : goHorzLine);
        const QColor color = drawn ? (fixed ? fixedLineColor() : lineColor()) : (fixed ? m_fixedColor : m_color);
        painter.fillRect(QRect(rect.left(), rect.top() + rect.height(), rect.width(), horizontal), color);
    }
}

void CellGrid::paintArea(QPainter &painter, const QRect &area)
{
    const QList<int> cols = indicesIn(m_h, area.left(), area.right(), clientWidth());
    const QList<int> rows = indicesIn(m_v, area.top(), area.bottom(), clientHeight());
    for (const int row : rows) {
        const int y = m_v.position(row);
        const int height = m_v.size(row);
        for (const int col : cols) {
            const QRect rect(m_h.position(col), y, m_h.size(col), height);
            // Lines first: a cell's painter may draw over them (bevels, recoloured or covered lines).
            drawLines(painter, col, row, rect);
            drawCell(painter, col, row, rect, drawStateOf(col, row));
        }
    }
    // What lies right of the last column and below the last row.
    const int right = m_h.fixedExtent() + m_h.total() - m_h.start(std::min(m_h.first(), m_h.count()));
    const int bottom = m_v.fixedExtent() + m_v.total() - m_v.start(std::min(m_v.first(), m_v.count()));
    if (right <= area.right())
        painter.fillRect(QRect(QPoint(std::max(right, area.left()), area.top()), area.bottomRight()), m_color);
    if (bottom <= area.bottom()) {
        const QRect below(QPoint(area.left(), std::max(bottom, area.top())),
                          QPoint(std::min(right - 1, area.right()), area.bottom()));
        if (below.isValid())
            painter.fillRect(below, m_color);
    }
}

void CellGrid::dragMoved(const QPoint &pos)
{
    Q_UNUSED(pos);
}

void CellGrid::dragEnded()
{
}

QRect CellGrid::feedbackRect() const
{
    switch (m_state) {
    case GridState::ColSizing:
        return QRect(m_sizingPos, 0, 1, clientHeight());
    case GridState::RowSizing:
        return QRect(0, m_sizingPos, clientWidth(), 1);
    case GridState::ColMoving:
        if (m_dragStarted && m_dragTarget >= 0) {
            const int x = m_h.position(m_dragTarget);
            const int edge = m_dragTarget > m_dragIndex ? x + m_h.extent(m_dragTarget) : x;
            return QRect(edge - 1, 0, 3, clientHeight());
        }
        return QRect();
    case GridState::RowMoving:
        if (m_dragStarted && m_dragTarget >= 0) {
            const int y = m_v.position(m_dragTarget);
            const int edge = m_dragTarget > m_dragIndex ? y + m_v.extent(m_dragTarget) : y;
            return QRect(0, edge - 1, clientWidth(), 3);
        }
        return QRect();
    default:
        return QRect();
    }
}

void CellGrid::drawDragFeedback(QPainter &painter)
{
    const QRect rect = feedbackRect();
    if (rect.isEmpty())
        return;
    const bool sizing = m_state == GridState::ColSizing || m_state == GridState::RowSizing;
    painter.fillRect(rect, sizing ? palette().color(QPalette::WindowText)
                                  : palette().color(QPalette::Active, QPalette::Highlight));
}

void CellGrid::drawFixedBevel(QPainter &painter, const QRect &rect) const
{
    if (rect.isEmpty())
        return;
    const QColor light = palette().color(QPalette::Active, QPalette::Light);
    painter.fillRect(QRect(rect.left(), rect.top(), rect.width(), 1), light);
    painter.fillRect(QRect(rect.left(), rect.top(), 1, rect.height()), light);
}

void CellGrid::paintGrid(QPainter &painter, const QRegion &region)
{
    for (const QRect &rect : region) {
        painter.save();
        painter.setClipRect(rect);
        try {
            paintArea(painter, rect);
        } catch (...) {
            painter.restore();
            throw;
        }
        painter.restore();
    }
    drawDragFeedback(painter);
}

void CellGrid::paintRegion(QPainter &painter, const QRegion &region)
{
    paintGrid(painter, region);
}

void CellGrid::paintEvent(QPaintEvent *event)
{
    QPainter painter(viewport());
    try {
        paintRegion(painter, event->region());
        m_paintError.clear();
    } catch (const std::exception &error) {
        // No box may open inside a paint, and the next paint would fail the same way: the area is
        // left blank and the failure reported once, after the paint.
        painter.fillRect(event->rect(), m_color);
        const QString text = errorText(error);
        if (text != m_paintError) {
            m_paintError = text;
            QTimer::singleShot(0, this, [this, text] { reportError(this, Error(text)); });
        }
    }
}

bool CellGrid::event(QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if ((key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab)
            && !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) && takesKey(*key)) {
            keyPressEvent(key);
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

void CellGrid::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    guarded(this, [this] {
        setFirst(Qt::Horizontal, m_h.first());
        setFirst(Qt::Vertical, m_v.first());
        updateScrollBars();
    });
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

void CellGrid::keyPressEvent(QKeyEvent *event)
{
    if (!takesKey(*event)) {
        event->ignore();
        return;
    }
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    GridCoord target = m_current;
    const int firstCol = m_h.nextShown(fixedCols() - 1);
    const int lastCol = m_h.previousShown(colCount());
    switch (event->key()) {
    case Qt::Key_Up:
        target.row = m_v.previousShown(m_current.row);
        break;
    case Qt::Key_Down:
        target.row = m_v.nextShown(m_current.row);
        break;
    case Qt::Key_Left:
        if (m_options & goRowSelect) {
            horizontalScroll(ScrollCode::LineUp, 0);
            return;
        }
        target.col = m_h.previousShown(m_current.col);
        break;
    case Qt::Key_Right:
        if (m_options & goRowSelect) {
            horizontalScroll(ScrollCode::LineDown, 0);
            return;
        }
        target.col = m_h.nextShown(m_current.col);
        break;
    case Qt::Key_Home:
        target.col = firstCol;
        if (ctrl)
            target.row = fixedRows();
        break;
    case Qt::Key_End:
        target.col = lastCol;
        if (ctrl)
            target.row = rowCount() - 1;
        break;
    case Qt::Key_PageUp:
        target.row = m_current.row - std::max(1, visibleRowCount());
        break;
    case Qt::Key_PageDown:
        target.row = m_current.row + std::max(1, visibleRowCount());
        break;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: {
        const bool back = event->key() == Qt::Key_Backtab || shift;
        target.col = back ? m_h.previousShown(m_current.col) : m_h.nextShown(m_current.col);
        if (target.col < fixedCols() || target.col < 0) {
            target.col = back ? lastCol : firstCol;
            target.row = back ? m_v.previousShown(m_current.row) : m_v.nextShown(m_current.row);
        }
        break;
    }
    default:
        event->ignore();
        return;
    }
    if (target.col < fixedCols() || target.row < fixedRows() || target.col < 0 || target.row < 0)
        return;
    const GridCoord anchor = m_anchor;
    const bool tab = event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab;
    moveCurrent(target.col, target.row);
    m_anchor = shift && !tab && (m_options & goRangeSelect) ? anchor : m_current;
}

void CellGrid::clickCell(int col, int row, Qt::KeyboardModifiers modifiers)
{
    if (col < fixedCols() || row < fixedRows())
        return;
    const GridCoord anchor = m_anchor;
    moveCurrent(col, row);
    m_anchor = (modifiers & Qt::ShiftModifier) && (m_options & goRangeSelect) ? anchor : m_current;
    invalidateGrid();
}

int CellGrid::moveTarget(const QPoint &pos) const
{
    const bool columns = m_state == GridState::ColMoving;
    const GridAxis &axis = columns ? m_h : m_v;
    const int offset = columns ? pos.x() : pos.y();
    int target = axis.indexAt(std::max(0, offset));
    if (target < 0)
        target = offset < 0 ? axis.fixedCount() : axis.count() - 1;
    return std::max(target, axis.fixedCount());
}

void CellGrid::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    if (!acquireFocus())
        return;
    const QPoint pos = event->position().toPoint();
    m_pressPos = pos;
    m_dragPos = pos;
    m_dragStarted = false;
    m_dragTarget = -1;
    const SizingHit hit = sizingAt(pos);
    if (hit.state != GridState::Normal) {
        m_state = hit.state;
        m_dragIndex = hit.index;
        const GridAxis &axis = hit.state == GridState::ColSizing ? m_h : m_v;
        m_sizingStart = axis.position(hit.index) + axis.size(hit.index);
        m_sizingPos = m_sizingStart;
        viewport()->update(feedbackRect());
        return;
    }
    const GridCoord cell = cellAt(pos);
    if (!cell.isValid())
        return;
    if ((m_options & goColMoving) && cell.row < fixedRows() && cell.col >= fixedCols()) {
        m_state = GridState::ColMoving;
        m_dragIndex = cell.col;
        return;
    }
    if ((m_options & goRowMoving) && cell.col < fixedCols() && cell.row >= fixedRows()) {
        m_state = GridState::RowMoving;
        m_dragIndex = cell.row;
        return;
    }
    m_state = GridState::Selecting;
    guarded(this, [&] { clickCell(cell.col, cell.row, event->modifiers()); });
}

void CellGrid::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    switch (m_state) {
    case GridState::Normal: {
        const SizingHit hit = sizingAt(pos);
        if (hit.state == GridState::ColSizing)
            viewport()->setCursor(Qt::SplitHCursor);
        else if (hit.state == GridState::RowSizing)
            viewport()->setCursor(Qt::SplitVCursor);
        else
            viewport()->unsetCursor();
        break;
    }
    case GridState::ColSizing:
    case GridState::RowSizing: {
        const bool columns = m_state == GridState::ColSizing;
        const GridAxis &axis = columns ? m_h : m_v;
        const int delta = columns ? pos.x() - m_pressPos.x() : pos.y() - m_pressPos.y();
        const QRect old = feedbackRect();
        m_sizingPos = std::max(axis.position(m_dragIndex), m_sizingStart + delta);
        viewport()->update(old);
        viewport()->update(feedbackRect());
        break;
    }
    case GridState::ColMoving:
    case GridState::RowMoving: {
        if (!m_dragStarted && (pos - m_pressPos).manhattanLength() >= QApplication::startDragDistance())
            m_dragStarted = true;
        if (m_dragStarted) {
            const QRect old = feedbackRect();
            m_dragPos = pos;
            m_dragTarget = moveTarget(pos);
            viewport()->update(old);
            viewport()->update(feedbackRect());
            guarded(this, [&] { dragMoved(pos); });
        }
        break;
    }
    case GridState::Selecting:
        if ((event->buttons() & Qt::LeftButton) && (m_options & goRangeSelect) && !(m_options & goRowSelect)) {
            const GridCoord cell = cellAt(pos);
            if (cell.isValid() && cell.col >= fixedCols() && cell.row >= fixedRows() && cell != m_current) {
                const GridCoord anchor = m_anchor;
                moveCurrent(cell.col, cell.row);
                m_anchor = anchor;
                invalidateGrid();
            }
        }
        break;
    }
}

void CellGrid::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const GridState state = m_state;
    const QRect feedback = feedbackRect();
    m_state = GridState::Normal;
    viewport()->update(feedback);
    guarded(this, [&] {
        switch (state) {
        case GridState::ColSizing: {
            const int width = m_sizingPos - m_h.position(m_dragIndex);
            if (width != m_h.size(m_dragIndex)) {
                setColWidth(m_dragIndex, width);
                colWidthsChanged();
            }
            break;
        }
        case GridState::RowSizing: {
            const int height = m_sizingPos - m_v.position(m_dragIndex);
            if (height != m_v.size(m_dragIndex)) {
                setRowHeight(m_dragIndex, height);
                rowHeightsChanged();
            }
            break;
        }
        case GridState::ColMoving:
            if (m_dragStarted && m_dragTarget >= 0 && m_dragTarget != m_dragIndex)
                moveColumn(m_dragIndex, m_dragTarget);
            break;
        case GridState::RowMoving:
            if (m_dragStarted && m_dragTarget >= 0 && m_dragTarget != m_dragIndex)
                moveRow(m_dragIndex, m_dragTarget);
            break;
        default:
            break;
        }
    });
    const bool moving = state == GridState::ColMoving || state == GridState::RowMoving;
    const bool started = m_dragStarted;
    m_dragStarted = false;
    m_dragTarget = -1;
    if (moving && started)
        guarded(this, [this] { dragEnded(); });
}

void CellGrid::wheelEvent(QWheelEvent *event)
{
    const QPoint pos = event->position().toPoint();
    bool unhandled = false;
    m_wheelDelta += event->angleDelta().y();
    m_wheelDeltaX += event->angleDelta().x();
    guarded(this, [&] {
        while (std::abs(m_wheelDelta) >= kWheelNotch) {
            const bool down = m_wheelDelta < 0;
            m_wheelDelta += down ? kWheelNotch : -kWheelNotch;
            if (!wheelStep(down, event->modifiers(), pos))
                unhandled = true;
        }
        while (std::abs(m_wheelDeltaX) >= kWheelNotch) {
            const bool right = m_wheelDeltaX < 0;
            m_wheelDeltaX += right ? kWheelNotch : -kWheelNotch;
            horizontalScroll(right ? ScrollCode::LineDown : ScrollCode::LineUp, 0);
        }
    });
    event->setAccepted(!unhandled);
}

void CellGrid::focusInEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusInEvent(event);
    invalidateCurrent();
}

void CellGrid::focusOutEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusOutEvent(event);
    invalidateCurrent();
}

void CellGrid::invalidateCurrent()
{
    // How the current cell or row is drawn depends on whether the grid has the focus.
    if (m_options & goRowSelect)
        invalidateRow(m_current.row);
    else
        invalidateCell(m_current.col, m_current.row);
}

} // namespace kelvara
