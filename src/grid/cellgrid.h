#pragma once

#include "grid/gridaxis.h"
#include "grid/gridcanvas.h"

#include <QAbstractScrollArea>
#include <QColor>

#include <type_traits>

class QPainter;
class QScrollBar;

namespace kelvara {

// A cell of a grid by column and row; both -1 when there is none.
struct GridCoord
{
    int col = -1;
    int row = -1;
    bool isValid() const { return col >= 0 && row >= 0; }
    friend bool operator==(GridCoord a, GridCoord b) { return a.col == b.col && a.row == b.row; }
    friend bool operator!=(GridCoord a, GridCoord b) { return !(a == b); }
};

// A grid of cells painted by hand on a scroll area: columns and rows of their own sizes, fixed ones
// at the left and top, a current cell, scrolling by whole columns and rows, sizing and moving by mouse.
class CellGrid : public QAbstractScrollArea
{
    Q_OBJECT
    Q_PROPERTY(TGridOptions CellOptions READ cellOptions WRITE setCellOptions)
    Q_PROPERTY(int ColCount READ colCount WRITE setColCount)
    Q_PROPERTY(int RowCount READ rowCount WRITE setRowCount)
    Q_PROPERTY(int FixedCols READ fixedCols WRITE setFixedCols)
    Q_PROPERTY(int FixedRows READ fixedRows WRITE setFixedRows)
    Q_PROPERTY(int DefaultColWidth READ defaultColWidth WRITE setDefaultColWidth)
    Q_PROPERTY(int DefaultRowHeight READ defaultRowHeight WRITE setDefaultRowHeight)
    Q_PROPERTY(int GridLineWidth READ gridLineWidth WRITE setGridLineWidth)
    Q_PROPERTY(int LeftCol READ leftCol WRITE setLeftCol)
    Q_PROPERTY(int TopRow READ topRow WRITE setTopRow)
    Q_PROPERTY(int Col READ col WRITE setCol)
    Q_PROPERTY(int Row READ row WRITE setRow)
    Q_PROPERTY(TScrollStyle ScrollBars READ scrollBars WRITE setScrollBars)
    Q_PROPERTY(TBorderStyle BorderStyle READ borderStyle WRITE setBorderStyle)
    Q_PROPERTY(QColor Color READ color WRITE setColor)
    Q_PROPERTY(QColor FixedColor READ fixedColor WRITE setFixedColor)
    Q_PROPERTY(QFont Font READ font WRITE setFont)
    Q_PROPERTY(QColor FontColor READ fontColor WRITE setFontColor)
    Q_PROPERTY(bool Ctl3D READ ctl3D WRITE setCtl3D)

public:
    enum TGridOption {
        goFixedVertLine = 0x0001,
        goFixedHorzLine = 0x0002,
        goVertLine = 0x0004,
        goHorzLine = 0x0008,
        goRangeSelect = 0x0010,
        goDrawFocusSelected = 0x0020,
        goRowSizing = 0x0040,
        goColSizing = 0x0080,
        goRowMoving = 0x0100,
        goColMoving = 0x0200,
        goEditing = 0x0400,
        goTabs = 0x0800,
        goRowSelect = 0x1000,
        goAlwaysShowEditor = 0x2000,
        goThumbTracking = 0x4000,
    };
    Q_DECLARE_FLAGS(TGridOptions, TGridOption)
    Q_FLAG(TGridOptions)

    enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };
    Q_ENUM(TScrollStyle)

    enum TBorderStyle { bsNone, bsSingle };
    Q_ENUM(TBorderStyle)

    enum TGridDrawStateFlag { gdSelected = 0x1, gdFocused = 0x2, gdFixed = 0x4 };
    Q_DECLARE_FLAGS(TGridDrawState, TGridDrawStateFlag)
    Q_FLAG(TGridDrawState)

    // What a mouse press or drag is doing.
    enum class GridState { Normal, Selecting, RowSizing, ColSizing, RowMoving, ColMoving };

    // The scroll bar notifications: line and page steps (up also means left), the thumb position
    // when it is released, the thumb track while it is dragged, the ends, the end of a scroll.
    enum class ScrollCode { LineUp, LineDown, PageUp, PageDown, ThumbPosition, ThumbTrack, Top, Bottom, EndScroll };

    explicit CellGrid(QWidget *parent = nullptr);
    ~CellGrid() override;

    TGridOptions cellOptions() const { return m_options; }
    void setCellOptions(TGridOptions options);

    int colCount() const { return m_h.count(); }
    void setColCount(int count);
    int rowCount() const { return m_v.count(); }
    void setRowCount(int count);
    int fixedCols() const { return m_h.fixedCount(); }
    void setFixedCols(int count);
    int fixedRows() const { return m_v.fixedCount(); }
    void setFixedRows(int count);
    int defaultColWidth() const { return m_defaultColWidth; }
    void setDefaultColWidth(int width);
    int defaultRowHeight() const { return m_defaultRowHeight; }
    // Gives every row this height. Virtual: a grid that keeps a requested row height across layout
    // changes takes it over, and the base's own layout calls this class's version by name.
    virtual void setDefaultRowHeight(int height);
    int gridLineWidth() const { return m_gridLineWidth; }
    void setGridLineWidth(int width);
    int colWidth(int col) const { return m_h.size(col); }
    void setColWidth(int col, int width);
    int rowHeight(int row) const { return m_v.size(row); }
    void setRowHeight(int row, int height);

