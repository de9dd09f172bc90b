// The enhanced grid's painting: routes the base grid's cell steps to the cell painter, keeps the
// background copy, paints through an off-screen buffer on request, and has the hidden editors
// placed over the focused cell when the current cell, the layout or the focus changes (never in a
// paint).

#include "grid/tenhancedgrid.h"

#include "grid/gridsharedstate.h"
#include "store/field.h"
#include "store/table.h"

#include <QPainter>
#include <QPixmap>
#include <QTimer>

namespace kelvara {

CellPaintContext TEnhancedGrid::paintContext() const
{
    CellPaintContext context;
    context.backgroundCopy = m_display.useBackgroundPicture && !m_backgroundCopy.isNull() ? &m_backgroundCopy : nullptr;
    context.isBooleanField = OnIsBooleanField;
    context.checkBoxSize = GridSharedState::instance().checkBoxSize;
    context.ctl3D = ctl3D();
    const TDBGridOptions opts = options();
    context.titles = opts & dgTitles;
    context.indicator = opts & dgIndicator;
    context.colLines = opts & dgColLines;
    context.rowLines = opts & dgRowLines;
    context.rowSelect = opts & dgRowSelect;
    context.alwaysShowSelection = opts & dgAlwaysShowSelection;
    context.color = color();
    context.fixedColor = fixedColor();
    context.fontColor = fontColor();
    context.palette = palette();
    return context;
}

void TEnhancedGrid::paintRegion(QPainter &painter, const QRegion &region)
{
    // The background copy lives while the picture is in use and is made again after it changed.
    if (m_display.useBackgroundPicture && m_backgroundCopy.isNull() && !m_display.backgroundPicture.isNull())
        m_backgroundCopy = m_display.backgroundPicture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    else if (!m_display.useBackgroundPicture)
        m_backgroundCopy = QImage();

    if (!m_painter) {
        m_painter = std::make_unique<CellPainter>(m_display);
        GridSharedState::instance().checkBoxSize = CellPainter::checkBoxGlyphSize(style());
    }
    m_painter->context = paintContext();
    m_attributeHook = nullptr;
    if (OnApplyCellAttribute) {
        m_attributeHook = [this](QPainter &canvas, const Field *field, TGridDrawState cellState) {
            OnApplyCellAttribute(this, const_cast<Field *>(field), canvas, cellState);
        };
    }
    // Only this paint's cells say which colour the grid must take; one asked by an earlier paint
    // under other settings no longer holds.
    m_pendingColor.reset();

    if (!m_display.useBitmapDrawing) {
        TDBGrid::paintRegion(painter, region);
    } else {
        // The whole grid into one buffer, then the asked region copied to the window at once.
        const qreal ratio = viewport()->devicePixelRatioF();
        QPixmap buffer(viewport()->size() * ratio);
        buffer.setDevicePixelRatio(ratio);
        {
            QPainter offscreen(&buffer);
            TDBGrid::paintRegion(offscreen, QRegion(viewport()->rect()));
        }
        const QRect bounds = region.boundingRect();
        painter.save();
        painter.setClipRegion(region, Qt::IntersectClip);
        painter.drawPixmap(bounds, buffer, QRectF(bounds.topLeft() * ratio, bounds.size() * ratio));
        painter.restore();
    }

    if (m_pendingColor) {
        // The frame painter asks the grid to change its colour; that repaints, so it is done after
        // this paint, once.
        QTimer::singleShot(0, this, [this] {
            if (m_pendingColor) {
                const QColor next = *m_pendingColor;
                m_pendingColor.reset();
                setColor(next);
            }
        });
    }
}

void TEnhancedGrid::drawCell(QPainter &painter, int col, int row, const QRect &rect, TGridDrawState state)
{
    CellPainter &cells = *m_painter;
    if (!m_display.showTitlesWhenInactive && !activeTable()) {
        cells.paintBlankCell(painter, rect);
        return;
    }
    TDBGrid::drawCell(painter, col, row, rect, cells.baseDrawState(col, row, state));

    const TitleText *title = nullptr;
    TitleText text;
    const int dataCol = rawToDataColumn(col);
    if (row == 0 && (options() & dgTitles) && dataCol >= 0 && dataCol < columns()->count()) {
        const TColumnTitle *columnTitle = columns()->items(dataCol)->title();
        text.caption = columnTitle->caption();
        text.font = columnTitle->font();
        text.color = columnTitle->color();
        text.fontColor = columnTitle->fontColor();
        text.alignment = columnTitle->alignment();
        if (!text.caption.isEmpty())
            title = &text;
    }
    if (const std::optional<QColor> next = cells.paintFrame(painter, col, row, rect, title)) {
        if (*next != color())
            m_pendingColor = next;
    }
}

void TEnhancedGrid::drawColumnCell(QPainter &painter, const QRect &rect, int dataCol, TColumn *column,
                                   TGridDrawState state)
{
    CellPainter::DataCell cell;
    cell.rect = rect;
    cell.fieldName = column->fieldName();
    cell.field = fields(dataCol);
    cell.alignment = column->alignment();
    cell.state = state;
    const UpdateLock lock(*this);
    if (m_painter->paintDataCell(painter, cell, m_attributeHook))
        Q_EMIT OnDrawColumnCell(&painter, rect, dataCol, column, state);
    else
        // A column bound to no field shows nothing, but must not show what was there before.
        painter.fillRect(rect, painter.brush());
}

void TEnhancedGrid::dataSetScrolled(int distance)
{
    // Row colours belong to screen rows and the background picture to the client origin: rows
    // moved as pixels would carry the wrong colour or a piece of the picture.
    if ((m_display.useRowColors || m_display.useBackgroundPicture) && distance != 0)
        invalidateGrid();
    TDBGrid::dataSetScrolled(distance);
    placeHiddenEditors();
}

void TEnhancedGrid::currentCellMoved(int oldCol, int oldRow)
{
    TDBGrid::currentCellMoved(oldCol, oldRow);
    placeHiddenEditors();
}

void TEnhancedGrid::topLeftChanged()
{
    // The view moved by any means (scroll bar, keys, the left column set): the background
    // picture stays at the client origin, not with the columns the base moved as pixels.
    if (m_display.useBackgroundPicture)
        invalidateGrid();
    TDBGrid::topLeftChanged();
    placeHiddenEditors();
}

void TEnhancedGrid::colWidthsChanged()
{
    TDBGrid::colWidthsChanged();
    placeHiddenEditors();
}

void TEnhancedGrid::focusInEvent(QFocusEvent *event)
{
    TDBGrid::focusInEvent(event);
    placeHiddenEditors();
}

}  // namespace kelvara
