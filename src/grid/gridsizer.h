#pragma once

#include "grid/tenhancedgrid.h"

#include <QList>
#include <QObject>

#include <functional>

namespace kelvara {

class Table;
class TColumn;

// The enhanced grid's column and row sizing: the width modes and automatic sizing, full-size memo
// columns, the row height the grid keeps across layout changes, the title row, multi-line titles
// and rows, rows sized by the user, and the reactions to resizing and font changes. The grid's
// sizing properties and steps hand their work here, and the modes are kept here, since each one
// switches others off; the arithmetic and the measuring of values are in gridsizing.h.
class GridSizer : public QObject
{
    Q_OBJECT

public:
    using TAutoWidth = TEnhancedGrid::TAutoWidth;

    // The grid's steps the sizer runs that only the grid may: the base grid's own versions of the
    // steps the enhanced grid takes over, and what it keeps to itself.
    struct Host
    {
        // The record set while the data link is active, else nullptr.
        std::function<Table *()> activeTable;
        // Whether the grid's window has been created.
        std::function<bool()> windowExists;
        // The base grid's layout step, run now or when updates are unlocked.
        std::function<void()> relayout;
        // The base grid's default row height, given to every row.
        std::function<void(int height)> setBaseRowHeight;
        // The base grid's step after row heights changed: it fits its rows to them.
        std::function<void()> baseRowHeightsChanged;
    };

    // The sizer is the grid's child object.
    GridSizer(TEnhancedGrid &grid, Host host);

    // The modes, read and written by the grid's properties of the same names.
    bool autoSize() const { return m_autoSize; }
    void setAutoSize(bool on);
    TAutoWidth autoWidth() const { return m_autoWidth; }
    void setAutoWidth(TAutoWidth mode);
    bool autoWidthOnResize() const { return m_autoWidthOnResize; }
    void setAutoWidthOnResize(bool on);
    bool fullSizeMemo() const { return m_fullSizeMemo; }
    void setFullSizeMemo(bool on);
    bool multiLineRows() const { return m_multiLineRows; }
    void setMultiLineRows(bool on);
    int linesPerRow() const { return m_linesPerRow; }
    void setLinesPerRow(int lines);
    bool rowSizingAllowed() const { return m_rowSizingAllowed; }
    void setRowSizingAllowed(bool on);
    // The row height the grid keeps across layout changes; 0 gives the base's current one.
    int requestedRowHeight() const { return m_requestedRowHeight; }
    void setDefaultRowHeight(int height);
    // Fits the title row to MultiLineTitles (kept with the display options, which painting reads).
    void applyMultiLineTitles();

    // Sizes the columns again by the modes in force, after the columns changed.
    void reapplyModes();
    // Drops automatic sizing and the width mode, sizing nothing: the widths stay as they are.
    void dropWidthModes();
    // Puts goRowSizing back while rows may be sized; other steps set the cell options without it.
    void keepRowSizing();

    // The grid's steps, run after the base grid's own.
    void layoutChanged();
    void resized();
    void rowHeightsChanged();
    void fontChanged();

private:
    // The resize handling run for the grid's current size, when its window exists and a row
    // height has been requested (the layout change's and the row sizing's nudge).
    void resizeNudge();
    void titleRowStep();
    void multiLineTitleStep();
    void applyAutoWidthMode(TAutoWidth mode);
    void autoSizeColumns();
    void applyMemoWidths();
    void setColumnWidth(TColumn *column, int width);
    // Widest-value measurement of the given columns with their start widths, in one walk.
    void measureColumns(const QList<TColumn *> &measured, const QList<int> &startWidths);
    QList<TColumn *> visibleColumns() const;

    TEnhancedGrid &m_grid;
    Host m_host;
    int m_requestedRowHeight = 0;
    int m_titleHeightCache = 0;
    quint16 m_layoutGuard = 0;
    bool m_busy = false;
    bool m_rowSizingAllowed = false;
    bool m_autoSize = false;
    TAutoWidth m_autoWidth = TEnhancedGrid::awNone;
    bool m_autoWidthOnResize = true;
    bool m_fullSizeMemo = false;
    bool m_multiLineRows = false;
    int m_linesPerRow = 1;
};

}  // namespace kelvara
