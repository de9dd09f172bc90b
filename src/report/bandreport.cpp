#include "report/bandreport.h"

#include "report/pageddocument.h"
#include "report/printerlist.h"

#include <QPrinterInfo>

#include <cmath>

namespace kelvara {

namespace {

constexpr double kMillimetresPerInch = 25.4;

}  // namespace

ReportUnits ReportUnits::forLocale(const QLocale &locale)
{
    return ReportUnits(locale.measurementSystem() == QLocale::ImperialUSSystem ? Inches : Millimetres);
}

double ReportUnits::pixels(double units) const
{
    const double inches = m_unit == Inches ? units : units / kMillimetresPerInch;
    return inches * PagedDocument::kPixelsPerInch;
}

double ReportUnits::units(double pixels) const
{
    const double inches = pixels / PagedDocument::kPixelsPerInch;
    return m_unit == Inches ? inches : inches * kMillimetresPerInch;
}

double ReportUnits::fromMillimetres(double millimetres) const
{
    return m_unit == Inches ? millimetres / kMillimetresPerInch : millimetres;
}

double ReportUnits::defaultMargin() const
{
    return m_unit == Inches ? 0.5 : 10.0;
}

QPageLayout::Unit ReportUnits::pageLayoutUnit() const
{
    return m_unit == Inches ? QPageLayout::Inch : QPageLayout::Millimeter;
}

ReportElement &ReportBand::addLabel(const QString &text)
{
    ReportElement &element = elements.emplace_back();
    element.kind = ReportElement::Label;
    element.text = text;
    return element;
}

ReportElement &ReportBand::addDataText(const QString &fieldName)
{
    ReportElement &element = elements.emplace_back();
    element.kind = ReportElement::DataText;
    element.dataField = fieldName;
    return element;
}

ReportElement &ReportBand::addPageNumber(const QString &prefix)
{
    ReportElement &element = elements.emplace_back();
    element.kind = ReportElement::PageNumber;
    element.text = prefix;
    return element;
}

BandReport::BandReport(const ReportUnits &units) : m_units(units), m_pageSize(defaultPaperSize())
{
    const double margin = m_units.defaultMargin();
    m_margins = QMarginsF(margin, margin, margin, margin);
}

QPageLayout BandReport::pageLayout() const
{
    return QPageLayout(m_pageSize, m_orientation, m_margins, m_units.pageLayoutUnit());
}

QSizeF BandReport::printableSize() const
{
    // Millimetres: the page layout rounds every measure to two decimals of the unit asked for.
    const QRectF millimetres = pageLayout().paintRect(QPageLayout::Millimeter);
    return millimetres.size() * (PagedDocument::kPixelsPerInch / kMillimetresPerInch);
}

ReportBand &BandReport::addBand(BandKind kind)
{
    if (ReportBand *existing = band(kind))
        return *existing;
    ReportBand &added = m_bands.emplace_back();
    added.kind = kind;
    added.height = kDefaultBandHeight;
    return added;
}

ReportBand *BandReport::band(BandKind kind)
{
    for (ReportBand &band : m_bands) {
        if (band.kind == kind)
            return &band;
    }
    return nullptr;
}

const ReportBand *BandReport::band(BandKind kind) const
{
    return const_cast<BandReport *>(this)->band(kind);
}

QPageSize BandReport::defaultPaperSize()
{
    // Asking the print system about its printers is slow and needless when there are none.
    if (!PrinterList::names().isEmpty()) {
        const QPageSize size = QPrinterInfo::defaultPrinter().defaultPageSize();
        if (size.isValid())
            return size;
    }
    return QPageSize(QLocale().measurementSystem() == QLocale::ImperialUSSystem ? QPageSize::Letter : QPageSize::A4);
}

QFont reportFont(const QString &family, double points)
{
    QFont font(family);
    font.setPixelSize(int(std::lround(points * PagedDocument::kPixelsPerInch / 72.0)));
    // Outlines without hinting measure alike on screen, in a PDF file and on paper.
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

}  // namespace kelvara
