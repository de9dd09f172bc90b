#include "grid/tcolumn.h"
#include "gridfixture.h"
#include "store/field.h"

#include <QFontMetrics>
#include <QSignalSpy>
#include <QtTest>

using namespace kelvara;
using kelvara::test::addColumn;
using kelvara::test::GridFixture;
using kelvara::test::TestGrid;

namespace {

QStringList mappedNames(const TDBGrid &grid)
{
    QStringList names;
    for (int i = 0; i < grid.fieldCount(); ++i)
        names << (grid.fields(i) ? grid.fields(i)->fieldName() : QStringLiteral("-"));
    return names;
}

int lineHeight(const QFont &font)
{
    return QFontMetrics(font).height();
}

}  // namespace

class DBGridLayoutTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void automaticColumnsFollowTheVisibleFields();
    void automaticColumnsKeepTheirWidthsAcrossLayouts();
    void ownColumnsMapTheirFieldsByName();
    void titleCaptionFallsBack_data();
    void titleCaptionFallsBack();
    void defaultWidthComesFromDisplayWidthAndTitle();
    void hiddenColumnReadsMinusOneAndTakesNoSpace();
    void layoutSetsRowHeightsFromTheFonts_data();
    void layoutSetsRowHeightsFromTheFonts();
    void indicatorAndTitlesShapeTheGrid();
    void optionsDeriveTheCellOptions_data();
    void optionsDeriveTheCellOptions();
    void updateLockDefersLayoutToTheLastEnd();
    void dataRowsFollowTheGridsHeight();
    void draggingATitleBorderResizesTheColumn();
    void draggingATitleMovesTheColumn();
    void draggingAnAutomaticColumnMovesItsField();
    void draggingARowBorderResizesTheRows();
    void closingTheTableEmptiesTheFieldMap();
    void propertiesAreReadAndWrittenByName();
};

void DBGridLayoutTest::automaticColumnsFollowTheVisibleFields()
{
    GridFixture fixture(3);
    auto grid = fixture.makeGrid();
    QCOMPARE(grid->columns()->state(), TDBGridColumns::csDefault);
    QCOMPARE(mappedNames(*grid), (QStringList{"Name", "City", "Count", "Notes"}));
    QCOMPARE(grid->columns()->count(), 4);
    QCOMPARE(grid->colCount(), 5);
    QCOMPARE(grid->fixedCols(), 1);

    fixture.table.fieldByName(QStringLiteral("City"))->setVisible(false);
    QCOMPARE(mappedNames(*grid), (QStringList{"Name", "Count", "Notes"}));
    QCOMPARE(grid->columns()->items(1)->fieldName(), QStringLiteral("Count"));
    QCOMPARE(grid->colCount(), 4);

    fixture.table.fieldByName(QStringLiteral("Notes"))->setIndex(0);
    QCOMPARE(mappedNames(*grid), (QStringList{"Notes", "Name", "Count"}));
}

void DBGridLayoutTest::automaticColumnsKeepTheirWidthsAcrossLayouts()
{
    GridFixture fixture(3);
    auto grid = fixture.makeGrid();
    grid->columns()->items(2)->setWidth(77);
    QCOMPARE(grid->colWidth(3), 77);
    fixture.table.fieldByName(QStringLiteral("City"))->setVisible(false);
    QCOMPARE(grid->columns()->items(1)->width(), 77);
    QCOMPARE(grid->colWidth(2), 77);
}

