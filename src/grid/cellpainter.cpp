#include "grid/cellpainter.h"

#include "dbctrls/photopictures.h"
#include "store/error.h"
#include "store/field.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPaintDevice>
#include <QPainter>
#include <QStyle>
#include <QTextDocument>
#include <QTextDocumentFragment>

#include <cmath>

namespace kelvara {

namespace {

// The whole text of a memo as a cell shows it: formatted memos are kept as rich text, of which
// the cell shows the words, not the markup.
QString memoText(const Field &field)
{
    const QString text = field.asString();
    if (field.dataType() == ftFmtMemo && Qt::mightBeRichText(text))
        return QTextDocumentFragment::fromHtml(text).toPlainText();
    return text;
}


constexpr int cornerMarkWidth = 7;

Qt::Alignment horizontal(Alignment alignment)
{
    switch (alignment) {
    case taRightJustify: return Qt::AlignRight;
    case taCenter: return Qt::AlignHCenter;
    case taLeftJustify: break;
    }
    return Qt::AlignLeft;
}

// The text rectangle inside a cell: 2 pixels in from the left and top, and from the right when
// the content keeps a right margin.
QRect innerRect(const QRect &rect, bool rightMargin)
{
    return QRect(rect.left() + 2, rect.top() + 2, rect.width() - (rightMargin ? 4 : 2), rect.height() - 2);
}

// Nearest integer, halves to the even one.
int roundHalfEven(double value)
{
    const double floor = std::floor(value);
    const double fraction = value - floor;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(floor, 2.0) != 0.0))
        return int(floor) + 1;
    return int(floor);
}

// A fill with the painter's brush as it stands: a transparent brush (over the background
// picture) leaves the cell as it is.
void fillWithBrush(QPainter &painter, const QRect &rect)
{
    if (painter.brush().style() != Qt::NoBrush)
        painter.fillRect(rect, painter.brush());
}

void setSolidBrush(QPainter &painter, const QColor &color)
{
    painter.setBrush(QBrush(color, Qt::SolidPattern));
}

// A 1-pixel frame on the inside edge of rect.
void frameRect(QPainter &painter, const QRect &rect, const QColor &color)
{
    if (rect.isEmpty())
        return;
    painter.fillRect(QRect(rect.left(), rect.top(), rect.width(), 1), color);
    painter.fillRect(QRect(rect.left(), rect.bottom(), rect.width(), 1), color);
    painter.fillRect(QRect(rect.left(), rect.top(), 1, rect.height()), color);
    painter.fillRect(QRect(rect.right(), rect.top(), 1, rect.height()), color);
}

QString oneLine(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String(" "));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text;
}

QString withLineFeeds(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

enum class Layout { SingleLine, EllipsisLine, Wrapped };

// Text from the top of r, clipped to it; '&' is shown as it is (QPainter makes no mnemonics
// unless asked to).
void layText(QPainter &painter, const QRect &r, const QString &text, Qt::Alignment alignment, Layout layout,
             bool expandTabs = false)
{
    if (r.width() <= 0 || r.height() <= 0 || text.isEmpty())
        return;
    int flags = int(alignment | Qt::AlignTop);
    if (expandTabs)
        flags |= Qt::TextExpandTabs;
    painter.save();
    painter.setClipRect(r, Qt::IntersectClip);
    switch (layout) {
    case Layout::SingleLine: painter.drawText(r, flags | Qt::TextSingleLine, oneLine(text)); break;
    case Layout::EllipsisLine:
        painter.drawText(r, flags | Qt::TextSingleLine,
                         painter.fontMetrics().elidedText(oneLine(text), Qt::ElideRight, r.width()));
        break;
    case Layout::Wrapped: painter.drawText(r, flags | Qt::TextWordWrap, withLineFeeds(text)); break;
    }
    painter.restore();
}

}  // namespace

