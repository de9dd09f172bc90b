// The enhanced grid's model: its published properties with their defaults and setter
// rules, the option set MenuOptions, the hosted-control collection, the events, creation and loading.

#include "grid/tenhancedgrid.h"
#include "gridfixture.h"
#include "platform/colorvalues.h"
#include "store/field.h"

#include <QLineEdit>
#include <QMetaEnum>
#include <QMetaProperty>
#include <QtTest>

using namespace kelvara;
using namespace kelvara::test;

namespace {

// Counts the grid's own invalidate, which every repainting setter goes through.
class CountingGrid : public TEnhancedGrid
{
public:
    using TEnhancedGrid::TEnhancedGrid;
    int invalidations = 0;
    void invalidateGrid() override
    {
        ++invalidations;
        TEnhancedGrid::invalidateGrid();
    }
};

// An enum or flag value as its integer, anything else unchanged, so that a table can give ints.
QVariant comparable(const QVariant &value)
{
    if (value.metaType() == QMetaType::fromType<TEnhancedGrid::TMenuOptions>())
        return QVariant(qvariant_cast<TEnhancedGrid::TMenuOptions>(value).toInt());
    if (value.metaType().flags() & QMetaType::IsEnumeration)
        return QVariant(value.toInt());
    return value;
}

}  // namespace

class tst_EnhancedGrid : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void propertyDefaults_data();
    void propertyDefaults();
    void publishedObjectDefaults();
    void creationDefaults();
    void setterRepaints_data();
    void setterRepaints();
    void rowColorsAndBackgroundPictureExclude();
    void displayMemoOffSwitchesFullSizeMemoOff();
    void menuOptionsIsFlagWith26Members();
    void menuOptionsPropertyRoundTrips();
    void gridControlsLookupIgnoresCaseFirstWins();
    void gridControlsAssignCopies();
    void setControlsAssignsItemByItem();
    void autoWidthChangeHandlerReplacesMode();
    void isBooleanFieldAsksHandler();
    void loadingHidesHostedControls();
    void loadingRemembersHoverColour();
    void loadingKeepsModeWithoutOnResize();
    void titleCaptionDefaults();
};

void tst_EnhancedGrid::propertyDefaults_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QVariant>("expected");

    const QColor window = systemColor(SystemColor::Window);
    auto row
        = [](const char *name, const QVariant &value) { QTest::newRow(name) << QString::fromLatin1(name) << value; };
    row("ScrollBars", int(CellGrid::ssBoth));
    row("BorderStyle", int(CellGrid::bsNone));
    row("DefaultDrawing", false);
    row("EditColor", window);
    row("RowSizingAllowed", false);
    row("DisplayImages", true);
    row("DisplayMemo", true);
    row("DisplayBoolean", true);
    row("DisplayDateTime", true);
    row("GridAutoSize", false);
    row("GridAutoWidth", int(TEnhancedGrid::awNone));
    row("GridAutoWidthOnResize", true);
    row("FullSizeMemo", false);
    row("Cells3D", false);
    row("CellHints", false);
    row("RowColor1", QColor(111, 255, 186));
    row("RowColor2", window);
    row("UseRowColors", false);
    row("MultiLineTitles", false);
    row("TitleCheck", false);
    row("UseBackgroundPicture", false);
    row("ExportDelimiter", int(TEnhancedGrid::Pipe));
    row("AllowAutoAppend", true);
    row("DrawFocusRect", true);
    row("EnterAsTab", false);
    row("HighlightColor", clNavy);
    row("ImageHighlightColor", window);
    row("HighlightFontColor", clWhite);
    row("ReportCaption", QString());
    row("HotTrack", false);
    row("HotTrackColor", clNavy);
    row("LockedCols", 0);
    row("LockedFont", QFont());
    row("LockedColor", clGray);
    row("FlatCheckBox", true);
    row("FlatCheckBoxType", int(TEnhancedGrid::Normal));
    row("MemoViewType", int(TEnhancedGrid::WordWrapOn));
    row("RegistrySaveName", QString());
    row("ShowTextEllipsis", false);
    row("ShowTitleEllipsis", false);
    row("MultiLineRows", false);
    row("LinesPerRow", 1);
    row("SearchMode", false);
    row("ScrollHints", false);
    row("UseBitmapDrawing", false);
    row("MemoInplaceEditor", int(TEnhancedGrid::Memo));
    row("DisplayPopupEditors", false);
    row("MaskedColumnDrag", true);
    row("ShowTitlesWhenInactive", false);
    row("BoldTitlesWhenCells3D", false);
    row("BoldIndicatorsWhenCells3D", false);
    row("ExtendedScroll", true);
    row("ValueChecked", 1);
    row("ValueUnChecked", 0);
    row("MenuOptions", int((1u << 26) - 1));
    row("PopupStrings", TEnhancedGrid::defaultPopupStrings());
    // The base's row height: what a plain data grid has.
    row("DefaultRowHeight", TDBGrid().defaultRowHeight());
}

