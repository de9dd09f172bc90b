#include "colordistance.h"
#include "grid/cellpainter.h"
#include "grid/fieldkind.h"
#include "gridfixture.h"
#include "picturefixtures.h"
#include "store/error.h"
#include "store/field.h"

#include <QBuffer>
#include <QPainter>
#include <QtTest>

using namespace kelvara;
using kelvara::test::GridFixture;
using kelvara::test::near;

Q_DECLARE_METATYPE(kelvara::FieldKind)
Q_DECLARE_METATYPE(kelvara::CellGrid::TGridDrawState)
using PixelList = QList<QPair<QPoint, QColor>>;
Q_DECLARE_METATYPE(PixelList)

namespace {

using State = CellGrid::TGridDrawState;
constexpr State plain;
constexpr State selected = CellGrid::gdSelected;
constexpr State focused = CellGrid::gdFocused;
constexpr State fixed = CellGrid::gdFixed;

const QColor kBackdrop(10, 20, 30);   // the image before painting: what nothing covered
const QColor kColumn(250, 250, 240);  // the colour the base grid gave the cell
const QColor kInk(0, 0, 0);
const QColor kFixed(212, 208, 200);
const QColor kHighlight(0, 0, 128);
const QColor kHighlightFont(255, 255, 255);

// One record holding a value of every kind the grid tells apart.
struct PaintFixture
{
    PaintFixture()
        : data(0,
               FieldDefs{
                   test::fieldDef(QStringLiteral("Name"), ftString, 40),
                   test::fieldDef(QStringLiteral("Notes"), ftMemo), test::fieldDef(QStringLiteral("Photo"), ftGraphic),
                   test::fieldDef(QStringLiteral("Done"), ftBoolean), test::fieldDef(QStringLiteral("Day"), ftDate),
                   test::fieldDef(QStringLiteral("Count"), ftInteger)})
    {
        data.table.append();
        field("Name")->setAsString(QStringLiteral("Swarm"));
        field("Notes")->setAsString(QStringLiteral("Hanging in the apple tree\nnear the gate\nbees calm"));
        field("Photo")->setAsBytes(test::jpegBytes(QSize(80, 40), Qt::red));
        field("Done")->setAsBoolean(true);
        field("Day")->setAsDateTime(QDateTime(QDate(2026, 5, 17), QTime()));
        field("Count")->setAsInteger(2);
        data.table.post();
    }

    Field *field(const char *name) { return data.table.fieldByName(QString::fromLatin1(name)); }

    GridFixture data;
};

QImage blankImage(const QSize &size = QSize(120, 400))
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(kBackdrop);
    return image;
}

// The grid's display options the tests start from; a test changes them where the painter reads them.
GridDisplayOptions displayOptions()
{
    GridDisplayOptions options;
    options.highlightColor = kHighlight;
    options.highlightFontColor = kHighlightFont;
    return options;
}

CellPainter makePainter(const GridDisplayOptions &options)
{
    CellPainter painter(options);
    painter.context.fixedColor = kFixed;
    painter.context.checkBoxSize = QSize(13, 13);
    return painter;
}

// Paints one data cell as the grid does: the base grid has set font, brush and pen first.
bool paintCell(QImage &image, const CellPainter &cells, const CellPainter::DataCell &cell,
               const CellPainter::CellAttributeHook &hook = {})
{
    QPainter painter(&image);
    painter.setBrush(kColumn);
    painter.setPen(kInk);
    return cells.paintDataCell(painter, cell, hook);
}

CellPainter::DataCell dataCell(const QRect &rect, Field *field, State state = plain,
                               Alignment alignment = taLeftJustify)
{
    return CellPainter::DataCell{rect, field ? field->fieldName() : QStringLiteral("Lost"), field, alignment, state};
}

QImage cellImage(const CellPainter &cells, const CellPainter::DataCell &cell, const QSize &size = QSize(120, 400))
{
    QImage image = blankImage(size);
    paintCell(image, cells, cell);
    return image.copy(cell.rect);
}

// Pixels of rect that differ from colour.
int pixelsOtherThan(const QImage &image, const QRect &rect, const QColor &color)
{
    int count = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            count += image.pixelColor(x, y) != color;
    return count;
}

// Bands of consecutive pixel rows of rect holding anything other than the background: text lines.
int inkBands(const QImage &image, const QRect &rect, const QColor &background)
{
    int bands = 0;
    bool inBand = false;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        const bool ink = pixelsOtherThan(image, QRect(rect.left(), y, rect.width(), 1), background) > 0;
        bands += ink && !inBand;
        inBand = ink;
    }
    return bands;
}

}  // namespace

class TestCellPainter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void formattedMemoShowsItsWordsNotItsMarkup();
    void fieldKinds_data();
    void fieldKinds();
    void baseDrawState_data();
    void baseDrawState();
    void rowColours_data();
    void rowColours();
    void backgroundPicture();
    void focusMarks_data();
    void focusMarks();
    void cellAttributeHook_data();
    void cellAttributeHook();
    void columnWithoutFieldNamePaintsNothing();
    void textLayout_data();
    void textLayout();
    void fittedPictureRect_data();
    void fittedPictureRect();
    void pictures_data();
    void pictures();
    void checkBoxStylesDiffer();
    void checkedByCallback_data();
    void checkedByCallback();
    void colourSwitch_data();
    void colourSwitch();
    void framePixels_data();
    void framePixels();
    void cornerMark_data();
    void cornerMark();
    void titleRedraw_data();
    void titleRedraw();
    void blankCellCoversLines();
};

