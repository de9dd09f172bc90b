#include "report/statisticssheet.h"

#include "report/pagecanvas.h"

#include <QCoreApplication>
#include <QFontMetricsF>
#include <QLocale>
#include <QPageSize>

#include <algorithm>
#include <cmath>

namespace kelvara {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("Statistics", text);
}

constexpr double kColumnWidth = 330;  // a chart or a table; wider sheets take more columns
constexpr double kGap = 16;
constexpr double kChartHeight = 150;
constexpr double kNumberWidths[] = {56, 66, 68};  // jobs, share, time used

const QColor kInk(Qt::black);
const QColor kFaint(110, 110, 110);
const QColor kRule(190, 190, 190);
const QColor kShade(241, 241, 241);
const QColor kBar(201, 138, 22);

QFont sized(int pixels, bool bold = false)
{
    QFont font;
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

double ascentOf(const QFont &font)
{
    return QFontMetricsF(font).ascent();
}

double widthOf(const QFont &font, const QString &text)
{
    return QFontMetricsF(font).horizontalAdvance(text);
}

// Text with its top at y, from x, or ending at x when right is set.
void text(PageCanvas &canvas, const QFont &font, const QString &shown, double x, double y, bool right = false,
          const QColor &color = kInk)
{
    if (shown.isEmpty())
        return;
    const double left = right ? x - widthOf(font, shown) : x;
    canvas.drawText(QPointF(left, y + ascentOf(font)), shown, font, color, QRectF());
}

void centred(PageCanvas &canvas, const QFont &font, const QString &shown, double centre, double y,
             const QColor &color = kInk)
{
    text(canvas, font, shown, centre - widthOf(font, shown) / 2, y, false, color);
}

QString number(qint64 value)
{
    return QLocale().toString(value);
}

// A step between the scale's lines that gives at most four of them above 0, on round numbers.
qint64 scaleStep(qint64 most)
{
    if (most <= 4)
        return 1;
    const double raw = double(most) / 4;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double factor : {1.0, 2.0, 5.0, 10.0}) {
        if (factor * magnitude >= raw)
            return std::max<qint64>(1, qint64(std::llround(factor * magnitude)));
    }
    return qint64(std::llround(10 * magnitude));
}

}  // namespace

QString hoursAndMinutes(qint64 minutes)
{
    const qint64 magnitude = minutes < 0 ? -minutes : minutes;
    return QStringLiteral("%1%2:%3")
        .arg(minutes < 0 ? QStringLiteral("-") : QString(), QLocale().toString(magnitude / 60))
        .arg(magnitude % 60, 2, 10, QLatin1Char('0'));
}

StatisticsSheet::StatisticsSheet(const SeasonStatistics &figures, const QString &counted)
    : m_figures(figures), m_counted(counted), m_font(sized(12)), m_bold(sized(12, true)), m_small(sized(10)),
      m_title(sized(18, true))
{
    m_lineHeight = std::ceil(QFontMetricsF(m_font).height() + 4);
}

QString StatisticsSheet::emptyChartText() const
{
    return m_figures.shownJobs == 0 ? tr("No jobs to count.") : tr("No jobs in these years.");
}

const FigureTable &StatisticsSheet::table(int index) const
{
    return index == 0 ? m_figures.byYear : m_figures.byField.at(index - 1);
}

QString StatisticsSheet::rowText(const FigureTable &figureTable, const FigureRow &row) const
{
    if (!row.none)
        return row.value;
    return figureTable.field.isEmpty() ? tr("(no date)") : tr("(none)");
}

double StatisticsSheet::partHeight(const Part &part) const
{
    switch (part.kind) {
    case Kind::Title: return 28 + 3 * m_lineHeight;
    case Kind::Heading: return m_lineHeight + 4;
    case Kind::Chart: return kChartHeight;
    case Kind::Table: {
        // The header, the rows, and after the last of them the total (below "No jobs." for none).
        const bool none = part.last && table(part.index).rows.isEmpty();
        return (1 + part.rowCount + (part.last ? 1 : 0) + (none ? 1 : 0)) * m_lineHeight + 6;
    }
    }
    return 0;
}

