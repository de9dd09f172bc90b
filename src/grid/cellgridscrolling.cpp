// The base grid's current cell, scrolling by axis and the scroll bars that report to it.

#include "grid/cellgrid.h"

#include "platform/errorreport.h"

#include <QScopedValueRollback>
#include <QScrollBar>

#include <algorithm>

namespace kelvara {

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
    // The box stands for the first scrolled entry in view, at the size the style gives a box of
    // its own. Sized by the share in view it would, with only a position or two to scroll, cover
    // nearly the whole track: the bit of track left over then reads as the box at the far end,
    // and pulling that is a page click the other way. The grid pages by what is in view itself.
    bar->setPageStep(0);
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
    case ScrollCode::PageUp: setFirst(orientation, first - std::max(1, visibleCount(orientation))); break;
    case ScrollCode::PageDown: setFirst(orientation, first + std::max(1, visibleCount(orientation))); break;
    case ScrollCode::ThumbTrack:
        if (m_options & goThumbTracking)
            setFirst(orientation, fixed + position);
        break;
    case ScrollCode::ThumbPosition: setFirst(orientation, fixed + position); break;
    case ScrollCode::Top: setFirst(orientation, fixed); break;
    case ScrollCode::Bottom: setFirst(orientation, axis.count()); break;
    case ScrollCode::EndScroll: break;
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
    default: return;
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

void CellGrid::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    guarded(this, [this] {
        setFirst(Qt::Horizontal, m_h.first());
        setFirst(Qt::Vertical, m_v.first());
        updateScrollBars();
    });
}

}  // namespace kelvara
