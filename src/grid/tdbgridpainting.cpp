// The data grid's painting: title, indicator and data cells, and the highlight of selected cells and rows.

#include "grid/tdbgrid.h"
#include "grid/tdbgridprivate.h"

#include "store/field.h"
#include "store/table.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

namespace kelvara {

void TDBGrid::invalidateDataRows()
{
    const int top = titleOffset() > 0 ? verticalAxis().extent(0) : 0;
    viewport()->update(QRect(0, top, clientWidth(), clientHeight() - top));
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

void TDBGrid::drawColumnCell(QPainter &painter, const QRect &rect, int dataCol, TColumn *column, TGridDrawState state)
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
                     horizontalAlignment(title->alignment()) | Qt::AlignTop | Qt::TextSingleLine, title->caption());
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

}  // namespace kelvara