void tst_EnhancedGrid::propertyDefaults()
{
    QFETCH(QString, name);
    QFETCH(QVariant, expected);

    TEnhancedGrid grid;
    const QMetaObject *meta = grid.metaObject();
    const int index = meta->indexOfProperty(name.toLatin1().constData());
    QVERIFY2(index >= 0, qPrintable(QStringLiteral("no property %1").arg(name)));
    QVERIFY(meta->property(index).isWritable() || name == QLatin1String("Controls"));
    const QVariant actual = grid.property(name.toLatin1().constData());
    QVERIFY(actual.isValid());
    QCOMPARE(comparable(actual), expected);
}

void tst_EnhancedGrid::publishedObjectDefaults()
{
    TEnhancedGrid grid;
    auto *controls = grid.property("Controls").value<TGridControls *>();
    QVERIFY(controls);
    QCOMPARE(controls->count(), 0);
    QVERIFY(grid.property("BackgroundPicture").value<QImage>().isNull());
    QCOMPARE(grid.property("PopupStrings").toStringList().size(), 37);
    QCOMPARE(TEnhancedGrid::defaultPopupStrings().first(), QStringLiteral("Auto Size"));
    QCOMPARE(TEnhancedGrid::defaultPopupStrings().at(6), QStringLiteral("Display Date/Time"));
    QCOMPARE(grid.requestedRowHeight(), 0);
}

void tst_EnhancedGrid::creationDefaults()
{
    TEnhancedGrid grid;
    QCOMPARE(grid.defaultDrawing(), false);
    QCOMPARE(grid.borderStyle(), CellGrid::bsNone);
    QCOMPARE(grid.menuOptions(), TEnhancedGrid::allMenuOptions());
    QVERIFY(!grid.isLoading());
}

void tst_EnhancedGrid::setterRepaints_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<bool>("repaints");    // a changed value repaints
    QTest::addColumn<bool>("equalSkips");  // setting the same value again does nothing

    auto storeRepaint = [](const char *name, const QVariant &value) {
        QTest::newRow(name) << QString::fromLatin1(name) << value << true << true;
    };
    auto stores = [](const char *name, const QVariant &value) {
        QTest::newRow(name) << QString::fromLatin1(name) << value << false << true;
    };
    auto repaintsAlways = [](const char *name, const QVariant &value) {
        QTest::newRow(name) << QString::fromLatin1(name) << value << true << false;
    };
    storeRepaint("DisplayImages", false);
    storeRepaint("DisplayBoolean", false);
    storeRepaint("Cells3D", true);
    storeRepaint("CellHints", true);
    storeRepaint("RowColor1", QColor(Qt::red));
    storeRepaint("RowColor2", QColor(Qt::green));
    storeRepaint("TitleCheck", true);
    storeRepaint("AllowAutoAppend", false);
    storeRepaint("DrawFocusRect", false);
    storeRepaint("HighlightColor", QColor(Qt::red));
    storeRepaint("ImageHighlightColor", QColor(Qt::red));
    storeRepaint("HighlightFontColor", QColor(Qt::red));
    storeRepaint("HotTrackColor", QColor(Qt::red));
    storeRepaint("FlatCheckBox", false);
    storeRepaint("FlatCheckBoxType", int(TEnhancedGrid::Bold));
    storeRepaint("MemoViewType", int(TEnhancedGrid::ScrollBarsOn));
    storeRepaint("ShowTextEllipsis", true);
    storeRepaint("ShowTitleEllipsis", true);
    storeRepaint("ScrollHints", true);
    storeRepaint("UseBitmapDrawing", true);
    storeRepaint("MemoInplaceEditor", int(TEnhancedGrid::RichEdit));
    storeRepaint("DisplayPopupEditors", true);
    storeRepaint("ShowTitlesWhenInactive", true);
    storeRepaint("BoldTitlesWhenCells3D", true);
    storeRepaint("BoldIndicatorsWhenCells3D", true);
    storeRepaint("ExtendedScroll", false);
    stores("DisplayMemo", false);
    stores("ExportDelimiter", int(TEnhancedGrid::Quote));
    stores("EnterAsTab", true);
    stores("ReportCaption", QStringLiteral("Jobs"));
    stores("HotTrack", true);
    stores("RegistrySaveName", QStringLiteral("Software\\Kelvara\\Grid"));
    stores("ValueChecked", -1);
    stores("ValueUnChecked", 5);
    stores("MaskedColumnDrag", false);
    repaintsAlways("UseRowColors", true);
    repaintsAlways("UseBackgroundPicture", true);
    repaintsAlways("DisplayDateTime", false);
    repaintsAlways("LockedCols", 1);
    repaintsAlways("LockedColor", QColor(Qt::red));
    repaintsAlways("SearchMode", true);
}