void DBGridLayoutTest::ownColumnsMapTheirFieldsByName()
{
    GridFixture fixture(3);
    auto grid = fixture.makeGrid();
    grid->columns()->beginUpdate();
    addColumn(*grid, QStringLiteral("Name"));
    addColumn(*grid, QStringLiteral("Nothing"));
    TColumn *hidden = addColumn(*grid, QStringLiteral("count"));
    hidden->setVisible(false);
    grid->columns()->endUpdate();
    QCOMPARE(grid->columns()->state(), TDBGridColumns::csCustomized);
    // One entry per column, hidden ones included; a name without a field maps to none.
    QCOMPARE(mappedNames(*grid), (QStringList{"Name", "-", "Count"}));
    QCOMPARE(grid->columns()->items(1)->field(), nullptr);
    // Fields hidden in the record set do not matter to a list of the grid's own.
    fixture.table.fieldByName(QStringLiteral("Name"))->setVisible(false);
    QCOMPARE(mappedNames(*grid), (QStringList{"Name", "-", "Count"}));

    grid->columns()->setState(TDBGridColumns::csDefault);
    QCOMPARE(mappedNames(*grid), (QStringList{"City", "Count", "Notes"}));
}

void DBGridLayoutTest::titleCaptionFallsBack_data()
{
    QTest::addColumn<QString>("fieldName");
    QTest::addColumn<QString>("displayLabel");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("expected");

    QTest::newRow("own caption") << "City"
                                 << "Town"
                                 << "Where"
                                 << "Where";
    QTest::newRow("no caption: the field's display label") << "City"
                                                           << "Town"
                                                           << ""
                                                           << "Town";
    QTest::newRow("no label either: the field's name") << "City"
                                                       << ""
                                                       << ""
                                                       << "City";
    QTest::newRow("no field: the column's field name") << "Nowhere"
                                                       << ""
                                                       << ""
                                                       << "Nowhere";
}

void DBGridLayoutTest::titleCaptionFallsBack()
{
    QFETCH(QString, fieldName);
    QFETCH(QString, displayLabel);
    QFETCH(QString, caption);
    QFETCH(QString, expected);
    GridFixture fixture(1);
    fixture.table.fieldByName(QStringLiteral("City"))->setDisplayLabel(displayLabel);
    auto grid = fixture.makeGrid();
    TColumn *column = addColumn(*grid, fieldName);
    if (!caption.isEmpty())
        column->title()->setCaption(caption);
    QCOMPARE(column->title()->caption(), expected);
    QCOMPARE(column->title()->isCaptionAssigned(), !caption.isEmpty());
}

void DBGridLayoutTest::defaultWidthComesFromDisplayWidthAndTitle()
{
    GridFixture fixture(1);
    auto grid = fixture.makeGrid();
    TColumn *name = addColumn(*grid, QStringLiteral("Name"));
    const QFontMetrics metrics(grid->font());
    QCOMPARE(name->width(), 20 * metrics.horizontalAdvance(QLatin1Char('0')) + 4);
    QVERIFY(!name->isWidthAssigned());

    // A title wider than the values widens the default, in the title's font.
    TColumn *count = addColumn(*grid, QStringLiteral("Count"));
    fixture.table.fieldByName(QStringLiteral("Count"))->setDisplayWidth(2);
    const QString caption = QStringLiteral("A rather long caption for a count");
    count->title()->setCaption(caption);
    QCOMPARE(count->width(), QFontMetrics(grid->titleFont()).horizontalAdvance(caption) + 4);
    QCOMPARE(grid->colWidth(grid->dataToRawColumn(1)), count->width());
    grid->setOptions(grid->options() & ~TDBGrid::dgTitles);
    QCOMPARE(count->width(), 2 * metrics.horizontalAdvance(QLatin1Char('0')) + 4);

    // A column without a field takes the grid's default column width.
    QCOMPARE(addColumn(*grid, QStringLiteral("Nothing"))->width(), grid->defaultColWidth());
    // An own width wins and a negative one gives the default back.
    count->setWidth(50);
    QCOMPARE(count->width(), 50);
    count->setWidth(-1);
    QVERIFY(!count->isWidthAssigned());
}