void StatisticsSheet::layOut(double width, double pageHeight)
{
    m_parts.clear();
    m_pages.clear();
    m_parts.emplace_back(Kind::Title);
    Part heading(Kind::Heading);
    heading.text = tr("Jobs per month (every year on the same scale)");
    m_parts.push_back(heading);
    if (m_figures.busiestMonth == 0) {
        m_parts.emplace_back(Kind::Chart, -1);
    } else {
        for (int i = 0; i < m_figures.months.size(); ++i)
            m_parts.emplace_back(Kind::Chart, i);
    }
    heading.text = tr("Jobs and time used (hours:minutes)");
    m_parts.push_back(heading);
    // A table longer than a page is cut into pieces that each fit one, its total after the last.
    const int rowsPerPiece = pageHeight > 0 ? std::max(1, int((pageHeight - 6) / m_lineHeight) - 2) : 0;
    for (int index = 0; index <= m_figures.byField.size(); ++index) {
        const int rows = int(table(index).rows.size());
        int first = 0;
        do {
            Part piece(Kind::Table, index, first);
            piece.rowCount = rowsPerPiece > 0 ? std::min(rowsPerPiece, rows - first) : rows - first;
            first += piece.rowCount;
            piece.last = first >= rows;
            m_parts.push_back(piece);
        } while (first < rows);
    }

    const int columns = std::max(1, int((width + kGap) / (kColumnWidth + kGap)));
    const double columnWidth = std::max(1.0, (width - (columns - 1) * kGap) / columns);
    m_pages.emplace_back();
    double x = 0, y = 0, rowHeight = 0;
    for (size_t i = 0; i < m_parts.size(); ++i) {
        Part &part = m_parts[i];
        const bool fullWidth = part.kind == Kind::Title || part.kind == Kind::Heading;
        const double w = fullWidth ? width : columnWidth;
        const double h = partHeight(part);
        if (x > 0 && (fullWidth || x + w > width + 0.5)) {
            y += rowHeight + kGap;
            x = 0;
            rowHeight = 0;
        }
        // A heading keeps to what follows it.
        const double needed = part.kind == Kind::Heading && i + 1 < m_parts.size() ? h + partHeight(m_parts[i + 1]) : h;
        if (pageHeight > 0 && y > 0 && x == 0 && y + needed > pageHeight) {
            m_pages.emplace_back();
            y = 0;
        }
        part.rect = QRectF(x, y, w, h);
        m_pages.back().push_back(part);
        if (fullWidth) {
            y += h;
        } else {
            x += w + kGap;
            rowHeight = std::max(rowHeight, h);
        }
    }
}

double StatisticsSheet::pageHeight(int page) const
{
    double bottom = 0;
    for (const Part &part : m_pages.at(size_t(page)))
        bottom = std::max(bottom, part.rect.bottom());
    return bottom;
}

void StatisticsSheet::paint(PageCanvas &canvas, int page, const QRectF &visible) const
{
    for (const Part &part : m_pages.at(size_t(page))) {
        if (!visible.isEmpty() && !visible.intersects(part.rect))
            continue;
        switch (part.kind) {
        case Kind::Title: paintTitle(canvas, part.rect); break;
        case Kind::Heading:
            text(canvas, m_bold, part.text, part.rect.left(), part.rect.top() + 2);
            canvas.drawLine(QPointF(part.rect.left(), part.rect.bottom() - 1),
                            QPointF(part.rect.right(), part.rect.bottom() - 1), kRule, 1);
            break;
        case Kind::Chart: paintChart(canvas, part); break;
        case Kind::Table: paintTable(canvas, part); break;
        }
    }
}

