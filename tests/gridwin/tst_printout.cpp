// The printed listing: the record set's and the grid's printouts as the grid reaches them,
// written to PDF files through the preview and read back with their positions.

#include "grid/gridcompanions.h"
#include "grid/tcolumn.h"
#include "grid/tcolumntitle.h"
#include "grid/tenhancedgrid.h"
#include "gridfixture.h"
#include "gridwin/gridwindows.h"
#include "gridwin/report/unitreport.h"
#include "installedwindows.h"
#include "pdfpages.h"
#include "report/bandreport.h"
#include "report/pageddocument.h"
#include "report/pdfwriter.h"
#include "report/printerlist.h"
#include "report/printpreview.h"
#include "report/reportpager.h"
#include "scripteddialogs.h"
#include "store/datasource.h"
#include "store/error.h"
#include "store/field.h"

#include <QAction>
#include <QImage>
#include <QPainter>
#include <QPrinter>
#include <QProcess>
#include <QScrollArea>
#include <QtTest>

#include <algorithm>
#include <memory>

using namespace kelvara;
using namespace kelvara::test;

using PrintMode = GridCompanions::PrintMode;

namespace {

const QString kCaption = QStringLiteral("Swarm Jobs");
const double kMargin = millimetresInPoints(10);
// Positions read back from a PDF are good to a fraction of a point.
const double kSlack = 0.8;

FieldDef sized(const QString &name, FieldType type, int size, int displayWidth = 0, const QString &label = {})
{
    FieldDef def = test::fieldDef(name, type, size);
    def.displayWidth = displayWidth;
    def.displayLabel = label;
    return def;
}

// Adds a record at the end with the given values by position, and saves it.
void appendRow(Table &table, const QVariantList &values)
{
    table.append();
    for (int i = 0; i < values.size(); ++i)
        table.field(i)->setValue(values.at(i));
    table.post();
}

// Counts what the bound controls are told while a walk runs.
class CountingLink : public DataLink
{
public:
    int events = 0;

protected:
    void dataSetChanged() override { ++events; }
    void dataSetScrolled(int) override { ++events; }
    void recordChanged(Field *) override { ++events; }
};

// A table, its grid and the program's windows with scripted dialogs, no printers installed; a
// printout in preview mode is saved as PDF by the scripted user and read back.
struct Printout
{
    explicit Printout(const FieldDefs &defs = GridFixture::defaultDefs(), int records = 0)
        : data(records, defs), printers(QStringList())
    { }

    void append(const QVariantList &values)
    {
        appendRow(data.table, values);
        data.table.first();
    }

    TEnhancedGrid &grid()
    {
        if (!m_grid)
            m_grid = data.makeGrid<TEnhancedGrid>();
        return *m_grid;
    }

    // Runs a printout in the preview, where the user saves it as PDF; gives the pages.
    QList<PdfPage> pages(bool ofGrid = false, const QString &caption = kCaption)
    {
        const QString file = data.workspace.filePath(QStringLiteral("listing%1.pdf").arg(++m_files));
        dialogs->onPreview = [&](QWidget *, PagedDocument &document) { writePdfFile(document, file); };
        if (ofGrid)
            gridCompanions().printGrid(grid(), caption, PrintMode::Preview);
        else
            gridCompanions().printDataSet(grid(), caption, PrintMode::Preview);
        if (!QFile::exists(file))
            return {};
        return readPdf(file).value_or(QList<PdfPage>());
    }

    // The file the last printout was saved in.
    QString lastFile() const { return data.workspace.filePath(QStringLiteral("listing%1.pdf").arg(m_files)); }

    GridFixture data;
    ScriptedDialogsScope dialogs;
    InstalledWindows windows;
    PrinterListScope printers;

private:
    std::unique_ptr<TEnhancedGrid> m_grid;
    int m_files = 0;
};

#define READ_PAGES(var, expr)                                                                                          \
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())                                         \
        QSKIP(pdfToolMissing());                                                                                       \
    const QList<PdfPage> var = (expr);                                                                                 \
    QVERIFY2(!var.isEmpty(), "no PDF was written")

// The words on the same printed line as a word, left to right.
QList<PdfWord> lineOf(const PdfPage &page, const PdfWord &word)
{
    QList<PdfWord> line;
    for (const PdfWord &other : page.words) {
        if (qAbs(other.box.center().y() - word.box.center().y()) < 2)
            line << other;
    }
    std::sort(line.begin(), line.end(), [](const PdfWord &a, const PdfWord &b) { return a.box.left() < b.box.left(); });
    return line;
}

// The first word with this text below a height on the page.
std::optional<PdfWord> firstBelow(const PdfPage &page, const QString &text, double y = -1)
{
    for (const PdfWord &word : page.words) {
        if (word.text == text && word.box.top() > y)
            return word;
    }
    return std::nullopt;
}

}  // namespace

class tst_Printout : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void dataSetListingShowsTitleColumnsRecordsAndPageNumber();
    void alignmentFollowsFieldType_data();
    void alignmentFollowsFieldType();
    void bandsRepeatOnEveryPage();
    void columnsFitTurnThePageOrStop_data();
    void columnsFitTurnThePageOrStop();
    void listingWithOnlyMemoAndPictureFields();
    void emptyRecordSet_data();
    void emptyRecordSet();
    void gridListingPlacesItsColumns();
    void gridColumnWiderThanLandscapeStops();
    void gridColumnFontStyleAndSymbolFonts_data();
    void gridColumnFontStyleAndSymbolFonts();
    void longAndMultiLineTextsStretch_data();
    void longAndMultiLineTextsStretch();
    void textsOfOtherDirectionsAndMarksPrintShaped_data();
    void textsOfOtherDirectionsAndMarksPrintShaped();
    void degenerateLayoutsEnd_data();
    void degenerateLayoutsEnd();
    void unitsAndMarginsFollowTheMeasurementSystem_data();
    void unitsAndMarginsFollowTheMeasurementSystem();
    void usMeasurementPrintsTheSameColumns();
    void gridCommandsPreviewTheListing_data();
    void gridCommandsPreviewTheListing();
    void outputModes_data();
    void outputModes();
    void walkHoldsBoundControlsStill();
    void previewPaintsPagesOnDemand();
    void previewPrintsAndSaves_data();
    void previewPrintsAndSaves();
    void unwritablePdfFileFails();
    void savedPdfGetsItsSuffix_data();
    void savedPdfGetsItsSuffix();
};