void DBGridLayoutTest::hiddenColumnReadsMinusOneAndTakesNoSpace()
{
    GridFixture fixture(3);
    auto grid = fixture.makeGrid(5, 600);
    addColumn(*grid, QStringLiteral("Name"), 80);
    TColumn *city = addColumn(*grid, QStringLiteral("City"), 70);
    addColumn(*grid, QStringLiteral("Count"), 60);
    const int countLeft = grid->cellRect(3, 1).left();

    city->setVisible(false);
    QCOMPARE(city->width(), -1);
    QCOMPARE(grid->colWidth(2), -1);
    QVERIFY(grid->cellRect(2, 1).isEmpty());
    QCOMPARE(grid->cellRect(3, 1).left(), countLeft - 71);

    // Keys step over the hidden column.
    QCOMPARE(grid->selectedIndex(), 0);
    QTest::keyClick(grid.get(), Qt::Key_Right);
    QCOMPARE(grid->selectedIndex(), 2);

    // Hiding the current column moves the current cell to a shown one.
    city->setVisible(true);
    grid->setSelectedIndex(1);
    city->setVisible(false);
    QCOMPARE(grid->selectedIndex(), 2);

    city->setVisible(true);
    QCOMPARE(city->width(), 70);
    QCOMPARE(grid->cellRect(3, 1).left(), countLeft);
}

void DBGridLayoutTest::layoutSetsRowHeightsFromTheFonts_data()
{
    QTest::addColumn<int>("gridPoints");
    QTest::addColumn<int>("titlePoints");
    QTest::addColumn<int>("columnTitlePoints");
    QTest::addColumn<bool>("rowLines");
    QTest::addColumn<bool>("columns");

    QTest::newRow("default fonts") << 0 << 0 << 0 << true << true;
    QTest::newRow("larger grid font") << 20 << 0 << 0 << true << true;
    QTest::newRow("without row lines") << 0 << 0 << 0 << false << true;
    QTest::newRow("one column with a larger title font") << 0 << 0 << 24 << true << true;
    QTest::newRow("larger title font, no columns") << 0 << 18 << 0 << true << false;
}

void DBGridLayoutTest::layoutSetsRowHeightsFromTheFonts()
{
    QFETCH(int, gridPoints);
    QFETCH(int, titlePoints);
    QFETCH(int, columnTitlePoints);
    QFETCH(bool, rowLines);
    QFETCH(bool, columns);
    GridFixture fixture(2);
    auto grid = std::make_unique<TestGrid>();
    if (columns)
        grid->setDataSource(&fixture.source);
    if (gridPoints) {
        QFont font = grid->font();
        font.setPointSize(gridPoints);
        grid->setFont(font);
    }
    if (titlePoints) {
        QFont font = grid->titleFont();
        font.setPointSize(titlePoints);
        grid->setTitleFont(font);
    }
    QFont columnTitleFont = grid->titleFont();
    if (columnTitlePoints) {
        columnTitleFont.setPointSize(columnTitlePoints);
        grid->columns()->items(1)->title()->setFont(columnTitleFont);
    }
    if (!rowLines)
        grid->setOptions(grid->options() & ~TDBGrid::dgRowLines);

    QCOMPARE(grid->defaultRowHeight(), lineHeight(grid->font()) + 3 + (rowLines ? 1 : 0));
    QCOMPARE(grid->rowHeight(1), grid->defaultRowHeight());
    const int titleHeight = std::max(lineHeight(grid->titleFont()), lineHeight(columnTitleFont)) + 4;
    QCOMPARE(grid->rowHeight(0), titleHeight);
}

void DBGridLayoutTest::indicatorAndTitlesShapeTheGrid()
{
    GridFixture fixture(3);
    auto grid = fixture.makeGrid();
    QCOMPARE(grid->colWidth(0), TDBGrid::IndicatorWidth);
    QCOMPARE(grid->dataToRawColumn(0), 1);
    QCOMPARE(grid->fixedRows(), 1);

    grid->setSelectedIndex(2);
    grid->setOptions(grid->options() & ~(TDBGrid::dgIndicator | TDBGrid::dgTitles));
    QCOMPARE(grid->selectedIndex(), 2);
    QCOMPARE(grid->colCount(), 4);
    QCOMPARE(grid->fixedCols(), 0);
    QCOMPARE(grid->fixedRows(), 0);
    QCOMPARE(grid->dataToRawColumn(0), 0);
    // Row 0 is now the first record.
    QCOMPARE(grid->row(), 0);
    QCOMPARE(grid->rowHeight(0), grid->defaultRowHeight());
}

