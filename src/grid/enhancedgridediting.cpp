// The enhanced grid's in-place editing: each step goes to the cell editors, which reach back for
// the base grid's own steps through their host.

#include "grid/celleditors.h"
#include "grid/tenhancedgrid.h"
#include "grid/tinplaceedit.h"

namespace kelvara {

void TEnhancedGrid::makeEditors()
{
    CellEditors::Host host;
    // The base's step raises OnColEnter.
    host.columnEntered = [this] { TDBGrid::colEnter(); };
    host.moveTo = [this](int col, int row) { setCurrentCell(col, row, true); };
    host.hideTextEditor = [this] { TDBGrid::hideEditor(); };
    host.canModifyCell = [this] { return canEditModify(); };
    host.clickCell = [this](TColumn *column) { cellClick(column); };
    host.doubleClick = [this] { dblClick(); };
    host.activeTable = [this] { return activeTable(); };
    host.windowExists = [this] { return windowExists(); };
    m_editors = new CellEditors(*this, std::move(host));
}

TDBMemo *TEnhancedGrid::memoEditor() const
{
    return m_editors->memoEditor();
}

TBorderDateTimePicker *TEnhancedGrid::datePicker() const
{
    return m_editors->datePicker();
}

TDBRichEdit *TEnhancedGrid::richEditor() const
{
    return m_editors->richEditor();
}

void TEnhancedGrid::runColumnEnter()
{
    colEnter();
}

void TEnhancedGrid::colEnter()
{
    m_editors->enterColumn();
}

void TEnhancedGrid::placeHiddenEditors()
{
    m_editors->placeHiddenEditors();
}

bool TEnhancedGrid::canEditShow() const
{
    return m_editors->canEditShow();
}

void TEnhancedGrid::showEditor()
{
    if (!m_editors->showOwnEditor())
        TDBGrid::showEditor();
}

TInplaceEdit *TEnhancedGrid::createEditor()
{
    TInplaceEdit *editor = TDBGrid::createEditor();
    m_editors->colourTextEditor(editor);
    return editor;
}

void TEnhancedGrid::ShowEditControl(QWidget *control, int col, int row)
{
    m_editors->showEditControl(control, col, row);
}

void TEnhancedGrid::releaseHostedControl()
{
    m_editors->releaseHostedControl();
}

QWidget *TEnhancedGrid::hostedControl() const
{
    return m_editors->hostedControl();
}

void TEnhancedGrid::editingChanged()
{
    TDBGrid::editingChanged();
    m_editors->editingChanged();
}

void TEnhancedGrid::openMemoEditor(bool selectAll)
{
    m_editors->openMemoEditor(selectAll);
}

void TEnhancedGrid::openDatePicker()
{
    m_editors->openDatePicker();
}

void TEnhancedGrid::openFieldViewer()
{
    m_editors->openFieldViewer();
}

void TEnhancedGrid::cellClick(TColumn *column)
{
    if (m_editors->cellClick(column))
        TDBGrid::cellClick(column);
}

void TEnhancedGrid::activateCell(bool selectAll)
{
    m_editors->activateCell(selectAll);
}

}  // namespace kelvara