void tst_Printout::dataSetListingShowsTitleColumnsRecordsAndPageNumber()
{
    Printout printout(GridFixture::defaultDefs(), 3);
    READ_PAGES(pages, printout.pages());
    QCOMPARE(pages.size(), 1);
    const PdfPage &page = pages.first();
    // A4 portrait: the paper of a machine without printers under metric measurement.
    QCOMPARE(qRound(page.size.width()), 595);
    QCOMPARE(qRound(page.size.height()), 842);

    const QList<PdfWord> swarm = page.find(QStringLiteral("Swarm"));
    const QList<PdfWord> jobs = page.find(QStringLiteral("Jobs"));
    QCOMPARE(swarm.size(), 1);
    QCOMPARE(jobs.size(), 1);
    const double titleCentre = (swarm.first().box.left() + jobs.first().box.right()) / 2;
    QVERIFY2(qAbs(titleCentre - page.size.width() / 2) < 2, qPrintable(QString::number(titleCentre)));
    QVERIFY(swarm.first().box.top() > kMargin && swarm.first().box.top() < kMargin + millimetresInPoints(10));

    // Column titles under the title; the memo field takes no column.
    const std::optional<PdfWord> nameTitle = firstBelow(page, QStringLiteral("Name"));
    QVERIFY(nameTitle);
    QVERIFY(nameTitle->box.top() > swarm.first().box.bottom());
    const QStringList titles = [&] {
        QStringList texts;
        for (const PdfWord &word : lineOf(page, *nameTitle))
            texts << word.text;
        return texts;
    }();
    QCOMPARE(titles, QStringList({QStringLiteral("Name"), QStringLiteral("City"), QStringLiteral("Count")}));
    QVERIFY(page.startingWith(QStringLiteral("Note")).isEmpty());
    QVERIFY(page.find(QStringLiteral("Notes")).isEmpty());

    // One line per record, in order, the first field 1 mm inside the margin.
    double previous = nameTitle->box.bottom();
    for (int record = 1; record <= 3; ++record) {
        const std::optional<PdfWord> name = firstBelow(page, QStringLiteral("Name"), previous);
        QVERIFY(name);
        const QList<PdfWord> line = lineOf(page, *name);
        QCOMPARE(line.size(), 5);  // Name n, City n%3, n
        QCOMPARE(line.at(1).text, QString::number(record));
        QCOMPARE(line.at(3).text, QString::number(record % 3));
        QCOMPARE(line.at(4).text, QString::number(record));
        QVERIFY(qAbs(name->box.left() - (kMargin + millimetresInPoints(1))) < kSlack);
        QVERIFY(qAbs(line.at(2).box.left() - (kMargin + millimetresInPoints(26))) < kSlack);
        // Count is a number: right-aligned in its 11 mm from 51 mm.
        QVERIFY(qAbs(line.at(4).box.right() - (kMargin + millimetresInPoints(62))) < kSlack);
        QVERIFY(name->box.top() > previous);
        previous = name->box.bottom();
    }

    const QList<PdfWord> pageWord = page.find(QStringLiteral("Page:"));
    QCOMPARE(pageWord.size(), 1);
    const QList<PdfWord> footer = lineOf(page, pageWord.first());
    QCOMPARE(footer.size(), 2);
    QCOMPARE(footer.at(1).text, QStringLiteral("1"));
    QVERIFY(qAbs((footer.at(0).box.left() + footer.at(1).box.right()) / 2 - page.size.width() / 2) < 2);
    QVERIFY(pageWord.first().box.top() > page.size.height() - kMargin - millimetresInPoints(11));
}

void tst_Printout::alignmentFollowsFieldType_data()
{
    QTest::addColumn<FieldType>("type");
    QTest::addColumn<QVariant>("shortValue");
    QTest::addColumn<QVariant>("longValue");
    QTest::addColumn<Alignment>("alignment");

    QTest::newRow("string: left") << ftString << QVariant(QStringLiteral("ab")) << QVariant(QStringLiteral("abcdefgh"))
                                  << taLeftJustify;
    QTest::newRow("integer: right") << ftInteger << QVariant(7) << QVariant(1234567) << taRightJustify;
    QTest::newRow("smallint: right") << ftSmallint << QVariant(7) << QVariant(12345) << taRightJustify;
    QTest::newRow("float: right") << ftFloat << QVariant(1.5) << QVariant(123456.25) << taRightJustify;
    QTest::newRow("boolean: centre") << ftBoolean << QVariant(true) << QVariant(false) << taCenter;
    QTest::newRow("date: centre") << ftDate << QVariant(QDate(2024, 5, 1)) << QVariant(QDate(2024, 12, 31)) << taCenter;
}

void tst_Printout::alignmentFollowsFieldType()
{
    QFETCH(FieldType, type);
    QFETCH(QVariant, shortValue);
    QFETCH(QVariant, longValue);
    QFETCH(Alignment, alignment);
    // A wide column, so that the two values' edges are far apart whatever the alignment.
    Printout printout({sized(QStringLiteral("Tag"), ftString, 4, 10),
                       sized(QStringLiteral("Value"), type, type == ftString ? 20 : 0, 40)});
    printout.append({QStringLiteral("R1"), shortValue});
    printout.append({QStringLiteral("R2"), longValue});
    READ_PAGES(pages, printout.pages());
    const PdfPage &page = pages.first();
    const QList<PdfWord> first = lineOf(page, page.find(QStringLiteral("R1")).value(0));
    const QList<PdfWord> second = lineOf(page, page.find(QStringLiteral("R2")).value(0));
    QCOMPARE(first.size(), 2);
    QCOMPARE(second.size(), 2);
    const QRectF a = first.at(1).box;
    const QRectF b = second.at(1).box;
    // Left and right alignment are told apart by two values of different widths; a centred
    // value is told from both by its centre.
    QVERIFY(b.width() > a.width() + 3 || alignment == taCenter);
    const double left = kMargin + millimetresInPoints(16);
    const double right = left + millimetresInPoints(40);
    switch (alignment) {
    case taLeftJustify: QVERIFY(qAbs(a.left() - left) < kSlack && qAbs(b.left() - left) < kSlack); break;
    case taRightJustify: QVERIFY(qAbs(a.right() - right) < kSlack && qAbs(b.right() - right) < kSlack); break;
    case taCenter:
        QVERIFY(qAbs(a.center().x() - (left + right) / 2) < kSlack
                && qAbs(b.center().x() - (left + right) / 2) < kSlack);
        break;
    }
}