void drawPolyline(QPainter &painter, const QColor &color, std::initializer_list<QPoint> points)
{
    if (points.size() < 2)
        return;
    const QPoint *from = points.begin();
    for (const QPoint *to = from + 1; to != points.end(); from = to++) {
        // The segment's pixels run from its start up to, not including, its end; the next
        // segment starts on that end, so only the last point of the list stays undrawn.
        if (from->y() == to->y()) {
            const int step = to->x() >= from->x() ? 1 : -1;
            const int last = to->x() - step;
            if (to->x() != from->x())
                painter.fillRect(
                    QRect(QPoint(qMin(from->x(), last), from->y()), QPoint(qMax(from->x(), last), from->y())), color);
        } else if (from->x() == to->x()) {
            const int step = to->y() >= from->y() ? 1 : -1;
            const int last = to->y() - step;
            painter.fillRect(QRect(QPoint(from->x(), qMin(from->y(), last)), QPoint(from->x(), qMax(from->y(), last))),
                             color);
        } else {
            Q_ASSERT_X(false, "drawPolyline", "a segment neither horizontal nor vertical");
        }
    }
}

CellPainter::DrawState CellPainter::baseDrawState(int col, int row, DrawState state) const
{
    const int firstDataRow = context.titles ? 1 : 0;
    const bool indicatorColumn = context.indicator && col == 0;
    if ((state & CellGrid::gdFixed) && context.ctl3D && row >= firstDataRow && !indicatorColumn)
        state &= ~DrawState(CellGrid::gdFixed);
    return state;
}

bool CellPainter::paintDataCell(QPainter &painter, const DataCell &cell,
                                const CellAttributeHook &applyCellAttribute) const
{
    if (cell.fieldName.isEmpty())
        return false;
    const QRect &rect = cell.rect;
    const DrawState state = cell.state;
    const bool fixed = state & CellGrid::gdFixed;
    const bool selected = state & CellGrid::gdSelected;
    const bool focused = state & CellGrid::gdFocused;

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    fillWithBrush(painter, rect);
    if (options().useRowColors && !selected && !fixed) {
        // Colours belong to screen rows: the row pitch is the cell height plus its line.
        const int k = rect.top() / (rect.height() + 1);
        setSolidBrush(painter, k % 2 != 0 ? options().rowColor1 : options().rowColor2);
        painter.fillRect(rect, painter.brush());
    } else if (context.backgroundCopy && !selected && !fixed) {
        painter.drawImage(rect.topLeft(), *context.backgroundCopy, rect);
        painter.setBrush(Qt::NoBrush);
    }
    if ((focused || selected) && !fixed) {
        setSolidBrush(painter, options().highlightColor);
        painter.setPen(options().highlightFontColor);
        painter.fillRect(rect, painter.brush());
    }
    if (!selected && !fixed && cell.field && applyCellAttribute)
        applyCellAttribute(painter, cell.field, state);
    paintContent(painter, cell, kindOf(cell.field));
    paintFocusMark(painter, rect, state);
    painter.restore();
    return true;
}

void CellPainter::paintContent(QPainter &painter, const DataCell &cell, FieldKind kind) const
{
    const QRect &rect = cell.rect;
    fillWithBrush(painter, rect);
    const Field *field = cell.field;
    if (!field) {
        // A column whose field is missing shows its colours only.
        return;
    }
    switch (kind) {
    case FieldKind::MemoLike:
        if (options().displayMemo)
            drawText(painter, innerRect(rect, false), memoText(*field), taLeftJustify);
        else
            drawText(painter, innerRect(rect, true), field->text(), taLeftJustify);
        break;
    case FieldKind::Picture:
        if (options().displayImages)
            paintPicture(painter, cell);
        else
            drawText(painter, innerRect(rect, true), field->text(), taLeftJustify);
        break;
    case FieldKind::Boolean:
        if (options().displayBoolean)
            paintCheckBox(painter, cell);
        else
            drawText(painter, innerRect(rect, true), field->displayText(), field->alignment());
        break;
    case FieldKind::DateTime:
        // Plain text form, not the display format: the date picker shows and takes that form.
        drawText(painter, innerRect(rect, !options().displayDateTime), field->text(), taLeftJustify);
        break;
    case FieldKind::Plain: drawText(painter, innerRect(rect, true), field->displayText(), cell.alignment); break;
    }
}

