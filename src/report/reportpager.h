#pragma once

#include "report/bandreport.h"
#include "report/pageddocument.h"

#include <QFontMetricsF>
#include <QRawFont>

#include <vector>

namespace kelvara {

class Field;

// Lays out a band report page by page while it walks the report's record set, and paints the
// pages. Only where each page starts is kept, so a page can be painted again in any order and
// a listing of any length costs the memory of one page.
class ReportPager : public PagedDocument
{
public:
    // Takes the report as it is now; fails with the store's message for a data text whose
    // field the record set lacks. The report must outlive the pager.
    explicit ReportPager(const BandReport &report);

    QString title() const override { return m_report.title(); }
    QPageLayout pageLayout() const override { return m_report.pageLayout(); }
    int pagesLaidOut() const override { return int(m_starts.size()); }
    bool complete() const override { return m_complete; }
    bool layOutNextPage() override;
    void paintPage(PageCanvas &canvas, int index) override;
    void print(PageOutput &output, const Progress &progress = {}) override;

    // Lays out every page and gives their number.
    int pageCount();

private:
    // Where a page starts: at a record, and, for a record taller than a page, at the next line
    // of each of the detail band's elements.
    struct PageStart
    {
        int record = 0;
        std::vector<int> nextLine;
    };
    struct Lines
    {
        std::vector<QString> texts;
        std::vector<double> widths;
        void clear()
        {
            texts.clear();
            widths.clear();
        }
        int count() const { return int(texts.size()); }
    };
    struct Element
    {
        const ReportElement *source = nullptr;
        Field *field = nullptr;
        QFont font;
        QColor color;
        double ascent = 0;
        double lineHeight = 0;
        QFontMetricsF metrics{QFont()};
        // The font's own glyphs, used while every character of a text has one.
        QRawFont raw;
    };
    struct Band
    {
        const ReportBand *source = nullptr;
        std::vector<Element> elements;
    };

    Band prepareBand(const ReportBand *band) const;
    QString textOf(const Element &element, int page) const;
    void layOutText(const Element &element, const QString &text, Lines &lines);
    // Lays out a header or footer band at y, drawing it when a canvas is given; gives its height.
    double fixedBand(const Band &band, double y, int page, double maxHeight, PageCanvas *canvas);
    PageStart walkPage(const PageStart &start, int page, PageCanvas *canvas);
    // How wide a line of text is. Plain texts are measured and painted from the font's character
    // map, without shaping: they have no use for it, and it takes most of the time of a long
    // listing. A text with a character the font lacks is shaped, which finds it in another font,
    // and so is one written right to left or with combining marks, which only shaping orders,
    // joins and places right.
    double advance(const Element &element, const QString &text);
    bool mapGlyphs(const Element &element, const QString &text);
    void paintLine(PageCanvas &canvas, const Element &element, double top, const QString &text, double width);
    void paintRule(PageCanvas &canvas, const ReportBand &band, double y) const;

    const BandReport &m_report;
    Table *m_table = nullptr;
    int m_count = 0;
    QSizeF m_printable;
    Band m_pageHeader, m_columnHeader, m_detail, m_pageFooter;
    std::vector<PageStart> m_starts;
    bool m_complete = false;
    std::vector<Lines> m_lines;     // of the record being laid out, reused
    std::vector<quint32> m_glyphs;  // of the last text mapped, reused
    std::vector<QPointF> m_positions;
};

}  // namespace kelvara
