#include "report/reportpager.h"

#include "report/pagecanvas.h"
#include "store/field.h"
#include "store/table.h"

#include <algorithm>
#include <limits>

namespace kelvara {

namespace {

constexpr double kEpsilon = 1e-6;
// Neither heading nor foot may take more of the page than this, so records always have room.
constexpr double kMostOfPageForOneBand = 0.25;

// The longest start of a word that fits the width, at least one character so that every line
// takes something. The search is bounded, as no character is narrower than half a pixel.
template <typename Measure> int fittingPrefix(const Measure &measure, QStringView word, double width)
{
    int low = 1;
    int high = int(std::min<qsizetype>(word.size(), qsizetype(width * 2) + 1));
    while (low < high) {
        const int middle = (low + high + 1) / 2;
        if (measure(word.left(middle)) <= width)
            low = middle;
        else
            high = middle - 1;
    }
    return low;
}

// Whether a text shows right only when shaped: characters written right to left, marks that
// sit on another character, and controls of direction or joining. Nothing below U+0300 is any
// of these, which spares the look-ups for most texts of a listing.
bool needsShaping(const QString &text)
{
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        char32_t c = text[i].unicode();
        if (c < 0x300)
            continue;
        if (QChar::isHighSurrogate(c) && i + 1 < size && text[i + 1].isLowSurrogate())
            c = QChar::surrogateToUcs4(char16_t(c), text[++i].unicode());
        switch (QChar::direction(c)) {
        case QChar::DirR:
        case QChar::DirAL:
        case QChar::DirAN:
        case QChar::DirNSM:
        case QChar::DirRLE:
        case QChar::DirRLO:
        case QChar::DirLRE:
        case QChar::DirLRO:
        case QChar::DirPDF:
        case QChar::DirRLI:
        case QChar::DirLRI:
        case QChar::DirFSI:
        case QChar::DirPDI: return true;
        default: break;
        }
        switch (QChar::category(c)) {
        case QChar::Mark_NonSpacing:
        case QChar::Mark_SpacingCombining:
        case QChar::Mark_Enclosing:
        case QChar::Other_Format: return true;
        default: break;
        }
    }
    return false;
}

}  // namespace

ReportPager::ReportPager(const BandReport &report)
    : m_report(report), m_table(report.dataSet()), m_printable(report.printableSize())
{
    if (m_table && m_table->active())
        m_count = m_table->recordCount();
    m_pageHeader = prepareBand(report.band(BandKind::PageHeader));
    m_columnHeader = prepareBand(report.band(BandKind::ColumnHeader));
    m_detail = prepareBand(report.band(BandKind::Detail));
    m_pageFooter = prepareBand(report.band(BandKind::PageFooter));
    m_lines.resize(m_detail.elements.size());
    m_starts.push_back(PageStart());
}

ReportPager::Band ReportPager::prepareBand(const ReportBand *band) const
{
    Band prepared;
    prepared.source = band;
    if (!band)
        return prepared;
    const QFont bandFont = band->font.value_or(m_report.font());
    const QColor bandColor = band->color.value_or(m_report.color());
    for (const ReportElement &source : band->elements) {
        Element element;
        element.source = &source;
        if (source.kind == ReportElement::DataText && m_table)
            element.field = m_table->fieldByName(source.dataField);
        element.font = source.font.value_or(bandFont);
        element.color = source.color.value_or(bandColor);
        element.metrics = QFontMetricsF(element.font);
        element.ascent = element.metrics.ascent();
        element.lineHeight = element.metrics.height();
        element.raw = QRawFont::fromFont(element.font);
        // A made-up face shows only in shaped text; its glyphs alone would print the plainer one.
        if (isMadeUpFace(element.font, element.raw))
            element.raw = QRawFont();
        prepared.elements.push_back(std::move(element));
    }
    return prepared;
}