    int leftCol() const { return m_h.first(); }
    void setLeftCol(int col);
    int topRow() const { return m_v.first(); }
    void setTopRow(int row);
    int col() const { return m_current.col; }
    void setCol(int col);
    int row() const { return m_current.row; }
    void setRow(int row);

    TScrollStyle scrollBars() const { return m_scrollBars; }
    void setScrollBars(TScrollStyle style);
    TBorderStyle borderStyle() const { return m_borderStyle; }
    void setBorderStyle(TBorderStyle style);
    QColor color() const { return m_color; }
    void setColor(const QColor &color);
    QColor fixedColor() const { return m_fixedColor; }
    void setFixedColor(const QColor &color);
    QColor fontColor() const { return m_fontColor; }
    void setFontColor(const QColor &color);
    // Fixed cells look raised: a light edge at their top and left.
    bool ctl3D() const { return m_ctl3D; }
    void setCtl3D(bool on);
    // Colours of the lines between data cells and between fixed cells.
    QColor lineColor() const { return QColor(192, 192, 192); }
    QColor fixedLineColor() const { return QColor(128, 128, 128); }

    int clientWidth() const;
    int clientHeight() const;
    // The rectangle of a cell in client coordinates, without its lines: the pixel column right of it
    // and the pixel row below it belong to the lines. Empty when the cell is out of view.
    QRect cellRect(int col, int row) const;
    GridCoord cellAt(const QPoint &pos) const;
    // Scrolled columns and rows that fit into the client area whole.
    int visibleColCount() const;
    int visibleRowCount() const;
    // The column border or row border under a point that a press would drag.
    struct SizingHit
    {
        GridState state = GridState::Normal;  // Normal, ColSizing or RowSizing
        int index = -1;
    };
    virtual SizingHit sizingAt(const QPoint &pos) const;
    GridState gridState() const { return m_state; }

    void invalidateCell(int col, int row);
    void invalidateCol(int col);
    void invalidateRow(int row);
    virtual void invalidateGrid();

    // Moves a column or row to another index; the moved-step runs afterwards.
    void moveColumn(int from, int to);
    void moveRow(int from, int to);

    GridCanvas &canvas() { return m_canvas; }
    // True while the viewport's paint event runs: steps that would change widgets wait for its end.
    bool isPainting() const { return m_painting; }
    // Whether the grid or a child of it, such as its editor, has the keyboard focus.
    bool hasFocusWithin() const;

protected:
    // The setter of a property that changes only the look: a new value is stored and the whole
    // grid repainted; the same value changes nothing.
    template <class T> void storeAndRepaint(T &member, const std::remove_reference_t<T> &value)
    {
        if (member == value)
            return;
        member = value;
        invalidateGrid();
    }

    // Painting: every visible cell with its rectangle and draw state.
    virtual void drawCell(QPainter &painter, int col, int row, const QRect &rect, TGridDrawState state);
    TGridDrawState drawStateOf(int col, int row) const;
    // Paints the cells of a region on any painter, as a paint event does on the viewport.
    void paintGrid(QPainter &painter, const QRegion &region);
    // What a paint event of the viewport paints: the cells of its region; failures are reported
    // by the paint event.
    virtual void paintRegion(QPainter &painter, const QRegion &region);
    void drawFixedBevel(QPainter &painter, const QRect &rect) const;
    // The lines right of and below a cell, painted before the cell itself.
    virtual void drawLines(QPainter &painter, int col, int row, const QRect &rect);
    // What a sizing or moving drag shows while it is under way.
    virtual void drawDragFeedback(QPainter &painter);

    // Steps a grid built on this one takes over.
    virtual void topLeftChanged() { }
    virtual void columnMoved(int from, int to);
    virtual void rowMoved(int from, int to);
    virtual void colWidthsChanged() { }
    virtual void rowHeightsChanged() { }
    virtual void fontChanged();
    // Asked before the current cell moves; false keeps it where it is.
    virtual bool selectCell(int col, int row);
    virtual void currentCellMoved(int oldCol, int oldRow);
    // A left press on a cell that starts no sizing or moving.
    virtual void clickCell(int col, int row, Qt::KeyboardModifiers modifiers);
    virtual void horizontalScroll(ScrollCode code, int position);
    virtual void verticalScroll(ScrollCode code, int position);
    virtual void updateHorizontalScrollBar();
    virtual void updateVerticalScrollBar();
    // One wheel notch; true when the grid used it.
    virtual bool wheelStep(bool down, Qt::KeyboardModifiers modifiers, const QPoint &pos);
    // Takes the focus when the grid may; true when the grid or its editor has it afterwards.
    virtual bool acquireFocus();
    // Arrows always reach the grid, Tab only with goTabs and without goRowSelect, Enter only
    // with goEditing; a key the grid does not take goes on to the window (Enter to its default button).
    virtual bool takesKey(const QKeyEvent &event) const;