void tst_EnhancedGrid::setterRepaints()
{
    QFETCH(QString, name);
    QFETCH(QVariant, value);
    QFETCH(bool, repaints);
    QFETCH(bool, equalSkips);

    GridFixture fixture(3);
    auto grid = fixture.makeGrid<CountingGrid>();
    const QByteArray key = name.toLatin1();
    QVERIFY(comparable(grid->property(key.constData())) != value);

    grid->invalidations = 0;
    QVERIFY(grid->setProperty(key.constData(), value));
    QCOMPARE(comparable(grid->property(key.constData())), value);
    if (repaints && equalSkips)
        QCOMPARE(grid->invalidations, 1);
    else if (repaints)
        QVERIFY2(grid->invalidations >= 1, "a changed value repaints");
    else
        QCOMPARE(grid->invalidations, 0);

    grid->invalidations = 0;
    QVERIFY(grid->setProperty(key.constData(), value));
    QCOMPARE(comparable(grid->property(key.constData())), value);
    if (equalSkips)
        QCOMPARE(grid->invalidations, 0);
    else
        QVERIFY(grid->invalidations >= 1);
}

void tst_EnhancedGrid::rowColorsAndBackgroundPictureExclude()
{
    GridFixture fixture(3);
    auto grid = fixture.makeGrid<CountingGrid>();
    grid->setUseBackgroundPicture(true);
    QVERIFY(grid->useBackgroundPicture());

    grid->invalidations = 0;
    grid->setUseRowColors(true);
    QVERIFY(grid->useRowColors());
    QVERIFY(!grid->useBackgroundPicture());
    QCOMPARE(grid->invalidations, 1);

    grid->invalidations = 0;
    grid->setUseBackgroundPicture(true);
    QVERIFY(grid->useBackgroundPicture());
    QVERIFY(!grid->useRowColors());
    QCOMPARE(grid->invalidations, 1);

    // Switching one off leaves the other alone.
    grid->setUseBackgroundPicture(false);
    QVERIFY(!grid->useRowColors());
    grid->setUseRowColors(true);
    grid->setUseRowColors(false);
    QVERIFY(!grid->useBackgroundPicture());
}

void tst_EnhancedGrid::displayMemoOffSwitchesFullSizeMemoOff()
{
    TEnhancedGrid grid;
    grid.setDisplayMemo(false);
    grid.setFullSizeMemo(true);
    QVERIFY(grid.fullSizeMemo());
    QVERIFY2(grid.displayMemo(), "FullSizeMemo switches DisplayMemo on");
    grid.setDisplayMemo(true);
    QVERIFY(grid.fullSizeMemo());
    grid.setDisplayMemo(false);
    QVERIFY(!grid.fullSizeMemo());
    QVERIFY(!grid.displayMemo());
}

void tst_EnhancedGrid::menuOptionsIsFlagWith26Members()
{
    const QStringList names{"moAutoSize",     "moAutoWidth",          "moDisplayBoolean",   "moDisplayImages",
                            "moDisplayMemo",  "moDisplayDateTime",    "moShowTextEllipsis", "moShowTitleEllipsis",
                            "moFullSizeMemo", "moAllowRowSizing",     "moCellHints",        "moMultiLineTitles",
                            "moUseRowColors", "moFixedColumns",       "moPrintGrid",        "moPrintDataSet",
                            "moExportGrid",   "moSelectAll",          "moUnSelectAll",      "moQueryByForm",
                            "moSortByForm",   "moMemoInplaceEditors", "moCustomize",        "moSearchMode",
                            "moSaveLayout",   "moLoadLayout"};
    QCOMPARE(names.size(), 26);

    const QMetaEnum menu = QMetaEnum::fromType<TEnhancedGrid::TMenuOptions>();
    QVERIFY(menu.isValid());
    QVERIFY(menu.isFlag());
    QCOMPARE(menu.keyCount(), 26);
    for (int i = 0; i < 26; ++i) {
        QCOMPARE(QString::fromLatin1(menu.key(i)), names.at(i));
        QCOMPARE(quint32(menu.value(i)), 1u << i);
    }

    const QMetaObject *meta = &TEnhancedGrid::staticMetaObject;
    const QMetaProperty property = meta->property(meta->indexOfProperty("MenuOptions"));
    QVERIFY(property.isValid());
    QVERIFY(property.isFlagType());
    QCOMPARE(TEnhancedGrid::allMenuOptions().toInt(), int((1u << 26) - 1));
}

