// The enhanced grid's commands, run from its options menu or by the program: printouts, export,
// selecting all records, query and sort by form, the column chooser and the saved layout. Each
// routes to the part that does the work; the grid keeps the steps around it.

#include "grid/tenhancedgrid.h"

#include "grid/columncustomizing.h"
#include "grid/gridcompanions.h"
#include "grid/gridexport.h"
#include "grid/gridlayoutstore.h"
#include "grid/gridsizer.h"
#include "grid/optionsmenu.h"
#include "platform/dialogs.h"
#include "store/error.h"
#include "store/field.h"
#include "store/table.h"

namespace kelvara {

namespace {

QChar separatorFor(TEnhancedGrid::TExportDelimiter delimiter)
{
    switch (delimiter) {
    case TEnhancedGrid::Comma: return QLatin1Char(',');
    case TEnhancedGrid::Quote: return QLatin1Char('"');
    case TEnhancedGrid::Pipe: break;
    }
    return QLatin1Char('|');
}

}  // namespace

void TEnhancedGrid::chooseLockedCols(int count)
{
    m_lockedCols = count;
    applyLockedColumns();
}

Table &TEnhancedGrid::commandTable() const
{
    Table *table = activeTable();
    if (!table)
        throw Error(QStringLiteral("Cannot perform this operation on a closed dataset"));
    return *table;
}

void TEnhancedGrid::printCommand(bool wholeGrid)
{
    Table &table = commandTable();
    const QString caption = m_reportCaption.isEmpty() ? QStringLiteral("Data Printout") : m_reportCaption;
    DisabledControlsScope suspended(table);
    if (wholeGrid)
        gridCompanions().printGrid(*this, caption, GridCompanions::PrintMode::Preview);
    else
        gridCompanions().printDataSet(*this, caption, GridCompanions::PrintMode::Preview);
    table.first();
    suspended.resume();
}

void TEnhancedGrid::printGrid()
{
    printCommand(true);
}

void TEnhancedGrid::printDataSet()
{
    printCommand(false);
}

void TEnhancedGrid::exportGrid()
{
    Table &table = commandTable();
    DisabledControlsScope suspended(table);
    ExportToFile(QString());
    table.first();
    suspended.resume();
}

QString TEnhancedGrid::defaultExportFileName() const
{
    return gridexport::defaultFileName(commandTable());
}

void TEnhancedGrid::ExportToFile(const QString &fileName)
{
    Table &table = commandTable();
    const QString name = fileName.isEmpty() ? defaultExportFileName() : fileName;
    QList<const Field *> values;
    for (int i = 0; i < columns()->count(); ++i)
        values << (i < fieldCount() ? fields(i) : nullptr);
    DisabledControlsScope suspended(table);
    // On the first record also when the file cannot be written.
    table.first();
    gridexport::writeRecords(table, values, separatorFor(m_exportDelimiter), name);
    table.first();
    suspended.resume();
    dialogs().information(this, QStringLiteral("Exported To File: ") + name);
}

void TEnhancedGrid::selectAll()
{
    if (!(options() & dgMultiSelect))
        setOptions(options() | dgMultiSelect);
    Table &table = commandTable();
    DisabledControlsScope suspended(table);
    TBookmarkList &selected = selectedRows();
    table.first();
    while (!table.eof()) {
        selected.setCurrentRowSelected(true);
        table.next();
    }
    suspended.resume();
    m_sizer->keepRowSizing();
}

void TEnhancedGrid::unselectAll()
{
    if (options() & dgMultiSelect)
        setOptions(options() & ~TDBGridOptions(dgMultiSelect));
    commandTable().first();
    m_sizer->keepRowSizing();
}

void TEnhancedGrid::formCommand(bool sort)
{
    // No check of the record set here: the dialog's own refusals say what is missing.
    gridCompanions().queryByForm(*this, sort ? GridCompanions::FormMode::Sort : GridCompanions::FormMode::Query);
}

void TEnhancedGrid::queryByForm()
{
    formCommand(false);
}

void TEnhancedGrid::sortByForm()
{
    formCommand(true);
}

void TEnhancedGrid::customize()
{
    Table &table = commandTable();
    columncustomizing::fieldsFromColumns(table, *columns());
    const bool confirmed = gridCompanions().chooseColumns(*this);
    if (confirmed)
        columncustomizing::columnsFromFields(table, *columns());
    m_sizer->reapplyModes();
    runColumnEnter();
    invalidateGrid();
    if (confirmed)
        Q_EMIT OnCustomize();
}

QString TEnhancedGrid::layoutSaveName()
{
    if (m_registrySaveName.isEmpty())
        m_registrySaveName = QStringLiteral("EnhancedGrid");
    return m_registrySaveName;
}

void TEnhancedGrid::saveLayout()
{
    const Table &table = commandTable();
    gridlayout::save(table, *columns(), layoutSaveName());
}

void TEnhancedGrid::loadLayout()
{
    // The stored modes only: the layout brings its own widths, which must not be sized again.
    m_sizer->dropWidthModes();
    Table &table = commandTable();
    // The fields and columns change one by one; the grid lays itself out once, at the end.
    DisabledControlsScope suspended(table);
    const UpdateLock update(*this);
    gridlayout::load(table, *columns(), layoutSaveName());
    suspended.resume();
}

}  // namespace kelvara