void TestCellPainter::fieldKinds_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("callback");
    QTest::addColumn<bool>("callbackAnswer");
    QTest::addColumn<FieldKind>("kind");

    QTest::newRow("memo") << int(ftMemo) << false << false << FieldKind::MemoLike;
    QTest::newRow("formatted memo") << int(ftFmtMemo) << false << false << FieldKind::MemoLike;
    QTest::newRow("bytes") << int(ftBytes) << false << false << FieldKind::MemoLike;
    QTest::newRow("graphic") << int(ftGraphic) << false << false << FieldKind::Picture;
    QTest::newRow("blob") << int(ftBlob) << false << false << FieldKind::Picture;
    QTest::newRow("typed binary") << int(ftTypedBinary) << false << false << FieldKind::Picture;
    QTest::newRow("boolean") << int(ftBoolean) << false << false << FieldKind::Boolean;
    QTest::newRow("date") << int(ftDate) << false << false << FieldKind::DateTime;
    QTest::newRow("time") << int(ftTime) << false << false << FieldKind::DateTime;
    QTest::newRow("date and time") << int(ftDateTime) << false << false << FieldKind::DateTime;
    QTest::newRow("string") << int(ftString) << false << false << FieldKind::Plain;
    QTest::newRow("integer") << int(ftInteger) << false << false << FieldKind::Plain;
    QTest::newRow("callback: integer is boolean") << int(ftInteger) << true << true << FieldKind::Boolean;
    QTest::newRow("callback: boolean is not") << int(ftBoolean) << true << false << FieldKind::Plain;
    QTest::newRow("callback: date is boolean") << int(ftDate) << true << true << FieldKind::Boolean;
    QTest::newRow("callback: memo stays memo") << int(ftMemo) << true << true << FieldKind::MemoLike;
    QTest::newRow("callback: blob stays picture") << int(ftBlob) << true << true << FieldKind::Picture;
}

void TestCellPainter::fieldKinds()
{
    QFETCH(int, type);
    QFETCH(bool, callback);
    QFETCH(bool, callbackAnswer);
    QFETCH(FieldKind, kind);

    const Field field(nullptr, test::fieldDef(QStringLiteral("F"), FieldType(type)), 1);
    std::function<bool(const Field &)> isBoolean;
    if (callback)
        isBoolean = [&](const Field &asked) {
            if (&asked != &field)
                throw Error(QStringLiteral("asked about another field"));
            return callbackAnswer;
        };
    QCOMPARE(fieldKind(&field, isBoolean), kind);
    QCOMPARE(fieldKind(nullptr, isBoolean), FieldKind::Plain);
}

void TestCellPainter::baseDrawState_data()
{
    QTest::addColumn<bool>("ctl3D");
    QTest::addColumn<bool>("titles");
    QTest::addColumn<int>("col");
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("staysFixed");

    QTest::newRow("locked data cell, Ctl3D") << true << true << 1 << 1 << false;
    QTest::newRow("locked data cell, flat") << false << true << 1 << 1 << true;
    QTest::newRow("indicator cell") << true << true << 0 << 3 << true;
    QTest::newRow("title cell") << true << true << 1 << 0 << true;
    QTest::newRow("first row without titles") << true << false << 1 << 0 << false;
}

void TestCellPainter::baseDrawState()
{
    QFETCH(bool, ctl3D);
    QFETCH(bool, titles);
    QFETCH(int, col);
    QFETCH(int, row);
    QFETCH(bool, staysFixed);

    const GridDisplayOptions options;
    CellPainter cells(options);
    cells.context.ctl3D = ctl3D;
    cells.context.titles = titles;
    const State state = cells.baseDrawState(col, row, fixed | selected);
    QCOMPARE(bool(state & CellGrid::gdFixed), staysFixed);
    QVERIFY(state & CellGrid::gdSelected);
    QCOMPARE(cells.baseDrawState(col, row, plain), plain);
}

void TestCellPainter::rowColours_data()
{
    QTest::addColumn<int>("top");
    QTest::addColumn<State>("state");
    QTest::addColumn<QColor>("expected");

    const QColor one(111, 255, 186);
    const QColor two(200, 210, 220);
    // 17-pixel rows, each with its line, under a 17-pixel title row: data row n starts at 18 n.
    QTest::newRow("first data row (top 18) -> RowColor1") << 18 << plain << one;
    QTest::newRow("second data row (top 36) -> RowColor2") << 36 << plain << two;
    QTest::newRow("third data row (top 54) -> RowColor1") << 54 << plain << one;
    QTest::newRow("17th data row (top 306) -> RowColor1") << 306 << plain << one;
    QTest::newRow("18th data row (top 324) -> RowColor2") << 324 << plain << two;
    QTest::newRow("focused: highlight over the row colour") << 18 << focused << kHighlight;
    QTest::newRow("selected: no row colour") << 36 << selected << kHighlight;
    QTest::newRow("fixed: the base grid's colour") << 18 << fixed << kColumn;
}

