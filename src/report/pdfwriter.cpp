#include "report/pdfwriter.h"

#include "platform/jpegcodec.h"
#include "report/pageddocument.h"
#include "report/truetypesubset.h"
#include "store/error.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QIODevice>
#include <QPainter>
#include <QStringView>
#include <QTextLayout>

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <map>
#include <optional>
#include <string_view>

namespace kelvara {

namespace {

constexpr double kPointsPerPixel = 72.0 / PagedDocument::kPixelsPerInch;
// Written out to the device in pieces of about this size.
constexpr size_t kFlushSize = 1 << 20;
// A glyph placed this far (in report pixels) from where its font's own advance puts it is
// moved there explicitly.
constexpr double kPlacementTolerance = 0.01;
// Entries a ToUnicode block may hold.
constexpr int kCMapBlock = 100;
// A shaped text longer than this copies as a whole rather than glyph by glyph: finding which
// characters each glyph shows costs in proportion to the square of its length.
constexpr qsizetype kMostClusteredText = 500;

// Numbers as PDF reads them, with at most three decimals. Done by hand: a page of a listing
// holds thousands of them, and general formatting would take a good part of the time.
void appendNumber(std::string &out, double value)
{
    long long scaled = std::llround(value * 1000.0);
    if (scaled < 0) {
        out += '-';
        scaled = -scaled;
    }
    long long whole = scaled / 1000;
    const int fraction = int(scaled % 1000);
    char digits[24];
    char *end = digits + sizeof digits;
    char *p = end;
    do {
        *--p = char('0' + whole % 10);
        whole /= 10;
    } while (whole != 0);
    out.append(p, size_t(end - p));
    if (fraction != 0) {
        char decimals[4] = {'.', char('0' + fraction / 100), char('0' + fraction / 10 % 10), char('0' + fraction % 10)};
        size_t length = 4;
        while (decimals[length - 1] == '0')
            --length;
        out.append(decimals, length);
    }
}

void appendInt(std::string &out, long long value)
{
    out += std::to_string(value);
}

void appendHex4(std::string &out, unsigned value)
{
    static const char digits[] = "0123456789ABCDEF";
    out += digits[(value >> 12) & 0xF];
    out += digits[(value >> 8) & 0xF];
    out += digits[(value >> 4) & 0xF];
    out += digits[value & 0xF];
}

// A text string for the document's information: UTF-16 with its byte order mark, in hex.
std::string textString(const QString &text)
{
    std::string out = "<FEFF";
    for (const QChar c : text)
        appendHex4(out, c.unicode());
    out += '>';
    return out;
}

// A name's characters outside the printable ASCII and PDF's delimiters are written as #xx.
std::string pdfName(const QString &name)
{
    std::string out;
    for (const char c : name.toUtf8()) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x21 || u > 0x7E || std::string_view("#()<>[]{}/%").find(c) != std::string_view::npos) {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "#%02X", u);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out;
}

// Whether a raw font stands for a font file with tables. Glyphs that no installed font has
// come in runs of a stand-in that draws boxes and has neither tables nor even a family name.
bool hasTables(const QRawFont &raw)
{
    return raw.isValid() && !raw.fontTable("head").isEmpty();
}

std::string colorOperands(const QColor &color)
{
    std::string out;
    const QColor rgb = color.toRgb();
    appendNumber(out, rgb.redF());
    out += ' ';
    appendNumber(out, rgb.greenF());
    out += ' ';
    appendNumber(out, rgb.blueF());
    return out;
}

}  // namespace

// One zlib stream, reset for each page rather than set up anew: most pages of a listing are
// alike in size, and the buffers are reused.
class PdfFileOutput::Compressor
{
public:
    Compressor()
    {
        if (deflateInit(&m_stream, Z_BEST_SPEED) != Z_OK)
            throw Error(QStringLiteral("The PDF compressor could not start."));
    }
    ~Compressor() { deflateEnd(&m_stream); }
    Compressor(const Compressor &) = delete;
    Compressor &operator=(const Compressor &) = delete;

    const std::string &compress(const std::string &data)
    {
        deflateReset(&m_stream);
        m_result.resize(deflateBound(&m_stream, uLong(data.size())));
        m_stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.data()));
        m_stream.avail_in = uInt(data.size());
        m_stream.next_out = reinterpret_cast<Bytef *>(m_result.data());
        m_stream.avail_out = uInt(m_result.size());
        if (deflate(&m_stream, Z_FINISH) != Z_STREAM_END)
            throw Error(QStringLiteral("The PDF compressor failed."));
        m_result.resize(m_result.size() - m_stream.avail_out);
        return m_result;
    }

private:
    z_stream m_stream{};
    std::string m_result;
};

// A font as embedded: its glyphs used so far, what characters they show, and their widths.
struct PdfFileOutput::Font
{
    explicit Font(const QRawFont &raw) : program(raw), key(keyOf(raw)) { }
    // The sizes of one face share one embedded font.
    static QString keyOf(const QRawFont &raw)
    {
        return raw.familyName() + QLatin1Char('\n') + raw.styleName() + QLatin1Char('\n')
            + QString::number(raw.weight()) + QLatin1Char('\n') + QString::number(int(raw.style()));
    }

