#include "pdfwriter.h"

#include "error.h"
#include "pageddocument.h"
#include "truetypesubset.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QIODevice>
#include <QStringView>
#include <QTextLayout>

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
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

} // namespace

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
    explicit Font(const QRawFont &raw) : program(raw), key(keyOf(raw)) {}
    // The sizes of one face share one embedded font.
    static QString keyOf(const QRawFont &raw)
    {
        return raw.familyName() + QLatin1Char('\n') + raw.styleName() + QLatin1Char('\n')
            + QString::number(raw.weight()) + QLatin1Char('\n') + QString::number(int(raw.style()));
    }

    TrueTypeFont program;
    QString key;
    std::string resource;            // its name on the pages, "/F1"
    int object = 0;                  // the font dictionary's object number
    std::vector<bool> used;
    std::vector<char32_t> unicode;   // 0: not known
    std::vector<double> advance;     // in thousandths of the font size
    bool italic = false;
};

// The content of one page, built as its texts and rules come.
class PdfFileOutput::Canvas : public PageCanvas
{
public:
    Canvas(PdfFileOutput &output, std::string &content) : m_output(output), m_out(content) {}

    void drawGlyphs(const QPointF &origin, const Glyphs &glyphs, const QColor &color, const QRectF &clip) override;
    void drawText(const QPointF &origin, const QString &text, const QFont &font, const QColor &color,
                  const QRectF &clip) override;
    void drawLine(const QPointF &from, const QPointF &to, const QColor &color, double width) override;

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
            if (glyph < glyphCount && font.unicode[glyph] == 0)
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
    Font &font = m_output.fontFor(*glyphs.font);
    const bool clipped = !clip.isEmpty();
    if (clipped)
        clipTo(clip);
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
    m_out += "1 0 0 1 ";
    point(origin.x() + glyphs.positions[0].x(), origin.y() + glyphs.positions[0].y());
    m_out += " Tm[(";
    const int glyphCount = int(font.used.size());
    double expected = glyphs.positions[0].x();
    for (int i = 0; i < glyphs.count; ++i) {
        quint32 glyph = glyphs.indexes[i];
        if (glyph >= quint32(glyphCount))
            glyph = 0;
        const double at = glyphs.positions[i].x();
        // Where the previous glyph's own advance does not reach this one, the gap is given
        // in thousandths of the font size, as the array form reads it.
        if (std::abs(at - expected) > kPlacementTolerance) {
            m_out += ')';
            appendNumber(m_out, (expected - at) * 1000.0 / size);
            m_out += '(';
        }
        expected = at + font.advance[glyph] * size / 1000.0;
        font.used[glyph] = true;
        for (const char byte : {char(glyph >> 8), char(glyph & 0xFF)}) {
            switch (byte) {
            case '(': case ')': case '\\':
                m_out += '\\';
                m_out += byte;
                break;
            case '\r':
                // A carriage return in a string would be read as a line end.
                m_out += "\\r";
                break;
            default:
                m_out += byte;
            }
        }
    }
    m_out += ")]TJ\n";
    mapCharacters(font, glyphs);
    if (glyphs.underline || glyphs.strikeOut)
        decorate(origin, glyphs, color);
    if (clipped)
        unclip();
}

void PdfFileOutput::Canvas::decorate(const QPointF &origin, const Glyphs &glyphs, const QColor &color)
{
    endText();
    setFill(color);
    const QRawFont &raw = *glyphs.font;
    const double left = origin.x() + glyphs.positions[0].x();
    const double baseline = origin.y() + glyphs.positions[0].y();
    const QList<QPointF> advances = raw.advancesForGlyphIndexes(QList<quint32>{glyphs.indexes[glyphs.count - 1]});
    const double right =
        origin.x() + glyphs.positions[glyphs.count - 1].x() + (advances.isEmpty() ? 0 : advances.first().x());
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

void PdfFileOutput::Canvas::drawText(const QPointF &origin, const QString &text, const QFont &font,
                                     const QColor &color, const QRectF &clip)
{
    QTextLayout layout(text, font);
    layout.setCacheEnabled(false);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    layout.endLayout();
    if (!line.isValid())
        return;
    const QPointF shift(origin.x(), origin.y() - line.ascent());
    QRawFont own;
    for (const QGlyphRun &run : layout.glyphRuns()) {
        QRawFont raw = run.rawFont();
        QList<quint32> indexes = run.glyphIndexes();
        const QList<QPointF> at = run.positions();
        if (indexes.isEmpty() || at.size() != indexes.size())
            continue;
        if (!hasTables(raw)) {
            // Characters no installed font has: the font's own box stands for each glyph.
            if (!own.isValid())
                own = QRawFont::fromFont(font);
            if (!hasTables(own))
                throw UnsupportedFont{font.family()};
            raw = own;
            indexes.fill(0);
        }
        if (isMadeUpFace(font, raw))
            throw UnsupportedFont{raw.familyName()};
        Glyphs glyphs;
        glyphs.font = &raw;
        glyphs.indexes = indexes.constData();
        glyphs.positions = at.constData();
        glyphs.count = int(indexes.size());
        glyphs.text = text;
        glyphs.underline = run.underline();
        glyphs.strikeOut = run.strikeOut();
        drawGlyphs(shift, glyphs, color, clip);
    }
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

PdfFileOutput::PdfFileOutput(QIODevice &device, const QPageLayout &layout, const QString &title,
                             const QString &creator)
    : m_device(device),
      m_paper(layout.fullRect(QPageLayout::Point)),
      m_title(title),
      m_creator(creator),
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

void PdfFileOutput::flush()
{
    if (m_out.empty())
        return;
    const qint64 written = m_device.write(m_out.data(), qint64(m_out.size()));
    if (written != qint64(m_out.size()))
        throw Error(m_device.errorString());
    m_written += written;
    m_out.clear();
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
    std::string cmap =
        "/CIDInit/ProcSet findresource begin\n12 dict begin\nbegincmap\n"
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
    m_out += "<</ProcSet[/PDF/Text]/Font<<";
    for (const auto &font : m_fonts) {
        m_out += font->resource;
        m_out += ' ';
        appendInt(m_out, font->object);
        m_out += " 0 R";
    }
    m_out += ">>>>\nendobj\n";

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
    m_out += "<</Title" + textString(m_title) + "/Creator" + textString(m_creator) + "/Producer"
        + textString(m_creator) + "/CreationDate(D:"
        + QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMddHHmmss")).toStdString() + "Z)>>\nendobj\n";

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

} // namespace kelvara
