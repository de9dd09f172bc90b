// The enhanced grid's mouse: its own mouse events ahead of the base grid's handling, the pop-up
// menu and OnRightClick, the column drag from a title press, the options menu from the top-left
// cell, cell hints, the double click (handed to the cell editors) and the title search box.

#include "grid/tenhancedgrid.h"

#include "grid/celleditors.h"
#include "grid/cellhints.h"
#include "grid/columndrag.h"
#include "grid/optionsmenu.h"
#include "grid/tcolumn.h"
#include "grid/tinplaceedit.h"
#include "grid/titlesearch.h"
#include "platform/errorreport.h"
#include "store/table.h"

#include <QMenu>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QPainter>

namespace kelvara {

void TEnhancedGrid::ResetFixedCols()
{
    const Table *table = dataSet();
    if (table && table->active())
        setFixedCols(indicatorOffset());
}

void TEnhancedGrid::PaintColumnTitle(QPainter &canvas, int col, TGridDrawState state, const QRect &rect)
{
    TitleText text;
    text.font = titleFont();
    text.color = fixedColor();
    text.fontColor = titleFontColor();
    const int dataCol = rawToDataColumn(col);
    if (dataCol >= 0 && dataCol < columns()->count()) {
        const TColumnTitle *title = columns()->items(dataCol)->title();
        text.caption = title->caption();
        text.font = title->font();
        text.color = title->color();
        text.fontColor = title->fontColor();
        text.alignment = title->alignment();
    }
    paintColumnTitle(canvas, text, state, rect, palette());
    canvas.setFont(font());
}

void TEnhancedGrid::CreateDragImage(int col)
{
    m_dragImage = QPixmap();
    const QSize size(std::max(1, colWidth(col)), std::max(1, rowHeight(0)));
    QImage painted(size, QImage::Format_ARGB32_Premultiplied);
    {
        QPainter canvas(&painted);
        PaintColumnTitle(canvas, col, gdFixed, painted.rect());
    }
    const int dataCol = rawToDataColumn(col);
    const QColor background
        = dataCol >= 0 && dataCol < columns()->count() ? columns()->items(dataCol)->title()->color() : fixedColor();
    m_dragImage = ColumnDrag::makePicture(painted, background, m_maskedColumnDrag);
}

void TEnhancedGrid::hideCellHint()
{
    if (m_cellHint)
        m_cellHint->hide();
}

void TEnhancedGrid::hideSearchBox()
{
    if (m_titleSearch)
        m_titleSearch->hide();
}

void TEnhancedGrid::showOptionsMenu(const QPoint &globalPos)
{
    Q_EMIT optionsMenuRequested(globalPos);
    m_optionsMenu->popup(globalPos);
}

ColumnDrag &TEnhancedGrid::ensureColumnDrag()
{
    if (!m_columnDrag) {
        ColumnDrag::Host host;
        host.leftEdge = [this] { return horizontalAxis().position(leftCol()); };
        host.clientWidth = [this] { return clientWidth(); };
        host.scrollColumn
            = [this](bool right) { horizontalScroll(right ? ScrollCode::LineDown : ScrollCode::LineUp, 0); };
        m_columnDrag = new ColumnDrag(viewport(), std::move(host));
    }
    return *m_columnDrag;
}

CellHints &TEnhancedGrid::ensureCellHints()
{
    if (!m_cellHint)
        m_cellHint = new CellHints(this, [this] { return cellEditorActive(); });
    return *m_cellHint;
}

bool TEnhancedGrid::cellEditorActive() const
{
    const auto shown = [](const QWidget *editor) { return editor && editor->isVisible(); };
    return shown(inplaceEditor()) || shown(memoEditor()) || shown(datePicker());
}

bool TEnhancedGrid::startsColumnDrag(const QMouseEvent &event) const
{
    if (event.button() != Qt::LeftButton || m_searchMode || !(options() & dgColumnResize) || titleOffset() == 0)
        return false;
    const QPoint pos = event.position().toPoint();
    const GridCoord cell = cellAt(pos);
    if (!cell.isValid() || cell.row != 0 || (cell.col == 0 && indicatorOffset() == 1))
        return false;
    // Over a column border the pointer is the sizing cursor: the press sizes the column instead.
    return sizingAt(pos).state == GridState::Normal;
}

void TEnhancedGrid::mousePressEvent(QMouseEvent *event)
{
    // Errors raised while handling a press are swallowed without a message.
    try {
        if (focusPolicy() != Qt::NoFocus && !hasFocusWithin())
            setFocus(Qt::MouseFocusReason);
        mouseDown(event);
        if (event->button() == Qt::RightButton)
            Q_EMIT OnRightClick();
    } catch (const std::exception &) { }
}

void TEnhancedGrid::mouseDown(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    const Qt::MouseButton button = event->button();
    const auto raiseMouseDown = [&] { Q_EMIT OnMouseDown(button, event->modifiers(), pos.x(), pos.y()); };
    if (button == Qt::RightButton && m_popupMenu
        && !isSignalConnected(QMetaMethod::fromSignal(&TEnhancedGrid::OnRightClick))) {
        // The menu's actions find the grid they were opened on here.
        m_popupMenu->setProperty("PopupComponent", QVariant::fromValue<QObject *>(this));
        m_popupMenu->popup(event->globalPosition().toPoint());
        return;
    }
    if (startsColumnDrag(*event)) {
        hideCellHint();
        ensureColumnDrag().press(cellAt(pos).col, pos);
        if (acquireFocus())
            raiseMouseDown();
        return;
    }
    if (!acquireFocus())
        return;
    raiseMouseDown();
    TDBGrid::mousePressEvent(event);
}

void TEnhancedGrid::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    if (m_columnDrag && m_columnDrag->active()) {
        guarded(this, [&] {
            // A drag whose release went elsewhere (the window lost the pointer) ends here.
            if (!(event->buttons() & Qt::LeftButton))
                m_columnDrag->end();
            else
                columnDragMoved(pos);
        });
        return;
    }
    guarded(this, [&] { Q_EMIT OnMouseMove(event->modifiers(), pos.x(), pos.y()); });
    TDBGrid::mouseMoveEvent(event);
    if (m_cellHints)
        cellHint(pos);
}