    TrueTypeFont program;
    QString key;
    std::string resource;  // its name on the pages, "/F1"
    int object = 0;        // the font dictionary's object number
    std::vector<bool> used;
    std::vector<char32_t> unicode;  // 0: not known
    std::vector<double> advance;    // in thousandths of the font size
    bool italic = false;
};

// The content of one page, built as its texts and rules come.
class PdfFileOutput::Canvas : public PageCanvas
{
public:
    Canvas(PdfFileOutput &output, std::string &content) : m_output(output), m_out(content) { }

    void drawGlyphs(const QPointF &origin, const Glyphs &glyphs, const QColor &color, const QRectF &clip) override;
    void drawText(const QPointF &origin, const QString &text, const QFont &font, const QColor &color,
                  const QRectF &clip) override;
    void drawLine(const QPointF &from, const QPointF &to, const QColor &color, double width) override;
    void fillRect(const QRectF &rect, const QColor &color) override;
    bool drawPhoto(const QRectF &box, const QByteArray &bytes) override;

    // Closes what is open at the end of the page.
    void close() { endText(); }

private:
    double x(double pixels) const { return m_output.m_inside.left() + pixels * kPointsPerPixel; }
    double y(double pixels) const
    {
        return m_output.m_paper.height() - m_output.m_inside.top() - pixels * kPointsPerPixel;
    }
    void point(double px, double py)
    {
        appendNumber(m_out, x(px));
        m_out += ' ';
        appendNumber(m_out, y(py));
    }
    void beginText()
    {
        if (!m_inText) {
            m_out += "BT\n";
            m_inText = true;
        }
    }
    void endText()
    {
        if (m_inText) {
            m_out += "ET\n";
            m_inText = false;
        }
    }
    void setFill(const QColor &color)
    {
        if (m_hasFill && color == m_fill)
            return;
        m_fill = color;
        m_hasFill = true;
        m_out += colorOperands(color);
        m_out += " rg\n";
    }
    void clipTo(const QRectF &clip)
    {
        endText();
        m_out += "q ";
        point(clip.left(), clip.bottom());
        m_out += ' ';
        appendNumber(m_out, clip.width() * kPointsPerPixel);
        m_out += ' ';
        appendNumber(m_out, clip.height() * kPointsPerPixel);
        m_out += " re W n\n";
    }
    // What was set inside q ... Q is forgotten after it.
    void unclip()
    {
        endText();
        m_out += "Q\n";
        m_font = nullptr;
        m_hasFill = false;
        m_hasStroke = false;
    }
    void decorate(const QPointF &origin, const Glyphs &glyphs, const QColor &color);
    void mapCharacters(Font &font, const Glyphs &glyphs);
    // The characters of a text that one glyph of a shaped run shows.
    struct Cluster
    {
        int from = -1;  // in the text's UTF-16 units; -1 when not known
        int length = 0;
        // The glyph cannot tell them by itself: a box, one glyph of several for them, or one
        // glyph for several, which copy as the characters given for them.
        bool marked = false;
    };
    // Draws glyphs, not clipped. Without clusters, glyphs.text holds what they show, one code
    // point a glyph or found again from the font's character map; with them, one a glyph.
    void drawRun(const QPointF &origin, const Glyphs &glyphs, const QColor &color, const Cluster *clusters = nullptr);
    // What is drawn between these two copies and searches as the text given, whatever glyphs
    // show it: a box, glyphs in right-to-left order, joined forms or ligatures.
    void beginActualText(const QString &text)
    {
        endText();
        m_out += "/Span<</ActualText";
        m_out += textString(text);
        m_out += ">>BDC\n";
    }
    void endActualText()
    {
        endText();
        m_out += "EMC\n";
    }

    PdfFileOutput &m_output;
    std::string &m_out;
    bool m_inText = false;
    const Font *m_font = nullptr;
    double m_fontSize = 0;
    QColor m_fill;
    bool m_hasFill = false;
    QColor m_stroke;
    double m_strokeWidth = 0;
    bool m_hasStroke = false;
};

void PdfFileOutput::Canvas::mapCharacters(Font &font, const Glyphs &glyphs)
{
    const quint32 glyphCount = quint32(font.used.size());
    const QStringView text = glyphs.text;
    // The code points of the text, in order.
    const auto forEachCodePoint = [&](auto &&take) {
        for (qsizetype i = 0; i < text.size(); ++i) {
            char32_t codePoint = text[i].unicode();
            if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
                codePoint = QChar::surrogateToUcs4(text[i], text[i + 1]);
                ++i;
            }
            take(codePoint);
        }
    };
    int codePoints = 0;
    forEachCodePoint([&](char32_t) { ++codePoints; });
    if (codePoints == glyphs.count) {
        // One glyph a code point, as the listing maps them from the font's character map.
        int index = 0;
        forEachCodePoint([&](char32_t codePoint) {
            const quint32 glyph = glyphs.indexes[index++];
            // Glyph 0 is the box shown for any character the font lacks: it stands for none.
            if (glyph != 0 && glyph < glyphCount && font.unicode[glyph] == 0)
                font.unicode[glyph] = codePoint;
        });
        return;
    }
    // A shaped run, perhaps one of several: its glyphs are found again from the characters.
    forEachCodePoint([&](char32_t codePoint) {
        quint32 glyph = 0;
        int found = 1;
        const QChar pair[2] = {QChar::highSurrogate(codePoint), QChar::lowSurrogate(codePoint)};
        const QChar single{char16_t(codePoint)};
        const bool wide = QChar::requiresSurrogates(codePoint);
        if (!glyphs.font->glyphIndexesForChars(wide ? pair : &single, wide ? 2 : 1, &glyph, &found) || found != 1)
            return;
        if (glyph != 0 && glyph < glyphCount && font.used[glyph] && font.unicode[glyph] == 0)
            font.unicode[glyph] = codePoint;
    });
}