void TestCellPainter::rowColours()
{
    QFETCH(int, top);
    QFETCH(State, state);
    QFETCH(QColor, expected);

    PaintFixture fixture;
    GridDisplayOptions options = displayOptions();
    CellPainter cells = makePainter(options);
    options.useRowColors = true;
    options.rowColor2 = QColor(200, 210, 220);
    const QRect rect(12, top, 64, 17);
    QImage image = blankImage();
    paintCell(image, cells, dataCell(rect, fixture.field("Name"), state));
    // Away from the text and the focus mark.
    QCOMPARE(image.pixelColor(rect.right() - 2, rect.bottom() - 2), expected);
    QCOMPARE(image.pixelColor(rect.right() + 1, rect.bottom() + 1), kBackdrop);
}

void TestCellPainter::backgroundPicture()
{
    PaintFixture fixture;
    GridDisplayOptions options = displayOptions();
    CellPainter cells = makePainter(options);
    QImage background(200, 60, QImage::Format_RGB32);
    for (int x = 0; x < background.width(); ++x)
        for (int y = 0; y < background.height(); ++y)
            background.setPixelColor(x, y, QColor(x, y, 100));
    cells.context.backgroundCopy = &background;
    const QRect rect(40, 18, 50, 17);

    QImage image = blankImage();
    paintCell(image, cells, dataCell(rect, fixture.field("Name")));
    // Taken at the cell's own client coordinates, unscaled; the text is drawn over it.
    QCOMPARE(image.pixelColor(rect.right() - 1, rect.bottom() - 1), QColor(rect.right() - 1, rect.bottom() - 1, 100));
    QCOMPARE(image.pixelColor(rect.left(), rect.top()), QColor(rect.left(), rect.top(), 100));
    int text = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            text += image.pixelColor(x, y) != background.pixelColor(x, y);
    QVERIFY(text > 0);

    image = blankImage();
    paintCell(image, cells, dataCell(rect, fixture.field("Name"), selected));
    QCOMPARE(image.pixelColor(rect.right() - 2, rect.bottom() - 2), kHighlight);

    // An attribute colour makes the brush solid again.
    image = blankImage();
    paintCell(image, cells, dataCell(rect, fixture.field("Name")),
              [](QPainter &painter, const Field *, State) { painter.setBrush(QColor(1, 2, 3)); });
    QCOMPARE(image.pixelColor(rect.right() - 2, rect.bottom() - 2), QColor(1, 2, 3));
}

void TestCellPainter::focusMarks_data()
{
    QTest::addColumn<State>("state");
    QTest::addColumn<bool>("alwaysShowSelection");
    QTest::addColumn<bool>("cells3D");
    QTest::addColumn<bool>("rowSelect");
    QTest::addColumn<QString>("mark");

    QTest::newRow("focused: dotted") << focused << false << false << false << "dotted";
    QTest::newRow("selected, not focused: yellow") << selected << false << false << false << "yellow";
    QTest::newRow("focused and selected: dotted") << (focused | selected) << false << false << false << "dotted";
    QTest::newRow("always show selection, selected: dotted") << selected << true << false << false << "dotted";
    QTest::newRow("always show selection, focused only: none") << focused << true << false << false << "none";
    QTest::newRow("Cells3D: none") << focused << false << true << false << "none";
    QTest::newRow("row select: none") << selected << false << false << true << "none";
    QTest::newRow("plain cell: none") << plain << false << false << false << "none";
}

void TestCellPainter::focusMarks()
{
    QFETCH(State, state);
    QFETCH(bool, alwaysShowSelection);
    QFETCH(bool, cells3D);
    QFETCH(bool, rowSelect);
    QFETCH(QString, mark);

    PaintFixture fixture;
    GridDisplayOptions options = displayOptions();
    CellPainter cells = makePainter(options);
    cells.context.alwaysShowSelection = alwaysShowSelection;
    options.cells3D = cells3D;
    cells.context.rowSelect = rowSelect;
    const QRect rect(10, 18, 60, 17);
    QImage image = blankImage();
    paintCell(image, cells, dataCell(rect, fixture.field("Count"), state));
    const QColor fill = (state & (focused | selected)) ? kHighlight : kColumn;
    const QList<QPoint> edge{QPoint(rect.left() + 20, rect.top()),    QPoint(rect.left() + 21, rect.top()),
                             QPoint(rect.left() + 20, rect.bottom()), QPoint(rect.left() + 21, rect.bottom()),
                             QPoint(rect.left(), rect.top() + 8),     QPoint(rect.left(), rect.top() + 9),
                             QPoint(rect.right(), rect.top() + 8),    QPoint(rect.right(), rect.top() + 9)};
    int filled = 0;
    for (const QPoint &point : edge) {
        const QColor pixel = image.pixelColor(point);
        if (mark == QLatin1String("yellow"))
            QCOMPARE(pixel, QColor(255, 255, 0));
        filled += pixel == fill;
    }
    if (mark == QLatin1String("dotted"))
        QCOMPARE(filled, 4);  // every other pixel of the outline turned over
    else if (mark == QLatin1String("none"))
        QCOMPARE(filled, 8);
    QCOMPARE(image.pixelColor(rect.left() + 1, rect.bottom() - 1), fill);
    QCOMPARE(image.pixelColor(rect.right() + 1, rect.top()), kBackdrop);
}

