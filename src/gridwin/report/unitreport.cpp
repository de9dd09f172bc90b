#include "gridwin/report/unitreport.h"

#include "grid/fieldkind.h"
#include "grid/tcolumn.h"
#include "grid/tcolumntitle.h"
#include "grid/tdbgrid.h"
#include "grid/tdbgridcolumns.h"
#include "platform/dialogs.h"
#include "report/bandreport.h"
#include "report/printdialogs.h"
#include "report/printerlist.h"
#include "report/printpreview.h"
#include "report/reportpager.h"
#include "store/datasource.h"
#include "store/error.h"
#include "store/field.h"
#include "store/storetypes.h"
#include "store/table.h"

#include <QCoreApplication>
#include <QPrinter>
#include <QPrinterInfo>

#include <functional>
#include <optional>

namespace kelvara::unitreport {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("UnitReport", text);
}

// Layout values of the listing, in millimetres. They are the report units under metric
// measurement; under US measurement they are converted, since the same numbers taken as inches
// would give a detail line four inches high and leave out every field.
constexpr double kDetailHeight = 4;
constexpr double kPageHeaderHeight = 10;
constexpr double kColumnHeaderHeight = 16;
constexpr double kTitleTop = 1;
constexpr double kFirstLeft = 1;
constexpr double kColumnGap = 5;
// And in report pixels.
constexpr double kGridFirstLeft = 1;
constexpr double kGridColumnGap = 5;
constexpr double kGridTop = 1;
constexpr double kDataSetTitleHeight = 20;
constexpr double kGridTitleHeight = 80;

const QColor kMaroon(128, 0, 0);
const QColor kBlue(0, 0, 255);

// Memos and pictures take no room in a listing of one line per record; raw bytes print all the
// same, as their text. Nor do variable bytes or cursors print.
bool neverPrints(const Field &field)
{
    const FieldType type = field.dataType();
    switch (fieldKind(&field)) {
    case FieldKind::Picture: return true;
    case FieldKind::MemoLike: return type != ftBytes;
    default: return type == ftVarBytes || type == ftCursor;
    }
}

// Numbers (and byte counts) to the right, dates, times and check marks centred, text to the left.
Alignment alignmentFor(FieldType type)
{
    if (isNumericType(type) || type == ftBytes)
        return taRightJustify;
    if (isDateTimeType(type) || type == ftBoolean)
        return taCenter;
    return taLeftJustify;
}

// The report with its four bands, before any column is laid out.
std::unique_ptr<BandReport> newListing(Table *table, const QString &caption)
{
    auto report = std::make_unique<BandReport>();
    const ReportUnits &units = report->units();
    report->setFont(reportFont(QStringLiteral("Tahoma"), 8));
    report->setTitle(caption);
    report->setDataSet(table);

    report->addBand(BandKind::Detail).height = units.pixels(units.fromMillimetres(kDetailHeight));
    ReportBand &pageHeader = report->addBand(BandKind::PageHeader);
    pageHeader.height = units.pixels(units.fromMillimetres(kPageHeaderHeight));
    pageHeader.lineAbove = pageHeader.lineBelow = true;
    ReportBand &columnHeader = report->addBand(BandKind::ColumnHeader);
    columnHeader.height = units.pixels(units.fromMillimetres(kColumnHeaderHeight));
    columnHeader.lineAbove = columnHeader.lineBelow = true;
    QFont bold = report->font();
    bold.setBold(true);
    columnHeader.font = bold;
    columnHeader.color = kMaroon;
    report->addBand(BandKind::PageFooter);
    return report;
}

// Turns the page to landscape, once, for a column that overruns the portrait band; gives false
// when the column does not fit even then.
bool makeRoom(BandReport &report, double right, const std::function<double()> &bandWidth)
{
    if (right > bandWidth() && report.orientation() == QPageLayout::Portrait)
        report.setOrientation(QPageLayout::Landscape);
    return right <= bandWidth();
}

// The title and the page number, placed after the columns so that they span the final page.
void addTitleAndPageNumber(BandReport &report)
{
    const double width = report.bandWidth();
    const ReportUnits &units = report.units();
    ReportElement &title = report.band(BandKind::PageHeader)->addLabel(report.title());
    title.geometry = QRectF(0, units.pixels(units.fromMillimetres(kTitleTop)), width, 0);
    title.alignment = taCenter;
    QFont titleFont = reportFont(report.font().family(), 9);
    titleFont.setBold(true);
    title.font = titleFont;
    title.color = kBlue;
    title.stretch = true;

    ReportElement &page = report.band(BandKind::PageFooter)->addPageNumber(QStringLiteral("Page: "));
    page.geometry = QRectF(0, 0, width, QFontMetricsF(report.font()).height());
    page.alignment = taCenter;
}

}  // namespace

