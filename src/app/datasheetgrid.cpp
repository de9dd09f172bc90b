#include "datasheetgrid.h"

#include "tcolumn.h"
#include "tcolumntitle.h"
#include "tdbgrid.h"
#include "tdbgridcolumns.h"

#include <QFont>

namespace kelvara {

const std::array<DataSheetColumn, 11> &dataSheetColumns()
{
    static const std::array<DataSheetColumn, 11> columns = {{
        {"Dato", "Date", 0},
        {"Firstname", "First  Name", 100},
        {"Lastname", "Last Name", 88},
        {"HomePhone", "Home Phone", 80},
        {"WorkPhone", "Work Phone", 84},
        {"Cellular", nullptr, 72},
        {"Email", "E-Mail", 79},
        {"camefrom", "Came From", 91},
        {"wentinto", "Went Into", 100},
        {"Typeofbee", "Type of Bee", 0},
        {"method", "Method used", 97},
    }};
    return columns;
}

void setUpDataSheetGrid(TDBGrid &grid, DataSource *source)
{
    QFont titleFont(QStringLiteral("MS Sans Serif"));
    titleFont.setPixelSize(11);
    grid.setTitleFont(titleFont);
    grid.setReadOnly(true);
    grid.setBorderStyle(TDBGrid::bsNone);
    grid.setScrollBars(TDBGrid::ssHorizontal);
    grid.columns()->beginUpdate();
    for (const DataSheetColumn &wanted : dataSheetColumns()) {
        TColumn *column = grid.columns()->add();
        column->setFieldName(QString::fromLatin1(wanted.field));
        if (wanted.title)
            column->title()->setCaption(QString::fromLatin1(wanted.title));
        if (wanted.width > 0)
            column->setWidth(wanted.width);
    }
    grid.columns()->endUpdate();
    grid.setDataSource(source);
    // The data sheet asks for 17-pixel rows; a grid that measures its rows at each layout change
    // (the plain data grid does) replaces this with its own height when the table opens.
    grid.setDefaultRowHeight(17);
}

} // namespace kelvara