void tst_Printout::bandsRepeatOnEveryPage()
{
    Printout printout(GridFixture::defaultDefs(), 150);
    READ_PAGES(pages, printout.pages());
    // 60 lines of 4 mm fit between the bands of an A4 page.
    QCOMPARE(pages.size(), 3);
    QStringList names;
    for (int i = 0; i < pages.size(); ++i) {
        const PdfPage &page = pages.at(i);
        QCOMPARE(page.find(QStringLiteral("Swarm")).size(), 1);
        const std::optional<PdfWord> title = firstBelow(page, QStringLiteral("Count"));
        QVERIFY(title);
        const QList<PdfWord> footer = lineOf(page, page.find(QStringLiteral("Page:")).value(0));
        QCOMPARE(footer.size(), 2);
        QCOMPARE(footer.at(1).text, QString::number(i + 1));
        for (const PdfWord &word : page.words) {
            if (word.text == QLatin1String("Name") && word.box.top() > title->box.bottom()) {
                names << lineOf(page, word).at(1).text;
                QVERIFY(word.box.bottom() < footer.first().box.top());
            }
        }
    }
    QStringList expected;
    for (int i = 1; i <= 150; ++i)
        expected << QString::number(i);
    QCOMPARE(names, expected);
}

void tst_Printout::columnsFitTurnThePageOrStop_data()
{
    QTest::addColumn<QList<int>>("widths");
    QTest::addColumn<bool>("landscape");
    QTest::addColumn<QStringList>("printed");

    QTest::newRow("all fit portrait") << QList<int>{
        50, 50, 50} << false << QStringList{QStringLiteral("Alpha"), QStringLiteral("Beta"), QStringLiteral("Gamma")};
    QTest::newRow("first wider than portrait turns the page")
        << QList<int>{250, 10} << true << QStringList{QStringLiteral("Alpha"), QStringLiteral("Beta")};
    QTest::newRow("a later field turns the page")
        << QList<int>{100, 100, 40} << true
        << QStringList{QStringLiteral("Alpha"), QStringLiteral("Beta"), QStringLiteral("Gamma")};
    QTest::newRow("wider than landscape stops, a narrower one after it too")
        << QList<int>{20, 300, 10} << true << QStringList{QStringLiteral("Alpha")};
    QTest::newRow("overrunning the landscape page stops")
        << QList<int>{150, 130, 10} << true << QStringList{QStringLiteral("Alpha")};
    QTest::newRow("the very first field too wide: no column") << QList<int>{400, 10} << true << QStringList();
}

void tst_Printout::columnsFitTurnThePageOrStop()
{
    QFETCH(QList<int>, widths);
    QFETCH(bool, landscape);
    QFETCH(QStringList, printed);
    const QStringList names = {QStringLiteral("Alpha"), QStringLiteral("Beta"), QStringLiteral("Gamma")};
    FieldDefs defs;
    QVariantList values;
    for (int i = 0; i < widths.size(); ++i) {
        defs << sized(names.at(i), ftString, 10, widths.at(i));
        values << names.at(i).left(1).toLower() + QStringLiteral("value");
    }
    Printout printout(defs);
    printout.append(values);
    READ_PAGES(pages, printout.pages());
    const PdfPage &page = pages.first();
    QCOMPARE(page.size.width() > page.size.height(), landscape);
    for (int i = 0; i < widths.size(); ++i) {
        const bool shown = printed.contains(names.at(i));
        QCOMPARE(page.find(names.at(i)).size(), shown ? 1 : 0);
        QCOMPARE(page.find(values.at(i).toString()).size(), shown ? 1 : 0);
    }
    QCOMPARE(page.find(QStringLiteral("Swarm")).size(), 1);
    QCOMPARE(page.find(QStringLiteral("Page:")).size(), 1);
}

void tst_Printout::listingWithOnlyMemoAndPictureFields()
{
    Printout printout(
        {test::fieldDef(QStringLiteral("Notes"), ftMemo), test::fieldDef(QStringLiteral("Photo"), ftGraphic),
         test::fieldDef(QStringLiteral("Rich"), ftFmtMemo), test::fieldDef(QStringLiteral("Bytes"), ftBlob)});
    for (int i = 1; i <= 150; ++i)
        printout.append({QStringLiteral("note %1").arg(i)});
    READ_PAGES(pages, printout.pages());
    // One empty 4 mm line per record: 60 to a page, as with printed fields.
    QCOMPARE(pages.size(), 3);
    for (int i = 0; i < pages.size(); ++i) {
        QCOMPARE(pages.at(i).text(), QStringLiteral("Swarm Jobs Page: %1").arg(i + 1));
    }
}

void tst_Printout::emptyRecordSet_data()
{
    QTest::addColumn<bool>("ofGrid");
    QTest::newRow("record set") << false;
    QTest::newRow("grid") << true;
}

void tst_Printout::emptyRecordSet()
{
    QFETCH(bool, ofGrid);
    Printout printout(GridFixture::defaultDefs(), 0);
    READ_PAGES(pages, printout.pages(ofGrid));
    QCOMPARE(pages.size(), 1);
    QCOMPARE(pages.first().text(), QStringLiteral("Swarm Jobs Name City Count Page: 1"));
    QCOMPARE(printout.data.table.recordCount(), 0);
    QVERIFY(printout.dialogs->messages.isEmpty());
}