void CellPainter::drawText(QPainter &painter, const QRect &r, const QString &text, Alignment alignment) const
{
    layText(painter, r, text, horizontal(alignment),
            options().showTextEllipsis ? Layout::EllipsisLine : Layout::Wrapped);
}

QRect CellPainter::fittedPictureRect(const QRect &cell, const QSize &picture)
{
    const int w = cell.width();
    const int h = cell.height();
    const int iw = picture.width();
    const int ih = picture.height();
    // Guarded divisions: a picture without width or height gets scale 0 on that axis.
    const double sx = iw != 0 ? double(w) / iw : 0.0;
    const double sy = ih != 0 ? double(h) / ih : 0.0;
    int drawnWidth = w;
    int drawnHeight = h;
    if (sy >= sx)
        drawnHeight = roundHalfEven(ih * sx);
    else
        drawnWidth = roundHalfEven(iw * sy);
    return QRect(cell.left() + (w - drawnWidth) / 2, cell.top() + (h - drawnHeight) / 2, drawnWidth, drawnHeight);
}

void CellPainter::paintPicture(QPainter &painter, const DataCell &cell) const
{
    const QRect &rect = cell.rect;
    const DrawState state = cell.state;
    if (state & (CellGrid::gdFocused | CellGrid::gdSelected)) {
        setSolidBrush(painter, options().imageHighlightColor);
        painter.setPen(context.fontColor);
        painter.fillRect(rect, painter.brush());
    }
    if (rect.isEmpty())
        return;
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    QImage image;
    QSize pictureSize;
    try {
        const PhotoPicture picture = fieldPicture(*cell.field, rect.size() * ratio);
        image = picture.image;
        pictureSize = picture.pictureSize;
    } catch (const Error &) {
        // Not a JPEG: any other format Qt reads; anything else draws nothing.
        image.loadFromData(cell.field->asBytes());
        pictureSize = image.size();
    }
    if (image.isNull() || pictureSize.isEmpty())
        return;
    const QRect target = fittedPictureRect(rect, pictureSize);
    if (target.isEmpty())
        return;
    QImage drawn = image.scaled(target.size() * ratio, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (drawn.isNull()) {
        // Too large to scale: the cell shows the field's content as text instead.
        if (state & CellGrid::gdSelected) {
            setSolidBrush(painter, options().highlightColor);
            painter.setPen(options().highlightFontColor);
        }
        fillWithBrush(painter, rect);
        drawText(painter, innerRect(rect, true), cell.field->text(), taLeftJustify);
        return;
    }
    drawn.setDevicePixelRatio(ratio);
    painter.drawImage(target.topLeft(), drawn);
}

QSize CellPainter::checkBoxGlyphSize(const QStyle *style)
{
    if (!style)
        style = QApplication::style();
    return QSize(style->pixelMetric(QStyle::PM_IndicatorWidth), style->pixelMetric(QStyle::PM_IndicatorHeight));
}

void CellPainter::paintCheckBox(QPainter &painter, const DataCell &cell) const
{
    const QRect &rect = cell.rect;
    const QSize size = context.checkBoxSize.isEmpty() ? checkBoxGlyphSize() : context.checkBoxSize;
    const QRect box(rect.left() + (rect.width() - size.width()) / 2, rect.top() + (rect.height() - size.height()) / 2,
                    size.width(), size.height());
    const Field &field = *cell.field;
    const bool checked = context.isBooleanField ? field.asInteger() != options().valueUnChecked : field.asBoolean();
    if (!options().flatCheckBox) {
        drawCheckGlyph(painter, box, checked, false);
    } else if (options().boldCheckBox) {
        drawCheckGlyph(painter, box, checked, true);
    } else {
        // The flat glyph's outer border is cut off and replaced by a thin grey one.
        painter.save();
        painter.setClipRect(box, Qt::IntersectClip);
        drawCheckGlyph(painter, box.adjusted(-1, -1, 1, 1), checked, true);
        painter.restore();
        frameRect(painter, box, clGray);
    }
}

// The button check-box glyph of a classic desktop: a sunken 2-pixel bevel (3-D) or a 2-pixel
// shadow-coloured border (flat) around a window-coloured square, and a 7 x 7 tick when checked.
void CellPainter::drawCheckGlyph(QPainter &painter, const QRect &box, bool checked, bool flat) const
{
    if (box.width() < 4 || box.height() < 4)
        return;
    const QRect inner = box.adjusted(1, 1, -1, -1);
    painter.fillRect(box.adjusted(2, 2, -2, -2), named(SystemColor::Window));
    if (flat) {
        frameRect(painter, box, named(SystemColor::BtnShadow));
        frameRect(painter, inner, named(SystemColor::BtnShadow));
    } else {
        const QColor shadow = named(SystemColor::BtnShadow);
        const QColor light = named(SystemColor::BtnHighlight);
        const QColor darkShadow = context.palette.color(QPalette::Active, QPalette::Shadow);
        const QColor face = context.palette.color(QPalette::Active, QPalette::Midlight);
        drawPolyline(painter, shadow, {box.bottomLeft() + QPoint(0, -1), box.topLeft(), box.topRight()});
        drawPolyline(painter, light, {box.bottomLeft(), box.bottomRight(), box.topRight() + QPoint(0, -1)});
        drawPolyline(painter, darkShadow, {inner.bottomLeft() + QPoint(0, -1), inner.topLeft(), inner.topRight()});
        drawPolyline(painter, face, {inner.bottomLeft(), inner.bottomRight(), inner.topRight() + QPoint(0, -1)});
    }
    if (!checked)
        return;
    // Column by column, the top of the three-pixel stroke of the tick.
    static const int tickTop[7] = {2, 3, 4, 3, 2, 1, 0};
    const int left = box.left() + (box.width() - 7) / 2;
    const int top = box.top() + (box.height() - 7) / 2;
    const QColor ink = named(SystemColor::WindowText);
    for (int i = 0; i < 7; ++i)
        painter.fillRect(QRect(left + i, top + tickTop[i], 1, 3), ink);
}

void CellPainter::paintFocusMark(QPainter &painter, const QRect &rect, DrawState state) const
{
    if (options().cells3D || !options().drawFocusRect || context.rowSelect)
        return;
    const bool selected = state & CellGrid::gdSelected;
    const bool focused = state & CellGrid::gdFocused;
    const bool dotted = context.alwaysShowSelection ? selected : focused;
    if (dotted) {
        // Every other pixel of the outline inverted, as the desktop's focus rectangle is.
        painter.save();
        painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        painter.setBrushOrigin(0, 0);
        const QBrush dots(Qt::white, Qt::Dense4Pattern);
        painter.fillRect(QRect(rect.left(), rect.top(), rect.width(), 1), dots);
        if (rect.height() > 1)
            painter.fillRect(QRect(rect.left(), rect.bottom(), rect.width(), 1), dots);
        if (rect.height() > 2) {
            painter.fillRect(QRect(rect.left(), rect.top() + 1, 1, rect.height() - 2), dots);
            if (rect.width() > 1)
                painter.fillRect(QRect(rect.right(), rect.top() + 1, 1, rect.height() - 2), dots);
        }
        painter.restore();
    } else if (!context.alwaysShowSelection && selected) {
        frameRect(painter, rect, clYellow);
    }
}

std::optional<QColor> CellPainter::paintFrame(QPainter &painter, int col, int row, const QRect &rect,
                                              const TitleText *title) const
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    std::optional<QColor> newColor;
    const bool titleRow = row == 0 && context.titles;
    const bool indicatorCell = col == 0 && context.indicator;
    if (options().cells3D && context.colLines && context.rowLines) {
        if (context.color == clWhite || context.color == named(SystemColor::Window))
            newColor = context.fixedColor;
        drawCornerMark(painter, col, row, rect);
        if (row == 0) {
            if (titleRow) {
                if (title)
                    drawTitle(painter, rect, *title);
                if (!options().boldTitlesWhenCells3D)
                    drawBevel(painter, rect);
            } else {
                drawBevel(painter, rect);
            }
            if (indicatorCell && !options().boldIndicatorsWhenCells3D)
                drawBevel(painter, rect);
        } else if (indicatorCell && !options().boldIndicatorsWhenCells3D) {
            drawBevel(painter, rect);
        }
        drawLightEdge(painter, rect);
    } else {
        if (context.color == named(SystemColor::BtnFace) || context.color == clSilver)
            newColor = named(SystemColor::Window);
        drawCornerMark(painter, col, row, rect);
        if (row == 0) {
            if (titleRow) {
                if (title)
                    drawTitle(painter, rect, *title);
                drawBevel(painter, rect);
            } else {
                recolourLines(painter, rect);
            }
            if (indicatorCell)
                drawBevel(painter, rect);
        } else if (indicatorCell) {
            drawBevel(painter, rect);
        } else {
            recolourLines(painter, rect);
        }
    }
    painter.restore();
    return newColor;
}

