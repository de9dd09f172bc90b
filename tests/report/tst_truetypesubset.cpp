#include "report/truetypesubset.h"

#include <QFile>
#include <QPainterPath>
#include <QRawFont>
#include <QtTest>

#include <functional>

using namespace kelvara;

using Tables = QMap<QByteArray, QByteArray>;

namespace {

const QString dejaVuFolder = QStringLiteral("/usr/share/fonts/truetype/dejavu/");
const QString dejaVuSans = dejaVuFolder + QStringLiteral("DejaVuSans.ttf");

// The glyphs of a typical listing: names, numbers and the Nordic letters of addresses.
const QString listingText = QStringLiteral(
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789\u00e6\u00f8\u00e5\u00c6\u00d8\u00c5\u00e9");

quint16 u16(const QByteArray &data, qint64 at)
{
    return quint16((quint8(data.at(at)) << 8) | quint8(data.at(at + 1)));
}

qint16 s16(const QByteArray &data, qint64 at)
{
    return qint16(u16(data, at));
}

quint32 u32(const QByteArray &data, qint64 at)
{
    return (quint32(u16(data, at)) << 16) | u16(data, at + 2);
}

QByteArray be16(int value)
{
    QByteArray bytes(2, '\0');
    bytes[0] = char((value >> 8) & 0xff);
    bytes[1] = char(value & 0xff);
    return bytes;
}

QByteArray be32(quint32 value)
{
    return be16(int(value >> 16)) + be16(int(value & 0xffff));
}

void put16(QByteArray &data, qint64 at, int value)
{
    data.replace(at, 2, be16(value));
}

// Byte by byte, each in its place of a big-endian word; a short last word counts as padded.
quint32 checksumOf(const QByteArray &data)
{
    quint32 sum = 0;
    for (qint64 i = 0; i < data.size(); ++i)
        sum += quint32(quint8(data.at(i))) << (24 - 8 * (i % 4));
    return sum;
}

struct Entry
{
    QByteArray tag;
    quint32 checksum;
    quint32 offset;
    quint32 length;
};

QList<Entry> directoryOf(const QByteArray &file)
{
    QList<Entry> entries;
    if (file.size() < 12)
        return entries;
    const int count = u16(file, 4);
    for (int i = 0; i < count && 12 + (i + 1) * 16 <= file.size(); ++i) {
        const qint64 at = 12 + i * 16;
        entries.append({file.mid(at, 4), u32(file, at + 4), u32(file, at + 8), u32(file, at + 12)});
    }
    return entries;
}

Tables tablesOf(const QByteArray &file)
{
    Tables tables;
    for (const Entry &entry : directoryOf(file))
        tables.insert(entry.tag, file.mid(entry.offset, entry.length));
    return tables;
}

TrueTypeFont fontOf(const Tables &tables)
{
    return TrueTypeFont([tables](const char *tag) { return tables.value(QByteArray(tag, 4)); });
}

// The bytes of a glyph as loca and glyf give them.
QByteArray glyphOf(const Tables &tables, quint32 glyph)
{
    const QByteArray loca = tables.value("loca");
    if (s16(tables.value("head"), 50) == 1)
        return tables.value("glyf").mid(u32(loca, glyph * 4), u32(loca, glyph * 4 + 4) - u32(loca, glyph * 4));
    const quint32 start = u16(loca, glyph * 2) * 2u;
    return tables.value("glyf").mid(start, u16(loca, glyph * 2 + 2) * 2u - start);
}

QRawFont loadFont(const QString &fileName, qreal pixelSize = 100)
{
    return QRawFont(fileName, pixelSize, QFont::PreferNoHinting);
}

std::vector<bool> usedBy(const QRawFont &font, const QString &text)
{
    std::vector<bool> used;
    for (const quint32 glyph : font.glyphIndexesForString(text)) {
        if (glyph >= used.size())
            used.resize(glyph + 1, false);
        used[glyph] = true;
    }
    return used;
}

// A small font the tests can damage at will. Glyphs are given whole and follow each other in
// glyf as they are, but for the padding to an even offset that short loca needs.
Tables craftedFont(const QList<QByteArray> &glyphs, bool longLoca = true)
{
    QByteArray head(54, '\0');
    head.replace(0, 4, be32(0x00010000));
    head.replace(12, 4, be32(0x5F0F3CF5));
    put16(head, 18, 1000);
    put16(head, 40, 100);
    put16(head, 42, 100);
    put16(head, 50, longLoca ? 1 : 0);
    QByteArray hhea(36, '\0');
    hhea.replace(0, 4, be32(0x00010000));
    put16(hhea, 4, 800);
    put16(hhea, 6, -200);
    put16(hhea, 34, int(glyphs.size()));
    QByteArray maxp(32, '\0');
    maxp.replace(0, 4, be32(0x00010000));
    put16(maxp, 4, int(glyphs.size()));
    QByteArray hmtx;
    QByteArray glyf;
    QByteArray loca;
    for (int g = 0; g < glyphs.size(); ++g) {
        hmtx += be16(500 + 10 * g) + be16(0);
        loca += longLoca ? be32(quint32(glyf.size())) : be16(int(glyf.size() / 2));
        glyf += glyphs[g];
        if (!longLoca && glyf.size() % 2)
            glyf += '\0';
    }
    loca += longLoca ? be32(quint32(glyf.size())) : be16(int(glyf.size() / 2));
    return {{"head", head},
            {"hhea", hhea},
            {"maxp", maxp},
            {"hmtx", hmtx},
            {"loca", loca},
            {"glyf", glyf},
            {"fpgm", QByteArray("\xb0\x00", 2)}};
}

// A triangle; size tells them apart. 29 bytes, so the copy has to pad it.
QByteArray simpleGlyph(int size = 100)
{
    QByteArray glyph = be16(1) + be16(0) + be16(0) + be16(size) + be16(size);
    glyph += be16(2) + be16(0);                       // end point of the contour, no instructions
    glyph += QByteArray(3, '\x01');                   // on the curve, coordinates as words
    glyph += be16(0) + be16(size) + be16(-size / 2);  // x
    glyph += be16(0) + be16(0) + be16(size);          // y
    return glyph;
}

struct Component
{
    int flags;
    int glyph;
};

// A composite of the components, each with the argument and scale bytes its flags ask for;
// every component but the last says more follow.
QByteArray compositeGlyph(const QList<Component> &components)
{
    QByteArray glyph = be16(-1) + be16(0) + be16(0) + be16(100) + be16(100);
    for (int i = 0; i < components.size(); ++i) {
        const int flags = (components[i].flags & ~0x20) | (i + 1 < components.size() ? 0x20 : 0);
        glyph += be16(flags) + be16(components[i].glyph);
        // Arguments and scales of 0x7f7f would read as glyph numbers past the font when a
        // reader skips the wrong number of bytes.
        glyph += QByteArray((flags & 0x1) ? 4 : 2, '\x7f');
        if (flags & 0x8)
            glyph += QByteArray(2, '\x7f');
        else if (flags & 0x40)
            glyph += QByteArray(4, '\x7f');
        else if (flags & 0x80)
            glyph += QByteArray(8, '\x7f');
    }
    return glyph;
}

}  // namespace

class TrueTypeSubsetTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void readsTheFontsMetrics_data();
    void readsTheFontsMetrics();
    void subsetDrawsTheUsedGlyphsOnly_data();
    void subsetDrawsTheUsedGlyphsOnly();
    void accentedLetterKeepsItsComponents_data();
    void accentedLetterKeepsItsComponents();
    void subsetIsMuchSmallerThanTheFont();
    void subsetFileIsWellFormed_data();
    void subsetFileIsWellFormed();
    void compositeComponentsAreFoundWhateverTheirFlags_data();
    void compositeComponentsAreFoundWhateverTheirFlags();
    void metricsPastTheLastLongMetric_data();
    void metricsPastTheLastLongMetric();
    void usedGlyphsMayBeShorterOrLongerThanTheFont_data();
    void usedGlyphsMayBeShorterOrLongerThanTheFont();
    void fontsWithoutTrueTypeOutlinesAreNotValid_data();
    void fontsWithoutTrueTypeOutlinesAreNotValid();
    void damagedTablesMakeTheFontInvalid_data();
    void damagedTablesMakeTheFontInvalid();
    void damagedGlyphsGiveNoSubset_data();
    void damagedGlyphsGiveNoSubset();
    void postScriptNameIsSafeToWrite_data();
    void postScriptNameIsSafeToWrite();
};