void TestCellPainter::cellAttributeHook_data()
{
    QTest::addColumn<State>("state");
    QTest::addColumn<bool>("withField");
    QTest::addColumn<bool>("called");

    QTest::newRow("plain") << plain << true << true;
    QTest::newRow("focused, not selected") << focused << true << true;
    QTest::newRow("selected") << selected << true << false;
    QTest::newRow("focused and selected") << (focused | selected) << true << false;
    QTest::newRow("fixed") << fixed << true << false;
    QTest::newRow("column without its field") << plain << false << false;
}

void TestCellPainter::cellAttributeHook()
{
    QFETCH(State, state);
    QFETCH(bool, withField);
    QFETCH(bool, called);

    PaintFixture fixture;
    GridDisplayOptions options = displayOptions();
    CellPainter cells = makePainter(options);
    options.useRowColors = true;
    Field *name = fixture.field("Name");
    QList<const Field *> calls;
    const QColor attribute(90, 30, 60);
    const QRect rect(0, 18, 60, 17);
    QImage image = blankImage();
    paintCell(image, cells, dataCell(rect, withField ? name : nullptr, state),
              [&](QPainter &painter, const Field *field, State given) {
                  QCOMPARE(given, state);
                  calls << field;
                  painter.setBrush(attribute);
              });
    QCOMPARE(calls.size(), called ? 1 : 0);
    if (called) {
        QCOMPARE(calls.first(), name);
        // The content step fills with what the handler left.
        QCOMPARE(image.pixelColor(rect.right() - 2, rect.bottom() - 2), attribute);
    }
}

void TestCellPainter::columnWithoutFieldNamePaintsNothing()
{
    PaintFixture fixture;
    GridDisplayOptions options = displayOptions();
    CellPainter cells = makePainter(options);
    options.useRowColors = true;
    bool hookCalled = false;
    QImage image = blankImage();
    CellPainter::DataCell cell = dataCell(QRect(0, 18, 60, 17), fixture.field("Name"), focused);
    cell.fieldName.clear();
    QVERIFY(!paintCell(image, cells, cell, [&](QPainter &, const Field *, State) { hookCalled = true; }));
    QVERIFY(!hookCalled);
    QCOMPARE(image, blankImage());
}

void TestCellPainter::textLayout_data()
{
    QTest::addColumn<QString>("fieldName");
    QTest::addColumn<bool>("ellipsis");
    QTest::addColumn<int>("alignment");
    QTest::addColumn<int>("lines");
    QTest::addColumn<QString>("inkSide");

    QTest::newRow("memo wrapped: one band per line") << "Notes" << false << int(taLeftJustify) << 3 << "left";
    QTest::newRow("memo with ellipsis: one line") << "Notes" << true << int(taLeftJustify) << 1 << "left";
    QTest::newRow("plain right aligned") << "Name" << false << int(taRightJustify) << 1 << "right";
    QTest::newRow("plain centred") << "Name" << true << int(taCenter) << 1 << "centre";
    QTest::newRow("date is left aligned whatever the column") << "Day" << false << int(taRightJustify) << 1 << "left";
}

void TestCellPainter::textLayout()
{
    QFETCH(QString, fieldName);
    QFETCH(bool, ellipsis);
    QFETCH(int, alignment);
    QFETCH(int, lines);
    QFETCH(QString, inkSide);

    PaintFixture fixture;
    GridDisplayOptions options = displayOptions();
    CellPainter cells = makePainter(options);
    options.showTextEllipsis = ellipsis;
    // Wide enough for each memo line, high enough for all of them and more.
    const QRect rect(4, 18, 230, 100);
    Field *field = fixture.data.table.fieldByName(fieldName);
    QImage image = blankImage(QSize(240, 130));
    paintCell(image, cells, dataCell(rect, field, plain, Alignment(alignment)));
    QCOMPARE(inkBands(image, rect, kColumn), lines);

    // Text starts at the top, 2 pixels in.
    QCOMPARE(pixelsOtherThan(image, QRect(rect.left(), rect.top(), rect.width(), 2), kColumn), 0);
    QCOMPARE(pixelsOtherThan(image, QRect(rect.left(), rect.top(), 2, rect.height()), kColumn), 0);
    const int third = rect.width() / 3;
    const QRect left(rect.left(), rect.top(), third, rect.height());
    const QRect middle(rect.left() + third, rect.top(), third, rect.height());
    const QRect right(rect.left() + 2 * third, rect.top(), rect.width() - 2 * third, rect.height());
    if (inkSide == QLatin1String("left")) {
        QVERIFY(pixelsOtherThan(image, left, kColumn) > 0);
    } else if (inkSide == QLatin1String("right")) {
        QCOMPARE(pixelsOtherThan(image, left, kColumn), 0);
        QVERIFY(pixelsOtherThan(image, right, kColumn) > 0);
        // The right margin keeps the last two pixel columns clear.
        QCOMPARE(pixelsOtherThan(image, QRect(rect.right() - 1, rect.top(), 2, rect.height()), kColumn), 0);
    } else {
        QCOMPARE(pixelsOtherThan(image, left.adjusted(0, 0, -8, 0), kColumn), 0);
        QVERIFY(pixelsOtherThan(image, middle, kColumn) > 0);
        QCOMPARE(pixelsOtherThan(image, right.adjusted(8, 0, 0, 0), kColumn), 0);
    }
}

