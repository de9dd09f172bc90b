#include "gridwin/gridwindows.h"

#include "grid/tdbgrid.h"
#include "gridwin/report/unitreport.h"
#include "gridwin/tcolselectform.h"
#include "gridwin/tdlgqbf.h"
#include "gridwin/tfieldviewerform.h"
#include "platform/dialogs.h"
#include "store/datasource.h"
#include "store/error.h"

#include <QCoreApplication>

namespace kelvara {

void GridWindows::viewField(TDBGrid &grid, Field &field, const QString &caption)
{
    showFieldViewer(&grid, grid.dataSource(), field, caption);
}

bool GridWindows::chooseColumns(TDBGrid &grid)
{
    TColSelectForm form(&grid);
    form.setGrid(&grid);
    form.setDataSource(grid.dataSource());
    return dialogs().exec(form) == TColSelectForm::mrOk;
}

void GridWindows::queryByForm(TDBGrid &grid, FormMode mode)
{
    TdlgQbf dialog(&grid);
    if (mode == FormMode::Query)
        dialog.queryByForm(grid);
    else
        dialog.sortByForm(grid);
}

void GridWindows::printDataSet(TDBGrid &grid, const QString &caption, PrintMode mode)
{
    Table *table = grid.dataSource() ? grid.dataSource()->dataSet() : nullptr;
    if (!table)
        throw Error(QCoreApplication::translate("GridWindows", "The grid shows no record set to print."));
    unitreport::printDataSet(*table, caption, mode, &grid);
}

void GridWindows::printGrid(TDBGrid &grid, const QString &caption, PrintMode mode)
{
    unitreport::printGrid(grid, caption, mode);
}

}  // namespace kelvara
