// The base grid's painting: the paint loop over the damaged area, cell lines, the default cell and
// the feedback of a sizing or moving drag.

#include "grid/cellgrid.h"

#include "platform/errorreport.h"
#include "store/error.h"

#include <QPaintEvent>
#include <QPainter>
#include <QScopedValueRollback>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QTimer>

#include <algorithm>

namespace kelvara {

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

QRect CellGrid::feedbackRect() const
{
    switch (m_state) {
    case GridState::ColSizing: return QRect(m_sizingPos, 0, 1, clientHeight());
    case GridState::RowSizing: return QRect(0, m_sizingPos, clientWidth(), 1);
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
    default: return QRect();
    }
}

void CellGrid::drawDragFeedback(QPainter &painter)
{
    const QRect rect = feedbackRect();
    if (rect.isEmpty())
        return;
    const bool sizing = m_state == GridState::ColSizing || m_state == GridState::RowSizing;
    painter.fillRect(
        rect, sizing ? palette().color(QPalette::WindowText) : palette().color(QPalette::Active, QPalette::Highlight));
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
    const QScopedValueRollback<bool> painting(m_painting, true);
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

}  // namespace kelvara