QString ReportPager::textOf(const Element &element, int page) const
{
    switch (element.source->kind) {
    case ReportElement::Label: return element.source->text;
    case ReportElement::PageNumber: return element.source->text + QString::number(page + 1);
    case ReportElement::DataText: break;
    }
    if (!element.field || m_count == 0)
        return QString();
    return element.field->displayText();
}

void ReportPager::layOutText(const Element &element, const QString &text, Lines &lines)
{
    lines.clear();
    const double width = element.source->geometry.width();
    const auto add = [&](const QString &line, double advance) {
        lines.texts.push_back(line);
        lines.widths.push_back(advance);
    };
    // The common case first: one line that fits.
    if (!text.contains(QLatin1Char('\n'))) {
        const double whole = advance(element, text);
        if (whole <= width || !element.source->stretch) {
            if (!text.isEmpty())
                add(text, whole);
            return;
        }
    }
    const QStringList paragraphs = QString(text).remove(QLatin1Char('\r')).split(QLatin1Char('\n'));
    for (const QString &paragraph : paragraphs) {
        if (!element.source->stretch) {
            add(paragraph, advance(element, paragraph));
            return;
        }
        QString line;
        for (const QString &word : paragraph.split(QLatin1Char(' '))) {
            const QString candidate = line.isEmpty() ? word : line + QLatin1Char(' ') + word;
            if (advance(element, candidate) <= width) {
                line = candidate;
                continue;
            }
            if (!line.isEmpty())
                add(line, advance(element, line));
            // A word wider than the column is broken wherever it must be. Whether the rest is
            // still too wide is told by as much of it as the column could ever hold (no glyph
            // advances less than half a pixel): measuring all of a word of a hundred thousand
            // characters again for every line of it took minutes.
            const qsizetype most = qsizetype(width * 2) + 2;
            const auto tooWide = [&](QStringView part) {
                if (part.size() > most && advance(element, part.left(most).toString()) > width)
                    return true;
                return advance(element, part.toString()) > width;
            };
            QStringView rest(word);
            while (tooWide(rest)) {
                const int taken
                    = fittingPrefix([&](QStringView part) { return advance(element, part.toString()); }, rest, width);
                const QString piece = rest.left(taken).toString();
                add(piece, advance(element, piece));
                rest = rest.mid(taken);
            }
            line = rest.toString();
        }
        // An empty paragraph keeps its blank line, except at the very end of the text.
        if (!line.isEmpty() || &paragraph != &paragraphs.constLast())
            add(line, advance(element, line));
    }
}

bool ReportPager::mapGlyphs(const Element &element, const QString &text)
{
    if (!element.raw.isValid() || needsShaping(text))
        return false;
    int count = int(text.size());
    m_glyphs.resize(size_t(count));
    if (!element.raw.glyphIndexesForChars(text.constData(), int(text.size()), m_glyphs.data(), &count))
        return false;
    m_glyphs.resize(size_t(count));
    for (const quint32 glyph : m_glyphs) {
        if (glyph == 0)
            return false;
    }
    m_positions.resize(size_t(count));
    // The font's own advances, unhinted, as a printer or a PDF file places the glyphs.
    if (!element.raw.advancesForGlyphIndexes(m_glyphs.data(), m_positions.data(), count,
                                             QRawFont::SeparateAdvances | QRawFont::UseDesignMetrics))
        return false;
    // From advances to positions along the line.
    double x = 0;
    for (QPointF &position : m_positions) {
        const double step = position.x();
        position = QPointF(x, 0);
        x += step;
    }
    m_positions.emplace_back(x, 0);
    return true;
}

double ReportPager::advance(const Element &element, const QString &text)
{
    if (mapGlyphs(element, text))
        return m_positions.back().x();
    return element.metrics.horizontalAdvance(text);
}