std::unique_ptr<BandReport> buildDataSetReport(Table &table, const QString &caption)
{
    std::unique_ptr<BandReport> report = newListing(&table, caption);
    const ReportUnits &units = report->units();
    ReportBand &detail = *report->band(BandKind::Detail);
    ReportBand &titles = *report->band(BandKind::ColumnHeader);
    const auto bandUnits = [&] { return units.units(report->bandWidth()); };
    double left = units.fromMillimetres(kFirstLeft);
    for (Field *field : table.fields()) {
        if (field->displayWidth() == 0 || !field->visible() || neverPrints(*field))
            continue;
        const double width = units.fromMillimetres(field->displayWidth());
        if (!makeRoom(*report, left + width, bandUnits))
            break;
        const Alignment alignment = alignmentFor(field->dataType());
        ReportElement &text = detail.addDataText(field->fieldName());
        text.geometry = QRectF(units.pixels(left), 0, units.pixels(width), detail.height);
        text.alignment = alignment;
        text.stretch = true;
        ReportElement &label = titles.addLabel(field->displayLabel());
        label.geometry = QRectF(units.pixels(left), 0, units.pixels(width), kDataSetTitleHeight);
        label.alignment = alignment;
        label.stretch = true;
        left += width + units.fromMillimetres(kColumnGap);
    }
    addTitleAndPageNumber(*report);
    return report;
}

std::unique_ptr<BandReport> buildGridReport(const TDBGrid &grid, const QString &caption)
{
    Table *table = grid.dataSource() ? grid.dataSource()->dataSet() : nullptr;
    std::unique_ptr<BandReport> report = newListing(table, caption);
    ReportBand &detail = *report->band(BandKind::Detail);
    ReportBand &titles = *report->band(BandKind::ColumnHeader);
    const auto bandWidth = [&] { return report->bandWidth(); };
    double left = kGridFirstLeft;
    const TDBGridColumns &columns = *grid.columns();
    for (int i = 0; i < columns.count(); ++i) {
        const TColumn &column = *columns.items(i);
        const Field *field = column.field();
        const int width = column.width();
        if (width <= 0 || !field || neverPrints(*field) || !column.visible())
            continue;
        if (!makeRoom(*report, left + width, bandWidth))
            break;
        ReportElement &text = detail.addDataText(field->fieldName());
        text.geometry = QRectF(left, kGridTop, width, detail.height);
        text.alignment = column.alignment();
        const QFont columnFont = column.font();
        QFont font = report->font();
        font.setBold(columnFont.bold());
        font.setItalic(columnFont.italic());
        font.setUnderline(columnFont.underline());
        font.setStrikeOut(columnFont.strikeOut());
        // A column drawn in a symbol font shows symbols, so its text prints in that font.
        const QString family = columnFont.family();
        if (family.compare(QLatin1String("Wingdings"), Qt::CaseInsensitive) == 0
            || family.compare(QLatin1String("Symbol"), Qt::CaseInsensitive) == 0)
            font.setFamily(family);
        text.font = font;
        text.stretch = true;
        ReportElement &label = titles.addLabel(column.title()->caption());
        label.geometry = QRectF(left, kGridTop, width, kGridTitleHeight);
        label.alignment = taCenter;
        label.stretch = true;
        left += width + kGridColumnGap;
    }
    addTitleAndPageNumber(*report);
    return report;
}

namespace {

void printAtOnce(ReportPager &pager, QWidget *parent)
{
    const QStringList printers = PrinterList::names();
    if (printers.isEmpty())
        throw Error(tr("There is no printer to print on."));
    QString name = QPrinterInfo::defaultPrinterName();
    if (!printers.contains(name))
        name = printers.constFirst();
    QPrinter printer(QPrinter::HighResolution);
    printer.setPrinterName(name);
    if (printer.printerName() != name || printer.outputFormat() != QPrinter::NativeFormat)
        throw Error(tr("The printer %1 is not available.").arg(name));
    printer.setDocName(pager.title());
    printDocument(pager, printer, parent);
}

}  // namespace

void outputReport(const BandReport &report, PrintMode mode, QWidget *parent)
{
    if (mode != PrintMode::Print && mode != PrintMode::Preview)
        return;
    Table *table = report.dataSet();
    if (table && !table->active())
        throw Error(tr("Cannot print a closed record set."));
    std::optional<DisabledControlsScope> held;
    if (table)
        held.emplace(*table);
    ReportPager pager(report);
    if (mode == PrintMode::Print) {
        try {
            printAtOnce(pager, parent);
        } catch (const Error &error) {
            // The printer's failure is told here; the listing itself was sound.
            dialogs().error(parent, error.message());
        }
    } else {
        printDialogs().preview(parent, pager);
    }
    if (table) {
        table->first();
        held->resume();
    }
}

void printDataSet(Table &table, const QString &caption, PrintMode mode, QWidget *parent)
{
    const std::unique_ptr<BandReport> report = buildDataSetReport(table, caption);
    outputReport(*report, mode, parent);
}

void printGrid(TDBGrid &grid, const QString &caption, PrintMode mode)
{
    const std::unique_ptr<BandReport> report = buildGridReport(grid, caption);
    outputReport(*report, mode, &grid);
}

}  // namespace kelvara::unitreport
