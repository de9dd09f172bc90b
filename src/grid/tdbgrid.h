#pragma once

#include "grid/cellgrid.h"
#include "grid/tbookmarklist.h"
#include "grid/tcolumn.h"
#include "grid/tdbgridcolumns.h"
#include "grid/tgriddatalink.h"
#include "store/bookmark.h"
#include "store/datasource.h"

#include <QHash>
#include <QPainter>
#include <QPointer>

#include <memory>

namespace kelvara {

class Field;
class Table;
class TInplaceEdit;

// A cell grid bound to a record set through a data source: a row per visible record, a column per
// entry of Columns, a title row and an indicator column, in-place editing and multi-selection.
// Its painting, layout, input and editing steps are virtual so that a richer grid can take them over.
class TDBGrid : public CellGrid
{
    Q_OBJECT
    Q_PROPERTY(TDBGridOptions Options READ options WRITE setOptions)
    Q_PROPERTY(kelvara::DataSource *DataSource READ dataSource WRITE setDataSource)
    Q_PROPERTY(bool ReadOnly READ readOnly WRITE setReadOnly)
    Q_PROPERTY(kelvara::TDBGridColumns *Columns READ columns CONSTANT)
    Q_PROPERTY(bool DefaultDrawing READ defaultDrawing WRITE setDefaultDrawing)
    Q_PROPERTY(QFont TitleFont READ titleFont WRITE setTitleFont)
    Q_PROPERTY(QColor TitleFontColor READ titleFontColor WRITE setTitleFontColor)
    Q_PROPERTY(QColor EditColor READ editColor WRITE setEditColor)
    Q_PROPERTY(int SelectedIndex READ selectedIndex WRITE setSelectedIndex)

public:
    enum TDBGridOption {
        dgEditing = 0x0001,
        dgAlwaysShowEditor = 0x0002,
        dgTitles = 0x0004,
        dgIndicator = 0x0008,
        dgColumnResize = 0x0010,
        dgColLines = 0x0020,
        dgRowLines = 0x0040,
        dgTabs = 0x0080,
        dgRowSelect = 0x0100,
        dgAlwaysShowSelection = 0x0200,
        dgConfirmDelete = 0x0400,
        dgCancelOnExit = 0x0800,
        dgMultiSelect = 0x1000,
    };
    Q_DECLARE_FLAGS(TDBGridOptions, TDBGridOption)
    Q_FLAG(TDBGridOptions)

    static constexpr int IndicatorWidth = 11;
    static TDBGridOptions defaultOptions();
    // The cell options a set of grid options stands for; goRowSizing is never among them.
    static TGridOptions cellOptionsFor(TDBGridOptions options);

    explicit TDBGrid(QWidget *parent = nullptr);
    ~TDBGrid() override;

    TDBGridOptions options() const { return m_options; }
    void setOptions(TDBGridOptions options);
    DataSource *dataSource() const { return m_dataSource; }
    void setDataSource(DataSource *source);
    TGridDataLink &dataLink() { return *m_link; }
    const TGridDataLink &dataLink() const { return *m_link; }
    // The record set of the data source, open or not; nullptr without one.
    Table *dataSet() const;
    bool readOnly() const { return m_readOnly; }
    void setReadOnly(bool readOnly);
    TDBGridColumns *columns() const { return m_columns.get(); }
    bool defaultDrawing() const { return m_defaultDrawing; }
    void setDefaultDrawing(bool on);
    QFont titleFont() const { return m_titleFont; }
    void setTitleFont(const QFont &font);
    QColor titleFontColor() const { return m_titleFontColor; }
    void setTitleFontColor(const QColor &color);
    QColor editColor() const { return m_editColor; }
    void setEditColor(const QColor &color);

    // The column-to-field map: an entry per data column, nullptr where no field matches.
    int fieldCount() const { return int(m_fieldMap.size()); }
    Field *fields(int dataCol) const;