void StatisticsSheet::paintTitle(PageCanvas &canvas, const QRectF &rect) const
{
    text(canvas, m_title, tr("Season statistics"), rect.left(), rect.top());
    double y = rect.top() + 28;
    const QString years = m_figures.firstYear == m_figures.lastYear
        ? tr("year %1").arg(m_figures.firstYear)
        : tr("years %1 to %2").arg(m_figures.firstYear).arg(m_figures.lastYear);
    text(canvas, m_font, tr("%1, %2").arg(m_counted, years), rect.left(), y);
    y += m_lineHeight;
    text(canvas, m_font,
         tr("%1 counted, time used %2 hours")
             .arg(m_figures.jobs == 1 ? tr("1 job") : tr("%1 jobs").arg(number(m_figures.jobs)),
                  hoursAndMinutes(m_figures.minutes)),
         rect.left(), y);
    y += m_lineHeight;
    QStringList notes;
    if (m_figures.undatedJobs > 0)
        notes << tr("%1 without a date, counted under (no date).").arg(number(m_figures.undatedJobs));
    const qint64 otherYears = m_figures.shownJobs - m_figures.jobs;
    if (otherYears > 0)
        notes << tr("%1 of other years not counted.").arg(number(otherYears));
    text(canvas, m_font, notes.join(QLatin1Char(' ')), rect.left(), y, false, kFaint);
}

void StatisticsSheet::paintChart(PageCanvas &canvas, const Part &part) const
{
    const QRectF &r = part.rect;
    const bool empty = part.index < 0;
    const YearMonths *months = empty ? nullptr : &m_figures.months.at(part.index);
    QString label;
    if (months)
        label = QString::number(months->year);
    else if (m_figures.firstYear == m_figures.lastYear)
        label = QString::number(m_figures.firstYear);
    else
        label = tr("%1 to %2").arg(m_figures.firstYear).arg(m_figures.lastYear);
    text(canvas, m_bold, label, r.left(), r.top());
    if (months) {
        const qint64 total = months->total();
        text(canvas, m_font, total == 1 ? tr("1 job") : tr("%1 jobs").arg(number(total)), r.right(), r.top(), true);
    }

    const double smallHeight = QFontMetricsF(m_small).height();
    const QRectF plot(r.left() + 34, r.top() + m_lineHeight + smallHeight + 2, r.width() - 38,
                      r.height() - m_lineHeight - 2 * smallHeight - 8);
    // Every chart has the busiest month of all the chosen years at the same height.
    const qint64 step = scaleStep(m_figures.busiestMonth);
    const qint64 top = std::max<qint64>(step, (m_figures.busiestMonth + step - 1) / step * step);
    const auto yOf = [&](qint64 value) { return plot.bottom() - plot.height() * double(value) / double(top); };
    for (qint64 value = 0; value <= top; value += step) {
        const double y = yOf(value);
        canvas.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y), value == 0 ? kFaint : kRule, 0.5);
        text(canvas, m_small, number(value), plot.left() - 4, y - smallHeight / 2, true, kFaint);
    }
    const double slot = plot.width() / 12;
    for (int month = 0; month < 12; ++month) {
        const double centre = plot.left() + slot * (month + 0.5);
        centred(canvas, m_small, QLocale().standaloneMonthName(month + 1, QLocale::NarrowFormat), centre,
                plot.bottom() + 2, kFaint);
        const qint64 jobs = months ? months->jobs[size_t(month)] : 0;
        if (jobs <= 0)
            continue;
        const double barTop = yOf(jobs);
        canvas.fillRect(QRectF(centre - slot * 0.35, barTop, slot * 0.7, plot.bottom() - barTop), kBar);
        centred(canvas, m_small, number(jobs), centre, barTop - smallHeight - 1);
    }
    if (empty || months->total() == 0) {
        const QString sentence = empty ? emptyChartText() : tr("No jobs in %1.").arg(months->year);
        centred(canvas, m_font, sentence, plot.center().x(), plot.center().y() - m_lineHeight / 2, kFaint);
    }
}

