#pragma once

#include "dbctrls/tborderdatetimepicker.h"
#include "dbctrls/tdbmemo.h"
#include "grid/cellpainter.h"
#include "grid/tdbgrid.h"
#include "grid/tgridcontrols.h"

#include <QImage>
#include <QPointer>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class QTimer;

namespace kelvara {

class Field;

// The data grid with the display options, sizing modes, painting and commands a records program
// offers its users. Its properties carry the names its stored settings use; each Part of its work
// lives in a class of its own, and this class routes the base grid's steps to them.
class TEnhancedGrid : public TDBGrid
{
    Q_OBJECT
    Q_PROPERTY(kelvara::TGridControls *Controls READ controls)
    Q_PROPERTY(QStringList PopupStrings READ popupStrings WRITE setPopupStrings)
    Q_PROPERTY(TMenuOptions MenuOptions READ menuOptions WRITE setMenuOptions)
    Q_PROPERTY(int DefaultRowHeight READ defaultRowHeight WRITE setDefaultRowHeight)
    Q_PROPERTY(bool RowSizingAllowed READ rowSizingAllowed WRITE setRowSizingAllowed)
    Q_PROPERTY(bool DisplayImages READ displayImages WRITE setDisplayImages)
    Q_PROPERTY(bool DisplayMemo READ displayMemo WRITE setDisplayMemo)
    Q_PROPERTY(bool DisplayBoolean READ displayBoolean WRITE setDisplayBoolean)
    Q_PROPERTY(bool DisplayDateTime READ displayDateTime WRITE setDisplayDateTime)
    Q_PROPERTY(bool GridAutoSize READ gridAutoSize WRITE setGridAutoSize)
    Q_PROPERTY(TAutoWidth GridAutoWidth READ gridAutoWidth WRITE setGridAutoWidth)
    Q_PROPERTY(bool GridAutoWidthOnResize READ gridAutoWidthOnResize WRITE setGridAutoWidthOnResize)
    Q_PROPERTY(bool FullSizeMemo READ fullSizeMemo WRITE setFullSizeMemo)
    Q_PROPERTY(bool Cells3D READ cells3D WRITE setCells3D)
    Q_PROPERTY(bool CellHints READ cellHints WRITE setCellHints)
    Q_PROPERTY(QColor RowColor1 READ rowColor1 WRITE setRowColor1)
    Q_PROPERTY(QColor RowColor2 READ rowColor2 WRITE setRowColor2)
    Q_PROPERTY(bool UseRowColors READ useRowColors WRITE setUseRowColors)
    Q_PROPERTY(bool MultiLineTitles READ multiLineTitles WRITE setMultiLineTitles)
    Q_PROPERTY(bool TitleCheck READ titleCheck WRITE setTitleCheck)
    Q_PROPERTY(QImage BackgroundPicture READ backgroundPicture WRITE setBackgroundPicture)
    Q_PROPERTY(bool UseBackgroundPicture READ useBackgroundPicture WRITE setUseBackgroundPicture)
    Q_PROPERTY(TExportDelimiter ExportDelimiter READ exportDelimiter WRITE setExportDelimiter)
    Q_PROPERTY(bool AllowAutoAppend READ allowAutoAppend WRITE setAllowAutoAppend)
    Q_PROPERTY(bool DrawFocusRect READ drawFocusRect WRITE setDrawFocusRect)
    Q_PROPERTY(bool EnterAsTab READ enterAsTab WRITE setEnterAsTab)
    Q_PROPERTY(QColor HighlightColor READ highlightColor WRITE setHighlightColor)
    Q_PROPERTY(QColor ImageHighlightColor READ imageHighlightColor WRITE setImageHighlightColor)
    Q_PROPERTY(QColor HighlightFontColor READ highlightFontColor WRITE setHighlightFontColor)
    Q_PROPERTY(QString ReportCaption READ reportCaption WRITE setReportCaption)
    Q_PROPERTY(bool HotTrack READ hotTrack WRITE setHotTrack)
    Q_PROPERTY(QColor HotTrackColor READ hotTrackColor WRITE setHotTrackColor)
    Q_PROPERTY(int LockedCols READ lockedCols WRITE setLockedCols)
    Q_PROPERTY(QFont LockedFont READ lockedFont WRITE setLockedFont)
    Q_PROPERTY(QColor LockedFontColor READ lockedFontColor WRITE setLockedFontColor)
    Q_PROPERTY(QColor LockedColor READ lockedColor WRITE setLockedColor)
    Q_PROPERTY(bool FlatCheckBox READ flatCheckBox WRITE setFlatCheckBox)
    Q_PROPERTY(TFlatCheckBoxType FlatCheckBoxType READ flatCheckBoxType WRITE setFlatCheckBoxType)
    Q_PROPERTY(TMemoViewType MemoViewType READ memoViewType WRITE setMemoViewType)
    Q_PROPERTY(QString RegistrySaveName READ registrySaveName WRITE setRegistrySaveName)
    Q_PROPERTY(bool ShowTextEllipsis READ showTextEllipsis WRITE setShowTextEllipsis)
    Q_PROPERTY(bool ShowTitleEllipsis READ showTitleEllipsis WRITE setShowTitleEllipsis)
    Q_PROPERTY(bool MultiLineRows READ multiLineRows WRITE setMultiLineRows)
    Q_PROPERTY(int LinesPerRow READ linesPerRow WRITE setLinesPerRow)
    Q_PROPERTY(bool SearchMode READ searchMode WRITE setSearchMode)
    Q_PROPERTY(bool ScrollHints READ scrollHints WRITE setScrollHints)
    Q_PROPERTY(bool UseBitmapDrawing READ useBitmapDrawing WRITE setUseBitmapDrawing)
    Q_PROPERTY(TMemoInplaceEditor MemoInplaceEditor READ memoInplaceEditor WRITE setMemoInplaceEditor)
    Q_PROPERTY(bool DisplayPopupEditors READ displayPopupEditors WRITE setDisplayPopupEditors)
    Q_PROPERTY(bool MaskedColumnDrag READ maskedColumnDrag WRITE setMaskedColumnDrag)
    Q_PROPERTY(bool ShowTitlesWhenInactive READ showTitlesWhenInactive WRITE setShowTitlesWhenInactive)
    Q_PROPERTY(bool BoldTitlesWhenCells3D READ boldTitlesWhenCells3D WRITE setBoldTitlesWhenCells3D)
    Q_PROPERTY(bool BoldIndicatorsWhenCells3D READ boldIndicatorsWhenCells3D WRITE setBoldIndicatorsWhenCells3D)
    Q_PROPERTY(bool ExtendedScroll READ extendedScroll WRITE setExtendedScroll)
    Q_PROPERTY(int ValueChecked READ valueChecked WRITE setValueChecked)
    Q_PROPERTY(int ValueUnChecked READ valueUnChecked WRITE setValueUnChecked)

public:
    enum TAutoWidth { awNone, awDefault, awProportional, awUniform, awWidestValue, awWidestValueTitle };
    Q_ENUM(TAutoWidth)
    enum TExportDelimiter { Pipe, Comma, Quote };
    Q_ENUM(TExportDelimiter)
    enum TFlatCheckBoxType { Normal, Bold };
    Q_ENUM(TFlatCheckBoxType)
    enum TMemoViewType { WordWrapOn, ScrollBarsOn };
    Q_ENUM(TMemoViewType)
    enum TMemoInplaceEditor { Memo, RichEdit };
    Q_ENUM(TMemoInplaceEditor)
    // Which items of the options menu show; member n is bit n.
    enum TMenuOption : quint32 {
        moAutoSize = 1u << 0,
        moAutoWidth = 1u << 1,
        moDisplayBoolean = 1u << 2,
        moDisplayImages = 1u << 3,
        moDisplayMemo = 1u << 4,
        moDisplayDateTime = 1u << 5,
        moShowTextEllipsis = 1u << 6,
        moShowTitleEllipsis = 1u << 7,
        moFullSizeMemo = 1u << 8,
        moAllowRowSizing = 1u << 9,
        moCellHints = 1u << 10,
        moMultiLineTitles = 1u << 11,
        moUseRowColors = 1u << 12,
        moFixedColumns = 1u << 13,
        moPrintGrid = 1u << 14,
        moPrintDataSet = 1u << 15,
        moExportGrid = 1u << 16,
        moSelectAll = 1u << 17,
        moUnSelectAll = 1u << 18,
        moQueryByForm = 1u << 19,
        moSortByForm = 1u << 20,
        moMemoInplaceEditors = 1u << 21,
        moCustomize = 1u << 22,
        moSearchMode = 1u << 23,
        moSaveLayout = 1u << 24,
        moLoadLayout = 1u << 25,
    };
    Q_DECLARE_FLAGS(TMenuOptions, TMenuOption)
    Q_FLAG(TMenuOptions)
    static TMenuOptions allMenuOptions() { return TMenuOptions::fromInt((1u << 26) - 1); }
    // The captions of the options menu's 37 items, in item order.
    static QStringList defaultPopupStrings();
    // The standard height of one line, for multi-line rows, the font rule and the title row.
    static constexpr int LineHeight = 17;