void tst_Printout::gridListingPlacesItsColumns()
{
    Printout printout(GridFixture::defaultDefs(), 2);
    TEnhancedGrid &grid = printout.grid();
    addColumn(grid, QStringLiteral("Name"), 100)->title()->setCaption(QStringLiteral("Who"));
    addColumn(grid, QStringLiteral("City"), 70)->setVisible(false);
    addColumn(grid, QStringLiteral("Count"), 1)->setWidth(0);
    addColumn(grid, QStringLiteral("Notes"), 80)->title()->setCaption(QStringLiteral("Memo"));
    addColumn(grid, QStringLiteral("City"), 60)->title()->setCaption(QStringLiteral("Town"));
    TColumn *count = addColumn(grid, QStringLiteral("Count"), 50);
    count->title()->setCaption(QStringLiteral("Number"));
    count->setAlignment(taCenter);
    READ_PAGES(pages, printout.pages(true));
    QCOMPARE(pages.size(), 1);
    const PdfPage &page = pages.first();

    // Printed columns from 1 pixel, 5 pixels apart: hidden, zero-width and memo columns take none.
    const double who = kMargin + points(1);
    const double town = kMargin + points(1 + 100 + 5);
    const double number = kMargin + points(1 + 100 + 5 + 60 + 5);
    const QList<PdfWord> titles = lineOf(page, page.find(QStringLiteral("Who")).value(0));
    QCOMPARE(titles.size(), 3);
    QCOMPARE(titles.at(1).text, QStringLiteral("Town"));
    QCOMPARE(titles.at(2).text, QStringLiteral("Number"));
    QVERIFY(page.find(QStringLiteral("Memo")).isEmpty());
    // Titles are centred over their columns.
    QVERIFY(qAbs(titles.at(0).box.center().x() - (who + points(50))) < kSlack);
    QVERIFY(qAbs(titles.at(1).box.center().x() - (town + points(30))) < kSlack);
    QVERIFY(qAbs(titles.at(2).box.center().x() - (number + points(25))) < kSlack);

    const std::optional<PdfWord> name = firstBelow(page, QStringLiteral("Name"), titles.first().box.bottom());
    QVERIFY(name);
    const QList<PdfWord> line = lineOf(page, *name);
    QCOMPARE(line.size(), 5);  // Name 1, City 1, 1
    QVERIFY(qAbs(line.at(0).box.left() - who) < kSlack);
    QVERIFY(qAbs(line.at(2).box.left() - town) < kSlack);
    QVERIFY(qAbs(line.at(4).box.center().x() - (number + points(25))) < kSlack);
    QVERIFY(page.startingWith(QStringLiteral("Note")).isEmpty());
    QCOMPARE(page.size.width() < page.size.height(), true);
}

void tst_Printout::gridColumnWiderThanLandscapeStops()
{
    Printout printout(GridFixture::defaultDefs(), 1);
    TEnhancedGrid &grid = printout.grid();
    // A4 between the margins: 718 pixels portrait, 1047 landscape.
    addColumn(grid, QStringLiteral("Name"), 800);
    addColumn(grid, QStringLiteral("City"), 300);
    addColumn(grid, QStringLiteral("Count"), 20);
    const std::unique_ptr<BandReport> report = unitreport::buildGridReport(grid, kCaption);
    QCOMPARE(report->orientation(), QPageLayout::Landscape);
    const auto &texts = report->band(BandKind::Detail)->elements;
    QCOMPARE(int(texts.size()), 1);
    QCOMPARE(texts.front().dataField, QStringLiteral("Name"));
    QCOMPARE(texts.front().geometry.left(), 1.0);
    QCOMPARE(texts.front().geometry.width(), 800.0);
    // The title and page number span the landscape band.
    QCOMPARE(report->band(BandKind::PageHeader)->elements.front().geometry.width(), report->bandWidth());
    QVERIFY(report->bandWidth() > 1000);
}

void tst_Printout::gridColumnFontStyleAndSymbolFonts_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<bool>("bold");
    QTest::addColumn<bool>("italic");
    QTest::addColumn<QString>("printedFamily");

    QTest::newRow("Wingdings prints in Wingdings")
        << QStringLiteral("Wingdings") << false << false << QStringLiteral("Wingdings");
    QTest::newRow("Symbol prints in Symbol") << QStringLiteral("Symbol") << true << false << QStringLiteral("Symbol");
    QTest::newRow("another font: the band's with the style")
        << QStringLiteral("Courier New") << true << true << QStringLiteral("Tahoma");
}

void tst_Printout::gridColumnFontStyleAndSymbolFonts()
{
    QFETCH(QString, family);
    QFETCH(bool, bold);
    QFETCH(bool, italic);
    QFETCH(QString, printedFamily);
    Printout printout(GridFixture::defaultDefs(), 1);
    TEnhancedGrid &grid = printout.grid();
    TColumn *column = addColumn(grid, QStringLiteral("Name"), 100);
    QFont font(family, 12);
    font.setBold(bold);
    font.setItalic(italic);
    column->setFont(font);
    const std::unique_ptr<BandReport> report = unitreport::buildGridReport(grid, kCaption);
    const ReportElement &text = report->band(BandKind::Detail)->elements.front();
    QVERIFY(text.font);
    QCOMPARE(text.font->family(), printedFamily);
    QCOMPARE(text.font->bold(), bold);
    QCOMPARE(text.font->italic(), italic);
    // The band's size, not the column's.
    QCOMPARE(text.font->pixelSize(), 11);
    QCOMPARE(report->band(BandKind::ColumnHeader)->elements.front().alignment, taCenter);
}

void tst_Printout::longAndMultiLineTextsStretch_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("displayWidth");
    QTest::addColumn<int>("minPages");

    QString words;
    for (int i = 1; i <= 30; ++i)
        words += QStringLiteral("word%1 ").arg(i);
    QString alphabet;
    for (int i = 0; i < 250; ++i)
        alphabet += QChar(u'a' + i % 26);
    QTest::newRow("several lines") << QStringLiteral("first\nsecond\r\nthird") << 40 << 1;
    QTest::newRow("words wrap in a narrow column") << words.trimmed() << 20 << 1;
    QTest::newRow("one word longer than the column is broken") << alphabet << 30 << 1;
    QTest::newRow("a text longer than a page goes on over the next") << alphabet.left(200) << 4 << 2;
    QTest::newRow("a word of pages") << alphabet.repeated(16) << 30 << 3;
}