void StatisticsSheet::paintTable(PageCanvas &canvas, const Part &part) const
{
    const FigureTable &figures = table(part.index);
    const QRectF &r = part.rect;
    double numbersWidth = 0;
    for (const double width : kNumberWidths)
        numbersWidth += width;
    const double valueWidth = std::max(20.0, r.width() - numbersWidth);
    const QFontMetricsF metrics(m_font);
    // The numbers of a row, right-aligned in their columns.
    const auto numbers = [&](const QFont &font, const QStringList &texts, double y) {
        double right = r.left() + valueWidth;
        for (int i = 0; i < texts.size(); ++i) {
            right += kNumberWidths[i];
            text(canvas, font, texts.at(i), right - 4, y, true);
        }
    };
    const auto share = [&](qint64 jobs) {
        if (figures.jobs <= 0)
            return QStringLiteral("-");
        return QStringLiteral("%1 %").arg(QLocale().toString(100.0 * double(jobs) / double(figures.jobs), 'f', 1));
    };

    double y = r.top();
    const QString caption = part.firstRow > 0 ? tr("%1 (cont.)").arg(figures.caption) : figures.caption;
    text(canvas, m_bold, QFontMetricsF(m_bold).elidedText(caption, Qt::ElideRight, valueWidth - 4), r.left() + 2,
         y + 2);
    numbers(m_bold, {tr("Jobs"), tr("Share"), tr("Hours")}, y + 2);
    y += m_lineHeight;
    canvas.drawLine(QPointF(r.left(), y), QPointF(r.right(), y), kFaint, 0.5);
    for (int i = part.firstRow; i < part.firstRow + part.rowCount; ++i) {
        const FigureRow &row = figures.rows.at(i);
        if ((i - part.firstRow) % 2 == 1)
            canvas.fillRect(QRectF(r.left(), y, r.width(), m_lineHeight), kShade);
        text(canvas, m_font, metrics.elidedText(rowText(figures, row), Qt::ElideRight, valueWidth - 4), r.left() + 2,
             y + 2, false, row.none ? kFaint : kInk);
        numbers(m_font, {number(row.jobs), share(row.jobs), hoursAndMinutes(row.minutes)}, y + 2);
        y += m_lineHeight;
    }
    if (!part.last)
        return;
    if (figures.rows.isEmpty()) {
        text(canvas, m_font, tr("No jobs."), r.left() + 2, y + 2, false, kFaint);
        y += m_lineHeight;
    }
    canvas.drawLine(QPointF(r.left(), y), QPointF(r.right(), y), kFaint, 0.5);
    text(canvas, m_bold, tr("Total"), r.left() + 2, y + 2);
    numbers(m_bold, {number(figures.jobs), share(figures.jobs), hoursAndMinutes(figures.minutes)}, y + 2);
}

namespace {

QPageLayout statisticsPageLayout()
{
    // Letter where the locale measures in inches, A4 elsewhere.
    const bool inches = QLocale().measurementSystem() == QLocale::ImperialUSSystem;
    return QPageLayout(QPageSize(inches ? QPageSize::Letter : QPageSize::A4), QPageLayout::Portrait,
                       QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
}

}  // namespace

StatisticsDocument::StatisticsDocument(const SeasonStatistics &figures, const QString &counted)
    : m_layout(statisticsPageLayout()), m_sheet(figures, counted)
{
    const QSizeF inside = m_layout.paintRect(QPageLayout::Inch).size() * kPixelsPerInch;
    m_sheet.layOut(inside.width(), inside.height());
}

QString StatisticsDocument::title() const
{
    return tr("Season statistics");
}

void StatisticsDocument::paintPage(PageCanvas &canvas, int index)
{
    m_sheet.paint(canvas, index);
}

void StatisticsDocument::print(PageOutput &output, const Progress &progress)
{
    for (int page = 0; page < m_sheet.pageCount(); ++page) {
        m_sheet.paint(output.beginPage(), page);
        if (progress && !progress(page + 1))
            break;
    }
    output.finish();
}

}  // namespace kelvara