void CellPainter::drawTitle(QPainter &painter, const QRect &rect, const TitleText &title) const
{
    if (title.caption.isEmpty())
        return;
    painter.setFont(title.font);
    const QRect r(rect.left() + 2, rect.top() + 2, rect.width() - 2, rect.height() - 2);
    painter.fillRect(r, title.color);
    painter.setPen(title.fontColor);
    Layout layout = Layout::SingleLine;
    if (options().showTitleEllipsis)
        layout = Layout::EllipsisLine;
    else if (options().multiLineTitles)
        layout = Layout::Wrapped;
    layText(painter, r, title.caption, horizontal(title.alignment), layout, true);
}

void CellPainter::drawCornerMark(QPainter &painter, int col, int row, const QRect &rect) const
{
    if (col != 0 || row != 0 || !options().titleCheck || !context.titles || !context.indicator)
        return;
    const int l = rect.left();
    const int t = rect.top();
    const int rt = rect.left() + rect.width();
    const int b = rect.top() + rect.height();
    const int dy = (b - t - cornerMarkWidth) / 2;
    const int dx = (rt - l - cornerMarkWidth) / 2;
    // Triangle (x0, y0), (x0 + 7, y0), (x0 + 3, apexY), filled by pixel centres row by row.
    const double x0 = l + dx;
    const double y0 = t + dy;
    const double apexX = x0 + 3;
    const double apexY = b - dy;
    if (apexY <= y0)
        return;
    for (int y = int(y0); y < int(std::ceil(apexY)); ++y) {
        const double f = (y + 0.5 - y0) / (apexY - y0);
        const double from = x0 + f * (apexX - x0);
        const double to = x0 + cornerMarkWidth + f * (apexX - x0 - cornerMarkWidth);
        const int first = int(std::ceil(from - 0.5));
        const int last = int(std::floor(to - 0.5));
        if (last >= first)
            painter.fillRect(QRect(first, y, last - first + 1, 1), clBlack);
    }
}