void DBGridLayoutTest::optionsDeriveTheCellOptions_data()
{
    using G = CellGrid;
    using D = TDBGrid;
    QTest::addColumn<int>("options");
    QTest::addColumn<int>("cells");

    QTest::newRow("column lines") << int(D::dgColLines) << int(G::goFixedVertLine | G::goVertLine);
    QTest::newRow("row lines") << int(D::dgRowLines) << int(G::goFixedHorzLine | G::goHorzLine);
    QTest::newRow("column resize sizes and moves") << int(D::dgColumnResize) << int(G::goColSizing | G::goColMoving);
    QTest::newRow("tabs") << int(D::dgTabs) << int(G::goTabs);
    QTest::newRow("editing") << int(D::dgEditing) << int(G::goEditing);
    QTest::newRow("always show editor") << int(D::dgEditing | D::dgAlwaysShowEditor)
                                        << int(G::goEditing | G::goAlwaysShowEditor);
    QTest::newRow("row select drops editing")
        << int(D::dgEditing | D::dgAlwaysShowEditor | D::dgRowSelect) << int(G::goRowSelect);
    QTest::newRow("grid-only options") << int(D::dgTitles | D::dgIndicator | D::dgConfirmDelete | D::dgCancelOnExit
                                              | D::dgMultiSelect | D::dgAlwaysShowSelection)
                                       << 0;
}

void DBGridLayoutTest::optionsDeriveTheCellOptions()
{
    QFETCH(int, options);
    QFETCH(int, cells);
    GridFixture fixture(1);
    auto grid = fixture.makeGrid();
    grid->setCellOptions(grid->cellOptions() | CellGrid::goRowSizing);
    grid->setOptions(TDBGrid::TDBGridOptions(options));
    // goRowSizing is never derived: a change of the options drops it.
    QCOMPARE(int(grid->cellOptions()), cells);
}

void DBGridLayoutTest::updateLockDefersLayoutToTheLastEnd()
{
    GridFixture fixture(3);
    auto grid = fixture.makeGrid();
    grid->layouts = 0;
    grid->steps.clear();
    grid->beginUpdate();
    grid->beginUpdate();
    addColumn(*grid, QStringLiteral("Name"));
    addColumn(*grid, QStringLiteral("City"));
    grid->setTitleFont(QFont(QStringLiteral("Serif"), 15));
    QCOMPARE(grid->layouts, 0);
    QVERIFY(grid->updateLocked());
    grid->endUpdate();
    QCOMPARE(grid->layouts, 0);
    grid->endUpdate();
    QCOMPARE(grid->layouts, 1);
    QCOMPARE(grid->steps, (QStringList{"layout", "before attributes", "after attributes"}));
    QCOMPARE(grid->colCount(), 3);
    // An end without a begin does nothing.
    grid->endUpdate();
    QCOMPARE(grid->layouts, 1);
}

void DBGridLayoutTest::dataRowsFollowTheGridsHeight()
{
    GridFixture fixture(20);
    auto grid = fixture.makeGrid(5);
    QCOMPARE(grid->dataRowCount(), 5);
    QCOMPARE(grid->dataLink().bufferCount(), 5);
    QCOMPARE(grid->visibleRowCount(), 5);
    const int pitch = grid->defaultRowHeight() + 1;
    grid->resize(grid->width(), grid->height() + 3 * pitch);
    QCOMPARE(grid->dataRowCount(), 8);
    QCOMPARE(grid->dataLink().bufferCount(), 8);
    // A row that would be cut at the bottom is not a data row.
    grid->resize(grid->width(), grid->height() - pitch / 2);
    QCOMPARE(grid->dataRowCount(), 7);
}