void TrueTypeSubsetTest::initTestCase()
{
    QVERIFY2(QFile::exists(dejaVuSans), "DejaVu Sans is installed by scripts/setup.sh");
}

void TrueTypeSubsetTest::readsTheFontsMetrics_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("postScriptName");
    QTest::addColumn<bool>("leansRight");
    QTest::addColumn<bool>("fixedPitch");
    QTest::newRow("Sans") << "DejaVuSans.ttf"
                          << "DejaVuSans" << false << false;
    QTest::newRow("Sans oblique") << "DejaVuSans-Oblique.ttf"
                                  << "DejaVuSans-Oblique" << true << false;
    QTest::newRow("Mono") << "DejaVuSansMono.ttf"
                          << "DejaVuSansMono" << false << true;
    QTest::newRow("Serif bold") << "DejaVuSerif-Bold.ttf"
                                << "DejaVuSerif-Bold" << false << false;
}

void TrueTypeSubsetTest::readsTheFontsMetrics()
{
    QFETCH(QString, file);
    QFETCH(QString, postScriptName);
    QFETCH(bool, leansRight);
    QFETCH(bool, fixedPitch);
    if (!QFile::exists(dejaVuFolder + file))
        QSKIP("This DejaVu font is not installed");
    const TrueTypeFont font(loadFont(dejaVuFolder + file));
    QVERIFY(font.isValid());
    // At one pixel per font unit the toolkit's own metrics are in font units too.
    const QRawFont raw = loadFont(dejaVuFolder + file, font.unitsPerEm());
    QCOMPARE(font.unitsPerEm(), raw.unitsPerEm());

    const QList<quint32> glyphs = raw.glyphIndexesForString(listingText + QStringLiteral(" .,-/"));
    const QList<QPointF> advances = raw.advancesForGlyphIndexes(glyphs, QRawFont::UseDesignMetrics);
    const QRect box = font.boundingBox();
    for (int i = 0; i < glyphs.size(); ++i) {
        QVERIFY(glyphs[i] > 0);
        QVERIFY(int(glyphs[i]) < font.glyphCount());
        QCOMPARE(font.advance(glyphs[i]), qRound(advances[i].x()));
        // The path's y grows downwards, the font's upwards.
        const QRectF outline = raw.pathForGlyph(glyphs[i]).boundingRect();
        QVERIFY(box.left() <= outline.left() && box.left() + box.width() >= outline.right());
        QVERIFY(box.top() <= -outline.bottom() && box.top() + box.height() >= -outline.top());
    }
    QCOMPARE(font.advance(quint32(font.glyphCount())), 0);
    QCOMPARE(font.advance(0xffffffffu), 0);
    QVERIFY(font.glyphCount() > 1000);

    QVERIFY(qAbs(font.ascent() - raw.ascent()) <= 1);
    QVERIFY(qAbs(font.descent() + raw.descent()) <= 1);
    const QList<quint32> capital = raw.glyphIndexesForString(QStringLiteral("H"));
    QVERIFY(qAbs(font.capHeight() + raw.pathForGlyph(capital[0]).boundingRect().top()) <= 1);
    if (leansRight)
        QVERIFY(font.italicAngle() < -5);
    else
        QCOMPARE(font.italicAngle(), 0.0);
    QCOMPARE(font.fixedPitch(), fixedPitch);
    QCOMPARE(font.postScriptName(), postScriptName);
}