void TestCellPainter::fittedPictureRect_data()
{
    QTest::addColumn<QRect>("cell");
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QRect>("expected");

    QTest::newRow("2:1 in a square: full width, half height, centred")
        << QRect(10, 20, 40, 40) << QSize(80, 40) << QRect(10, 30, 40, 20);
    QTest::newRow("1:2 in a square: half width, full height")
        << QRect(0, 0, 40, 40) << QSize(40, 80) << QRect(10, 0, 20, 40);
    QTest::newRow("small picture enlarged") << QRect(0, 0, 60, 30) << QSize(4, 4) << QRect(15, 0, 30, 30);
    QTest::newRow("height 2.5 rounds to 2 (halves to even)")
        << QRect(0, 0, 10, 10) << QSize(4, 1) << QRect(0, 4, 10, 2);
    QTest::newRow("height 7.5 rounds to 8 (halves to even)")
        << QRect(0, 0, 10, 10) << QSize(4, 3) << QRect(0, 1, 10, 8);
    QTest::newRow("width 2.5 rounds to 2") << QRect(0, 0, 10, 10) << QSize(1, 4) << QRect(4, 0, 2, 10);
    QTest::newRow("odd space: the spare pixel below") << QRect(0, 0, 11, 11) << QSize(10, 5) << QRect(0, 2, 11, 6);
    QTest::newRow("no picture: nothing to draw") << QRect(0, 0, 10, 10) << QSize(0, 0) << QRect(0, 5, 10, 0);
}

void TestCellPainter::fittedPictureRect()
{
    QFETCH(QRect, cell);
    QFETCH(QSize, picture);
    QFETCH(QRect, expected);
    QCOMPARE(CellPainter::fittedPictureRect(cell, picture), expected);
}

void TestCellPainter::pictures_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<State>("state");
    QTest::addColumn<QRect>("drawn");  // in the 40 x 40 cell; empty: nothing drawn
    QTest::addColumn<QColor>("colour");

    QImage greenPng(QSize(20, 40), QImage::Format_RGB32);
    greenPng.fill(Qt::green);
    QTest::newRow("JPEG 2:1") << test::jpegBytes(QSize(80, 40), Qt::red) << plain << QRect(0, 10, 40, 20)
                              << QColor(Qt::red);
    QTest::newRow("JPEG 2:1, focused") << test::jpegBytes(QSize(80, 40), Qt::red) << focused << QRect(0, 10, 40, 20)
                                       << QColor(Qt::red);
    QTest::newRow("PNG 1:2") << test::encoded(greenPng, "PNG") << plain << QRect(10, 0, 20, 40) << QColor(Qt::green);
    QImage blueBmp(QSize(3, 3), QImage::Format_RGB32);
    blueBmp.fill(Qt::blue);
    QTest::newRow("BMP 1:1, enlarged") << test::encoded(blueBmp, "BMP") << plain << QRect(0, 0, 40, 40)
                                       << QColor(Qt::blue);
    QTest::newRow("not a picture") << QByteArray("no picture here") << plain << QRect() << QColor();
    QTest::newRow("broken JPEG") << test::jpegBytes(QSize(80, 40), Qt::red).left(200) << plain << QRect() << QColor();
    QTest::newRow("empty") << QByteArray() << selected << QRect() << QColor();
}

void TestCellPainter::pictures()
{
    QFETCH(QByteArray, bytes);
    QFETCH(State, state);
    QFETCH(QRect, drawn);
    QFETCH(QColor, colour);

    PaintFixture fixture;
    Field *photo = fixture.field("Photo");
    fixture.data.table.edit();
    if (bytes.isEmpty())
        photo->clear();
    else
        photo->setAsBytes(bytes);
    fixture.data.table.post();

    GridDisplayOptions options = displayOptions();

    CellPainter cells = makePainter(options);
    options.imageHighlightColor = QColor(240, 240, 100);
    cells.context.fontColor = QColor(0, 100, 0);
    options.drawFocusRect = false;
    const QRect rect(30, 18, 40, 40);
    QImage image = blankImage();
    paintCell(image, cells, dataCell(rect, photo, state));

    const QColor background = state & (focused | selected) ? QColor(240, 240, 100) : kColumn;
    const QRect target = drawn.translated(rect.topLeft());
    if (drawn.isEmpty()) {
        QCOMPARE(pixelsOtherThan(image, rect, background), 0);
        return;
    }
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (!target.contains(x, y))
                QVERIFY2(pixel == background, qPrintable(QStringLiteral("outside at %1,%2").arg(x).arg(y)));
            else if (colour.isValid())
                QVERIFY2(near(pixel, colour), qPrintable(QStringLiteral("inside at %1,%2").arg(x).arg(y)));
            else
                QVERIFY2(pixel != background, qPrintable(QStringLiteral("inside at %1,%2").arg(x).arg(y)));
        }
    }
    QCOMPARE(image.pixelColor(rect.right() + 1, rect.bottom() + 1), kBackdrop);
}