    // Events. The rule: a notification is a Qt signal, as the base grid's are (OnColEnter,
    // OnCellClick ...), with the grid as its sender; where the grid needs an answer from the
    // handler to go on, the event is a callback member the handler is assigned to: it returns
    // the answer or changes its reference arguments, and the grid goes on with what it left.
    using TAutoWidthEvent = std::function<void(QObject *sender, TAutoWidth &newValue)>;
    using TCellAttribute = std::function<void(QObject *sender, Field *field, QPainter &canvas, TGridDrawState state)>;
    using TIsBooleanField = std::function<bool(const Field &field)>;
    using TMouseWheelUpDownEvent
        = std::function<void(QObject *sender, Qt::KeyboardModifiers shift, const QPoint &mousePos, bool &handled)>;

    TAutoWidthEvent OnAutoWidthChange;
    TCellAttribute OnApplyCellAttribute;
    TIsBooleanField OnIsBooleanField;
    TMouseWheelUpDownEvent OnMouseWheelDown;
    TMouseWheelUpDownEvent OnMouseWheelUp;

Q_SIGNALS:
    // A right press; while one is connected, the press opens no PopupMenu.
    void OnRightClick();
    // The columns were set from the column chooser's confirmed choice.
    void OnCustomize();
    // The grid's own mouse events, in client coordinates.
    void OnMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
    void OnMouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
    void OnMouseMove(Qt::KeyboardModifiers shift, int x, int y);

public:
    explicit TEnhancedGrid(QWidget *parent = nullptr);
    ~TEnhancedGrid() override;

