#include "app/datasheetgrid.h"

#include "grid/tcolumn.h"
#include "grid/tcolumntitle.h"
#include "grid/tdbgridcolumns.h"
#include "grid/tenhancedgrid.h"

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

void setUpDataSheetGrid(TEnhancedGrid &grid, DataSource *source)
{
    // Stored properties go in between these calls, as a window's saved layout would set them.
    grid.beginLoading();
    QFont sheetFont(QStringLiteral("MS Sans Serif"));
    // Not on every system: the nearest sans-serif face at the same pixel height stands in, and
    // the font keeps its name for the stored settings.
    sheetFont.setStyleHint(QFont::SansSerif);
    sheetFont.setPixelSize(11);
    grid.setTitleFont(sheetFont);
    grid.setLockedFont(sheetFont);
    grid.setReadOnly(true);
    grid.setBorderStyle(TDBGrid::bsNone);
    grid.setScrollBars(TDBGrid::ssHorizontal);
    grid.setDefaultRowHeight(17);
    grid.setDisplayDateTime(false);
    grid.setRowColor1(QColor(111, 255, 186));
    grid.setRowColor2(grid.rowColor2());
    grid.setTitleCheck(true);
    grid.setShowTitleEllipsis(true);
    grid.setMenuOptions(TEnhancedGrid::allMenuOptions());
    grid.setMaskedColumnDrag(true);
    QStringList captions = TEnhancedGrid::defaultPopupStrings();
    // The data sheet's grid offers no date picker: its menu shows a separator in that place.
    captions[6] = QStringLiteral("-");
    grid.setPopupStrings(captions);
    grid.columns()->beginUpdate();
    for (const DataSheetColumn &wanted : dataSheetColumns()) {
        TColumn *column = grid.columns()->add();
        column->setFieldName(QString::fromLatin1(wanted.field));
        column->setExpanded(false);
        if (wanted.title)
            column->title()->setCaption(QString::fromLatin1(wanted.title));
        if (wanted.width > 0)
            column->setWidth(wanted.width);
    }
    grid.columns()->endUpdate();
    grid.setDataSource(source);
    grid.loaded();
}

}  // namespace kelvara
