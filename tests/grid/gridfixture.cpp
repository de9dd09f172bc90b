#include "gridfixture.h"

#include "grid/tcolumn.h"
#include "store/field.h"

#include <QtTest>

namespace kelvara::test {

FieldDefs GridFixture::defaultDefs()
{
    return FieldDefs{fieldDef(QStringLiteral("Name"), ftString, 20), fieldDef(QStringLiteral("City"), ftString, 20),
                     fieldDef(QStringLiteral("Count"), ftInteger), fieldDef(QStringLiteral("Notes"), ftMemo)};
}

GridFixture::GridFixture(int records, const FieldDefs &defs)
{
    table.setTableName(QStringLiteral("jobs"));
    table.createTable(defs);
    table.open();
    for (int i = 1; i <= records; ++i)
        appendRecord(i);
    if (records > 0)
        table.first();
    source.setDataSet(&table);
}

void GridFixture::appendRecord(int n)
{
    table.append();
    for (Field *field : table.fields()) {
        if (field->fieldName() == QLatin1String("Name"))
            field->setAsString(QStringLiteral("Name %1").arg(n));
        else if (field->fieldName() == QLatin1String("City"))
            field->setAsString(QStringLiteral("City %1").arg(n % 3));
        else if (field->fieldName() == QLatin1String("Count"))
            field->setAsInteger(n);
        else if (field->fieldName() == QLatin1String("Notes"))
            field->setAsString(QStringLiteral("Note %1").arg(n));
    }
    table.post();
}

void GridFixture::show(TDBGrid &grid, int dataRows, int width)
{
    grid.setBorderStyle(CellGrid::bsNone);
    grid.setScrollBars(CellGrid::ssNone);
    grid.setDataSource(&source);
    // Title row plus the data rows, each with its line.
    const int height = grid.rowHeight(0) + 1 + dataRows * (grid.defaultRowHeight() + 1);
    grid.resize(width, height);
    grid.show();
    QApplication::setActiveWindow(&grid);
    if (!QTest::qWaitForWindowActive(&grid))
        qWarning("the grid's window did not become active");
    grid.setFocus();
}

TColumn *addColumn(TDBGrid &grid, const QString &fieldName, int width)
{
    TColumn *column = grid.columns()->add();
    column->setFieldName(fieldName);
    if (width > 0)
        column->setWidth(width);
    return column;
}

int darkPixels(const QImage &image, const QRect &rect)
{
    int dark = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x) {
            if (image.pixelColor(x, y).lightness() < 128)
                ++dark;
        }
    }
    return dark;
}

}  // namespace kelvara::test
