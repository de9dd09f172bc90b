#pragma once

#include "store/storetypes.h"

#include <QColor>
#include <QFont>
#include <QLocale>
#include <QPageLayout>
#include <QPageSize>
#include <QRectF>
#include <QString>

#include <deque>
#include <optional>

namespace kelvara {

class Table;

// The two measures a report is laid out in: report pixels, the report's on-screen pixels at
// 100 % zoom (96 to the inch), and report units, millimetres or, under the US measurement
// system, inches.
class ReportUnits
{
public:
    enum Unit { Millimetres, Inches };

    explicit ReportUnits(Unit unit = Millimetres) : m_unit(unit) { }
    static ReportUnits forLocale(const QLocale &locale = QLocale());

    Unit unit() const { return m_unit; }
    double pixels(double units) const;                 // report units to report pixels
    double units(double pixels) const;                 // and back
    double fromMillimetres(double millimetres) const;  // a length in millimetres, in report units
    // The engine's margin on each side: 10 mm, or half an inch with US measurement.
    double defaultMargin() const;
    QPageLayout::Unit pageLayoutUnit() const;

private:
    Unit m_unit;
};

enum class BandKind { PageHeader, ColumnHeader, Detail, PageFooter };

// A piece of text placed on a band: fixed text, the display text of a field of the current
// record, or a prefix followed by the page number. Positions are report pixels within the band.
struct ReportElement
{
    enum Kind { Label, DataText, PageNumber };

    Kind kind = Label;
    QString text;       // the label's text, the page number's prefix
    QString dataField;  // the field a data text shows
    QRectF geometry;
    Alignment alignment = taLeftJustify;
    // A stretching element grows downward, and its band with it, to show all of its text;
    // any other shows the lines that fit its height.
    bool stretch = false;
    std::optional<QFont> font;    // else the band's
    std::optional<QColor> color;  // else the band's
};

// A horizontal strip of the page: page header and column header at the top of every page, the
// detail band once per record, the page footer at the foot of every page.
struct ReportBand
{
    BandKind kind = BandKind::Detail;
    double height = 0;  // report pixels; text of stretching elements may need more
    bool lineAbove = false;
    bool lineBelow = false;
    std::optional<QFont> font;    // else the report's
    std::optional<QColor> color;  // else the report's
    std::deque<ReportElement> elements;

    ReportElement &addLabel(const QString &text);
    ReportElement &addDataText(const QString &fieldName);
    ReportElement &addPageNumber(const QString &prefix);
};

// A band report: its page, its bands and the record set it walks. Only the description; the
// pager lays it out and paints it.
class BandReport
{
public:
    // The height a band gets when none is set, in report pixels.
    static constexpr double kDefaultBandHeight = 40;

    explicit BandReport(const ReportUnits &units = ReportUnits::forLocale());

    const ReportUnits &units() const { return m_units; }

    QString title() const { return m_title; }
    void setTitle(const QString &title) { m_title = title; }
    QFont font() const { return m_font; }
    void setFont(const QFont &font) { m_font = font; }
    QColor color() const { return m_color; }
    void setColor(const QColor &color) { m_color = color; }
    Table *dataSet() const { return m_dataSet; }
    void setDataSet(Table *table) { m_dataSet = table; }

    QPageSize pageSize() const { return m_pageSize; }
    void setPageSize(const QPageSize &size) { m_pageSize = size; }
    QPageLayout::Orientation orientation() const { return m_orientation; }
    void setOrientation(QPageLayout::Orientation orientation) { m_orientation = orientation; }
    // Margins in report units, the engine's default to start with.
    QMarginsF margins() const { return m_margins; }
    void setMargins(const QMarginsF &margins) { m_margins = margins; }
    QPageLayout pageLayout() const;
    // The room between the margins, in report pixels: the bands span its width.
    QSizeF printableSize() const;
    double bandWidth() const { return printableSize().width(); }

    // At most one band of each kind; adding a kind again gives the band there is.
    ReportBand &addBand(BandKind kind);
    ReportBand *band(BandKind kind);
    const ReportBand *band(BandKind kind) const;

    // The paper of the default printer, else the locale's (Letter with US measurement, else A4).
    static QPageSize defaultPaperSize();

private:
    ReportUnits m_units;
    QString m_title;
    QFont m_font;
    QColor m_color = Qt::black;
    Table *m_dataSet = nullptr;
    QPageSize m_pageSize;
    QPageLayout::Orientation m_orientation = QPageLayout::Portrait;
    QMarginsF m_margins;
    std::deque<ReportBand> m_bands;
};

// A font of a report at a point size, held in report pixels as the platform rounds it
// (8 points are 11 pixels), so that it measures and prints the same on every device.
QFont reportFont(const QString &family, double points);

}  // namespace kelvara