void TrueTypeSubsetTest::subsetDrawsTheUsedGlyphsOnly_data()
{
    QTest::addColumn<QString>("used");
    QTest::addColumn<QString>("unused");
    QTest::newRow("listing") << listingText << QStringLiteral("\u00a7\u03a9\u0436\u20ac");
    QTest::newRow("digits") << QStringLiteral("0123456789") << QStringLiteral("abcXYZ");
    QTest::newRow("nothing") << QString() << QStringLiteral("a0");
    QTest::newRow("a glyph far into the font") << QStringLiteral("\u20ac") << QStringLiteral("a0\u00e6");
}

void TrueTypeSubsetTest::subsetDrawsTheUsedGlyphsOnly()
{
    QFETCH(QString, used);
    QFETCH(QString, unused);
    const QRawFont original = loadFont(dejaVuSans);
    const QByteArray subset = TrueTypeFont(original).subset(usedBy(original, used));
    QVERIFY(!subset.isEmpty());
    const QRawFont loaded(subset, 100, QFont::PreferNoHinting);
    QVERIFY(loaded.isValid());

    QList<quint32> kept = original.glyphIndexesForString(used);
    kept.append(0);
    const QList<QPointF> advances = original.advancesForGlyphIndexes(kept, QRawFont::UseDesignMetrics);
    const QList<QPointF> loadedAdvances = loaded.advancesForGlyphIndexes(kept, QRawFont::UseDesignMetrics);
    for (int i = 0; i < kept.size(); ++i) {
        const QPainterPath path = original.pathForGlyph(kept[i]);
        QVERIFY(!path.isEmpty());
        QCOMPARE(loaded.pathForGlyph(kept[i]), path);
        QCOMPARE(loadedAdvances[i], advances[i]);
    }
    for (const quint32 glyph : original.glyphIndexesForString(unused)) {
        QVERIFY(!original.pathForGlyph(glyph).isEmpty());
        QVERIFY2(loaded.pathForGlyph(glyph).isEmpty(), qPrintable(QString::number(glyph)));
    }
}

void TrueTypeSubsetTest::accentedLetterKeepsItsComponents_data()
{
    QTest::addColumn<QString>("letter");
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("between");
    QTest::newRow("e acute") << QStringLiteral("\u00e9") << QStringLiteral("e") << QString();
    // The dieresis of capitals sits far into the font, past the letters.
    QTest::newRow("A dieresis") << QStringLiteral("\u00c4") << QStringLiteral("A") << QString();
    // Built of a ring, which is built of an a.
    QTest::newRow("a ring acute") << QStringLiteral("\u01fb") << QStringLiteral("a") << QStringLiteral("\u00e5");
}