void tst_Printout::longAndMultiLineTextsStretch()
{
    QFETCH(QString, text);
    QFETCH(int, displayWidth);
    QFETCH(int, minPages);
    Printout printout(
        {sized(QStringLiteral("Tag"), ftString, 4, 10), sized(QStringLiteral("Text"), ftString, 8000, displayWidth)});
    printout.append({QStringLiteral("R1"), text});
    printout.append({QStringLiteral("R2"), QStringLiteral("after")});
    READ_PAGES(pages, printout.pages());
    QVERIFY(pages.size() >= minPages);
    const double left = kMargin + millimetresInPoints(16);
    const double right = left + millimetresInPoints(displayWidth);
    // The text's words in print order, each inside its column, each line below the one before,
    // and R2's line below all of them.
    QStringList printed;
    for (int i = 0; i < pages.size(); ++i) {
        const PdfPage &page = pages.at(i);
        const std::optional<PdfWord> titles = firstBelow(page, QStringLiteral("Tag"));
        QVERIFY(titles);
        const double footer = page.find(QStringLiteral("Page:")).value(0).box.top();
        const std::optional<PdfWord> second = firstBelow(page, QStringLiteral("R2"));
        const double end = second ? second->box.top() - 1 : footer;
        double lineTop = -1;
        double lineBottom = titles->box.bottom();
        for (const PdfWord &word : page.words) {
            if (word.box.top() <= titles->box.bottom() || word.box.top() >= end || word.box.left() < left - kSlack)
                continue;
            QVERIFY2(word.box.right() <= right + kSlack, qPrintable(word.text));
            if (word.box.top() > lineTop + 2) {
                QVERIFY2(word.box.top() >= lineBottom - 0.5, "a line overlaps the one before");
                lineTop = word.box.top();
            }
            lineBottom = std::max(lineBottom, word.box.bottom());
            printed << word.text;
        }
        QVERIFY(lineBottom < footer);
        // The next record follows the last line, on the last page.
        QCOMPARE(bool(second), i == pages.size() - 1);
        if (second)
            QVERIFY(second->box.top() >= lineBottom - 0.5);
    }
    QString expected = text;
    expected.remove(QLatin1Char('\r')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    // Ligatures read back as one character ("fi"): compared in their compatibility form.
    QCOMPARE(printed.join(QString()).normalized(QString::NormalizationForm_KC), expected.remove(QLatin1Char(' ')));
    if (displayWidth <= 30)
        QVERIFY(printed.size() > 3);
}

void tst_Printout::textsOfOtherDirectionsAndMarksPrintShaped_data()
{
    QTest::addColumn<QString>("text");
    // The same text as the font has it whole, which a mark set on its letter must look like.
    QTest::addColumn<QString>("composed");

    QTest::newRow("Hebrew") << QStringLiteral("שלום עולם") << QString();
    QTest::newRow("Arabic") << QStringLiteral("مرحبا بالعالم") << QString();
    QTest::newRow("a mark on its letter") << QStringLiteral("nai\u0308ve") << QStringLiteral("na\u00EFve");
}

void tst_Printout::textsOfOtherDirectionsAndMarksPrintShaped()
{
    QFETCH(QString, text);
    QFETCH(QString, composed);
    Printout printout(
        {sized(QStringLiteral("Tag"), ftString, 4, 10), sized(QStringLiteral("Text"), ftString, 100, 60)});
    // The marked text between two of the whole one, away from the rule under the titles.
    if (!composed.isEmpty())
        printout.append({QStringLiteral("R0"), composed});
    printout.append({QStringLiteral("R1"), text});
    if (!composed.isEmpty())
        printout.append({QStringLiteral("R2"), composed});
    READ_PAGES(pages, printout.pages());
    const PdfPage &page = pages.first();
    // The text copies as it is stored, in the order it is read.
    const QStringList lines = readPdfText(printout.lastFile()).value_or(QString()).split(QLatin1Char('\n'));
    const QString stored = text.normalized(QString::NormalizationForm_C);
    QVERIFY2(std::any_of(lines.cbegin(), lines.cend(),
                         [&](const QString &line) { return line.normalized(QString::NormalizationForm_C) == stored; }),
             qPrintable(lines.join(QLatin1Char('|'))));
    if (composed.isEmpty())
        return;
    // The mark sits where the font puts it on its letter: both lines look alike.
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("pdftoppm"));
    if (tool.isEmpty())
        QSKIP("pdftoppm (poppler-utils) is not installed: the page cannot be looked at");
    const QString stem = printout.lastFile() + QStringLiteral("-page");
    QProcess render;
    render.start(tool,
                 {QStringLiteral("-r"), QStringLiteral("144"), QStringLiteral("-f"), QStringLiteral("1"),
                  QStringLiteral("-l"), QStringLiteral("1"), QStringLiteral("-png"), QStringLiteral("-singlefile"),
                  printout.lastFile(), stem});
    QVERIFY(render.waitForFinished(60000) && render.exitCode() == 0);
    const QImage image = QImage(stem + QStringLiteral(".png")).convertToFormat(QImage::Format_Grayscale8);
    QVERIFY(!image.isNull());
    const std::optional<PdfWord> tag = firstBelow(page, QStringLiteral("R1"));
    const std::optional<PdfWord> second = firstBelow(page, QStringLiteral("R2"));
    QVERIFY(tag && second);
    // The box of the ink beside each tag, in pixels, which a misplaced mark changes.
    const double scale = 144.0 / 72.0;
    const auto ink = [&](const PdfWord &tagWord) {
        const QRectF box = tagWord.box;
        const QRect cell
            = QRectF(QPointF(box.right() + 2, box.top()) * scale, QSizeF(millimetresInPoints(50), box.height()) * scale)
                  .toAlignedRect();
        QRect inked;
        for (int y = cell.top(); y <= cell.bottom(); ++y) {
            for (int x = cell.left(); x <= cell.right(); ++x) {
                if (image.rect().contains(x, y) && qGray(image.pixel(x, y)) < 128)
                    inked |= QRect(x - cell.left(), y - cell.top(), 1, 1);
            }
        }
        return inked;
    };
    const QRect marked = ink(*tag);
    const QRect whole = ink(*second);
    QVERIFY2(!whole.isEmpty() && qAbs(marked.top() - whole.top()) <= 1 && qAbs(marked.left() - whole.left()) <= 1
                 && qAbs(marked.right() - whole.right()) <= 1 && qAbs(marked.bottom() - whole.bottom()) <= 1,
             qPrintable(QStringLiteral("%1,%2 %3x%4 against %5,%6 %7x%8")
                            .arg(marked.x())
                            .arg(marked.y())
                            .arg(marked.width())
                            .arg(marked.height())
                            .arg(whole.x())
                            .arg(whole.y())
                            .arg(whole.width())
                            .arg(whole.height())));
}