void TestCellPainter::checkBoxStylesDiffer()
{
    PaintFixture fixture;
    Field *done = fixture.field("Done");
    struct Style
    {
        const char *name;
        bool flat;
        bool bold;
    };
    const Style styles[] = {{"3-D", false, false}, {"flat bold", true, true}, {"flat normal", true, false}};
    const QRect rect(0, 18, 40, 17);
    QList<QImage> checkedImages;
    for (const Style &style : styles) {
        GridDisplayOptions options = displayOptions();
        CellPainter cells = makePainter(options);
        options.flatCheckBox = style.flat;
        options.boldCheckBox = style.bold;
        fixture.data.table.edit();
        done->setAsBoolean(false);
        const QImage unchecked = cellImage(cells, dataCell(rect, done));
        done->setAsBoolean(true);
        const QImage checked = cellImage(cells, dataCell(rect, done));
        fixture.data.table.cancel();
        QVERIFY2(checked != unchecked, style.name);
        // A 13 x 13 box, centred.
        const QRect box((40 - 13) / 2, (17 - 13) / 2, 13, 13);
        QCOMPARE(pixelsOtherThan(checked, checked.rect(), kColumn), pixelsOtherThan(checked, box, kColumn));
        if (style.flat && !style.bold) {
            QCOMPARE(checked.pixelColor(box.topLeft()), clGray);
            QCOMPARE(checked.pixelColor(box.bottomRight()), clGray);
            QCOMPARE(unchecked.pixelColor(box.center()), systemColor(SystemColor::Window));
        }
        for (const QImage &other : checkedImages)
            QVERIFY2(checked != other, style.name);
        checkedImages << checked;
    }

    GridDisplayOptions options = displayOptions();

    CellPainter cells = makePainter(options);
    options.displayBoolean = false;
    const QImage text = cellImage(cells, dataCell(rect, done));
    QVERIFY(!checkedImages.contains(text));
    QVERIFY(pixelsOtherThan(text, QRect(2, 2, 12, 12), kColumn) > 0);  // "True" from the left
}

void TestCellPainter::checkedByCallback_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("valueUnChecked");
    QTest::addColumn<bool>("checked");

    QTest::newRow("2 -> checked") << 2 << 0 << true;
    QTest::newRow("1 -> checked") << 1 << 0 << true;
    QTest::newRow("0 = ValueUnChecked -> unchecked") << 0 << 0 << false;
    QTest::newRow("5 = ValueUnChecked -> unchecked") << 5 << 5 << false;
    QTest::newRow("0 with ValueUnChecked 5 -> checked") << 0 << 5 << true;
}

void TestCellPainter::checkedByCallback()
{
    QFETCH(int, value);
    QFETCH(int, valueUnChecked);
    QFETCH(bool, checked);

    PaintFixture fixture;
    Field *count = fixture.field("Count");
    Field *done = fixture.field("Done");
    const QRect rect(0, 18, 40, 17);
    GridDisplayOptions options = displayOptions();
    CellPainter cells = makePainter(options);
    fixture.data.table.edit();
    done->setAsBoolean(checked);
    const QImage expected = cellImage(cells, dataCell(rect, done));
    count->setAsInteger(value);

    options.valueUnChecked = valueUnChecked;
    cells.context.isBooleanField = [count](const Field &field) { return &field == count; };
    QCOMPARE(cellImage(cells, dataCell(rect, count)), expected);
    fixture.data.table.cancel();
}

void TestCellPainter::colourSwitch_data()
{
    QTest::addColumn<bool>("cells3D");
    QTest::addColumn<bool>("rowLines");
    QTest::addColumn<QColor>("color");
    QTest::addColumn<QColor>("switchedTo");  // invalid: no switch

    const QColor window = systemColor(SystemColor::Window);
    const QColor face = systemColor(SystemColor::BtnFace);
    QTest::newRow("3-D: window -> fixed colour") << true << true << window << kFixed;
    QTest::newRow("3-D: white -> fixed colour") << true << true << QColor(Qt::white) << kFixed;
    QTest::newRow("3-D: other colour stays") << true << true << QColor(1, 2, 3) << QColor();
    QTest::newRow("3-D without row lines is flat: window stays") << true << false << window << QColor();
    QTest::newRow("flat: button face -> window") << false << true << face << window;
    QTest::newRow("flat: silver -> window") << false << true << QColor(192, 192, 192) << window;
    QTest::newRow("flat: white stays") << false << true << QColor(Qt::white) << QColor();
}

