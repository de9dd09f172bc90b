// The base grid's input: keys, mouse presses and drags, the wheel and the focus.

#include "grid/cellgrid.h"

#include "platform/errorreport.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include <algorithm>

namespace kelvara {

namespace {

constexpr int kWheelNotch = 120;

}  // namespace

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
    case Qt::Key_Right: return true;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return (m_options & goTabs) && !(m_options & goRowSelect);
    case Qt::Key_Return:
    case Qt::Key_Enter: return m_options & goEditing;
    default: return true;
    }
}

void CellGrid::dragMoved(const QPoint &pos)
{
    Q_UNUSED(pos);
}

void CellGrid::dragEnded() { }

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
    case Qt::Key_Up: target.row = m_v.previousShown(m_current.row); break;
    case Qt::Key_Down: target.row = m_v.nextShown(m_current.row); break;
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
    case Qt::Key_PageUp: target.row = m_current.row - std::max(1, visibleRowCount()); break;
    case Qt::Key_PageDown: target.row = m_current.row + std::max(1, visibleRowCount()); break;
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
    default: event->ignore(); return;
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
        default: break;
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

}  // namespace kelvara