void tst_Printout::degenerateLayoutsEnd_data()
{
    QTest::addColumn<double>("width");
    QTest::addColumn<double>("points");
    QTest::addColumn<int>("records");

    QTest::newRow("a text element of width 0") << 0.0 << 8.0 << 3;
    QTest::newRow("a line taller than the page") << 200.0 << 2000.0 << 2;
    QTest::newRow("no detail text at all") << -1.0 << 8.0 << 5;
}

void tst_Printout::degenerateLayoutsEnd()
{
    QFETCH(double, width);
    QFETCH(double, points);
    QFETCH(int, records);
    GridFixture data(records);
    PrinterListScope printers(QStringList{});
    BandReport report;
    report.setDataSet(&data.table);
    report.setFont(reportFont(QStringLiteral("Tahoma"), points));
    ReportBand &detail = report.addBand(BandKind::Detail);
    detail.height = 10;
    if (width >= 0) {
        ReportElement &text = detail.addDataText(QStringLiteral("Name"));
        text.geometry = QRectF(0, 0, width, 10);
        text.stretch = true;
    }
    report.addBand(BandKind::PageFooter).addPageNumber(QStringLiteral("Page: ")).geometry = QRectF(0, 0, 100, 20);
    ReportPager pager(report);
    const int pages = pager.pageCount();
    QVERIFY(pages >= 1);
    // Each character on a line of its own, or each line on a page of its own, is the most it takes.
    QVERIFY2(pages <= records * 8, qPrintable(QString::number(pages)));
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    PdfFileOutput output(buffer, pager.pageLayout(), pager.title(), QString());
    pager.print(output);
    QVERIFY(buffer.size() > 0);
}

void tst_Printout::unitsAndMarginsFollowTheMeasurementSystem_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<ReportUnits::Unit>("unit");
    QTest::addColumn<double>("marginPixels");
    QTest::addColumn<QPageSize::PageSizeId>("paper");

    QTest::newRow("metric: millimetres, 10 mm, A4") << QLocale(QLocale::English, QLocale::UnitedKingdom)
                                                    << ReportUnits::Millimetres << 10 / 25.4 * 96 << QPageSize::A4;
    QTest::newRow("US: inches, half an inch, Letter")
        << QLocale(QLocale::English, QLocale::UnitedStates) << ReportUnits::Inches << 48.0 << QPageSize::Letter;
    QTest::newRow("German: millimetres") << QLocale(QLocale::German, QLocale::Germany) << ReportUnits::Millimetres
                                         << 10 / 25.4 * 96 << QPageSize::A4;
}

void tst_Printout::unitsAndMarginsFollowTheMeasurementSystem()
{
    QFETCH(QLocale, locale);
    QFETCH(ReportUnits::Unit, unit);
    QFETCH(double, marginPixels);
    QFETCH(QPageSize::PageSizeId, paper);
    TestWorkspace workspace(locale);
    PrinterListScope printers(QStringList{});
    BandReport report;
    QCOMPARE(report.units().unit(), unit);
    QCOMPARE(report.units().pixels(report.margins().left()), marginPixels);
    QCOMPARE(report.units().units(report.units().pixels(3)), 3.0);
    QCOMPARE(report.pageSize().id(), paper);
    const QSizeF paperPixels = QPageSize(paper).size(QPageSize::Inch) * 96;
    QCOMPARE(qRound(report.bandWidth()), qRound(paperPixels.width() - 2 * marginPixels));
    report.setOrientation(QPageLayout::Landscape);
    QCOMPARE(qRound(report.bandWidth()), qRound(paperPixels.height() - 2 * marginPixels));
}

void tst_Printout::usMeasurementPrintsTheSameColumns()
{
    Printout printout(GridFixture::defaultDefs(), 2);
    TestWorkspace us(QLocale(QLocale::English, QLocale::UnitedStates));
    READ_PAGES(pages, printout.pages());
    const PdfPage &page = pages.first();
    QCOMPARE(qRound(page.size.width()), 612);  // Letter, portrait
    const QList<PdfWord> titles = lineOf(page, firstBelow(page, QStringLiteral("Name")).value());
    QCOMPARE(titles.size(), 3);
    QVERIFY(qAbs(titles.at(0).box.left() - (36 + millimetresInPoints(1))) < kSlack);
    QVERIFY(qAbs(titles.at(1).box.left() - (36 + millimetresInPoints(26))) < kSlack);
    // Lines 4 mm apart, as under metric measurement.
    const std::optional<PdfWord> first = firstBelow(page, QStringLiteral("Name"), titles.first().box.bottom());
    const std::optional<PdfWord> second = firstBelow(page, QStringLiteral("Name"), first->box.bottom());
    QVERIFY(first && second);
    QVERIFY(qAbs(second->box.top() - first->box.top() - millimetresInPoints(4)) < kSlack);
}

void tst_Printout::gridCommandsPreviewTheListing_data()
{
    QTest::addColumn<bool>("wholeGrid");
    QTest::addColumn<QString>("reportCaption");
    QTest::addColumn<QString>("title");

    QTest::newRow("Print Grid, no caption") << true << QString() << QStringLiteral("Data Printout");
    QTest::newRow("Print Dataset, no caption") << false << QString() << QStringLiteral("Data Printout");
    QTest::newRow("Print Grid, the grid's caption")
        << true << QStringLiteral("Swarms 2024") << QStringLiteral("Swarms 2024");
}