void TestCellPainter::colourSwitch()
{
    QFETCH(bool, cells3D);
    QFETCH(bool, rowLines);
    QFETCH(QColor, color);
    QFETCH(QColor, switchedTo);

    GridDisplayOptions options = displayOptions();

    CellPainter cells = makePainter(options);
    options.cells3D = cells3D;
    cells.context.rowLines = rowLines;
    cells.context.color = color;
    QImage image = blankImage();
    QPainter painter(&image);
    const std::optional<QColor> result = cells.paintFrame(painter, 2, 3, QRect(30, 54, 40, 17));
    QCOMPARE(result.has_value(), switchedTo.isValid());
    if (result)
        QCOMPARE(*result, switchedTo);
    QCOMPARE(cells.context.color, color);  // the grid applies it, after the paint
}

void TestCellPainter::framePixels_data()
{
    QTest::addColumn<bool>("cells3D");
    QTest::addColumn<int>("col");
    QTest::addColumn<int>("row");
    QTest::addColumn<PixelList>("pixels");  // relative to (L, T)

    // Cell (L, T, Rt, B) = (0, 0, 40, 17) moved to (30, 54): Rt = 40 and B = 17 are its lines.
    const QColor shadow = systemColor(SystemColor::BtnShadow);
    const QColor light = systemColor(SystemColor::HighlightText);
    QTest::newRow("flat data cell: lines right and below recoloured")
        << false << 2 << 3
        << PixelList{{{0, 17}, kFixed},     {{39, 17}, kFixed},    {{40, 17}, kFixed},    {{40, 0}, kFixed},
                     {{40, -1}, kBackdrop}, {{-1, 17}, kBackdrop}, {{41, 17}, kBackdrop}, {{39, 16}, kBackdrop}};
    QTest::newRow("flat indicator cell: bevel")
        << false << 0 << 3
        << PixelList{{{1, 16}, kFixed},     {{39, 16}, kFixed},   {{39, 1}, kFixed},  {{0, 16}, kBackdrop},
                     {{39, 0}, kBackdrop},  {{-1, 17}, shadow},   {{40, 17}, shadow}, {{40, 0}, shadow},
                     {{40, -1}, kBackdrop}, {{-2, 17}, kBackdrop}};
    QTest::newRow("3-D data cell: light edge only")
        << true << 2 << 3
        << PixelList{{{0, 16}, light},     {{0, 0}, light},       {{39, 0}, light},   {{0, 17}, kBackdrop},
                     {{40, 0}, kBackdrop}, {{40, 17}, kBackdrop}, {{1, 1}, kBackdrop}};
    QTest::newRow("3-D indicator cell: bevel and light edge")
        << true << 0 << 3
        << PixelList{{{0, 0}, light}, {{39, 0}, light}, {{39, 16}, kFixed}, {{40, 17}, shadow}, {{40, -1}, kBackdrop}};
}

void TestCellPainter::framePixels()
{
    QFETCH(bool, cells3D);
    QFETCH(int, col);
    QFETCH(int, row);
    QFETCH(PixelList, pixels);

    GridDisplayOptions options = displayOptions();

    CellPainter cells = makePainter(options);
    options.cells3D = cells3D;
    const QPoint origin(30, 54);
    QImage image = blankImage();
    {
        QPainter painter(&image);
        cells.paintFrame(painter, col, row, QRect(origin, QSize(40, 17)));
    }
    for (const auto &[point, colour] : pixels)
        QVERIFY2(image.pixel(origin + point) == colour.rgb(),
                 qPrintable(QStringLiteral("at %1,%2: %3 not %4")
                                .arg(point.x())
                                .arg(point.y())
                                .arg(image.pixelColor(origin + point).name(), colour.name())));
}

void TestCellPainter::cornerMark_data()
{
    QTest::addColumn<bool>("titleCheck");
    QTest::addColumn<bool>("titles");
    QTest::addColumn<bool>("indicator");
    QTest::addColumn<bool>("cells3D");
    QTest::addColumn<bool>("present");

    QTest::newRow("TitleCheck, flat") << true << true << true << false << true;
    QTest::newRow("TitleCheck, 3-D") << true << true << true << true << true;
    QTest::newRow("no TitleCheck") << false << true << true << false << false;
    QTest::newRow("titles hidden") << true << false << true << false << false;
    QTest::newRow("indicator hidden") << true << true << false << false << false;
}

