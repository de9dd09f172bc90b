#pragma once

#include "dbctrls/tborderdatetimepicker.h"
#include "dbctrls/tdbmemo.h"

#include <QObject>
#include <QPointer>

#include <functional>

class QEvent;
class QWidget;

namespace kelvara {

class EditorHook;
class Field;
class Table;
class TColumn;
class TDBRichEdit;
class TEnhancedGrid;
class TInplaceEdit;

// The enhanced grid's in-place editing: which editor a cell gets, the column-enter step, the memo,
// rich-text and date editors laid over the cell, hosted controls of the form, and the cell click
// that toggles check boxes and opens an editor on a second click. The grid hands its editing steps
// here; what the grid's public face does not offer comes through the host.
class CellEditors : public QObject
{
    Q_OBJECT

public:
    // The grid's steps the editors run that only the grid may: the base grid's own steps and the
    // grid's virtual ones, and what it keeps to itself.
    struct Host
    {
        // The base grid's column-enter step, which raises OnColEnter.
        std::function<void()> columnEntered;
        // Makes a cell current, scrolled into view.
        std::function<void(int col, int row)> moveTo;
        // Hides the base grid's text editor.
        std::function<void()> hideTextEditor;
        // The base grid's modify check for the current cell; it puts the record into edit state.
        std::function<bool()> canModifyCell;
        // The grid's cell-click step and double-click step, as the mouse runs them.
        std::function<void(TColumn *column)> clickCell;
        std::function<void()> doubleClick;
        // The record set while the data link is active, else nullptr.
        std::function<Table *()> activeTable;
        // Whether the grid's window has been created.
        std::function<bool()> windowExists;
    };

    // The editors are the grid's child object; the editor widgets live on the grid's parent.
    CellEditors(TEnhancedGrid &grid, Host host);

    // The column-enter step: the current cell to the first scrollable column, a column selected,
    // goEditing off for cells with editors of their own, OnColEnter raised.
    void enterColumn();
    // The edit-show test: whether the base text editor or a hosted control may show.
    bool canEditShow() const;
    // Shows the hosted control of the current cell instead of the text editor; false when the
    // text editor is to show.
    bool showOwnEditor();
    // The base text editor in the grid's edit colour.
    void colourTextEditor(TInplaceEdit *editor) const;
    // The cell click on a data cell; false when the grid is not editable and the click ends here.
    bool cellClick(TColumn *column);
    // The double click on a cell: with DisplayPopupEditors, memos and pictures open in the field viewer.
    void cellDoubleClick();
    // A hosted control left over a record no longer edited is released.
    void editingChanged();

    void showEditControl(QWidget *control, int col, int row);
    void releaseHostedControl();
    QWidget *hostedControl() const { return m_hostedControl; }
    void openMemoEditor(bool selectAll);
    void openDatePicker();
    void openFieldViewer();
    void activateCell(bool selectAll);
    // Places the editors, hidden, over the focused cell, so that opening one shows it in place.
    void placeHiddenEditors();

    TDBMemo *memoEditor() const { return m_memoEditor; }
    TDBRichEdit *richEditor() const;
    TBorderDateTimePicker *datePicker() const { return m_datePicker; }

private:
    enum class EditShow { No, Yes, Hosted };
    EditShow editShowAnswer(QWidget **control = nullptr) const;
    QWidget *controlFor(const Field &field) const;
    void placeOverCurrentCell(QWidget *editor);
    void prepareMemoEditor();
    void hookEditor(QWidget *editor);
    bool memoEditorEvent(QWidget *editor, QEvent *event);
    bool datePickerEvent(QEvent *event);
    bool hostedControlEvent(QObject *watched, QEvent *event);
    void datePickerChanged();
    void closeMemoEditor(bool cancelRecord);
    void closeDatePicker(bool cancelRecord);
    void focusGrid();
    void toggleBoolean(Field &field);
    void countClick(bool memo);

    TEnhancedGrid &m_grid;
    Host m_host;
    QPointer<TDBMemo> m_memoEditor;
    QPointer<TBorderDateTimePicker> m_datePicker;
    QPointer<QWidget> m_richEditor;  // a TDBRichEdit once MemoInplaceEditor RichEdit needs it
    QPointer<QWidget> m_hostedControl;
    bool m_controlShown = false;        // the edit-show test last showed a hosted control
    bool m_placingControl = false;      // showEditControl is running: a relayout it causes must not re-enter
    QPointer<EditorHook> m_hostedHook;  // watches the hosted control and the grid's size
};

}  // namespace kelvara