    int titleOffset() const { return (m_options & dgTitles) ? 1 : 0; }
    int indicatorOffset() const { return (m_options & dgIndicator) ? 1 : 0; }
    int rawToDataColumn(int col) const { return col - indicatorOffset(); }
    int dataToRawColumn(int dataCol) const { return dataCol + indicatorOffset(); }
    // Data rows in view, one per buffered record.
    int dataRowCount() const { return rowCount() - titleOffset(); }

    int selectedIndex() const;
    void setSelectedIndex(int dataCol);
    TColumn *selectedColumn() const;
    Field *selectedField() const;

    TBookmarkList &selectedRows() { return m_selectedRows; }
    const TBookmarkList &selectedRows() const { return m_selectedRows; }
    // The bookmark of the record shown in a data row; null when unknown or empty.
    Bookmark rowBookmark(int dataRow);
    bool isRowSelected(int dataRow);
    // Column borders of the title row and row borders of the indicator column, not the indicator's own.
    SizingHit sizingAt(const QPoint &pos) const override;

    // Not read-only, and the link is active and may change the record set.
    bool isEditable() const;
    bool editorMode() const { return m_editorMode; }
    void setEditorMode(bool on);
    TInplaceEdit *inplaceEditor() const { return m_editor.get(); }

    // Nestable; layout requested while locked runs once, at the last end.
    void beginUpdate();
    void endUpdate();
    bool updateLocked() const { return m_updateLock > 0; }
    // Holds the update lock for a scope, however the scope ends.
    class UpdateLock
    {
    public:
        explicit UpdateLock(TDBGrid &grid) : m_grid(grid) { m_grid.beginUpdate(); }
        ~UpdateLock() { m_grid.endUpdate(); }
        UpdateLock(const UpdateLock &) = delete;
        UpdateLock &operator=(const UpdateLock &) = delete;

    private:
        TDBGrid &m_grid;
    };

    // What the grid draws for a data cell: the field's display text aligned by the column, with the
    // painter's brush, font and pen as the grid set them.
    void defaultDrawColumnCell(QPainter &painter, const QRect &rect, int dataCol, TColumn *column,
                               TGridDrawState state);

Q_SIGNALS:
    void OnDrawColumnCell(QPainter *painter, const QRect &rect, int dataCol, kelvara::TColumn *column,
                          kelvara::CellGrid::TGridDrawState state);
    void OnCellClick(kelvara::TColumn *column);
    void OnTitleClick(kelvara::TColumn *column);
    void OnDblClick();
    void OnColEnter();
    void OnColExit();
    void OnColumnMoved(int fromIndex, int toIndex);

protected:
    // Painting.
    void drawCell(QPainter &painter, int col, int row, const QRect &rect, TGridDrawState state) override;
    virtual void drawColumnCell(QPainter &painter, const QRect &rect, int dataCol, TColumn *column,
                                TGridDrawState state);
    virtual void drawTitleCell(QPainter &painter, int dataCol, const QRect &rect, TGridDrawState state);
    virtual void drawIndicatorCell(QPainter &painter, int dataRow, const QRect &rect);
    virtual bool highlightCell(int col, int row, TGridDrawState state);

    // Layout: rebuilds the columns and the field map, sets the column count, the row heights from the
    // fonts and applies the column attributes between the two hooks. A grid that sizes rows or
    // columns itself adds its steps after the base's; relayout then fits the buffer, the scroll bars
    // and the editor to the result.
    virtual void layoutChanged();
    // Runs the layout step now, or at the last endUpdate while updates are locked.
    void relayout();
    virtual void columnAttributesAboutToApply() { }
    virtual void applyColumnAttributes();
    virtual void columnAttributesApplied() { }
    void colWidthsChanged() override;
    void rowHeightsChanged() override;
    void fontChanged() override;
    void columnMoved(int from, int to) override;
    void topLeftChanged() override;

    // Columns and clicks.
    virtual void colEnter();
    virtual void colExit();
    virtual void titleClick(TColumn *column);
    virtual void cellClick(TColumn *column);
    virtual void dblClick();

