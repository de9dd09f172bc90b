#pragma once

#include "grid/cellgrid.h"
#include "grid/fieldkind.h"
#include "grid/griddisplayoptions.h"
#include "platform/colorvalues.h"
#include "store/storetypes.h"

#include <QColor>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPalette>
#include <QRect>
#include <QSize>
#include <QString>

#include <functional>
#include <optional>

class QPainter;
class QStyle;

namespace kelvara {

class Field;

// What one paint takes from the grid widget beside its display options: the base grid's own
// properties, which change without the enhanced grid hearing of it, and what the enhanced grid
// made for painting. The grid sets it before each paint.
struct CellPaintContext
{
    // The grid's copy of its background picture while one is in use, anchored at the client origin.
    const QImage *backgroundCopy = nullptr;
    // The grid's OnIsBooleanField when assigned: it decides which fields are check boxes, and a
    // check box shows checked for any integer value but ValueUnChecked.
    std::function<bool(const Field &)> isBooleanField;
    QSize checkBoxSize;  // empty: checkBoxGlyphSize() of the application style

    bool ctl3D = true;
    // The grid's Options that painting reads.
    bool titles = true;
    bool indicator = true;
    bool colLines = true;
    bool rowLines = true;
    bool rowSelect = false;
    bool alwaysShowSelection = false;

    QColor color = systemColor(SystemColor::Window);  // the grid's Color
    QColor fixedColor = systemColor(SystemColor::BtnFace);
    QColor fontColor = systemColor(SystemColor::WindowText);
    QPalette palette = QGuiApplication::palette();  // for the system colours
};

// A column title as the frame painter redraws it.
struct TitleText
{
    QString caption;
    QFont font;
    QColor color;
    QColor fontColor;
    Alignment alignment = taLeftJustify;
};

// Paints the cells of a data grid: the content of data cells by field kind, the frames, titles and
// corner mark over what the base grid painted, and a blank grid. Knows nothing of the grid widget.
//
// Rectangles are cell rectangles in client coordinates without the grid lines. An edge list
// (L, T, Rt, B) with exclusive right and bottom is QRect(L, T, Rt - L, B - T): the pixel column
// x = Rt and the pixel row y = B are the lines right of and below the cell.
class CellPainter
{
public:
    using DrawState = CellGrid::TGridDrawState;
    // The grid's OnApplyCellAttribute: may change the painter's brush, font and pen colour.
    using CellAttributeHook = std::function<void(QPainter &painter, const Field *field, DrawState state)>;

    struct DataCell
    {
        QRect rect;
        QString fieldName;                    // the column's FieldName
        const Field *field = nullptr;         // its field, none when the name matches no field
        Alignment alignment = taLeftJustify;  // the column's alignment
        DrawState state;
    };

    // Reads the grid's options where the grid keeps them; they must outlive the painter.
    explicit CellPainter(const GridDisplayOptions &options) : m_options(&options) { }

    const GridDisplayOptions &options() const { return *m_options; }
    CellPaintContext context;

    FieldKind kindOf(const Field *field) const { return fieldKind(field, context.isBooleanField); }

    // The state in which the base grid paints a cell: with Ctl3D the data cells of locked columns
    // lose fixed, so they are painted as data cells.
    DrawState baseDrawState(int col, int row, DrawState state) const;

    // The data cell after the base grid set the painter's font, brush and pen: fill, row colours
    // or background picture, highlight, the attribute hook, content by field kind, focus mark.
    // Paints nothing and returns false for a column without FieldName; the grid then leaves
    // out its OnDrawColumnCell as well.
    bool paintDataCell(QPainter &painter, const DataCell &cell, const CellAttributeHook &applyCellAttribute = {}) const;

    // Bevels, line colours, the title and the corner mark over the base grid's cell at grid
    // column col and row row. title is the cell's column title when the cell is in the title row
    // and has a data column. Returns the colour the grid's Color must take, which the grid sets
    // after the paint (it repaints the grid).
    std::optional<QColor> paintFrame(QPainter &painter, int col, int row, const QRect &rect,
                                     const TitleText *title = nullptr) const;

    // A cell of a grid without records to show, its lines included.
    void paintBlankCell(QPainter &painter, const QRect &rect) const;

    // Where a picture of size picture is drawn in cell: fitted, aspect ratio kept, centred.
    static QRect fittedPictureRect(const QRect &cell, const QSize &picture);
    // The size of one check-box glyph in the style's metrics.
    static QSize checkBoxGlyphSize(const QStyle *style = nullptr);

private:
    enum class TextMode { EllipsisLine, Wrapped };

    void paintContent(QPainter &painter, const DataCell &cell, FieldKind kind) const;
    void paintPicture(QPainter &painter, const DataCell &cell) const;
    void paintCheckBox(QPainter &painter, const DataCell &cell) const;
    void paintFocusMark(QPainter &painter, const QRect &rect, DrawState state) const;
    void drawText(QPainter &painter, const QRect &r, const QString &text, Alignment alignment) const;
    void drawCheckGlyph(QPainter &painter, const QRect &box, bool checked, bool flat) const;
    void drawTitle(QPainter &painter, const QRect &rect, const TitleText &title) const;
    void drawCornerMark(QPainter &painter, int col, int row, const QRect &rect) const;
    void drawBevel(QPainter &painter, const QRect &rect) const;
    void recolourLines(QPainter &painter, const QRect &rect) const;
    void drawLightEdge(QPainter &painter, const QRect &rect) const;
    QColor named(SystemColor color) const { return systemColor(color, context.palette); }

    const GridDisplayOptions *m_options;
};

// Draws the line through points in color, one pixel wide, the last point left out. Segments are
// horizontal or vertical.
void drawPolyline(QPainter &painter, const QColor &color, std::initializer_list<QPoint> points);

}  // namespace kelvara
