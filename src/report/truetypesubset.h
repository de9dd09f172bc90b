#pragma once

#include <QByteArray>
#include <QRect>
#include <QString>

#include <functional>
#include <vector>

class QRawFont;

namespace kelvara {

// A TrueType font program (glyf outlines) as the toolkit loaded it, from which a document
// embeds only the glyphs it used. Glyph numbers stay those of the font, so the printed text can
// address glyphs by the numbers the toolkit's shaping gave.
class TrueTypeFont
{
public:
    // Gives the bytes of the table with the four-letter tag, empty when the font has none.
    using TableReader = std::function<QByteArray(const char *tag)>;

    // Reads the font's tables through QRawFont::fontTable. Not valid for fonts without TrueType
    // outlines (CFF-flavoured OpenType, Type 1, bitmap fonts) or with damaged or short tables.
    explicit TrueTypeFont(const QRawFont &font);
    // The same from tables given one by one, for fonts that do not come from the toolkit.
    // fallbackName stands in for a missing or unusable PostScript name.
    explicit TrueTypeFont(const TableReader &readTable, const QString &fallbackName = QString());

    bool isValid() const { return m_valid; }

    int unitsPerEm() const;
    // maxp's number of glyphs; every valid glyph number is below it.
    int glyphCount() const;
    // The advance width in font units. Glyphs past the last long metric share its advance;
    // 0 for glyphs the font does not have.
    int advance(quint32 glyph) const;
    // The head table's box around all glyphs, in font units with y up as stored: x() and y() are
    // xMin and yMin, x() + width() and y() + height() are xMax and yMax.
    QRect boundingBox() const;
    // Above and below the baseline in font units, y up (descent is negative). From hhea, else
    // OS/2's typographic values, else the bounding box.
    int ascent() const;
    int descent() const;
    // OS/2's capital height when it has one, else the top of the "H" outline when the font came
    // from the toolkit, else the ascent.
    int capHeight() const;
    // In degrees, counter-clockwise from upright (so negative for a font leaning right).
    double italicAngle() const;
    bool fixedPitch() const;
    // The name table's PostScript name, or the family and style name, in printable ASCII with no
    // spaces nor any of ()<>[]{}/%# so it can be written as a name as it is. Never empty.
    QString postScriptName() const;

    // A complete font file holding the outlines of the used glyphs, of glyph 0, and of every
    // glyph a composite among them is built from; every other glyph is left empty, so glyph
    // numbers do not change. The font ends at the highest glyph kept: the glyphs after it are
    // unused, and dropping them shortens loca and hmtx. Holds head, hhea, maxp, hmtx, loca,
    // glyf, and cvt, fpgm and prep when the font has them, as the hinting needs those.
    // usedGlyphs[g] is true when glyph g is used; it may be shorter or longer than glyphCount.
    // Empty when the font is not valid or when a glyph to keep is damaged (outside glyf, cut
    // short, built from a glyph the font lacks or from itself).
    QByteArray subset(const std::vector<bool> &usedGlyphs) const;

private:
    bool readGlyphRange(quint32 glyph, quint32 *start, quint32 *end) const;
    bool collectGlyphs(const std::vector<bool> &usedGlyphs, std::vector<bool> *keep) const;

    bool m_valid = false;
    QByteArray m_head, m_hhea, m_maxp, m_hmtx, m_loca, m_glyf, m_cvt, m_fpgm, m_prep;
    QByteArray m_os2, m_post, m_name;
    int m_glyphCount = 0;
    int m_longMetrics = 0;
    bool m_longLoca = false;
    int m_capitalHeightFromOutline = 0;  // 0 when unknown
    QString m_fallbackName;
};

}  // namespace kelvara