void tst_Printout::gridCommandsPreviewTheListing()
{
    QFETCH(bool, wholeGrid);
    QFETCH(QString, reportCaption);
    QFETCH(QString, title);
    Printout printout(GridFixture::defaultDefs(), 70);
    TEnhancedGrid &grid = printout.grid();
    grid.setReportCaption(reportCaption);
    printout.data.table.setRecNo(40);
    const QString file = printout.data.workspace.filePath(QStringLiteral("command.pdf"));
    printout.dialogs->onPreview = [&](QWidget *parent, PagedDocument &document) {
        QCOMPARE(parent, &grid);
        writePdfFile(document, file);
    };
    if (wholeGrid)
        grid.printGrid();
    else
        grid.printDataSet();
    QCOMPARE(printout.dialogs->previewTitles, QStringList{title});
    QVERIFY(printout.dialogs->messages.isEmpty());
    QCOMPARE(printout.data.table.recNo(), 1);
    READ_PAGES(pages, readPdf(file).value_or(QList<PdfPage>()));
    QCOMPARE(pages.size(), 2);
    for (const PdfPage &page : pages)
        QVERIFY(page.text().startsWith(title + QLatin1Char(' ')));
}

void tst_Printout::outputModes_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QStringList>("printers");
    QTest::addColumn<bool>("previewed");
    QTest::addColumn<QStringList>("errors");
    QTest::addColumn<int>("recNoAfter");

    QTest::newRow("build only: nothing shown, nothing moved") << 2 << QStringList() << false << QStringList() << 3;
    QTest::newRow("another value builds only too") << 7 << QStringList() << false << QStringList() << 3;
    QTest::newRow("preview: shown, then on the first record") << 1 << QStringList() << true << QStringList() << 1;
    QTest::newRow("print without a printer says so")
        << 0 << QStringList() << false << QStringList{QStringLiteral("There is no printer to print on.")} << 1;
    QTest::newRow("print on a printer that is gone says so")
        << 0 << QStringList{QStringLiteral("Broken Printer")} << false
        << QStringList{QStringLiteral("The printer Broken Printer is not available.")} << 1;
}

void tst_Printout::outputModes()
{
    QFETCH(int, mode);
    QFETCH(QStringList, printers);
    QFETCH(bool, previewed);
    QFETCH(QStringList, errors);
    QFETCH(int, recNoAfter);
    for (const bool ofGrid : {false, true}) {
        Printout printout(GridFixture::defaultDefs(), 5);
        PrinterListScope installed(printers);
        printout.data.table.setRecNo(3);
        if (ofGrid)
            gridCompanions().printGrid(printout.grid(), kCaption, PrintMode(mode));
        else
            gridCompanions().printDataSet(printout.grid(), kCaption, PrintMode(mode));
        QCOMPARE(printout.dialogs->previewTitles, previewed ? QStringList{kCaption} : QStringList());
        QCOMPARE(printout.dialogs->texts(ScriptedDialogs::Kind::Error), errors);
        QCOMPARE(printout.dialogs->printRequests, 0);
        QCOMPARE(printout.data.table.recNo(), recNoAfter);
        QVERIFY(!printout.data.table.controlsDisabled());
    }
}

void tst_Printout::walkHoldsBoundControlsStill()
{
    Printout printout(GridFixture::defaultDefs(), 200);
    CountingLink link;
    link.setDataSource(&printout.data.source);
    int seenDuringWalk = -1;
    int afterScrolls = 0;
    connect(&printout.data.table, &Table::afterScroll, this, [&] { ++afterScrolls; });
    printout.dialogs->onPreview = [&](QWidget *, PagedDocument &document) {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        PdfFileOutput output(buffer, document.pageLayout(), document.title(), QString());
        link.events = 0;
        document.print(output);
        seenDuringWalk = link.events;
    };
    gridCompanions().printDataSet(printout.grid(), kCaption, PrintMode::Preview);
    QCOMPARE(seenDuringWalk, 0);
    QVERIFY(afterScrolls >= 200);
    QCOMPARE(printout.data.table.recNo(), 1);
    QVERIFY(!printout.data.table.controlsDisabled());
}

void tst_Printout::previewPaintsPagesOnDemand()
{
    Printout printout(GridFixture::defaultDefs(), 500);
    int pages = 0;
    printout.dialogs->onPreview = [&](QWidget *parent, PagedDocument &document) {
        PrintPreviewDialog preview(document, parent);
        // The first page is there before the others are laid out.
        QVERIFY(!preview.pageImage().isNull());
        QCOMPARE(preview.currentPage(), 0);
        QVERIFY(document.pagesLaidOut() <= 2);
        QVERIFY(preview.pageCountText().endsWith(QLatin1Char('+')));
        preview.show();
        // Shown, the page fills the view's width.
        const QWidget *view = preview.findChild<QScrollArea *>(QStringLiteral("pageScroll"))->viewport();
        QTRY_VERIFY(preview.pageImage().width() <= view->width()
                    && preview.pageImage().width() > view->width() * 3 / 4);

        preview.findChild<QAction *>(QStringLiteral("nextPage"))->trigger();
        QCOMPARE(preview.currentPage(), 1);
        preview.findChild<QAction *>(QStringLiteral("lastPage"))->trigger();
        QTRY_VERIFY(document.complete());
        pages = document.pagesLaidOut();
        QTRY_COMPARE(preview.currentPage(), pages - 1);
        QCOMPARE(preview.pageCountText(), QStringLiteral("of %1").arg(pages));
        QVERIFY(!preview.findChild<QAction *>(QStringLiteral("nextPage"))->isEnabled());
        preview.findChild<QAction *>(QStringLiteral("previousPage"))->trigger();
        QCOMPARE(preview.currentPage(), pages - 2);

        preview.setZoom(1.0);
        const int width = preview.pageImage().width();
        preview.findChild<QAction *>(QStringLiteral("zoomIn"))->trigger();
        QVERIFY(preview.pageImage().width() > width);
        // A4 at 100 %: 794 pixels wide.
        QCOMPARE(width, 794);
        // The page shows ink: the listing's text is painted on it.
        const QImage image = preview.pageImage();
        int dark = 0;
        for (int y = 0; y < image.height(); y += 2) {
            for (int x = 0; x < image.width(); x += 2)
                dark += qGray(image.pixel(x, y)) < 128;
        }
        QVERIFY(dark > 100);
    };
    gridCompanions().printDataSet(printout.grid(), kCaption, PrintMode::Preview);
    QCOMPARE(pages, 9);
    QVERIFY(printout.dialogs->messages.isEmpty());
    QCOMPARE(printout.data.table.recNo(), 1);
}