void ReportPager::paintLine(PageCanvas &canvas, const Element &element, double top, const QString &text, double width)
{
    if (text.isEmpty())
        return;
    const QRectF &box = element.source->geometry;
    double x = box.left();
    if (element.source->alignment == taRightJustify)
        x = box.right() - width;
    else if (element.source->alignment == taCenter)
        x = box.left() + (box.width() - width) / 2;
    QRectF clip;
    if (width > box.width() + kEpsilon) {
        clip = QRectF(box.left(), top, box.width(), element.lineHeight);
        x = box.left();
    }
    const QPointF origin(x, top + element.ascent);
    if (!mapGlyphs(element, text)) {
        canvas.drawText(origin, text, element.font, element.color, clip);
        return;
    }
    PageCanvas::Glyphs glyphs;
    glyphs.font = &element.raw;
    glyphs.indexes = m_glyphs.data();
    glyphs.positions = m_positions.data();
    glyphs.count = int(m_glyphs.size());
    glyphs.text = text;
    glyphs.underline = element.font.underline();
    glyphs.strikeOut = element.font.strikeOut();
    canvas.drawGlyphs(origin, glyphs, element.color, clip);
}

void ReportPager::paintRule(PageCanvas &canvas, const ReportBand &band, double y) const
{
    canvas.drawLine(QPointF(0, y), QPointF(m_printable.width(), y), band.color.value_or(m_report.color()), 1.0);
}

double ReportPager::fixedBand(const Band &band, double y, int page, double maxHeight, PageCanvas *canvas)
{
    if (!band.source)
        return 0;
    std::vector<Lines> lines(band.elements.size());
    double height = band.source->height;
    for (size_t i = 0; i < band.elements.size(); ++i) {
        const Element &element = band.elements[i];
        layOutText(element, textOf(element, page), lines[i]);
        const double shown
            = element.source->stretch ? lines[i].count() * element.lineHeight : element.source->geometry.height();
        height = std::max(height, element.source->geometry.top() + shown);
    }
    height = std::min(height, maxHeight);
    if (!canvas)
        return height;
    for (size_t i = 0; i < band.elements.size(); ++i) {
        const Element &element = band.elements[i];
        const double top = element.source->geometry.top();
        const double bottom
            = element.source->stretch ? height : std::min(height, top + element.source->geometry.height());
        for (int line = 0; line < lines[i].count(); ++line) {
            const double lineTop = top + line * element.lineHeight;
            // The first line always shows, cut if need be; later ones only whole.
            if (line > 0 && lineTop + element.lineHeight > bottom + kEpsilon)
                break;
            paintLine(*canvas, element, y + lineTop, lines[i].texts[size_t(line)], lines[i].widths[size_t(line)]);
        }
    }
    if (band.source->lineAbove)
        paintRule(*canvas, *band.source, y);
    if (band.source->lineBelow)
        paintRule(*canvas, *band.source, y + height);
    return height;
}