void TrueTypeSubsetTest::accentedLetterKeepsItsComponents()
{
    QFETCH(QString, letter);
    QFETCH(QString, base);
    QFETCH(QString, between);
    const QRawFont original = loadFont(dejaVuSans);
    const quint32 accented = original.glyphIndexesForString(letter).value(0);
    const quint32 baseGlyph = original.glyphIndexesForString(base).value(0);
    QVERIFY(accented != 0 && baseGlyph != 0);
    const Tables tables{{"head", original.fontTable("head")},
                        {"loca", original.fontTable("loca")},
                        {"glyf", original.fontTable("glyf")}};
    const QByteArray glyph = glyphOf(tables, accented);
    QVERIFY2(glyph.size() >= 10 && s16(glyph, 0) < 0, "the letter is a composite in this font");

    const QRawFont loaded(TrueTypeFont(original).subset(usedBy(original, letter)), 100, QFont::PreferNoHinting);
    QVERIFY(loaded.isValid());
    QCOMPARE(loaded.pathForGlyph(accented), original.pathForGlyph(accented));
    // The base letter is drawn as part of the composite, so it is in the font in full,
    // though the document never used it on its own.
    QVERIFY(!loaded.pathForGlyph(baseGlyph).isEmpty());
    QCOMPARE(loaded.pathForGlyph(baseGlyph), original.pathForGlyph(baseGlyph));
    if (!between.isEmpty()) {
        const quint32 middle = original.glyphIndexesForString(between).value(0);
        QVERIFY(s16(glyphOf(tables, middle), 0) < 0);
        QCOMPARE(loaded.pathForGlyph(middle), original.pathForGlyph(middle));
    }
    const quint32 other = original.glyphIndexesForString(QStringLiteral("x")).value(0);
    QVERIFY(loaded.pathForGlyph(other).isEmpty());
}

void TrueTypeSubsetTest::subsetIsMuchSmallerThanTheFont()
{
    const QRawFont original = loadFont(dejaVuSans);
    const TrueTypeFont font(original);
    const QByteArray listing = font.subset(usedBy(original, listingText));
    const qint64 fileSize = QFileInfo(dejaVuSans).size();
    qInfo("Listing glyphs: subset %lld bytes of a %lld byte font", qint64(listing.size()), fileSize);
    QVERIFY(!listing.isEmpty());
    QVERIFY(listing.size() * 10 < fileSize);
    // A glyph far into the font keeps every glyph number below it, but not their outlines.
    const QByteArray far = font.subset(usedBy(original, QStringLiteral("\u20ac")));
    QVERIFY(!far.isEmpty());
    QVERIFY(far.size() * 5 < fileSize);
    QVERIFY(font.subset({}).size() < listing.size());
}

void TrueTypeSubsetTest::subsetFileIsWellFormed_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArrayList>("tags");
    QTest::addColumn<int>("leastGlyphs");
    QTest::addColumn<int>("mostGlyphs");
    const QRawFont original = loadFont(dejaVuSans);
    const TrueTypeFont dejaVu(original);
    const QByteArrayList hinted{"cvt ", "fpgm", "glyf", "head", "hhea", "hmtx", "loca", "maxp", "prep"};
    const std::vector<bool> listing = usedBy(original, listingText);
    // The components of the accented letters lie past the letters themselves.
    QTest::newRow("DejaVu listing") << dejaVu.subset(listing) << hinted << int(listing.size()) << dejaVu.glyphCount();
    QTest::newRow("DejaVu glyph 0") << dejaVu.subset({}) << hinted << 1 << 1;
    QTest::newRow("DejaVu every glyph") << dejaVu.subset(std::vector<bool>(size_t(dejaVu.glyphCount()), true)) << hinted
                                        << dejaVu.glyphCount() << dejaVu.glyphCount();
    const QByteArrayList crafted{"fpgm", "glyf", "head", "hhea", "hmtx", "loca", "maxp"};
    for (const bool longLoca : {false, true}) {
        // Glyphs of odd length get padded; glyph 2 is empty and stays so.
        const Tables tables = craftedFont({simpleGlyph(), simpleGlyph(7) + QByteArray(1, '\0'), QByteArray(),
                                           compositeGlyph({{0, 1}}), simpleGlyph()},
                                          longLoca);
        QTest::addRow("crafted, %s loca", longLoca ? "long" : "short")
            << fontOf(tables).subset({false, false, true, true}) << crafted << 4 << 4;
    }
}

