#include "report/truetypesubset.h"

#include <QRawFont>

#include <algorithm>

namespace kelvara {

namespace {

// Every read goes through these: a position outside the data reads as 0, so no damaged
// offset can read past a table. Structure sizes are checked before reading where a 0 would
// be taken for a real value.
quint16 u16(const QByteArray &data, qint64 at)
{
    if (at < 0 || at + 2 > data.size())
        return 0;
    return quint16((quint8(data[at]) << 8) | quint8(data[at + 1]));
}

qint16 s16(const QByteArray &data, qint64 at)
{
    return qint16(u16(data, at));
}

quint32 u32(const QByteArray &data, qint64 at)
{
    return (quint32(u16(data, at)) << 16) | u16(data, at + 2);
}

void putU16(QByteArray &data, qint64 at, quint16 value)
{
    data[at] = char(value >> 8);
    data[at + 1] = char(value & 0xff);
}

void putU32(QByteArray &data, qint64 at, quint32 value)
{
    putU16(data, at, quint16(value >> 16));
    putU16(data, at + 2, quint16(value & 0xffff));
}

void appendU16(QByteArray &data, quint16 value)
{
    data.append(char(value >> 8));
    data.append(char(value & 0xff));
}

void appendU32(QByteArray &data, quint32 value)
{
    appendU16(data, quint16(value >> 16));
    appendU16(data, quint16(value & 0xffff));
}

void padToFour(QByteArray &data)
{
    while (data.size() % 4 != 0)
        data.append('\0');
}

quint32 tagValue(const char *tag)
{
    return (quint32(quint8(tag[0])) << 24) | (quint32(quint8(tag[1])) << 16) | (quint32(quint8(tag[2])) << 8)
        | quint32(quint8(tag[3]));
}

// The sum of the data as big-endian 32-bit words, the last one padded with zeros.
quint32 checksum(const QByteArray &data)
{
    quint32 sum = 0;
    const qint64 whole = data.size() / 4 * 4;
    for (qint64 at = 0; at < whole; at += 4)
        sum += u32(data, at);
    if (whole < data.size()) {
        QByteArray last = data.mid(whole);
        last.append(4 - last.size(), '\0');
        sum += u32(last, 0);
    }
    return sum;
}

constexpr quint32 headMagic = 0x5F0F3CF5;
constexpr quint32 fileChecksum = 0xB1B0AFBA;
constexpr int headSize = 54;
constexpr int hheaSize = 36;
constexpr int maxpSize = 32;
constexpr int glyphHeaderSize = 10;

// Composite glyph component flags.
constexpr quint16 argsAreWords = 0x0001;
constexpr quint16 haveScale = 0x0008;
constexpr quint16 moreComponents = 0x0020;
constexpr quint16 haveXYScale = 0x0040;
constexpr quint16 haveTwoByTwo = 0x0080;

// Bytes a component takes after its flags and glyph number. The three kinds of scale exclude
// each other; renderers look at them in this order, so the copied glyph is read the same way.
int componentArgumentSize(quint16 flags)
{
    int size = (flags & argsAreWords) ? 4 : 2;
    if (flags & haveScale)
        size += 2;
    else if (flags & haveXYScale)
        size += 4;
    else if (flags & haveTwoByTwo)
        size += 8;
    return size;
}

QString sanitisedName(const QString &name)
{
    // A PostScript name has at most 63 characters.
    constexpr int maxLength = 63;
    static const QString forbidden = QStringLiteral("()<>[]{}/%#");
    QString result;
    for (const QChar c : name) {
        if (c.unicode() > 32 && c.unicode() < 127 && !forbidden.contains(c))
            result.append(c);
        if (result.size() == maxLength)
            break;
    }
    return result;
}

QString fallbackNameOf(const QRawFont &font)
{
    const QString style = font.styleName();
    return style.isEmpty() ? font.familyName() : font.familyName() + QLatin1Char('-') + style;
}

}  // namespace

TrueTypeFont::TrueTypeFont(const QRawFont &font)
    : TrueTypeFont([&font](const char *tag) { return font.fontTable(tag); }, fallbackNameOf(font))
{
    if (!m_valid)
        return;
    // Fonts whose OS/2 table predates the capital height still have an "H" to measure.
    const QList<quint32> glyphs = font.glyphIndexesForString(QStringLiteral("H"));
    quint32 start = 0;
    quint32 end = 0;
    if (glyphs.size() == 1 && glyphs[0] != 0 && readGlyphRange(glyphs[0], &start, &end)
        && end - start >= glyphHeaderSize)
        m_capitalHeightFromOutline = std::max(0, int(s16(m_glyf, start + 8)));
}

TrueTypeFont::TrueTypeFont(const TableReader &readTable, const QString &fallbackName) : m_fallbackName(fallbackName)
{
    m_head = readTable("head");
    m_hhea = readTable("hhea");
    m_maxp = readTable("maxp");
    m_hmtx = readTable("hmtx");
    m_loca = readTable("loca");
    m_glyf = readTable("glyf");
    m_cvt = readTable("cvt ");
    m_fpgm = readTable("fpgm");
    m_prep = readTable("prep");
    m_os2 = readTable("OS/2");
    m_post = readTable("post");
    m_name = readTable("name");

    // CFF-flavoured and Type 1 fonts have no glyf and loca; the toolkit gives nothing at all
    // for fonts that are no sfnt.
    if (m_head.size() < headSize || m_hhea.size() < hheaSize || m_maxp.size() < maxpSize || m_loca.isEmpty()
        || m_glyf.isEmpty())
        return;
    // TrueType outlines come with maxp version 1.0, which holds the limits the hinting needs.
    if (u32(m_head, 12) != headMagic || u16(m_head, 18) == 0 || u32(m_maxp, 0) != 0x00010000)
        return;
    const qint16 locaFormat = s16(m_head, 50);
    if (locaFormat != 0 && locaFormat != 1)
        return;
    m_longLoca = locaFormat == 1;
    m_glyphCount = u16(m_maxp, 4);
    if (m_glyphCount == 0)
        return;
    // More long metrics than glyphs would be nonsense; the glyphs are what count.
    m_longMetrics = std::min(int(u16(m_hhea, 34)), m_glyphCount);
    if (m_longMetrics == 0)
        return;
    if (m_hmtx.size() < qint64(m_longMetrics) * 4 + qint64(m_glyphCount - m_longMetrics) * 2)
        return;
    if (m_loca.size() < qint64(m_glyphCount + 1) * (m_longLoca ? 4 : 2))
        return;
    m_valid = true;
}

int TrueTypeFont::unitsPerEm() const
{
    return m_valid ? u16(m_head, 18) : 0;
}

int TrueTypeFont::glyphCount() const
{
    return m_valid ? m_glyphCount : 0;
}

int TrueTypeFont::advance(quint32 glyph) const
{
    if (!m_valid || glyph >= quint32(m_glyphCount))
        return 0;
    const int metric = std::min(int(glyph), m_longMetrics - 1);
    return u16(m_hmtx, qint64(metric) * 4);
}

QRect TrueTypeFont::boundingBox() const
{
    if (!m_valid)
        return QRect();
    const int xMin = s16(m_head, 36);
    const int yMin = s16(m_head, 38);
    const int xMax = s16(m_head, 40);
    const int yMax = s16(m_head, 42);
    return QRect(xMin, yMin, xMax - xMin, yMax - yMin);
}

namespace {

// hhea's pair when it holds one, else OS/2's typographic pair, else the bounding box's edge:
// the top one (ascent) or the bottom one (descent).
int verticalMetric(const QByteArray &hhea, const QByteArray &os2, const QByteArray &head, bool top)
{
    if (s16(hhea, 4) != 0 || s16(hhea, 6) != 0)
        return s16(hhea, top ? 4 : 6);
    if (os2.size() >= 72 && (s16(os2, 68) != 0 || s16(os2, 70) != 0))
        return s16(os2, top ? 68 : 70);
    return s16(head, top ? 42 : 38);
}

}  // namespace

int TrueTypeFont::ascent() const
{
    return m_valid ? verticalMetric(m_hhea, m_os2, m_head, true) : 0;
}

int TrueTypeFont::descent() const
{
    return m_valid ? verticalMetric(m_hhea, m_os2, m_head, false) : 0;
}

int TrueTypeFont::capHeight() const
{
    if (!m_valid)
        return 0;
    if (m_os2.size() >= 90 && u16(m_os2, 0) >= 2 && s16(m_os2, 88) > 0)
        return s16(m_os2, 88);
    if (m_capitalHeightFromOutline > 0)
        return m_capitalHeightFromOutline;
    return ascent();
}

double TrueTypeFont::italicAngle() const
{
    if (!m_valid || m_post.size() < 8)
        return 0.0;
    return qint32(u32(m_post, 4)) / 65536.0;
}

bool TrueTypeFont::fixedPitch() const
{
    return m_valid && m_post.size() >= 16 && u32(m_post, 12) != 0;
}

QString TrueTypeFont::postScriptName() const
{
    constexpr quint16 postScriptNameId = 6;
    const qint64 count = u16(m_name, 2);
    const qint64 storage = u16(m_name, 4);
    for (qint64 i = 0; i < count && 6 + (i + 1) * 12 <= m_name.size(); ++i) {
        const qint64 record = 6 + i * 12;
        if (u16(m_name, record + 6) != postScriptNameId)
            continue;
        const quint16 platform = u16(m_name, record);
        const quint16 encoding = u16(m_name, record + 2);
        const qint64 length = u16(m_name, record + 8);
        const qint64 at = storage + u16(m_name, record + 10);
        if (at + length > m_name.size())
            continue;
        QString text;
        if (platform == 0 || platform == 3) {
            // Unicode and Windows names are UTF-16, big-endian.
            for (qint64 c = 0; c + 1 < length; c += 2)
                text.append(QChar(u16(m_name, at + c)));
        } else if (platform == 1 && encoding == 0) {
            // Mac Roman; only its ASCII half survives the sanitising anyway.
            text = QString::fromLatin1(m_name.constData() + at, length);
        }
        const QString name = sanitisedName(text);
        if (!name.isEmpty())
            return name;
    }
    const QString fallback = sanitisedName(m_fallbackName);
    return fallback.isEmpty() ? QStringLiteral("Unnamed") : fallback;
}

bool TrueTypeFont::readGlyphRange(quint32 glyph, quint32 *start, quint32 *end) const
{
    if (glyph >= quint32(m_glyphCount))
        return false;
    if (m_longLoca) {
        *start = u32(m_loca, qint64(glyph) * 4);
        *end = u32(m_loca, qint64(glyph + 1) * 4);
    } else {
        *start = quint32(u16(m_loca, qint64(glyph) * 2)) * 2;
        *end = quint32(u16(m_loca, qint64(glyph + 1) * 2)) * 2;
    }
    return *start <= *end && *end <= quint32(m_glyf.size());
}

// Marks the used glyphs, glyph 0 and all their components in keep. Walks the components
// with a stack of its own rather than recursion, as a damaged font may chain thousands of
// composites; a composite met again while its own components are being walked is a cycle.
bool TrueTypeFont::collectGlyphs(const std::vector<bool> &usedGlyphs, std::vector<bool> *keep) const
{
    enum State : quint8 { Unseen, Walking, Done };
    std::vector<State> state(size_t(m_glyphCount), Unseen);
    struct Frame
    {
        quint32 glyph;
        qint64 next;  // where the next component starts, -1 after the last
        qint64 end;
    };
    std::vector<Frame> stack;

    // Starts on a glyph: false when its data is damaged.
    const auto enter = [&](quint32 glyph) {
        quint32 start = 0;
        quint32 end = 0;
        if (!readGlyphRange(glyph, &start, &end))
            return false;
        if (end > start && end - start < glyphHeaderSize)
            return false;
        (*keep)[glyph] = true;
        state[glyph] = Walking;
        const bool composite = end > start && s16(m_glyf, start) < 0;
        stack.push_back({glyph, composite ? qint64(start) + glyphHeaderSize : -1, end});
        return true;
    };

    const size_t roots = std::min(usedGlyphs.size(), size_t(m_glyphCount));
    for (size_t root = 0; root < std::max(roots, size_t(1)); ++root) {
        if (root != 0 && !usedGlyphs[root])
            continue;
        if (state[root] == Done)
            continue;
        if (!enter(quint32(root)))
            return false;
        while (!stack.empty()) {
            Frame &frame = stack.back();
            if (frame.next < 0) {
                state[frame.glyph] = Done;
                stack.pop_back();
                continue;
            }
            if (frame.next + 4 > frame.end)
                return false;
            const quint16 flags = u16(m_glyf, frame.next);
            const quint16 component = u16(m_glyf, frame.next + 2);
            const qint64 size = 4 + componentArgumentSize(flags);
            if (frame.next + size > frame.end)
                return false;
            frame.next = (flags & moreComponents) ? frame.next + size : -1;
            if (component >= m_glyphCount || state[component] == Walking)
                return false;
            if (state[component] == Unseen && !enter(component))
                return false;
        }
    }
    return true;
}

QByteArray TrueTypeFont::subset(const std::vector<bool> &usedGlyphs) const
{
    if (!m_valid)
        return QByteArray();
    std::vector<bool> keep(size_t(m_glyphCount), false);
    if (!collectGlyphs(usedGlyphs, &keep))
        return QByteArray();
    int count = m_glyphCount;
    while (count > 1 && !keep[size_t(count - 1)])
        --count;

    QByteArray glyf;
    QByteArray loca;
    for (int glyph = 0; glyph < count; ++glyph) {
        appendU32(loca, quint32(glyf.size()));
        quint32 start = 0;
        quint32 end = 0;
        if (keep[size_t(glyph)] && readGlyphRange(quint32(glyph), &start, &end)) {
            glyf.append(m_glyf.constData() + start, qsizetype(end - start));
            padToFour(glyf);
        }
    }
    appendU32(loca, quint32(glyf.size()));

    const int longMetrics = std::min(m_longMetrics, count);
    QByteArray hmtx = m_hmtx.left(qint64(longMetrics) * 4);
    hmtx.append(m_hmtx.mid(qint64(m_longMetrics) * 4, qint64(count - longMetrics) * 2));

    QByteArray hhea = m_hhea;
    putU16(hhea, 34, quint16(longMetrics));
    QByteArray maxp = m_maxp;
    putU16(maxp, 4, quint16(count));
    QByteArray head = m_head;
    putU32(head, 8, 0);
    putU16(head, 50, 1);

    struct Table
    {
        quint32 tag;
        QByteArray data;
    };
    std::vector<Table> tables = {
        {tagValue("head"), head}, {tagValue("hhea"), hhea}, {tagValue("maxp"), maxp},
        {tagValue("hmtx"), hmtx}, {tagValue("loca"), loca}, {tagValue("glyf"), glyf},
    };
    if (!m_cvt.isEmpty())
        tables.push_back({tagValue("cvt "), m_cvt});
    if (!m_fpgm.isEmpty())
        tables.push_back({tagValue("fpgm"), m_fpgm});
    if (!m_prep.isEmpty())
        tables.push_back({tagValue("prep"), m_prep});
    std::sort(tables.begin(), tables.end(), [](const Table &a, const Table &b) { return a.tag < b.tag; });

    const quint16 tableCount = quint16(tables.size());
    quint16 entrySelector = 0;
    while ((2u << entrySelector) <= tableCount)
        ++entrySelector;
    const quint16 searchRange = quint16((1u << entrySelector) * 16);

    QByteArray font;
    appendU32(font, 0x00010000);
    appendU16(font, tableCount);
    appendU16(font, searchRange);
    appendU16(font, entrySelector);
    appendU16(font, quint16(tableCount * 16 - searchRange));
    qint64 offset = 12 + qint64(tableCount) * 16;
    for (const Table &table : tables) {
        appendU32(font, table.tag);
        appendU32(font, checksum(table.data));
        appendU32(font, quint32(offset));
        appendU32(font, quint32(table.data.size()));
        offset += (table.data.size() + 3) / 4 * 4;
    }
    qint64 headOffset = 0;
    for (const Table &table : tables) {
        if (table.tag == tagValue("head"))
            headOffset = font.size();
        font.append(table.data);
        padToFour(font);
    }
    // With the adjustment still 0, this makes the whole file sum to the fixed value.
    putU32(font, headOffset + 8, fileChecksum - checksum(font));
    return font;
}

}  // namespace kelvara