    // Stored properties are applied between these two calls; loaded() then runs the steps that
    // need all of them (the hover colour, the column-enter step, hiding the hosted controls).
    void beginLoading();
    void loaded();
    bool isLoading() const { return m_loading; }

    TGridControls *controls() const { return m_controls.get(); }
    void setControls(const TGridControls &controls);
    QStringList popupStrings() const { return m_popupStrings; }
    void setPopupStrings(const QStringList &strings);
    TMenuOptions menuOptions() const { return m_menuOptions; }
    void setMenuOptions(TMenuOptions options);

    // Reads the base's row height; writing sets the height the grid keeps across layout changes.
    void setDefaultRowHeight(int height) override;
    int requestedRowHeight() const;
    bool rowSizingAllowed() const;
    void setRowSizingAllowed(bool on);
    bool displayImages() const { return m_display.displayImages; }
    void setDisplayImages(bool on);
    bool displayMemo() const { return m_display.displayMemo; }
    void setDisplayMemo(bool on);
    bool displayBoolean() const { return m_display.displayBoolean; }
    void setDisplayBoolean(bool on);
    bool displayDateTime() const { return m_display.displayDateTime; }
    void setDisplayDateTime(bool on);
    bool gridAutoSize() const;
    void setGridAutoSize(bool on);
    TAutoWidth gridAutoWidth() const;
    void setGridAutoWidth(TAutoWidth mode);
    bool gridAutoWidthOnResize() const;
    void setGridAutoWidthOnResize(bool on);
    bool fullSizeMemo() const;
    void setFullSizeMemo(bool on);
    bool cells3D() const { return m_display.cells3D; }
    void setCells3D(bool on) { storeAndRepaint(m_display.cells3D, on); }
    bool cellHints() const { return m_cellHints; }
    void setCellHints(bool on) { storeAndRepaint(m_cellHints, on); }
    QColor rowColor1() const { return m_display.rowColor1; }
    void setRowColor1(const QColor &color) { storeAndRepaint(m_display.rowColor1, color); }
    QColor rowColor2() const { return m_display.rowColor2; }
    void setRowColor2(const QColor &color) { storeAndRepaint(m_display.rowColor2, color); }
    bool useRowColors() const { return m_display.useRowColors; }
    void setUseRowColors(bool on);
    bool multiLineTitles() const { return m_display.multiLineTitles; }
    void setMultiLineTitles(bool on);
    bool titleCheck() const { return m_display.titleCheck; }
    void setTitleCheck(bool on) { storeAndRepaint(m_display.titleCheck, on); }
    QImage backgroundPicture() const { return m_display.backgroundPicture; }
    void setBackgroundPicture(const QImage &picture);
    bool useBackgroundPicture() const { return m_display.useBackgroundPicture; }
    void setUseBackgroundPicture(bool on);
    TExportDelimiter exportDelimiter() const { return m_exportDelimiter; }
    void setExportDelimiter(TExportDelimiter delimiter) { m_exportDelimiter = delimiter; }
    bool allowAutoAppend() const { return m_allowAutoAppend; }
    void setAllowAutoAppend(bool on) { storeAndRepaint(m_allowAutoAppend, on); }
    bool drawFocusRect() const { return m_display.drawFocusRect; }
    void setDrawFocusRect(bool on) { storeAndRepaint(m_display.drawFocusRect, on); }
    bool enterAsTab() const { return m_enterAsTab; }
    void setEnterAsTab(bool on) { m_enterAsTab = on; }
    QColor highlightColor() const { return m_display.highlightColor; }
    void setHighlightColor(const QColor &color) { storeAndRepaint(m_display.highlightColor, color); }
    QColor imageHighlightColor() const { return m_display.imageHighlightColor; }
    void setImageHighlightColor(const QColor &color) { storeAndRepaint(m_display.imageHighlightColor, color); }
    QColor highlightFontColor() const { return m_display.highlightFontColor; }
    void setHighlightFontColor(const QColor &color) { storeAndRepaint(m_display.highlightFontColor, color); }
    QString reportCaption() const { return m_reportCaption; }
    void setReportCaption(const QString &caption) { m_reportCaption = caption; }
    bool hotTrack() const { return m_hotTrack; }
    void setHotTrack(bool on) { m_hotTrack = on; }
    QColor hotTrackColor() const { return m_hotTrackColor; }
    void setHotTrackColor(const QColor &color) { storeAndRepaint(m_hotTrackColor, color); }
    int lockedCols() const { return m_lockedCols; }
    void setLockedCols(int count);
    QFont lockedFont() const { return m_lockedFont; }
    void setLockedFont(const QFont &font);
    QColor lockedFontColor() const { return m_lockedFontColor; }
    void setLockedFontColor(const QColor &color);
    QColor lockedColor() const { return m_lockedColor; }
    void setLockedColor(const QColor &color);
    bool flatCheckBox() const { return m_display.flatCheckBox; }
    void setFlatCheckBox(bool on) { storeAndRepaint(m_display.flatCheckBox, on); }
    TFlatCheckBoxType flatCheckBoxType() const { return m_display.boldCheckBox ? Bold : Normal; }
    void setFlatCheckBoxType(TFlatCheckBoxType type) { storeAndRepaint(m_display.boldCheckBox, type == Bold); }
    TMemoViewType memoViewType() const { return m_memoViewType; }
    void setMemoViewType(TMemoViewType type) { storeAndRepaint(m_memoViewType, type); }
    QString registrySaveName() const { return m_registrySaveName; }
    void setRegistrySaveName(const QString &name) { m_registrySaveName = name; }
    bool showTextEllipsis() const { return m_display.showTextEllipsis; }
    void setShowTextEllipsis(bool on) { storeAndRepaint(m_display.showTextEllipsis, on); }
    bool showTitleEllipsis() const { return m_display.showTitleEllipsis; }
    void setShowTitleEllipsis(bool on) { storeAndRepaint(m_display.showTitleEllipsis, on); }
    bool multiLineRows() const;
    void setMultiLineRows(bool on);
    int linesPerRow() const;
    void setLinesPerRow(int lines);
    bool searchMode() const { return m_searchMode; }
    void setSearchMode(bool on);
    bool scrollHints() const { return m_scrollHints; }
    void setScrollHints(bool on) { storeAndRepaint(m_scrollHints, on); }
    bool useBitmapDrawing() const { return m_display.useBitmapDrawing; }
    void setUseBitmapDrawing(bool on) { storeAndRepaint(m_display.useBitmapDrawing, on); }
    TMemoInplaceEditor memoInplaceEditor() const { return m_memoInplaceEditor; }
    void setMemoInplaceEditor(TMemoInplaceEditor editor) { storeAndRepaint(m_memoInplaceEditor, editor); }
    bool displayPopupEditors() const { return m_displayPopupEditors; }
    void setDisplayPopupEditors(bool on) { storeAndRepaint(m_displayPopupEditors, on); }
    bool maskedColumnDrag() const { return m_maskedColumnDrag; }
    void setMaskedColumnDrag(bool on) { m_maskedColumnDrag = on; }
    bool showTitlesWhenInactive() const { return m_display.showTitlesWhenInactive; }
    void setShowTitlesWhenInactive(bool on) { storeAndRepaint(m_display.showTitlesWhenInactive, on); }
    bool boldTitlesWhenCells3D() const { return m_display.boldTitlesWhenCells3D; }
    void setBoldTitlesWhenCells3D(bool on) { storeAndRepaint(m_display.boldTitlesWhenCells3D, on); }
    bool boldIndicatorsWhenCells3D() const { return m_display.boldIndicatorsWhenCells3D; }
    void setBoldIndicatorsWhenCells3D(bool on) { storeAndRepaint(m_display.boldIndicatorsWhenCells3D, on); }
    bool extendedScroll() const { return m_extendedScroll; }
    void setExtendedScroll(bool on) { storeAndRepaint(m_extendedScroll, on); }
    int valueChecked() const { return m_valueChecked; }
    void setValueChecked(int value) { m_valueChecked = value; }
    int valueUnChecked() const { return m_display.valueUnChecked; }
    void setValueUnChecked(int value) { m_display.valueUnChecked = value; }