void TrueTypeSubsetTest::subsetFileIsWellFormed()
{
    QFETCH(QByteArray, file);
    QFETCH(QByteArrayList, tags);
    QFETCH(int, leastGlyphs);
    QFETCH(int, mostGlyphs);
    QVERIFY(!file.isEmpty());
    QCOMPARE(file.size() % 4, 0);
    QCOMPARE(u32(file, 0), 0x00010000u);
    const int count = u16(file, 4);
    QCOMPARE(count, tags.size());
    int power = 1;
    int log = 0;
    while (power * 2 <= count) {
        power *= 2;
        ++log;
    }
    QCOMPARE(int(u16(file, 6)), power * 16);
    QCOMPARE(int(u16(file, 8)), log);
    QCOMPARE(int(u16(file, 10)), count * 16 - power * 16);

    const QList<Entry> entries = directoryOf(file);
    QCOMPARE(entries.size(), count);
    quint32 end = 12 + 16 * count;
    for (int i = 0; i < entries.size(); ++i) {
        const Entry &entry = entries[i];
        QCOMPARE(entry.tag, tags[i]);
        QCOMPARE(entry.offset % 4, 0u);
        QVERIFY(entry.offset >= end);
        end = entry.offset + entry.length;
        QVERIFY(end <= quint32(file.size()));
        QByteArray table = file.mid(entry.offset, entry.length);
        if (entry.tag == "head")
            table.replace(8, 4, be32(0));
        QVERIFY2(entry.checksum == checksumOf(table), entry.tag.constData());
    }
    QCOMPARE(checksumOf(file), 0xB1B0AFBAu);

    const Tables tables = tablesOf(file);
    QCOMPARE(s16(tables["head"], 50), qint16(1));
    const int glyphCount = u16(tables["maxp"], 4);
    QVERIFY(glyphCount >= leastGlyphs && glyphCount <= mostGlyphs);
    // The font ends at its last glyph kept.
    QVERIFY(!glyphOf(tables, quint32(glyphCount - 1)).isEmpty());
    const QByteArray loca = tables["loca"];
    QCOMPARE(loca.size(), (glyphCount + 1) * 4);
    for (int g = 0; g < glyphCount; ++g) {
        QCOMPARE(u32(loca, g * 4) % 4, 0u);
        QVERIFY(u32(loca, g * 4) <= u32(loca, g * 4 + 4));
    }
    QCOMPARE(u32(loca, glyphCount * 4), quint32(tables["glyf"].size()));
    const int longMetrics = u16(tables["hhea"], 34);
    QVERIFY(longMetrics >= 1 && longMetrics <= glyphCount);
    QCOMPARE(tables["hmtx"].size(), longMetrics * 4 + (glyphCount - longMetrics) * 2);
    // The file reads back as a font of the same glyph numbers.
    const TrueTypeFont reread = fontOf(tables);
    QVERIFY(reread.isValid());
    QCOMPARE(reread.glyphCount(), glyphCount);
}

void TrueTypeSubsetTest::compositeComponentsAreFoundWhateverTheirFlags_data()
{
    QTest::addColumn<int>("flags");
    QTest::newRow("byte arguments") << 0x0;
    QTest::newRow("word arguments") << 0x1;
    QTest::newRow("scale") << 0x8;
    QTest::newRow("word arguments, scale") << 0x9;
    QTest::newRow("x and y scale") << 0x40;
    QTest::newRow("two by two") << 0x80;
    QTest::newRow("word arguments, two by two") << 0x81;
    QTest::newRow("rounding and instructions flags") << (0x0104 | 0x0200);
}

void TrueTypeSubsetTest::compositeComponentsAreFoundWhateverTheirFlags()
{
    QFETCH(int, flags);
    // Glyph 5 is built from glyph 4, which is built from 1 and 2; 3 and 6 are used by nobody.
    const QList<QByteArray> glyphs{simpleGlyph(10),
                                   simpleGlyph(20),
                                   simpleGlyph(30),
                                   simpleGlyph(40),
                                   compositeGlyph({{flags, 1}, {flags, 2}}),
                                   compositeGlyph({{flags, 4}}),
                                   simpleGlyph(70)};
    for (const bool longLoca : {false, true}) {
        const Tables tables = craftedFont(glyphs, longLoca);
        const TrueTypeFont font = fontOf(tables);
        QVERIFY(font.isValid());
        const Tables subset = tablesOf(font.subset({false, false, false, false, false, true}));
        QCOMPARE(int(u16(subset["maxp"], 4)), 6);
        for (int g = 0; g < 6; ++g) {
            const QByteArray expected = g == 3 ? QByteArray() : glyphs[g];
            const QByteArray kept = glyphOf(subset, quint32(g));
            QVERIFY2(kept.left(expected.size()) == expected, qPrintable(QString::number(g)));
            QVERIFY(kept.size() - expected.size() < 4);
            QCOMPARE(u16(subset["hmtx"], g * 4), quint16(500 + 10 * g));
        }
    }
}