void tst_EnhancedGrid::menuOptionsPropertyRoundTrips()
{
    TEnhancedGrid grid;
    const TEnhancedGrid::TMenuOptions some = TEnhancedGrid::moAutoSize | TEnhancedGrid::moLoadLayout;
    QVERIFY(grid.setProperty("MenuOptions", QVariant::fromValue(some)));
    QCOMPARE(grid.menuOptions(), some);
    QVERIFY(grid.setProperty("MenuOptions", QVariant::fromValue(TEnhancedGrid::TMenuOptions())));
    QCOMPARE(grid.menuOptions().toInt(), 0);
}

void tst_EnhancedGrid::gridControlsLookupIgnoresCaseFirstWins()
{
    TGridControls controls;
    TGridControl *first = controls.add();
    first->setControlName(QStringLiteral("DateEdit1"));
    first->setFieldName(QStringLiteral("Started"));
    TGridControl *second = controls.add();
    second->setControlName(QStringLiteral("DateEdit2"));
    second->setFieldName(QStringLiteral("STARTED"));
    TGridControl *third = controls.add();
    third->setControlName(QStringLiteral("Combo1"));
    third->setFieldName(QStringLiteral("City"));

    QCOMPARE(controls.count(), 3);
    QCOMPARE(controls.controlForField(QStringLiteral("started")), first);
    QCOMPARE(controls.controlForField(QStringLiteral("STARTED")), first);
    QCOMPARE(controls.controlForField(QStringLiteral("cItY")), third);
    QCOMPARE(controls.controlForField(QStringLiteral("Name")), nullptr);
    QCOMPARE(controls.items(3), nullptr);
}

void tst_EnhancedGrid::gridControlsAssignCopies()
{
    TGridControls source;
    TGridControl *a = source.add();
    a->setControlName(QStringLiteral("A"));
    a->setFieldName(QStringLiteral("fa"));
    TGridControl *b = source.add();
    b->setControlName(QStringLiteral("B"));
    b->setFieldName(QStringLiteral("fb"));

    TGridControls target;
    for (int i = 0; i < 3; ++i)
        target.add()->setControlName(QStringLiteral("old"));
    target.assign(source);
    QCOMPARE(target.count(), 2);
    for (int i = 0; i < 2; ++i) {
        QCOMPARE(target.items(i)->controlName(), source.items(i)->controlName());
        QCOMPARE(target.items(i)->fieldName(), source.items(i)->fieldName());
        QVERIFY(target.items(i) != source.items(i));
    }
    // Copies, not shared items.
    a->setFieldName(QStringLiteral("changed"));
    QCOMPARE(target.items(0)->fieldName(), QStringLiteral("fa"));

    TGridControl single;
    single.assign(*b);
    QCOMPARE(single.controlName(), QStringLiteral("B"));
    QCOMPARE(single.fieldName(), QStringLiteral("fb"));
}

void tst_EnhancedGrid::setControlsAssignsItemByItem()
{
    TEnhancedGrid grid;
    TGridControls given;
    given.add()->setFieldName(QStringLiteral("Name"));
    grid.setControls(given);
    QCOMPARE(grid.controls()->count(), 1);
    QVERIFY(grid.controls() != &given);
    QCOMPARE(grid.controls()->items(0)->fieldName(), QStringLiteral("Name"));
}

void tst_EnhancedGrid::autoWidthChangeHandlerReplacesMode()
{
    GridFixture fixture(3);
    auto grid = fixture.makeGrid<TEnhancedGrid>();
    QList<TEnhancedGrid::TAutoWidth> seen;
    grid->OnAutoWidthChange = [&](QObject *sender, TEnhancedGrid::TAutoWidth &mode) {
        QCOMPARE(sender, grid.get());
        seen << mode;
        if (mode == TEnhancedGrid::awUniform)
            mode = TEnhancedGrid::awDefault;
    };
    grid->setGridAutoWidth(TEnhancedGrid::awUniform);
    QCOMPARE(seen, (QList<TEnhancedGrid::TAutoWidth>{TEnhancedGrid::awUniform}));
    QCOMPARE(grid->gridAutoWidth(), TEnhancedGrid::awDefault);
    QCOMPARE(grid->property("GridAutoWidth").toInt(), int(TEnhancedGrid::awDefault));
}