    // Whether a field shows and toggles as a check box: OnIsBooleanField's answer, else its type.
    bool isBooleanField(const Field &field) const;
    // Sets every column's font and colour and the fixed columns from Cells3D, LockedCols,
    // LockedFont and LockedColor.
    void applyLockedColumns();
    // Hides a shown hosted control when the record is no longer edited, keeps goRowSizing while
    // rows may be sized, and repaints the whole grid.
    void invalidateGrid() override;
    // The hidden editors placed over the focused cell; nullptr until first needed.
    TDBMemo *memoEditor() const;
    TBorderDateTimePicker *datePicker() const;

protected:
    // Painting.
    void drawCell(QPainter &painter, int col, int row, const QRect &rect, TGridDrawState state) override;
    void drawColumnCell(QPainter &painter, const QRect &rect, int dataCol, TColumn *column,
                        TGridDrawState state) override;
    void paintRegion(QPainter &painter, const QRegion &region) override;
    void dataSetScrolled(int distance) override;
    void horizontalScroll(ScrollCode code, int position) override;

    // Sizing (handed to GridSizer in enhancedgridsizing.cpp).
    void layoutChanged() override;
    void columnAttributesApplied() override;
    void rowHeightsChanged() override;
    void fontChanged() override;
    void resizeEvent(QResizeEvent *event) override;