void TrueTypeSubsetTest::metricsPastTheLastLongMetric_data()
{
    QTest::addColumn<int>("longMetrics");
    QTest::addColumn<int>("used");
    QTest::newRow("one long metric") << 1 << 4;
    QTest::newRow("subset ends among the long metrics") << 3 << 1;
    QTest::newRow("subset ends past the long metrics") << 2 << 3;
    QTest::newRow("every glyph a long metric") << 5 << 3;
}

// Glyphs past the last long metric have their left side bearing only, and share its advance.
void TrueTypeSubsetTest::metricsPastTheLastLongMetric()
{
    QFETCH(int, longMetrics);
    QFETCH(int, used);
    Tables tables = craftedFont({simpleGlyph(), simpleGlyph(), simpleGlyph(), simpleGlyph(), simpleGlyph()});
    put16(tables["hhea"], 34, longMetrics);
    QByteArray hmtx;
    for (int g = 0; g < 5; ++g)
        hmtx += g < longMetrics ? be16(500 + 10 * g) + be16(g) : be16(-g);
    tables["hmtx"] = hmtx;
    const auto sideBearing = [](const Tables &font, int glyph) {
        const int count = u16(font["hhea"], 34);
        return glyph < count ? s16(font["hmtx"], glyph * 4 + 2) : s16(font["hmtx"], count * 4 + (glyph - count) * 2);
    };

    const TrueTypeFont font = fontOf(tables);
    QVERIFY(font.isValid());
    for (int g = 0; g < 5; ++g)
        QCOMPARE(font.advance(quint32(g)), 500 + 10 * std::min(g, longMetrics - 1));
    std::vector<bool> usedGlyphs(size_t(used + 1), false);
    usedGlyphs[size_t(used)] = true;
    const Tables subset = tablesOf(font.subset(usedGlyphs));
    QCOMPARE(int(u16(subset["maxp"], 4)), used + 1);
    const int keptLongMetrics = std::min(longMetrics, used + 1);
    QCOMPARE(int(u16(subset["hhea"], 34)), keptLongMetrics);
    QCOMPARE(subset["hmtx"].size(), keptLongMetrics * 4 + (used + 1 - keptLongMetrics) * 2);
    const TrueTypeFont reread = fontOf(subset);
    QVERIFY(reread.isValid());
    for (int g = 0; g <= used; ++g) {
        QCOMPARE(reread.advance(quint32(g)), font.advance(quint32(g)));
        QCOMPARE(sideBearing(subset, g), sideBearing(tables, g));
    }
}

void TrueTypeSubsetTest::usedGlyphsMayBeShorterOrLongerThanTheFont_data()
{
    QTest::addColumn<QList<bool>>("used");
    QTest::addColumn<int>("glyphCount");
    QTest::newRow("none") << QList<bool>{} << 1;
    QTest::newRow("shorter") << QList<bool>{false, true} << 2;
    QTest::newRow("as long") << QList<bool>{false, false, true} << 3;
    QTest::newRow("longer, used past the end") << QList<bool>{false, true, false, false, true, true} << 2;
}

void TrueTypeSubsetTest::usedGlyphsMayBeShorterOrLongerThanTheFont()
{
    QFETCH(QList<bool>, used);
    QFETCH(int, glyphCount);
    const TrueTypeFont font = fontOf(craftedFont({simpleGlyph(10), simpleGlyph(20), simpleGlyph(30)}));
    QCOMPARE(font.glyphCount(), 3);
    const Tables subset = tablesOf(font.subset(std::vector<bool>(used.begin(), used.end())));
    QCOMPARE(int(u16(subset["maxp"], 4)), glyphCount);
    for (int g = 0; g < glyphCount; ++g)
        QCOMPARE(glyphOf(subset, quint32(g)).isEmpty(), g != 0 && !used.value(g));
    // Advances carry on as the font's, and the widths past the end stay with the font.
    QCOMPARE(font.advance(2), 520);
    QCOMPARE(font.advance(3), 0);
}

void TrueTypeSubsetTest::fontsWithoutTrueTypeOutlinesAreNotValid_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("OpenType with CFF outlines") << "/usr/share/fonts/opentype/urw-base35/C059-Roman.otf";
    QTest::newRow("Type 1") << "/usr/share/fonts/type1/urw-base35/C059-Roman.t1";
    QTest::newRow("no font") << QString();
}

void TrueTypeSubsetTest::fontsWithoutTrueTypeOutlinesAreNotValid()
{
    QFETCH(QString, file);
    QRawFont raw;
    if (!file.isEmpty()) {
        if (!QFile::exists(file))
            QSKIP("This font is not installed here");
        raw = loadFont(file);
        QVERIFY2(raw.isValid(), "the toolkit loads the font itself");
    }
    const TrueTypeFont font(raw);
    QVERIFY(!font.isValid());
    QCOMPARE(font.glyphCount(), 0);
    QCOMPARE(font.advance(0), 0);
    QVERIFY(font.subset({true, true}).isEmpty());
}