void DBGridLayoutTest::draggingATitleBorderResizesTheColumn()
{
    GridFixture fixture(3);
    auto grid = fixture.makeGrid(5, 600);
    TColumn *name = addColumn(*grid, QStringLiteral("Name"), 80);
    addColumn(*grid, QStringLiteral("City"), 70);
    QWidget *viewport = grid->viewport();
    const QRect title = grid->cellRect(1, 0);
    const QPoint border(title.right() + 1, title.center().y());
    grid->colWidthsChanges = 0;
    QTest::mousePress(viewport, Qt::LeftButton, {}, border);
    QTest::mouseMove(viewport, border + QPoint(25, 0));
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, border + QPoint(25, 0));
    QCOMPARE(name->width(), 105);
    QCOMPARE(grid->colWidth(1), 105);
    QCOMPARE(grid->colWidthsChanges, 1);

    // The indicator column is not sized, and nothing is without dgColumnResize.
    QCOMPARE(int(grid->sizingAt(QPoint(TDBGrid::IndicatorWidth, 5)).state), int(CellGrid::GridState::Normal));
    grid->setOptions(grid->options() & ~TDBGrid::dgColumnResize);
    QCOMPARE(int(grid->sizingAt(border).state), int(CellGrid::GridState::Normal));
}

void DBGridLayoutTest::draggingATitleMovesTheColumn()
{
    GridFixture fixture(3);
    auto grid = fixture.makeGrid(5, 600);
    addColumn(*grid, QStringLiteral("Name"), 80);
    addColumn(*grid, QStringLiteral("City"), 70);
    addColumn(*grid, QStringLiteral("Count"), 60);
    QSignalSpy moved(grid.get(), &TDBGrid::OnColumnMoved);
    QSignalSpy titleClicks(grid.get(), &TDBGrid::OnTitleClick);
    QWidget *viewport = grid->viewport();
    const QPoint start = grid->cellRect(1, 0).center();
    const QPoint target = grid->cellRect(3, 0).center();
    QTest::mousePress(viewport, Qt::LeftButton, {}, start);
    QTest::mouseMove(viewport, start + QPoint(12, 0));
    QTest::mouseMove(viewport, target);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, target);
    QCOMPARE(moved.size(), 1);
    QCOMPARE(moved.first().at(0).toInt(), 1);
    QCOMPARE(moved.first().at(1).toInt(), 3);
    QCOMPARE(mappedNames(*grid), (QStringList{"City", "Count", "Name"}));
    QCOMPARE(grid->columns()->items(2)->width(), 80);
    QCOMPARE(grid->colWidth(3), 80);
    QCOMPARE(titleClicks.size(), 0);

    // A title pressed and released in place is a title click.
    QTest::mouseClick(viewport, Qt::LeftButton, {}, grid->cellRect(2, 0).center());
    QCOMPARE(titleClicks.size(), 1);
    QCOMPARE(titleClicks.first().at(0).value<TColumn *>(), grid->columns()->items(1));
}

void DBGridLayoutTest::draggingAnAutomaticColumnMovesItsField()
{
    GridFixture fixture(3);
    auto grid = fixture.makeGrid(5, 600);
    QWidget *viewport = grid->viewport();
    const QPoint start = grid->cellRect(1, 0).center();
    const QPoint target = grid->cellRect(3, 0).center();
    QTest::mousePress(viewport, Qt::LeftButton, {}, start);
    QTest::mouseMove(viewport, start + QPoint(12, 0));
    QTest::mouseMove(viewport, target);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, target);
    QCOMPARE(fixture.table.field(2)->fieldName(), QStringLiteral("Name"));
    QCOMPARE(mappedNames(*grid), (QStringList{"City", "Count", "Name", "Notes"}));
}