void PdfFileOutput::Canvas::drawGlyphs(const QPointF &origin, const Glyphs &glyphs, const QColor &color,
                                       const QRectF &clip)
{
    if (glyphs.count <= 0)
        return;
    const bool clipped = !clip.isEmpty();
    if (clipped)
        clipTo(clip);
    // A character the font lacks shows as its box, which must not copy as another character.
    const bool missing = std::find(glyphs.indexes, glyphs.indexes + glyphs.count, 0u) != glyphs.indexes + glyphs.count;
    if (missing)
        beginActualText(glyphs.text.toString());
    drawRun(origin, glyphs, color);
    if (missing)
        endActualText();
    if (clipped)
        unclip();
}

void PdfFileOutput::Canvas::drawRun(const QPointF &origin, const Glyphs &glyphs, const QColor &color,
                                    const Cluster *clusters)
{
    Font &font = m_output.fontFor(*glyphs.font);
    beginText();
    const double size = glyphs.font->pixelSize();
    if (m_font != &font || m_fontSize != size) {
        m_out += font.resource;
        m_out += ' ';
        appendNumber(m_out, size * kPointsPerPixel);
        m_out += " Tf\n";
        m_font = &font;
        m_fontSize = size;
    }
    setFill(color);
    const int glyphCount = int(font.used.size());
    // The glyphs go in arrays, each placed where its first glyph is; a glyph off the baseline
    // of the one before (a mark set above another) starts another, and so does each group of
    // glyphs that copies as characters given for it.
    bool inArray = false;
    const Cluster *span = nullptr;
    double expected = 0;
    double baseline = 0;
    const auto endArray = [&] {
        if (inArray) {
            m_out += ")]TJ\n";
            inArray = false;
        }
    };
    for (int i = 0; i < glyphs.count; ++i) {
        quint32 glyph = glyphs.indexes[i];
        if (glyph >= quint32(glyphCount))
            glyph = 0;
        const QPointF &at = glyphs.positions[i];
        const Cluster *marked = clusters && clusters[i].marked ? &clusters[i] : nullptr;
        const bool sameSpan
            = marked == span || (marked && span && marked->from == span->from && marked->length == span->length);
        if (!sameSpan) {
            endArray();
            if (span)
                m_out += "EMC\n";
            if (marked) {
                m_out += "/Span<</ActualText";
                m_out += textString(glyphs.text.mid(marked->from, marked->length).toString());
                m_out += ">>BDC\n";
            }
            span = marked;
        }
        if (!inArray || std::abs(at.y() - baseline) > kPlacementTolerance) {
            endArray();
            m_out += "1 0 0 1 ";
            point(origin.x() + at.x(), origin.y() + at.y());
            m_out += " Tm[(";
            inArray = true;
            expected = at.x();
            baseline = at.y();
        }
        // Where the previous glyph's own advance does not reach this one, the gap is given
        // in thousandths of the font size, as the array form reads it.
        if (std::abs(at.x() - expected) > kPlacementTolerance) {
            m_out += ')';
            appendNumber(m_out, (expected - at.x()) * 1000.0 / size);
            m_out += '(';
        }
        expected = at.x() + font.advance[glyph] * size / 1000.0;
        font.used[glyph] = true;
        for (const char byte : {char(glyph >> 8), char(glyph & 0xFF)}) {
            switch (byte) {
            case '(':
            case ')':
            case '\\':
                m_out += '\\';
                m_out += byte;
                break;
            case '\r':
                // A carriage return in a string would be read as a line end.
                m_out += "\\r";
                break;
            default: m_out += byte;
            }
        }
        if (clusters && !marked && glyph != 0 && clusters[i].from >= 0 && font.unicode[glyph] == 0) {
            const QStringView shown = glyphs.text.mid(clusters[i].from, clusters[i].length);
            font.unicode[glyph] = shown.size() == 2 ? QChar::surrogateToUcs4(shown[0], shown[1]) : shown[0].unicode();
        }
    }
    endArray();
    if (span)
        m_out += "EMC\n";
    if (!clusters)
        mapCharacters(font, glyphs);
    if (glyphs.underline || glyphs.strikeOut)
        decorate(origin, glyphs, color);
}