    // Moves the current cell without asking selectCell; scrolls it into view when asked.
    void setCurrentCell(int col, int row, bool scrollIntoView);
    bool moveCurrent(int col, int row);
    // Scrolls so that a cell shows whole; a row of -1 leaves the rows alone.
    virtual void scrollIntoView(int col, int row);
    void updateScrollBars();
    bool acquireFocusEnabled() const { return m_acquireFocus; }
    void setAcquireFocusEnabled(bool on) { m_acquireFocus = on; }
    // Whether the column or row drag of the press under way has passed the drag threshold.
    bool dragStarted() const { return m_dragStarted; }
    // The column or row being moved, where it would land, and where the pointer is now.
    int dragIndex() const { return m_dragIndex; }
    int dragTarget() const { return m_dragTarget; }
    QPoint dragPos() const { return m_dragPos; }
    // The area the drag feedback covers now, to repaint it when the feedback changes.
    QRect feedbackRect() const;
    // A started column or row move passed a new pointer position (after the target was updated),
    // and the move ended; a richer grid shows its drag picture or scrolls at the edges here.
    virtual void dragMoved(const QPoint &pos);
    virtual void dragEnded();
    const GridAxis &horizontalAxis() const { return m_h; }
    const GridAxis &verticalAxis() const { return m_v; }

    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void paintArea(QPainter &painter, const QRect &area);
    void invalidateCurrent();
    QList<int> indicesIn(const GridAxis &axis, int from, int to, int clientExtent) const;
    void applyLineWidths();
    void applyScrollBarPolicy();
    void scrollBarAction(Qt::Orientation orientation, int action);
    void sliderMoved(Qt::Orientation orientation, int position);
    void sliderReleased(Qt::Orientation orientation);
    int firstToShow(const GridAxis &axis, int index, int clientExtent) const;

    // Columns and rows behave alike; these steps serve both, by the direction they run in.
    GridAxis &axis(Qt::Orientation orientation) { return orientation == Qt::Horizontal ? m_h : m_v; }
    const GridAxis &axis(Qt::Orientation orientation) const { return orientation == Qt::Horizontal ? m_h : m_v; }
    int &currentIndex(Qt::Orientation orientation)
    {
        return orientation == Qt::Horizontal ? m_current.col : m_current.row;
    }
    int clientExtent(Qt::Orientation orientation) const;
    QScrollBar *scrollBar(Qt::Orientation orientation) const;
    int visibleCount(Qt::Orientation orientation) const;
    void setCount(Qt::Orientation orientation, int count);
    void setFixedCount(Qt::Orientation orientation, int count);
    // False when from or to is out of range and nothing moved.
    bool moveEntry(Qt::Orientation orientation, int from, int to);
    void setFirst(Qt::Orientation orientation, int first);
    void showInView(Qt::Orientation orientation, int index);
    // Runs horizontalScroll or verticalScroll, as a grid built on this one may have taken them over.
    void scrollStep(Qt::Orientation orientation, ScrollCode code, int position);
    // What horizontalScroll and verticalScroll do here: scroll by whole columns or rows.
    void defaultScrollStep(Qt::Orientation orientation, ScrollCode code, int position);
    void updateAxisScrollBar(Qt::Orientation orientation);
    int moveTarget(const QPoint &pos) const;

    GridAxis m_h;
    GridAxis m_v;
    GridCoord m_current{0, 0};
    GridCoord m_anchor{0, 0};
    TGridOptions m_options;
    int m_defaultColWidth = 64;
    int m_defaultRowHeight = 24;
    int m_gridLineWidth = 1;
    TScrollStyle m_scrollBars = ssBoth;
    TBorderStyle m_borderStyle = bsSingle;
    QColor m_color;
    QColor m_fixedColor;
    QColor m_fontColor;
    bool m_ctl3D = true;
    GridCanvas m_canvas;
    bool m_acquireFocus = true;
    bool m_updatingScrollBars = false;
    bool m_painting = false;
    QString m_paintError;  // the failure last reported by a paint, until a paint succeeds
    int m_wheelDelta = 0;
    int m_wheelDeltaX = 0;

    // Mouse sizing and moving.
    GridState m_state = GridState::Normal;
    int m_dragIndex = -1;
    int m_dragTarget = -1;
    bool m_dragStarted = false;
    QPoint m_pressPos;
    QPoint m_dragPos;
    int m_sizingPos = 0;    // where the dragged border is now, in client coordinates
    int m_sizingStart = 0;  // the border's offset at the press
};

Q_DECLARE_OPERATORS_FOR_FLAGS(CellGrid::TGridOptions)
Q_DECLARE_OPERATORS_FOR_FLAGS(CellGrid::TGridDrawState)

}  // namespace kelvara