void TestCellPainter::cornerMark()
{
    QFETCH(bool, titleCheck);
    QFETCH(bool, titles);
    QFETCH(bool, indicator);
    QFETCH(bool, cells3D);
    QFETCH(bool, present);

    GridDisplayOptions options = displayOptions();

    CellPainter cells = makePainter(options);
    options.titleCheck = titleCheck;
    cells.context.titles = titles;
    cells.context.indicator = indicator;
    options.cells3D = cells3D;
    // The 11-pixel indicator column under a 17-pixel title row: dx = 2, dy = 5.
    const QRect rect(0, 0, 11, 17);
    QImage image = blankImage();
    {
        QPainter painter(&image);
        painter.fillRect(rect, kFixed);
        cells.paintFrame(painter, 0, 0, rect);
    }
    const QRect mark(2, 5, 7, 7);
    const int black = pixelsOtherThan(image, mark, kFixed);
    if (!present) {
        QCOMPARE(black, 0);
        return;
    }
    // Seven pixels wide at the top, narrowing downwards to a point; nothing outside.
    for (int x = 2; x < 9; ++x)
        QCOMPARE(image.pixelColor(x, 5), clBlack);
    QCOMPARE(image.pixelColor(1, 5), kFixed);
    QCOMPARE(image.pixelColor(9, 5), kFixed);
    QCOMPARE(image.pixelColor(4, 4), kFixed);
    int previous = 8;
    for (int y = 5; y < 12; ++y) {
        const int width = 7 - pixelsOtherThan(image, QRect(2, y, 7, 1), clBlack);
        QVERIFY(width <= previous);
        previous = width;
    }
    QVERIFY(previous <= 1);
    QCOMPARE(pixelsOtherThan(image, QRect(1, 12, 9, 4), kFixed), 0);

    // Only the corner cell gets it.
    QImage other = blankImage();
    {
        QPainter painter(&other);
        painter.fillRect(rect.translated(0, 18), kFixed);
        cells.paintFrame(painter, 0, 1, rect.translated(0, 18));
    }
    QCOMPARE(pixelsOtherThan(other, mark.translated(0, 18), kFixed), 0);
}

void TestCellPainter::titleRedraw_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("multiLine");
    QTest::addColumn<bool>("ellipsis");
    QTest::addColumn<int>("lines");

    const QString longCaption = QStringLiteral("Where the swarm came from");
    QTest::newRow("single line") << longCaption << false << false << 1;
    QTest::newRow("multi-line titles wrap") << longCaption << true << false << -1;
    QTest::newRow("multi-line titles with ellipsis: one line") << longCaption << true << true << 1;
    QTest::newRow("no caption: base grid's title kept") << QString() << true << false << 0;
}

void TestCellPainter::titleRedraw()
{
    QFETCH(QString, caption);
    QFETCH(bool, multiLine);
    QFETCH(bool, ellipsis);
    QFETCH(int, lines);

    GridDisplayOptions options = displayOptions();

    CellPainter cells = makePainter(options);
    options.multiLineTitles = multiLine;
    options.showTitleEllipsis = ellipsis;
    TitleText title{caption, QFont(), QColor(230, 230, 200), kInk, taLeftJustify};
    const QRect rect(12, 0, 60, 60);
    QImage image = blankImage();
    {
        QPainter painter(&image);
        cells.paintFrame(painter, 1, 0, rect, &title);
    }
    const QRect inner = rect.adjusted(2, 2, -1, -1);
    const int bands = inkBands(image, inner, caption.isEmpty() ? kBackdrop : title.color);
    if (lines < 0)
        QVERIFY2(bands > 1, qPrintable(QString::number(bands)));
    else
        QCOMPARE(bands, lines);
    if (!caption.isEmpty()) {
        QCOMPARE(image.pixelColor(rect.left() + 2, rect.bottom() - 1), title.color);
        QCOMPARE(image.pixelColor(rect.left() + 1, rect.top() + 1), kBackdrop);  // Left + 2, Top + 2
    }
}

void TestCellPainter::blankCellCoversLines()
{
    GridDisplayOptions options = displayOptions();
    CellPainter cells = makePainter(options);
    cells.context.color = QColor(70, 80, 90);
    const QRect rect(30, 18, 40, 17);
    QImage image = blankImage();
    {
        QPainter painter(&image);
        cells.paintBlankCell(painter, rect);
    }
    QCOMPARE(pixelsOtherThan(image, rect.adjusted(-1, -1, 1, 1), QColor(70, 80, 90)), 0);
    QCOMPARE(image.pixelColor(rect.left() - 2, rect.top()), kBackdrop);
    QCOMPARE(image.pixelColor(rect.left(), rect.top() - 2), kBackdrop);
    QCOMPARE(image.pixelColor(rect.right() + 2, rect.bottom()), kBackdrop);
    QCOMPARE(image.pixelColor(rect.right(), rect.bottom() + 2), kBackdrop);
}

void TestCellPainter::formattedMemoShowsItsWordsNotItsMarkup()
{
    GridFixture data(0,
                     FieldDefs{test::fieldDef(QStringLiteral("Plain"), ftMemo),
                               test::fieldDef(QStringLiteral("Formatted"), ftFmtMemo)});
    data.table.append();
    data.table.fieldByName(QStringLiteral("Plain"))->setAsString(QStringLiteral("Hive seven"));
    data.table.fieldByName(QStringLiteral("Formatted"))->setAsString(QStringLiteral("<p>Hive seven</p>"));
    data.table.post();
    GridDisplayOptions options = displayOptions();
    const CellPainter cells = makePainter(options);
    const QRect rect(0, 0, 110, 20);
    const QImage plain = cellImage(cells, dataCell(rect, data.table.fieldByName(QStringLiteral("Plain"))));
    const QImage formatted = cellImage(cells, dataCell(rect, data.table.fieldByName(QStringLiteral("Formatted"))));
    QCOMPARE(formatted, plain);
}

QTEST_MAIN(TestCellPainter)
#include "tst_cellpainter.moc"