void DBGridLayoutTest::draggingARowBorderResizesTheRows()
{
    GridFixture fixture(10);
    auto grid = fixture.makeGrid(5);
    grid->setCellOptions(grid->cellOptions() | CellGrid::goRowSizing);
    QWidget *viewport = grid->viewport();
    const QRect indicator = grid->cellRect(0, 1);
    const QPoint border(indicator.center().x(), indicator.bottom() + 1);
    const int height = grid->rowHeight(1);
    QTest::mousePress(viewport, Qt::LeftButton, {}, border);
    QTest::mouseMove(viewport, border + QPoint(0, 2 * height));
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, border + QPoint(0, 2 * height));
    QCOMPARE(grid->rowHeightsChanges, 1);
    QCOMPARE(grid->rowHeight(1), 3 * height);
    // The taller row leaves room for two rows fewer.
    QCOMPARE(grid->dataRowCount(), 3);
    QCOMPARE(grid->dataLink().bufferCount(), 3);
}

void DBGridLayoutTest::closingTheTableEmptiesTheFieldMap()
{
    GridFixture fixture(3);
    auto grid = fixture.makeGrid();
    addColumn(*grid, QStringLiteral("Name"));
    QVERIFY(grid->fields(0));
    fixture.table.close();
    QCOMPARE(grid->fieldCount(), 1);
    QCOMPARE(grid->fields(0), nullptr);
    grid->viewport()->grab();
    fixture.table.open();
    QCOMPARE(grid->fields(0), fixture.table.fieldByName(QStringLiteral("Name")));
}

void DBGridLayoutTest::propertiesAreReadAndWrittenByName()
{
    GridFixture fixture(1);
    auto grid = fixture.makeGrid();
    // Stored settings go through the meta-object system with the members' names.
    const QMetaProperty options = grid->metaObject()->property(grid->metaObject()->indexOfProperty("Options"));
    QVERIFY(options.isFlagType());
    bool ok = false;
    const int value = options.enumerator().keysToValue("dgTitles|dgIndicator|dgMultiSelect", &ok);
    QVERIFY(ok);
    QVERIFY(options.write(grid.get(), value));
    QCOMPARE(grid->options(), TDBGrid::dgTitles | TDBGrid::dgIndicator | TDBGrid::dgMultiSelect);
    QCOMPARE(options.enumerator().valueToKeys(options.read(grid.get()).toInt()),
             QByteArray("dgTitles|dgIndicator|dgMultiSelect"));

    const QMetaProperty scrollBars = grid->metaObject()->property(grid->metaObject()->indexOfProperty("ScrollBars"));
    QVERIFY(scrollBars.write(grid.get(), scrollBars.enumerator().keyToValue("ssHorizontal")));
    QCOMPARE(grid->scrollBars(), CellGrid::ssHorizontal);
    QVERIFY(grid->setProperty("BorderStyle", CellGrid::bsNone));
    QVERIFY(grid->setProperty("DefaultRowHeight", 17));
    QCOMPARE(grid->defaultRowHeight(), 17);

    TColumn *column = addColumn(*grid, QStringLiteral("Name"));
    QVERIFY(column->setProperty("Width", 64));
    QCOMPARE(column->width(), 64);
    const QMetaProperty alignment = column->metaObject()->property(column->metaObject()->indexOfProperty("Alignment"));
    QCOMPARE(QByteArray(alignment.enumerator().valueToKey(alignment.read(column).toInt())),
             QByteArray("taLeftJustify"));
    QVERIFY(column->setProperty("ButtonStyle", TColumn::cbsEllipsis));
    QCOMPARE(column->buttonStyle(), TColumn::cbsEllipsis);
    auto *title = column->property("Title").value<TColumnTitle *>();
    QVERIFY(title);
    QVERIFY(title->setProperty("Caption", QStringLiteral("Who")));
    QCOMPARE(column->title()->caption(), QStringLiteral("Who"));
    // Resetting a value gives the default back.
    const QMetaProperty width = column->metaObject()->property(column->metaObject()->indexOfProperty("Width"));
    QVERIFY(width.reset(column));
    QVERIFY(!column->isWidthAssigned());
}

QTEST_MAIN(DBGridLayoutTest)
#include "tst_dbgrid_layout.moc"
