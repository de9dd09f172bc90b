#pragma once

#include "report/pageddocument.h"
#include "store/statistics.h"

#include <QFont>
#include <QRectF>

#include <vector>

namespace kelvara {

class PageCanvas;

// The season figures drawn on a page canvas: a heading, the jobs per month as one bar chart per
// year, all on the same scale, and the tables of jobs and time used. The same drawing serves the
// window (on a painter) and the printout and PDF, so what is printed is what was shown.
class StatisticsSheet
{
public:
    // counted says which jobs the figures are of ("All jobs").
    StatisticsSheet(const SeasonStatistics &figures, const QString &counted);

    // Places the parts in columns across the width, on pages of the given height; a height of 0
    // puts everything on one page. A table longer than a page goes on over the next.
    void layOut(double width, double pageHeight = 0);
    int pageCount() const { return int(m_pages.size()); }
    // The height the parts of a page take.
    double pageHeight(int page) const;
    // Draws a page's parts; only those crossing visible when it is not empty.
    void paint(PageCanvas &canvas, int page, const QRectF &visible = QRectF()) const;

    const SeasonStatistics &figures() const { return m_figures; }
    // The sentence an empty chart shows.
    QString emptyChartText() const;

private:
    enum class Kind { Title, Heading, Chart, Table };
    struct Part
    {
        explicit Part(Kind kind_, int index_ = 0, int firstRow_ = 0) : kind(kind_), index(index_), firstRow(firstRow_)
        { }
        Kind kind;
        int index = 0;  // the chart's year or the table, by position
        int firstRow = 0;
        int rowCount = 0;
        bool last = true;  // the table's total follows its rows
        QString text;      // of a heading
        QRectF rect;       // where it is placed on its page
    };

    double partHeight(const Part &part) const;
    double partWidth(const Part &part, double width) const;
    void paintTitle(PageCanvas &canvas, const QRectF &rect) const;
    void paintChart(PageCanvas &canvas, const Part &part) const;
    void paintTable(PageCanvas &canvas, const Part &part) const;
    const FigureTable &table(int index) const;
    QString rowText(const FigureTable &table, const FigureRow &row) const;

    SeasonStatistics m_figures;
    QString m_counted;
    QFont m_font, m_bold, m_small, m_title;
    double m_lineHeight = 0;
    std::vector<Part> m_parts;  // in the order they are laid out
    std::vector<std::vector<Part>> m_pages;
};

// The figures as a document for the print preview, the printer and PDF.
class StatisticsDocument : public PagedDocument
{
public:
    StatisticsDocument(const SeasonStatistics &figures, const QString &counted);

    QString title() const override;
    QPageLayout pageLayout() const override { return m_layout; }
    int pagesLaidOut() const override { return m_sheet.pageCount(); }
    bool complete() const override { return true; }
    bool layOutNextPage() override { return false; }
    void paintPage(PageCanvas &canvas, int index) override;
    void print(PageOutput &output, const Progress &progress = {}) override;

private:
    QPageLayout m_layout;
    StatisticsSheet m_sheet;
};

// Minutes as hours and minutes, "12:05"; a negative time keeps its sign before the hours.
QString hoursAndMinutes(qint64 minutes);

}  // namespace kelvara