void CellPainter::drawBevel(QPainter &painter, const QRect &rect) const
{
    const int l = rect.left();
    const int t = rect.top();
    const int rt = rect.left() + rect.width();
    const int b = rect.top() + rect.height();
    drawPolyline(painter, context.fixedColor, {{l + 1, b - 1}, {rt - 1, b - 1}, {rt - 1, t}});
    drawPolyline(painter, named(SystemColor::BtnShadow), {{l - 1, b}, {rt, b}, {rt, t - 1}});
}

void CellPainter::recolourLines(QPainter &painter, const QRect &rect) const
{
    const int l = rect.left();
    const int t = rect.top();
    const int rt = rect.left() + rect.width();
    const int b = rect.top() + rect.height();
    drawPolyline(painter, context.fixedColor, {{l, b}, {rt, b}, {rt, t - 1}});
}

void CellPainter::drawLightEdge(QPainter &painter, const QRect &rect) const
{
    const int l = rect.left();
    const int t = rect.top();
    const int rt = rect.left() + rect.width();
    const int b = rect.top() + rect.height();
    drawPolyline(painter, named(SystemColor::HighlightText), {{l, b - 1}, {l, t}, {rt, t}});
}

void CellPainter::paintBlankCell(QPainter &painter, const QRect &rect) const
{
    painter.fillRect(rect.adjusted(-1, -1, 1, 1), context.color);
}

}  // namespace kelvara