void TrueTypeSubsetTest::damagedTablesMakeTheFontInvalid_data()
{
    QTest::addColumn<Tables>("tables");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<bool>("made");
    const QRawFont original = loadFont(dejaVuSans);
    Tables dejaVu;
    for (const char *tag :
         {"head", "hhea", "maxp", "hmtx", "loca", "glyf", "cvt ", "fpgm", "prep", "OS/2", "post", "name"})
        dejaVu.insert(tag, original.fontTable(tag));
    QTest::newRow("whole") << dejaVu << true << true;
    // Cut each table to nothing, to a few bytes and by one byte.
    for (auto it = dejaVu.cbegin(); it != dejaVu.cend(); ++it) {
        // The class only needs the metrics and outline tables whole; the others are copied or
        // read with fallbacks.
        // A cut glyf leaves the font readable, but not the glyphs past the cut.
        const bool needed = QByteArrayList{"head", "hhea", "maxp", "hmtx", "loca"}.contains(it.key());
        const bool outlines = it.key() == "glyf";
        for (const qsizetype length : {qsizetype(0), qsizetype(3), it.value().size() - 1}) {
            Tables cut = dejaVu;
            cut[it.key()].truncate(length);
            const bool valid = !needed && !(outlines && length == 0);
            QTest::addRow("%s cut to %lld", it.key().constData(), qint64(length))
                << cut << valid << (valid && !outlines);
        }
    }
    const auto changed = [&](const char *tag, qint64 at, const QByteArray &bytes) {
        Tables tables = dejaVu;
        tables[tag].replace(at, bytes.size(), bytes);
        return tables;
    };
    QTest::newRow("bad head magic") << changed("head", 12, be32(0x12345678)) << false << false;
    QTest::newRow("no units per em") << changed("head", 18, be16(0)) << false << false;
    QTest::newRow("loca format 2") << changed("head", 50, be16(2)) << false << false;
    QTest::newRow("no glyphs") << changed("maxp", 4, be16(0)) << false << false;
    QTest::newRow("more glyphs than loca has") << changed("maxp", 4, be16(0xffff)) << false << false;
    QTest::newRow("no long metrics") << changed("hhea", 34, be16(0)) << false << false;
    QTest::newRow("maxp without the hinting limits") << changed("maxp", 0, be32(0x00005000)) << false << false;
    Tables crafted = craftedFont({simpleGlyph(), simpleGlyph()}, false);
    QTest::newRow("crafted") << crafted << true << true;
    Tables readAsLong = crafted;
    readAsLong["head"].replace(50, 2, be16(1));
    QTest::newRow("short loca read as long") << readAsLong << false << false;
    crafted["hhea"].replace(34, 2, be16(9));
    QTest::newRow("crafted, more long metrics than glyphs") << crafted << true << true;
}

void TrueTypeSubsetTest::damagedTablesMakeTheFontInvalid()
{
    QFETCH(Tables, tables);
    QFETCH(bool, valid);
    QFETCH(bool, made);
    const TrueTypeFont font = fontOf(tables);
    QCOMPARE(font.isValid(), valid);
    // Whatever the damage, every question has an answer and no subset reads out of bounds.
    const int count = font.glyphCount();
    for (const quint32 glyph : {0u, 1u, quint32(count), quint32(count + 1), 0xffffu})
        QVERIFY(font.advance(glyph) >= 0);
    QVERIFY(!font.postScriptName().isEmpty());
    if (!valid) {
        QCOMPARE(font.boundingBox(), QRect());
        QCOMPARE(font.capHeight(), 0);
    }
    const QByteArray subset = font.subset(std::vector<bool>(0x10000, true));
    QCOMPARE(!subset.isEmpty(), made);
    if (made)
        QVERIFY(fontOf(tablesOf(subset)).isValid());
}