    // Current cell and focus: the hidden editors follow the focused cell.
    void currentCellMoved(int oldCol, int oldRow) override;
    void topLeftChanged() override;
    void colWidthsChanged() override;
    void colEnter() override;
    void focusInEvent(QFocusEvent *event) override;

    // Hot tracking.
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;

    // -- In-place editing (handed to CellEditors in enhancedgridediting.cpp) and keys (enhancedgridkeys.cpp)
public:
    // Places a control of the grid's form over a cell, puts the record into edit state and gives
    // the control the focus; the grid then watches it until it is released.
    virtual void ShowEditControl(QWidget *control, int col, int row);
    // Gives a hosted control back to the form, hidden; nothing without one.
    void releaseHostedControl();
    QWidget *hostedControl() const;
    // The memo or rich-text editor over the current cell, bound to its field, with all text
    // selected or the caret after the last character.
    void openMemoEditor(bool selectAll);
    // The date picker over the current cell, shown and focused.
    void openDatePicker();
    // The field viewer window on the selected field, modally.
    void openFieldViewer();
    // What Space, Enter (select-all) and F2 do to the selected cell.
    void activateCell(bool selectAll);
    class TDBRichEdit *richEditor() const;

protected:
    bool canEditShow() const override;
    void showEditor() override;
    TInplaceEdit *createEditor() override;
    void cellClick(TColumn *column) override;
    void editingChanged() override;
    bool keyDown(QKeyEvent *event) override;
    void keyPress(QKeyEvent *event) override;
    void keyUp(QKeyEvent *event) override;

private:
    void makeEditors();
    void runClipboardCommand();

protected:
    // -- Mouse, column drag, cell hints and title search (enhancedgridmouse.cpp)
    Q_PROPERTY(QMenu *PopupMenu READ popupMenu WRITE setPopupMenu)
public:
    // The pop-up menu a right press opens while nothing is connected to OnRightClick; not owned
    // by the grid.
    QMenu *popupMenu() const { return m_popupMenu; }
    void setPopupMenu(QMenu *menu) { m_popupMenu = menu; }
    // FixedCols back to the indicator column alone while the record set is open; locked columns
    // stay released until they are applied again.
    virtual void ResetFixedCols();
    // Paints the title of grid column col as its drag picture shows it.
    virtual void PaintColumnTitle(QPainter &canvas, int col, TGridDrawState state, const QRect &rect);
    // Makes the drag picture of grid column col's title (dragImage()).
    virtual void CreateDragImage(int col);
    QPixmap dragImage() const { return m_dragImage; }
    void hideCellHint();
    void hideSearchBox();
    // The parts of the mouse handling; nullptr until first needed.
    class ColumnDrag *columnDrag() const { return m_columnDrag; }
    class CellHints *cellHintWindow() const { return m_cellHint; }
    class TitleSearch *titleSearch() const { return m_titleSearch; }

Q_SIGNALS:
    // A release on the top-left cell asks for the options menu at a point on the screen.
    void optionsMenuRequested(QPoint globalPos);

protected:
    virtual void showOptionsMenu(const QPoint &globalPos);
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void titleClick(TColumn *column) override;
    void dblClick() override;
    // The cell-hint routine for a pointer position in client coordinates.
    void cellHint(const QPoint &pos);

private:
    void mouseDown(QMouseEvent *event);
    void mouseUp(QMouseEvent *event);
    bool startsColumnDrag(const QMouseEvent &event) const;
    void columnDragMoved(const QPoint &pos);
    void dropColumn(int source, const QPoint &pos);
    class ColumnDrag &ensureColumnDrag();
    class CellHints &ensureCellHints();
    bool cellEditorActive() const;

public:
    // -- Options menu and commands (enhancedgridcommands.cpp)
    // The menu a release on the top-left cell opens; built with the grid.
    class OptionsMenu *optionsMenu() const { return m_optionsMenu; }
    // Takes a number of locked columns as the menu's choice does: stored without a repaint of
    // its own, then applied.
    void chooseLockedCols(int count);
    // The printouts in the preview, captioned ReportCaption or "Data Printout".
    void printGrid();
    void printDataSet();
    // ExportToFile to the default file.
    void exportGrid();
    // Writes every record's column values, joined by ExportDelimiter, to the file (the default
    // file when the name is empty) and tells the user where.
    virtual void ExportToFile(const QString &fileName);
    QString defaultExportFileName() const;
    void selectAll();
    void unselectAll();
    void queryByForm();
    void sortByForm();
    // The column chooser on the record set's fields; the columns follow what the user confirmed.
    void customize();
    // The column layout under "\Software\" + RegistrySaveName in the per-user settings store.
    void saveLayout();
    void loadLayout();

private:
    // The record set a command works on; fails while it is closed.
    Table &commandTable() const;
    void printCommand(bool wholeGrid);
    void formCommand(bool sort);
    QString layoutSaveName();
    class OptionsMenu *m_optionsMenu = nullptr;  // a child of the grid

protected:
    // -- Scrolling and wheel (enhancedgridscrolling.cpp)
    void verticalScroll(ScrollCode code, int position) override;
    // Asks OnMouseWheelDown or OnMouseWheelUp first; a step they leave unhandled moves one record.
    bool wheelStep(bool down, Qt::KeyboardModifiers modifiers, const QPoint &pos) override;
    // Shows the record position beside the pointer while the left button is down, else hides it.
    void showScrollHint();

private:
    void runColumnEnter();
    void makeSizer();
    bool windowExists() const;
    void placeHiddenEditors();
    CellPaintContext paintContext() const;