    // Notifications of the data link.
    virtual void linkActive(bool active);
    virtual void dataSetChanged();
    virtual void dataSetScrolled(int distance);
    virtual void editingChanged();
    virtual void recordChanged(Field *field);
    virtual void updateData();

    // In-place editing.
    virtual bool canEditShow() const;
    virtual bool canEditModify();
    virtual TInplaceEdit *createEditor();
    virtual void showEditor();
    virtual void hideEditor();
    virtual void updateEditor();
    // Where the editor goes (the current cell), what it shows, and writing or dropping its text.
    virtual QRect editorRect() const;
    virtual void loadEditor();
    virtual void writeEditor();
    virtual void discardEditor();

    // The record set while the link is active; nullptr otherwise.
    Table *activeTable() const;
    // Moves the record set by a number of records (an untouched new record is dropped on the
    // way); gives how many records the current one moved.
    int moveRecordsBy(int distance);
    // Moves one record down, appending a new record past the last one when the grid may.
    bool moveDownOrAppend();
    bool selectDataColumn(int dataCol);
    void updateRowCount();
    void updateActive();
    void invalidateDataRows();

    bool selectCell(int col, int row) override;
    void currentCellMoved(int oldCol, int oldRow) override;
    void scrollIntoView(int col, int row) override;
    void verticalScroll(ScrollCode code, int position) override;
    void updateVerticalScrollBar() override;
    bool wheelStep(bool down, Qt::KeyboardModifiers modifiers, const QPoint &pos) override;

    // Keys come in two steps, as the platform's key-down and character messages do: keyDown
    // handles moves and commands and gives true when the key is dealt with (accepted or left to the
    // window); otherwise keyPress takes the typed text into the editor.
    virtual bool keyDown(QKeyEvent *event);
    virtual void keyPress(QKeyEvent *event);
    virtual void keyUp(QKeyEvent *event);

    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    friend class TGridDataLink;
    friend class TInplaceEdit;
    friend class TColumn;
    friend class TColumnTitle;
    friend class TDBGridColumns;
    friend class TBookmarkList;

    void finishLayout();
    void columnChanged(TColumn *column, int change);
    void applyColumnWidth(TColumn *column);
    void ensureVisibleColumn();
    int firstDataColumn() const;
    int lastDataColumn() const;
    void enterKey();
    bool escapeKey();
    void deleteKey();
    void verticalMoveKey(int distance, bool shift);
    void tabKey(bool back);
    void selectRangeTo(int dataRow);
    void cancelOnExit(Qt::FocusReason reason);
    void dataSourceStateChanged();
    void trackTable();

    std::unique_ptr<TGridDataLink> m_link;
    std::unique_ptr<TDBGridColumns> m_columns;
    TBookmarkList m_selectedRows;
    QPointer<DataSource> m_dataSource;
    QPointer<Table> m_trackedTable;
    QList<QMetaObject::Connection> m_tableConnections;
    QList<Field *> m_fieldMap;
    TDBGridOptions m_options;
    bool m_readOnly = false;
    bool m_defaultDrawing = true;
    QFont m_titleFont;
    QColor m_titleFontColor;
    QColor m_editColor;
    int m_updateLock = 0;
    bool m_layoutPending = false;
    bool m_inLayout = false;
    bool m_syncingWidths = false;
    bool m_destroying = false;
    int m_fixedIndicator = 1;  // the indicator columns that FixedCols counted at the last layout

    // A child of the viewport that the grid also owns itself, so that it goes in the grid's
    // destructor while the grid is whole: on losing the focus it calls back into the grid.
    std::unique_ptr<TInplaceEdit> m_editor;
    bool m_editorMode = false;
    Field *m_editorField = nullptr;  // the field the editor's text belongs to
};

Q_DECLARE_OPERATORS_FOR_FLAGS(TDBGrid::TDBGridOptions)

}  // namespace kelvara