void TrueTypeSubsetTest::damagedGlyphsGiveNoSubset_data()
{
    QTest::addColumn<Tables>("tables");
    QTest::addColumn<int>("used");
    QTest::addColumn<bool>("made");
    const QByteArray simple = simpleGlyph();
    const auto font = [&](const QByteArray &glyph) { return craftedFont({simple, simple, glyph, simple}); };
    const auto withLoca = [&](int glyph, quint32 offset) {
        Tables tables = font(simple);
        tables["loca"].replace(glyph * 4, 4, be32(offset));
        return tables;
    };
    const quint32 glyfSize = quint32(font(simple).value("glyf").size());

    QTest::newRow("sound") << font(simple) << 2 << true;
    QTest::newRow("loca past glyf") << withLoca(3, glyfSize + 4) << 2 << false;
    QTest::newRow("loca far past glyf") << withLoca(3, 0xfffffff0u) << 2 << false;
    QTest::newRow("loca backwards") << withLoca(3, 4) << 2 << false;
    QTest::newRow("loca past glyf, glyph unused") << withLoca(4, glyfSize + 4) << 2 << true;
    QTest::newRow("glyph shorter than its header") << font(simple.left(6)) << 2 << false;
    QTest::newRow("composite of itself") << font(compositeGlyph({{0, 2}})) << 2 << false;
    QTest::newRow("composite of itself, second component") << font(compositeGlyph({{0, 1}, {0x1, 2}})) << 2 << false;
    QTest::newRow("composite of glyph past the font") << font(compositeGlyph({{0, 4}})) << 2 << false;
    QTest::newRow("composite of glyph 0xffff") << font(compositeGlyph({{0, 0xffff}})) << 2 << false;
    QTest::newRow("composite cut in a component") << font(compositeGlyph({{0x1, 1}}).left(15)) << 2 << false;
    QTest::newRow("composite cut after a component that says more follow")
        << font(compositeGlyph({{0, 1}, {0, 1}}).left(18)) << 2 << false;
    QTest::newRow("composite cut in its header") << font(compositeGlyph({{0, 1}}).left(9)) << 2 << false;
    QTest::newRow("composite of nothing") << font(compositeGlyph({})) << 2 << false;
    QTest::newRow("composite of an empty glyph")
        << craftedFont({simple, QByteArray(), compositeGlyph({{0, 1}})}) << 2 << true;
    // 1 and 2 are built of each other.
    QTest::newRow("two composites of each other")
        << craftedFont({simple, compositeGlyph({{0, 2}}), compositeGlyph({{0, 1}})}) << 1 << false;
    QTest::newRow("glyph 0 damaged, nothing used") << craftedFont({simple.left(4), simple}) << -1 << false;
    // Two composites built of the same glyph are no cycle.
    QTest::newRow("shared component") << craftedFont(
        {simple, simple, compositeGlyph({{0, 1}, {0, 1}}), compositeGlyph({{0, 2}, {0, 1}})})
                                      << 3 << true;
}

void TrueTypeSubsetTest::damagedGlyphsGiveNoSubset()
{
    QFETCH(Tables, tables);
    QFETCH(int, used);
    QFETCH(bool, made);
    const TrueTypeFont font = fontOf(tables);
    QVERIFY(font.isValid());
    std::vector<bool> glyphs(used >= 0 ? size_t(used + 1) : 0, false);
    if (used >= 0)
        glyphs[size_t(used)] = true;
    const QByteArray subset = font.subset(glyphs);
    QCOMPARE(!subset.isEmpty(), made);
    if (made)
        QVERIFY(!glyphOf(tablesOf(subset), quint32(used)).isEmpty());
}

void TrueTypeSubsetTest::postScriptNameIsSafeToWrite_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QString>("fallback");
    QTest::addColumn<QString>("expected");
    // A name table of one record: platform, encoding, language, then the string.
    const auto table = [](int platform, int encoding, const QByteArray &string) {
        return be16(0) + be16(1) + be16(6 + 12) + be16(platform) + be16(encoding) + be16(0) + be16(6)
            + be16(int(string.size())) + be16(0) + string;
    };
    QByteArray utf16;
    for (const QChar c : QStringLiteral("My Font(x)/%#[]{}<>-Bold\u00e9\u0001"))
        utf16 += be16(c.unicode());
    QTest::newRow("Windows, sanitised") << table(3, 1, utf16) << QString() << "MyFontx-Bold";
    QTest::newRow("Macintosh") << table(1, 0, "Mac Name\x01") << QString() << "MacName";
    QTest::newRow("other name id only") << QByteArray(be16(0) + be16(1) + be16(18) + be16(3) + be16(1) + be16(0)
                                                      + be16(4) + be16(2) + be16(0) + QByteArray("\0A", 2))
                                        << "Fallback Font"
                                        << "FallbackFont";
    QTest::newRow("string past the table") << table(3, 1, utf16).left(40) << "Fallback (Bold)"
                                           << "FallbackBold";
    QTest::newRow("record count past the table") << QByteArray(be16(0) + be16(500) + be16(0)) << "X"
                                                 << "X";
    QTest::newRow("nothing usable") << QByteArray() << "()"
                                    << "Unnamed";
    QTest::newRow("long") << table(1, 0, QByteArray(100, 'N')) << QString() << QString(63, QLatin1Char('N'));
}

void TrueTypeSubsetTest::postScriptNameIsSafeToWrite()
{
    QFETCH(QByteArray, name);
    QFETCH(QString, fallback);
    QFETCH(QString, expected);
    Tables tables = craftedFont({simpleGlyph()});
    tables.insert("name", name);
    const TrueTypeFont font([&tables](const char *tag) { return tables.value(QByteArray(tag, 4)); }, fallback);
    QCOMPARE(font.postScriptName(), expected);
}

QTEST_MAIN(TrueTypeSubsetTest)
#include "tst_truetypesubset.moc"