    std::unique_ptr<TGridControls> m_controls;
    QStringList m_popupStrings;
    TMenuOptions m_menuOptions = allMenuOptions();
    bool m_loading = false;

    // Sizing: the modes and the kept row height live in the sizer.
    class GridSizer *m_sizer = nullptr;  // a child of the grid, made at the start of the constructor

    // Display state.
    GridDisplayOptions m_display;  // the options painting reads; the cell painter reads them here
    bool m_cellHints = false;
    TExportDelimiter m_exportDelimiter = Pipe;
    bool m_allowAutoAppend = true;
    bool m_enterAsTab = false;
    QString m_reportCaption;
    bool m_hotTrack = false;
    QColor m_hotTrackColor;
    QColor m_hoverColor;  // the font colour the grid had when it finished loading
    int m_lockedCols = 0;
    QFont m_lockedFont;
    QColor m_lockedFontColor;
    QColor m_lockedColor;
    TMemoViewType m_memoViewType = WordWrapOn;
    QString m_registrySaveName;
    bool m_searchMode = false;
    bool m_scrollHints = false;
    TMemoInplaceEditor m_memoInplaceEditor = Memo;
    bool m_displayPopupEditors = false;
    bool m_maskedColumnDrag = true;
    bool m_extendedScroll = true;
    int m_valueChecked = 1;

    std::optional<QColor> m_pendingColor;    // a colour the frame painter asked of the grid, set after the paint
    QImage m_backgroundCopy;                 // BackgroundPicture as painting uses it, made at the first paint
    std::unique_ptr<CellPainter> m_painter;  // its context filled for each paint
    CellPainter::CellAttributeHook m_attributeHook;  // OnApplyCellAttribute as the painter calls it, per paint

    // -- In-place editing
    class CellEditors *m_editors = nullptr;  // a child of the grid, made at the start of the constructor
    // -- State of the mouse, column drag, cell hints and title search
    QPointer<QMenu> m_popupMenu;
    QPixmap m_dragImage;                       // the drag image list: one picture of the dragged title
    class ColumnDrag *m_columnDrag = nullptr;  // children of the grid, made on first need
    class CellHints *m_cellHint = nullptr;
    class TitleSearch *m_titleSearch = nullptr;
    // -- State of scrolling and the wheel
    QPointer<class ScrollHintWindow> m_scrollHint;  // made at the first hint, owned as a child
};

Q_DECLARE_OPERATORS_FOR_FLAGS(TEnhancedGrid::TMenuOptions)

}  // namespace kelvara