void tst_EnhancedGrid::isBooleanFieldAsksHandler()
{
    FieldDefs defs = GridFixture::defaultDefs();
    defs << test::fieldDef(QStringLiteral("Done"), ftBoolean);
    GridFixture fixture(2, defs);
    TEnhancedGrid grid;
    Field *done = fixture.table.findField(QStringLiteral("Done"));
    Field *count = fixture.table.findField(QStringLiteral("Count"));
    QVERIFY(done && count);
    QVERIFY(grid.isBooleanField(*done));
    QVERIFY(!grid.isBooleanField(*count));

    QStringList asked;
    grid.OnIsBooleanField = [&](const Field &field) {
        asked << field.fieldName();
        return field.fieldName() == QLatin1String("Count");
    };
    QVERIFY(grid.isBooleanField(*count));
    QVERIFY(!grid.isBooleanField(*done));
    QCOMPARE(asked, (QStringList{QStringLiteral("Count"), QStringLiteral("Done")}));
}

void tst_EnhancedGrid::loadingHidesHostedControls()
{
    QWidget form;
    auto *named = new QLineEdit(&form);
    named->setObjectName(QStringLiteral("CityEdit"));
    auto *other = new QLineEdit(&form);
    other->setObjectName(QStringLiteral("OtherEdit"));
    auto *grid = new TEnhancedGrid(&form);
    form.show();
    QVERIFY(named->isVisible() && other->isVisible());

    grid->beginLoading();
    QVERIFY(grid->isLoading());
    TGridControls stored;
    TGridControl *item = stored.add();
    item->setControlName(QStringLiteral("CityEdit"));
    item->setFieldName(QStringLiteral("City"));
    TGridControl *missing = stored.add();
    missing->setControlName(QStringLiteral("NoSuchControl"));
    missing->setFieldName(QStringLiteral("Name"));
    grid->setControls(stored);
    grid->loaded();

    QVERIFY(!grid->isLoading());
    QVERIFY(!named->isVisible());
    QVERIFY(other->isVisible());
}

void tst_EnhancedGrid::loadingRemembersHoverColour()
{
    GridFixture fixture(2);
    auto grid = fixture.makeGrid<TEnhancedGrid>();
    grid->beginLoading();
    grid->setFontColor(QColor(Qt::darkRed));
    grid->setHotTrack(true);
    grid->setHotTrackColor(QColor(Qt::blue));
    grid->loaded();

    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), grid->mapToGlobal(QPointF(5, 5)));
    QCoreApplication::sendEvent(grid.get(), &enter);
    QCOMPARE(grid->fontColor(), QColor(Qt::blue));
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(grid.get(), &leave);
    QCOMPARE(grid->fontColor(), QColor(Qt::darkRed));
}

void tst_EnhancedGrid::loadingKeepsModeWithoutOnResize()
{
    GridFixture fixture(2);
    auto grid = fixture.makeGrid<TEnhancedGrid>();
    grid->beginLoading();
    grid->setGridAutoWidthOnResize(false);
    grid->setGridAutoWidth(TEnhancedGrid::awDefault);
    QCOMPARE(grid->gridAutoWidth(), TEnhancedGrid::awDefault);
    grid->loaded();
    QCOMPARE(grid->gridAutoWidth(), TEnhancedGrid::awDefault);
}

void tst_EnhancedGrid::titleCaptionDefaults()
{
    GridFixture fixture(2);
    auto grid = fixture.makeGrid<TEnhancedGrid>();
    TColumn *name = addColumn(*grid, QStringLiteral("Name"));
    TColumn *city = addColumn(*grid, QStringLiteral("City"));
    TColumn *none = addColumn(*grid, QStringLiteral("NoSuchField"));
    TColumn *own = addColumn(*grid, QStringLiteral("Count"));
    own->title()->setCaption(QStringLiteral("How many"));
    fixture.table.findField(QStringLiteral("City"))->setDisplayLabel(QStringLiteral("Town"));

    QCOMPARE(name->title()->caption(), QStringLiteral("Name"));
    QCOMPARE(city->title()->caption(), QStringLiteral("Town"));
    QCOMPARE(none->title()->caption(), QStringLiteral("NoSuchField"));
    QCOMPARE(own->title()->caption(), QStringLiteral("How many"));
}

QTEST_MAIN(tst_EnhancedGrid)
#include "tst_enhancedgrid.moc"