ReportPager::PageStart ReportPager::walkPage(const PageStart &start, int page, PageCanvas *canvas)
{
    if (start.record < m_count && m_table->recNo() != start.record + 1)
        m_table->setRecNo(start.record + 1);
    const double most = m_printable.height() * kMostOfPageForOneBand;
    double y = 0;
    y += fixedBand(m_pageHeader, y, page, most, canvas);
    y += fixedBand(m_columnHeader, y, page, most, canvas);
    const double bodyTop = y;
    const double bodyBottom = m_printable.height() - fixedBand(m_pageFooter, 0, page, most, nullptr);
    if (canvas)
        fixedBand(m_pageFooter, bodyBottom, page, most, canvas);

    const std::vector<Element> &elements = m_detail.elements;
    const size_t count = elements.size();
    PageStart at = start;
    while (at.record < m_count) {
        for (size_t i = 0; i < count; ++i)
            layOutText(elements[i], textOf(elements[i], page), m_lines[i]);
        const bool continued = !at.nextLine.empty();
        if (!continued)
            at.nextLine.assign(count, 0);
        // The record's part still to show starts at its first line not yet shown.
        double offset = 0;
        if (continued) {
            offset = std::numeric_limits<double>::max();
            for (size_t i = 0; i < count; ++i) {
                if (at.nextLine[i] < m_lines[i].count())
                    offset = std::min(offset,
                                      elements[i].source->geometry.top() + at.nextLine[i] * elements[i].lineHeight);
            }
        }
        double needed = continued ? 0 : (m_detail.source ? m_detail.source->height : 0);
        for (size_t i = 0; i < count; ++i) {
            needed = std::max(
                needed, elements[i].source->geometry.top() + m_lines[i].count() * elements[i].lineHeight - offset);
        }
        const double room = bodyBottom - y;
        const auto paintFrom = [&](size_t i, int line) {
            if (canvas) {
                const double top = y + elements[i].source->geometry.top() + line * elements[i].lineHeight - offset;
                paintLine(*canvas, elements[i], top, m_lines[i].texts[size_t(line)], m_lines[i].widths[size_t(line)]);
            }
        };
        if (needed <= room + kEpsilon) {
            for (size_t i = 0; i < count; ++i) {
                for (int line = at.nextLine[i]; line < m_lines[i].count(); ++line)
                    paintFrom(i, line);
            }
            if (canvas && m_detail.source) {
                if (m_detail.source->lineAbove && !continued)
                    paintRule(*canvas, *m_detail.source, y);
                if (m_detail.source->lineBelow)
                    paintRule(*canvas, *m_detail.source, y + needed);
            }
            y += needed;
            at.nextLine.clear();
            if (++at.record < m_count)
                m_table->next();
            continue;
        }
        // A record that fits a page of its own starts the next page.
        if (y > bodyTop + kEpsilon && needed <= bodyBottom - bodyTop + kEpsilon) {
            if (!continued)
                at.nextLine.clear();
            return at;
        }
        // A record taller than a page shows the lines that fit and goes on over the next page.
        bool advanced = false;
        for (size_t i = 0; i < count; ++i) {
            const Element &element = elements[i];
            while (at.nextLine[i] < m_lines[i].count()
                   && element.source->geometry.top() + (at.nextLine[i] + 1) * element.lineHeight - offset
                       <= room + kEpsilon) {
                paintFrom(i, at.nextLine[i]++);
                advanced = true;
            }
        }
        if (!advanced) {
            // Not even one line fits an empty page: it is shown cut, so that the walk goes on.
            for (size_t i = 0; i < count; ++i) {
                if (at.nextLine[i] < m_lines[i].count()) {
                    paintFrom(i, at.nextLine[i]++);
                    break;
                }
            }
        }
        bool done = true;
        for (size_t i = 0; i < count; ++i)
            done = done && at.nextLine[i] >= m_lines[i].count();
        if (done) {
            at.nextLine.clear();
            if (++at.record < m_count)
                m_table->next();
        }
        return at;
    }
    at.nextLine.clear();
    return at;
}

bool ReportPager::layOutNextPage()
{
    if (m_complete)
        return false;
    const int page = int(m_starts.size()) - 1;
    const PageStart next = walkPage(m_starts.back(), page, nullptr);
    if (next.record >= m_count)
        m_complete = true;
    else
        m_starts.push_back(next);
    return true;
}

int ReportPager::pageCount()
{
    while (layOutNextPage()) { }
    return pagesLaidOut();
}

void ReportPager::paintPage(PageCanvas &canvas, int index)
{
    while (index >= pagesLaidOut() && layOutNextPage()) { }
    if (index < 0 || index >= pagesLaidOut())
        return;
    walkPage(m_starts[size_t(index)], index, &canvas);
}

void ReportPager::print(PageOutput &output, const Progress &progress)
{
    PageStart start;
    for (int page = 0;; ++page) {
        start = walkPage(start, page, &output.beginPage());
        // What was walked anyway is remembered for painting the pages again later.
        if (page + 1 == pagesLaidOut() && !m_complete) {
            if (start.record >= m_count)
                m_complete = true;
            else
                m_starts.push_back(start);
        }
        if (start.record >= m_count || (progress && !progress(page + 1)))
            break;
    }
    output.finish();
}

}  // namespace kelvara