void TEnhancedGrid::columnDragMoved(const QPoint &pos)
{
    ColumnDrag &drag = *m_columnDrag;
    if (!drag.started()) {
        if (!drag.passesThreshold(pos))
            return;
        CreateDragImage(drag.source());
        drag.begin(m_dragImage);
    }
    drag.over(pos, viewport()->rect().contains(pos));
}

void TEnhancedGrid::mouseReleaseEvent(QMouseEvent *event)
{
    if (m_columnDrag && m_columnDrag->active()) {
        if (event->button() != Qt::LeftButton)
            return;
        const QPoint pos = event->position().toPoint();
        const bool drop = m_columnDrag->started() && viewport()->rect().contains(pos);
        const int source = m_columnDrag->source();
        // The drag ends before the drop, so that the moved columns repaint without its picture.
        m_columnDrag->end();
        if (drop)
            guarded(this, [&] { dropColumn(source, pos); });
        return;
    }
    guarded(this, [&] { mouseUp(event); });
}

void TEnhancedGrid::mouseUp(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    Q_EMIT OnMouseUp(event->button(), event->modifiers(), pos.x(), pos.y());
    TDBGrid::mouseReleaseEvent(event);
    const GridCoord cell = cellAt(pos);
    const TDBGridOptions opts = options();
    if (m_display.titleCheck && (opts & dgTitles) && (opts & dgIndicator) && dataLink().active() && cell.col == 0
        && cell.row == 0)
        showOptionsMenu(viewport()->mapToGlobal(pos));
    if (!cell.isValid() || cell.row < titleOffset())
        applyLockedColumns();
}

void TEnhancedGrid::dropColumn(int source, const QPoint &pos)
{
    int target = cellAt(QPoint(pos.x(), 0)).col;
    if (target < 0) {
        target = colCount() - 1;
    } else if (target == 0 && indicatorOffset() == 1) {
        target = fixedCols();
        viewport()->repaint();
    }
    // The base keeps the current cell on the column it was on, the dragged one included, and
    // the current row stays.
    moveColumn(source, target);
    ResetFixedCols();
    updateEditor();
}

void TEnhancedGrid::cellHint(const QPoint &pos)
{
    ensureCellHints().update(pos);
}

void TEnhancedGrid::titleClick(TColumn *column)
{
    if (m_searchMode && column) {
        if (!m_titleSearch)
            m_titleSearch = new TitleSearch(this);
        m_titleSearch->titleClicked(column, cellRect(dataToRawColumn(column->index()), 0));
    }
    TDBGrid::titleClick(column);
}

void TEnhancedGrid::dblClick()
{
    if (m_cellHints)
        hideCellHint();
    m_editors->cellDoubleClick();
    TDBGrid::dblClick();
}

}  // namespace kelvara