void PdfFileOutput::Canvas::decorate(const QPointF &origin, const Glyphs &glyphs, const QColor &color)
{
    endText();
    setFill(color);
    const QRawFont &raw = *glyphs.font;
    const double left = origin.x() + glyphs.positions[0].x();
    const double baseline = origin.y() + glyphs.positions[0].y();
    const QList<QPointF> advances = raw.advancesForGlyphIndexes(QList<quint32>{glyphs.indexes[glyphs.count - 1]});
    const double right
        = origin.x() + glyphs.positions[glyphs.count - 1].x() + (advances.isEmpty() ? 0 : advances.first().x());
    const double thickness = std::max(raw.lineThickness(), 0.5);
    const auto bar = [&](double top) {
        point(left, top + thickness);
        m_out += ' ';
        appendNumber(m_out, (right - left) * kPointsPerPixel);
        m_out += ' ';
        appendNumber(m_out, thickness * kPointsPerPixel);
        m_out += " re f\n";
    };
    if (glyphs.underline)
        bar(baseline + raw.underlinePosition() - thickness / 2);
    if (glyphs.strikeOut)
        bar(baseline - raw.xHeight() / 2 - thickness / 2);
}

void PdfFileOutput::Canvas::drawText(const QPointF &origin, const QString &text, const QFont &font, const QColor &color,
                                     const QRectF &clip)
{
    QTextLayout layout(text, font);
    layout.setCacheEnabled(false);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    layout.endLayout();
    if (!line.isValid())
        return;
    const QPointF shift(origin.x(), origin.y() - line.ascent());
    struct Run
    {
        QRawFont shaped;  // the font the layout chose, to know the run by
        QRawFont raw;     // the font drawn with
        QList<quint32> shapedIndexes;
        QList<quint32> indexes;
        QList<QPointF> at;
        bool rightToLeft = false;
        bool underline = false;
        bool strikeOut = false;
    };
    std::vector<Run> runs;
    QRawFont own;
    qsizetype glyphCount = 0;
    bool missing = false;
    for (const QGlyphRun &glyphRun : layout.glyphRuns()) {
        Run run{glyphRun.rawFont(),   glyphRun.rawFont(),       glyphRun.glyphIndexes(), glyphRun.glyphIndexes(),
                glyphRun.positions(), glyphRun.isRightToLeft(), glyphRun.underline(),    glyphRun.strikeOut()};
        if (run.indexes.isEmpty() || run.at.size() != run.indexes.size())
            continue;
        if (!hasTables(run.raw)) {
            // Characters no installed font has: the font's own box stands for each glyph.
            if (!own.isValid())
                own = QRawFont::fromFont(font);
            if (!hasTables(own))
                throw UnsupportedFont{font.family()};
            run.raw = own;
            run.indexes.fill(0);
        }
        if (isMadeUpFace(font, run.raw))
            throw UnsupportedFont{run.raw.familyName()};
        missing = missing || run.indexes.contains(0u);
        glyphCount += run.indexes.size();
        runs.push_back(std::move(run));
    }
    if (runs.empty())
        return;
    const auto glyphsOf = [&](const Run &run) {
        Glyphs glyphs;
        glyphs.font = &run.raw;
        glyphs.indexes = run.indexes.constData();
        glyphs.positions = run.at.constData();
        glyphs.count = int(run.indexes.size());
        glyphs.text = text;
        glyphs.underline = run.underline;
        glyphs.strikeOut = run.strikeOut;
        return glyphs;
    };
    const bool clipped = !clip.isEmpty();
    if (clipped)
        clipTo(clip);
    if (runs.size() == 1 && !missing && glyphCount == text.toUcs4().size()) {
        // A glyph a character, in the order of the characters, also where they are written
        // right to left: each glyph tells what it shows.
        drawRun(shift, glyphsOf(runs.front()), color);
    } else if (text.size() > kMostClusteredText) {
        beginActualText(text);
        for (const Run &run : runs)
            drawRun(shift, glyphsOf(run), color);
        endActualText();
    } else {
        // Which characters each glyph shows: asked for one character, the layout gives the
        // glyphs of the cluster that holds it.
        std::vector<std::vector<std::pair<int, int>>> ranges(runs.size());  // [from, to)
        for (size_t r = 0; r < runs.size(); ++r)
            ranges[r].assign(size_t(runs[r].indexes.size()), {INT_MAX, -1});
        for (int i = 0; i < int(text.size());) {
            const int length = text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate() ? 2 : 1;
            for (const QGlyphRun &part : layout.glyphRuns(i, length)) {
                const QRawFont partFont = part.rawFont();
                const QList<quint32> indexes = part.glyphIndexes();
                const QList<QPointF> at = part.positions();
                for (qsizetype k = 0; k < std::min(indexes.size(), at.size()); ++k) {
                    for (size_t r = 0; r < runs.size(); ++r) {
                        if (runs[r].shaped != partFont)
                            continue;
                        for (qsizetype j = 0; j < runs[r].shapedIndexes.size(); ++j) {
                            if (runs[r].shapedIndexes[j] == indexes[k]
                                && std::abs(runs[r].at[j].x() - at[k].x()) < kPlacementTolerance
                                && std::abs(runs[r].at[j].y() - at[k].y()) < kPlacementTolerance) {
                                std::pair<int, int> &range = ranges[r][size_t(j)];
                                range.first = std::min(range.first, i);
                                range.second = std::max(range.second, i + length);
                            }
                        }
                    }
                }
            }
            i += length;
        }
        // A cluster is where these overlap: the layout may also give a neighbour's glyph.
        std::vector<std::pair<int, int>> merged;
        for (const auto &runRanges : ranges) {
            for (const auto &range : runRanges) {
                if (range.second >= 0)
                    merged.push_back(range);
            }
        }
        std::sort(merged.begin(), merged.end());
        size_t kept = 0;
        for (const auto &range : merged) {
            if (kept > 0 && range.first < merged[kept - 1].second)
                merged[kept - 1].second = std::max(merged[kept - 1].second, range.second);
            else
                merged[kept++] = range;
        }
        merged.resize(kept);
        std::map<std::pair<int, int>, int> sharing;
        for (auto &runRanges : ranges) {
            for (auto &range : runRanges) {
                if (range.second < 0)
                    continue;
                range
                    = *std::prev(std::upper_bound(merged.begin(), merged.end(), std::make_pair(range.first, INT_MAX)));
                ++sharing[range];
            }
        }
        std::vector<std::vector<Cluster>> clusters(runs.size());
        for (size_t r = 0; r < runs.size(); ++r) {
            std::vector<Cluster> &ofRun = clusters[r];
            ofRun.resize(ranges[r].size());
            for (size_t j = 0; j < ofRun.size(); ++j) {
                const std::pair<int, int> &range = ranges[r][j];
                if (range.second < 0)
                    continue;
                Cluster &cluster = ofRun[j];
                cluster.from = range.first;
                cluster.length = range.second - range.first;
                const bool oneCharacter
                    = cluster.length == 1 || (cluster.length == 2 && text[cluster.from].isHighSurrogate());
                cluster.marked = runs[r].indexes[qsizetype(j)] == 0 || !oneCharacter || sharing[range] > 1;
            }
            if (runs[r].rightToLeft)
                continue;
            // Neighbouring marked glyphs of a run written left to right copy as one: apart,
            // readers take boxes wider or narrower than their places for words of their own.
            for (size_t first = 0; first < ofRun.size();) {
                size_t last = first;
                while (ofRun[first].marked && last + 1 < ofRun.size() && ofRun[last + 1].marked
                       && (ofRun[last + 1].from == ofRun[last].from
                           || ofRun[last + 1].from == ofRun[last].from + ofRun[last].length))
                    ++last;
                const int from = ofRun[first].from;
                const int to = ofRun[last].from + ofRun[last].length;
                for (size_t j = first; j <= last && ofRun[first].marked; ++j) {
                    ofRun[j].from = from;
                    ofRun[j].length = to - from;
                }
                first = last + 1;
            }
        }
        for (size_t r = 0; r < runs.size(); ++r)
            drawRun(shift, glyphsOf(runs[r]), color, clusters[r].data());
    }
    if (clipped)
        unclip();
}

