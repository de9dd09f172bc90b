#pragma once

#include "errorof.h"
#include "fielddefmaker.h"
#include "grid/tdbgrid.h"
#include "store/datasource.h"
#include "store/error.h"
#include "store/fielddef.h"
#include "store/table.h"
#include "testworkspace.h"

#include <QImage>
#include <QList>
#include <QPair>
#include <QStringList>

#include <functional>
#include <memory>

namespace kelvara::test {

// The data grid with its protected steps open to the tests and a record of the steps it ran.
class TestGrid : public TDBGrid
{
public:
    using TDBGrid::acquireFocus;
    using TDBGrid::canEditShow;
    using TDBGrid::horizontalScroll;
    using TDBGrid::moveRecordsBy;
    using TDBGrid::TDBGrid;
    using TDBGrid::wheelStep;

    QList<QPair<ScrollCode, int>> verticalCodes;
    QStringList steps;
    int layouts = 0;
    int colWidthsChanges = 0;
    int rowHeightsChanges = 0;

    void verticalScroll(ScrollCode code, int position) override
    {
        verticalCodes << qMakePair(code, position);
        TDBGrid::verticalScroll(code, position);
    }

protected:
    void layoutChanged() override
    {
        ++layouts;
        steps << QStringLiteral("layout");
        TDBGrid::layoutChanged();
    }
    void columnAttributesAboutToApply() override { steps << QStringLiteral("before attributes"); }
    void columnAttributesApplied() override { steps << QStringLiteral("after attributes"); }
    void colWidthsChanged() override
    {
        ++colWidthsChanges;
        TDBGrid::colWidthsChanged();
    }
    void rowHeightsChanged() override
    {
        ++rowHeightsChanges;
        TDBGrid::rowHeightsChanged();
    }
};

// A test's table "jobs" in its own working directory, open and filled, with a data source on it.
// Record i (from 1) holds Name "Name i", City "City " + (i mod 3), Count i and Notes "Note i".
struct GridFixture
{
    explicit GridFixture(int records, const FieldDefs &defs = defaultDefs());

    static FieldDefs defaultDefs();
    // Fills one more record with the values the fixture gives record number n.
    void appendRecord(int n);
    // A grid bound to the source, shown at a size that fits the given number of data rows.
    template <class Grid = TestGrid> std::unique_ptr<Grid> makeGrid(int dataRows = 5, int width = 400)
    {
        auto grid = std::make_unique<Grid>();
        show(*grid, dataRows, width);
        return grid;
    }
    void show(TDBGrid &grid, int dataRows, int width);

    TestWorkspace workspace;
    Table table;
    DataSource source;
};

// Adds a column for a field to a grid, with a width of its own when width is above 0.
TColumn *addColumn(TDBGrid &grid, const QString &fieldName, int width = 0);

// How many pixels of the rectangle are dark (lightness below half): enough to tell a line,
// text or a mark from an empty cell.
int darkPixels(const QImage &image, const QRect &rect);

}  // namespace kelvara::test