void tst_Printout::previewPrintsAndSaves_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("target");  // relative to the workspace unless absolute
    QTest::addColumn<bool>("written");
    QTest::addColumn<QString>("error");

    QTest::newRow("save as PDF") << "savePdf" << true << "saved.pdf" << true << QString();
    QTest::newRow("save cancelled") << "savePdf" << false << "saved.pdf" << false << QString();
    QTest::newRow("save where no file can be made") << "savePdf" << true << "/nonexistent-folder/saved.pdf" << false
                                                    << "Cannot create file /nonexistent-folder/saved.pdf.";
    QTest::newRow("print to a PDF file") << "print" << true << "printed.pdf" << true << QString();
    QTest::newRow("print cancelled") << "print" << false << "printed.pdf" << false << QString();
    QTest::newRow("a printer that fails") << "print" << true << "/nonexistent-folder/printed.pdf" << false
                                          << "Printing on /nonexistent-folder/printed.pdf failed.";
}

void tst_Printout::previewPrintsAndSaves()
{
    QFETCH(QString, action);
    QFETCH(bool, accepted);
    QFETCH(QString, target);
    QFETCH(bool, written);
    QFETCH(QString, error);
    Printout printout(GridFixture::defaultDefs(), 130);
    const QString file = QDir::isAbsolutePath(target) ? target : printout.data.workspace.filePath(target);
    if (action == QLatin1String("savePdf"))
        printout.dialogs->saveAnswers << (accepted ? file : QString());
    printout.dialogs->printAnswers << accepted;
    printout.dialogs->onPrint = [&](QPrinter &printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(file);
    };
    int shownAfter = -1;
    printout.dialogs->onPreview = [&](QWidget *parent, PagedDocument &document) {
        PrintPreviewDialog preview(document, parent);
        preview.showPage(1);
        preview.findChild<QAction *>(action)->trigger();
        // The preview goes on showing its page.
        shownAfter = preview.currentPage();
        QVERIFY(!preview.pageImage().isNull());
    };
    gridCompanions().printGrid(printout.grid(), kCaption, PrintMode::Preview);
    QCOMPARE(shownAfter, 1);
    QCOMPARE(QFile::exists(file), written);
    const QStringList errors = printout.dialogs->texts(ScriptedDialogs::Kind::Error);
    if (error.isEmpty()) {
        QCOMPARE(errors, QStringList());
    } else {
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors.first().startsWith(error), qPrintable(errors.first()));
    }
    if (written && !QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty()) {
        const QList<PdfPage> pages = readPdf(file).value();
        QCOMPARE(pages.size(), 3);
        QCOMPARE(pages.last().find(QStringLiteral("Page:")).size(), 1);
    }
    QCOMPARE(printout.data.table.recNo(), 1);
}

void tst_Printout::unwritablePdfFileFails()
{
    GridFixture data(3);
    PrinterListScope printers(QStringList{});
    const std::unique_ptr<BandReport> report = unitreport::buildDataSetReport(data.table, kCaption);
    ReportPager pager(*report);
    const QString folder = data.workspace.filePath(QStringLiteral("folder"));
    QVERIFY(QDir().mkdir(folder));
    for (const QString &path : {folder, QStringLiteral("/nonexistent-folder/listing.pdf")}) {
        try {
            writePdfFile(pager, path);
            QFAIL("the file was written");
        } catch (const Error &error) {
            QVERIFY2(error.message().startsWith(QStringLiteral("Cannot create file %1.").arg(path)),
                     qPrintable(error.message()));
        }
    }
}

void tst_Printout::savedPdfGetsItsSuffix_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("exists");          // a file of the suffixed name is there already
    QTest::addColumn<QList<bool>>("confirm");  // the answers to "replace it?"
    QTest::addColumn<QString>("written");      // empty: nothing written
    QTest::addColumn<int>("asked");

    QTest::newRow("typed without a suffix") << "listing" << false << QList<bool>{} << "listing.pdf" << 0;
    QTest::newRow("typed with the suffix") << "listing.pdf" << false << QList<bool>{} << "listing.pdf" << 0;
    QTest::newRow("another suffix is kept") << "listing.txt" << false << QList<bool>{} << "listing.txt" << 0;
    QTest::newRow("suffixed name exists, replaced") << "listing" << true << QList<bool>{true} << "listing.pdf" << 1;
    QTest::newRow("suffixed name exists, kept") << "listing" << true << QList<bool>{false} << QString() << 1;
}

void tst_Printout::savedPdfGetsItsSuffix()
{
    QFETCH(QString, typed);
    QFETCH(bool, exists);
    QFETCH(QList<bool>, confirm);
    QFETCH(QString, written);
    QFETCH(int, asked);
    Printout printout(GridFixture::defaultDefs(), 5);
    if (exists)
        printout.data.workspace.writeFile(QStringLiteral("listing.pdf"), "kept");
    printout.dialogs->saveAnswers << printout.data.workspace.filePath(typed);
    printout.dialogs->confirmAnswers = confirm;
    printout.dialogs->onPreview = [&](QWidget *parent, PagedDocument &document) {
        PrintPreviewDialog preview(document, parent);
        preview.findChild<QAction *>(QStringLiteral("savePdf"))->trigger();
    };
    gridCompanions().printGrid(printout.grid(), kCaption, PrintMode::Preview);
    QCOMPARE(printout.dialogs->texts(ScriptedDialogs::Kind::Confirm).size(), asked);
    QVERIFY(!QFile::exists(printout.data.workspace.filePath(QStringLiteral("listing"))));
    if (written.isEmpty()) {
        QCOMPARE(printout.data.workspace.readFile(QStringLiteral("listing.pdf")), QByteArray("kept"));
    } else {
        QVERIFY(printout.data.workspace.readFile(written).startsWith("%PDF-"));
    }
    QCOMPARE(printout.dialogs->texts(ScriptedDialogs::Kind::Error), QStringList());
}

QTEST_MAIN(tst_Printout)
#include "tst_printout.moc"