void PdfFileOutput::Canvas::drawLine(const QPointF &from, const QPointF &to, const QColor &color, double width)
{
    endText();
    if (!m_hasStroke || color != m_stroke) {
        m_out += colorOperands(color);
        m_out += " RG\n";
        m_stroke = color;
    }
    if (!m_hasStroke || width != m_strokeWidth) {
        appendNumber(m_out, width * kPointsPerPixel);
        m_out += " w\n";
        m_strokeWidth = width;
    }
    m_hasStroke = true;
    point(from.x(), from.y());
    m_out += " m ";
    point(to.x(), to.y());
    m_out += " l S\n";
}

void PdfFileOutput::Canvas::fillRect(const QRectF &rect, const QColor &color)
{
    if (rect.isEmpty())
        return;
    endText();
    setFill(color);
    point(rect.left(), rect.bottom());
    m_out += ' ';
    appendNumber(m_out, rect.width() * kPointsPerPixel);
    m_out += ' ';
    appendNumber(m_out, rect.height() * kPointsPerPixel);
    m_out += " re f\n";
}

bool PdfFileOutput::Canvas::drawPhoto(const QRectF &box, const QByteArray &bytes)
{
    const std::optional<PhotoFacts> facts = photoFacts(bytes);
    if (!facts)
        return false;
    const QRectF place = fittedRect(box, facts->upright());
    if (place.isEmpty())
        return true;
    // What every reader's DCT filter takes: 8-bit Huffman-coded, baseline or progressive,
    // grey or colour.
    const bool asStored = facts->jpeg && facts->frameType <= 2 && facts->precision == 8
        && (facts->components == 1 || facts->components == 3);
    int image = 0;
    int orientation = 1;
    if (asStored) {
        image = m_output.writeImage(bytes, facts->stored, facts->components);
        orientation = facts->orientation;
    } else {
        const QSize most
            = (place.size() * (kPhotoDpi / PagedDocument::kPixelsPerInch)).toSize().expandedTo(QSize(1, 1));
        QImage picture = photoPicture(bytes, *facts, most);
        if (picture.isNull())
            return false;
        if (picture.width() > most.width() * 2 || picture.height() > most.height() * 2)
            picture = picture.scaled(most, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        if (picture.hasAlphaChannel()) {
            // Seen through, a transparent picture shows the white paper.
            QImage flat(picture.size(), QImage::Format_RGB32);
            flat.fill(Qt::white);
            QPainter(&flat).drawImage(0, 0, picture);
            picture = flat;
        }
        const bool grey = picture.isGrayscale();
        if (grey)
            picture = picture.convertToFormat(QImage::Format_Grayscale8);
        try {
            image = m_output.writeImage(jpeg::encode(picture, 90), picture.size(), grey ? 1 : 3);
        } catch (const Error &) {
            return false;
        }
    }
    // The image fills the unit square, its first row at the top; the matrix takes that square
    // to the place on the page, turned and mirrored as the orientation says.
    const double x0 = x(place.left()), y0 = y(place.bottom());
    const double w = place.width() * kPointsPerPixel, h = place.height() * kPointsPerPixel;
    double m[6];
    switch (orientation) {
    case 2: m[0] = -w, m[1] = 0, m[2] = 0, m[3] = h, m[4] = x0 + w, m[5] = y0; break;
    case 3: m[0] = -w, m[1] = 0, m[2] = 0, m[3] = -h, m[4] = x0 + w, m[5] = y0 + h; break;
    case 4: m[0] = w, m[1] = 0, m[2] = 0, m[3] = -h, m[4] = x0, m[5] = y0 + h; break;
    case 5: m[0] = 0, m[1] = -h, m[2] = -w, m[3] = 0, m[4] = x0 + w, m[5] = y0 + h; break;
    case 6: m[0] = 0, m[1] = -h, m[2] = w, m[3] = 0, m[4] = x0, m[5] = y0 + h; break;
    case 7: m[0] = 0, m[1] = h, m[2] = w, m[3] = 0, m[4] = x0, m[5] = y0; break;
    case 8: m[0] = 0, m[1] = h, m[2] = -w, m[3] = 0, m[4] = x0 + w, m[5] = y0; break;
    default: m[0] = w, m[1] = 0, m[2] = 0, m[3] = h, m[4] = x0, m[5] = y0; break;
    }
    endText();
    m_out += "q ";
    for (const double value : m) {
        appendNumber(m_out, value);
        m_out += ' ';
    }
    m_out += "cm /Im";
    appendInt(m_out, image);
    m_out += " Do Q\n";
    return true;
}

PdfFileOutput::PdfFileOutput(QIODevice &device, const QPageLayout &layout, const QString &title, const QString &creator)
    : m_device(device), m_paper(layout.fullRect(QPageLayout::Point)), m_title(title), m_creator(creator),
      m_compressor(std::make_unique<Compressor>())
{
    const QRectF paint = layout.paintRect(QPageLayout::Point);
    m_inside = QRectF(paint.topLeft() - m_paper.topLeft(), paint.size());
    m_paper.moveTopLeft(QPointF(0, 0));
    m_offsets.assign(1, 0);
    m_out.reserve(kFlushSize + (kFlushSize >> 2));
    // The binary bytes tell programs that move files about that this one is not text.
    m_out += "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
    // The catalogue, the page tree and the shared resources come first by number; they are
    // written last, once the pages and fonts are known.
    for (int i = 0; i < 3; ++i)
        newObject();
}

PdfFileOutput::~PdfFileOutput() = default;

int PdfFileOutput::newObject()
{
    m_offsets.push_back(-1);
    return int(m_offsets.size()) - 1;
}

void PdfFileOutput::beginObject(int number)
{
    m_offsets[size_t(number)] = m_written + qint64(m_out.size());
    appendInt(m_out, number);
    m_out += " 0 obj\n";
}

void PdfFileOutput::writeStream(int number, const std::string &data, const std::string &dictionary)
{
    const std::string &packed = m_compressor->compress(data);
    beginObject(number);
    m_out += "<</Length ";
    appendInt(m_out, qint64(packed.size()));
    m_out += "/Filter/FlateDecode";
    m_out += dictionary;
    m_out += ">>\nstream\n";
    m_out += packed;
    m_out += "\nendstream\nendobj\n";
    if (m_out.size() >= kFlushSize)
        flush();
}

int PdfFileOutput::writeImage(const QByteArray &jpeg, const QSize &size, int components)
{
    const int number = newObject();
    beginObject(number);
    m_out += "<</Type/XObject/Subtype/Image/Width ";
    appendInt(m_out, size.width());
    m_out += "/Height ";
    appendInt(m_out, size.height());
    m_out += components == 1 ? "/ColorSpace/DeviceGray" : "/ColorSpace/DeviceRGB";
    m_out += "/BitsPerComponent 8/Filter/DCTDecode/Length ";
    appendInt(m_out, jpeg.size());
    m_out += ">>\nstream\n";
    // Megabytes of a photo go to the device as they are, not through the buffer.
    flush();
    writeRaw(jpeg.constData(), jpeg.size());
    m_out += "\nendstream\nendobj\n";
    m_images.push_back(number);
    return int(m_images.size());
}

void PdfFileOutput::flush()
{
    if (m_out.empty())
        return;
    writeRaw(m_out.data(), qint64(m_out.size()));
    m_out.clear();
}

void PdfFileOutput::writeRaw(const char *data, qint64 size)
{
    qint64 left = size;
    while (left > 0) {
        // A file that takes only part of a piece, as a disk filling up does, is given the rest
        // again: only a write that takes nothing tells why.
        const qint64 written = m_device.write(data, left);
        if (written <= 0)
            throw Error(m_device.errorString());
        data += written;
        left -= written;
        m_written += written;
    }
}

PdfFileOutput::Font &PdfFileOutput::fontFor(const QRawFont &raw)
{
    for (const auto &[seen, font] : m_rawFonts) {
        if (seen == raw)
            return *font;
    }
    if (!hasTables(raw))
        throw UnsupportedFont{};
    // Another size of a font already embedded shares its glyphs.
    const QString key = Font::keyOf(raw);
    for (const auto &font : m_fonts) {
        if (font->key == key) {
            m_rawFonts.emplace_back(raw, font.get());
            return *font;
        }
    }
    auto font = std::make_unique<Font>(raw);
    if (!font->program.isValid())
        throw UnsupportedFont{raw.familyName()};
    const int glyphs = font->program.glyphCount();
    font->used.assign(size_t(glyphs), false);
    font->unicode.assign(size_t(glyphs), 0);
    font->advance.resize(size_t(glyphs));
    const double unitsPerEm = font->program.unitsPerEm();
    for (int g = 0; g < glyphs; ++g)
        font->advance[size_t(g)] = font->program.advance(quint32(g)) * 1000.0 / unitsPerEm;
    font->italic = raw.style() != QFont::StyleNormal;
    font->resource = "/F" + std::to_string(m_fonts.size() + 1);
    font->object = newObject();
    m_rawFonts.emplace_back(raw, font.get());
    m_fonts.push_back(std::move(font));
    return *m_fonts.back();
}

PageCanvas &PdfFileOutput::beginPage()
{
    endPage();
    m_content.clear();
    m_canvas = std::make_unique<Canvas>(*this, m_content);
    return *m_canvas;
}

void PdfFileOutput::endPage()
{
    if (!m_canvas)
        return;
    m_canvas->close();
    m_canvas.reset();
    const int content = newObject();
    writeStream(content, m_content);
    const int page = newObject();
    beginObject(page);
    m_out += "<</Type/Page/Parent 2 0 R/Resources 3 0 R/MediaBox[0 0 ";
    appendNumber(m_out, m_paper.width());
    m_out += ' ';
    appendNumber(m_out, m_paper.height());
    m_out += "]/Contents ";
    appendInt(m_out, content);
    m_out += " 0 R>>\nendobj\n";
    m_pages.push_back(page);
}

void PdfFileOutput::writeFont(Font &font)
{
    const TrueTypeFont &program = font.program;
    // The subset's tag: six capitals from the glyphs it holds, as readers expect of a subset.
    QCryptographicHash hash(QCryptographicHash::Md5);
    for (size_t g = 0; g < font.used.size(); ++g) {
        if (font.used[g])
            hash.addData(QByteArrayView(reinterpret_cast<const char *>(&g), sizeof g));
    }
    const QByteArray digest = hash.result();
    std::string name;
    for (int i = 0; i < 6; ++i)
        name += char('A' + static_cast<unsigned char>(digest[i]) % 26);
    name += '+';
    name += pdfName(program.postScriptName());

    const QByteArray subset = program.subset(font.used);
    const int file = newObject();
    std::string fileDictionary = "/Length1 " + std::to_string(subset.size());
    writeStream(file, std::string(subset.constData(), size_t(subset.size())), fileDictionary);

    // What each glyph shows, for copying and searching the text.
    std::vector<std::pair<unsigned, char32_t>> mapped;
    for (size_t g = 0; g < font.used.size(); ++g) {
        if (font.used[g] && font.unicode[g] != 0)
            mapped.emplace_back(unsigned(g), font.unicode[g]);
    }
    std::string cmap = "/CIDInit/ProcSet findresource begin\n12 dict begin\nbegincmap\n"
                       "/CIDSystemInfo<</Registry(Adobe)/Ordering(UCS)/Supplement 0>>def\n"
                       "/CMapName/Adobe-Identity-UCS def\n/CMapType 2 def\n"
                       "1 begincodespacerange\n<0000><FFFF>\nendcodespacerange\n";
    for (size_t start = 0; start < mapped.size(); start += kCMapBlock) {
        const size_t end = std::min(mapped.size(), start + kCMapBlock);
        cmap += std::to_string(end - start) + " beginbfchar\n";
        for (size_t i = start; i < end; ++i) {
            cmap += '<';
            appendHex4(cmap, mapped[i].first);
            cmap += "><";
            const char32_t codePoint = mapped[i].second;
            if (QChar::requiresSurrogates(codePoint)) {
                appendHex4(cmap, QChar::highSurrogate(codePoint));
                appendHex4(cmap, QChar::lowSurrogate(codePoint));
            } else {
                appendHex4(cmap, unsigned(codePoint));
            }
            cmap += ">\n";
        }
        cmap += "endbfchar\n";
    }
    cmap += "endcmap\nCMapName currentdict/CMap defineresource pop\nend\nend\n";
    const int toUnicode = newObject();
    writeStream(toUnicode, cmap);

    const double scale = 1000.0 / program.unitsPerEm();
    const int descriptor = newObject();
    beginObject(descriptor);
    m_out += "<</Type/FontDescriptor/FontName/" + name;
    m_out += "/Flags ";
    appendInt(m_out, 4 | (program.fixedPitch() ? 1 : 0) | (font.italic ? 64 : 0));
    const QRect box = program.boundingBox();
    m_out += "/FontBBox[";
    for (const int value : {box.x(), box.y(), box.x() + box.width(), box.y() + box.height()}) {
        appendNumber(m_out, value * scale);
        m_out += ' ';
    }
    m_out += "]/ItalicAngle ";
    appendNumber(m_out, program.italicAngle());
    m_out += "/Ascent ";
    appendNumber(m_out, program.ascent() * scale);
    m_out += "/Descent ";
    appendNumber(m_out, program.descent() * scale);
    m_out += "/CapHeight ";
    appendNumber(m_out, program.capHeight() * scale);
    m_out += "/StemV 80/FontFile2 ";
    appendInt(m_out, file);
    m_out += " 0 R>>\nendobj\n";

    const int descendant = newObject();
    beginObject(descendant);
    m_out += "<</Type/Font/Subtype/CIDFontType2/BaseFont/" + name;
    m_out += "/CIDSystemInfo<</Registry(Adobe)/Ordering(Identity)/Supplement 0>>/FontDescriptor ";
    appendInt(m_out, descriptor);
    m_out += " 0 R/CIDToGIDMap/Identity/W[";
    // Runs of glyphs one after the other share one entry.
    for (size_t g = 0; g < font.used.size();) {
        if (!font.used[g]) {
            ++g;
            continue;
        }
        appendInt(m_out, qint64(g));
        m_out += '[';
        while (g < font.used.size() && font.used[g]) {
            appendNumber(m_out, font.advance[g]);
            m_out += ' ';
            ++g;
        }
        m_out += ']';
    }
    m_out += "]>>\nendobj\n";

    beginObject(font.object);
    m_out += "<</Type/Font/Subtype/Type0/BaseFont/" + name;
    m_out += "/Encoding/Identity-H/DescendantFonts[";
    appendInt(m_out, descendant);
    m_out += " 0 R]/ToUnicode ";
    appendInt(m_out, toUnicode);
    m_out += " 0 R>>\nendobj\n";
}

void PdfFileOutput::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    endPage();
    for (const auto &font : m_fonts)
        writeFont(*font);

    beginObject(3);
    m_out += m_images.empty() ? "<</ProcSet[/PDF/Text]/Font<<" : "<</ProcSet[/PDF/Text/ImageB/ImageC]/Font<<";
    for (const auto &font : m_fonts) {
        m_out += font->resource;
        m_out += ' ';
        appendInt(m_out, font->object);
        m_out += " 0 R";
    }
    m_out += ">>";
    if (!m_images.empty()) {
        m_out += "/XObject<<";
        for (size_t i = 0; i < m_images.size(); ++i) {
            m_out += "/Im";
            appendInt(m_out, qint64(i + 1));
            m_out += ' ';
            appendInt(m_out, m_images[i]);
            m_out += " 0 R";
        }
        m_out += ">>";
    }
    m_out += ">>\nendobj\n";

    beginObject(2);
    m_out += "<</Type/Pages/Count ";
    appendInt(m_out, qint64(m_pages.size()));
    m_out += "/Kids[";
    for (const int page : m_pages) {
        appendInt(m_out, page);
        m_out += " 0 R ";
        if (m_out.size() >= kFlushSize)
            flush();
    }
    m_out += "]>>\nendobj\n";

    beginObject(1);
    m_out += "<</Type/Catalog/Pages 2 0 R>>\nendobj\n";

    const int info = newObject();
    beginObject(info);
    m_out += "<</Title" + textString(m_title) + "/Creator" + textString(m_creator) + "/Producer" + textString(m_creator)
        + "/CreationDate(D:" + QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMddHHmmss")).toStdString()
        + "Z)>>\nendobj\n";

    const qint64 xref = m_written + qint64(m_out.size());
    m_out += "xref\n0 " + std::to_string(m_offsets.size()) + "\n0000000000 65535 f \n";
    for (size_t i = 1; i < m_offsets.size(); ++i) {
        char entry[32];
        std::snprintf(entry, sizeof entry, "%010lld 00000 n \n", static_cast<long long>(m_offsets[i]));
        m_out += entry;
        if (m_out.size() >= kFlushSize)
            flush();
    }
    m_out += "trailer\n<</Size " + std::to_string(m_offsets.size()) + "/Root 1 0 R/Info " + std::to_string(info)
        + " 0 R>>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    flush();
}

}  // namespace kelvara
