#include "pdfpages.h"
#include "report/pagecanvas.h"
#include "report/pageddocument.h"
#include "report/pdfwriter.h"
#include "report/printpreview.h"
#include "report/truetypesubset.h"
#include "store/error.h"
#include "testworkspace.h"

#include <QBuffer>
#include <QFile>
#include <QFontDatabase>
#include <QImage>
#include <QProcess>
#include <QRawFont>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTextLayout>
#include <QtTest>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <functional>
#include <memory>

#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>

using namespace kelvara;
using namespace kelvara::test;

// The PDF file written straight from a listing's texts and rules, read back with poppler: the
// text where it was drawn and searchable, cuts and rules as drawn, a file whose every object
// is where its table says, and the toolkit's engine taking over for fonts it cannot embed.
namespace {

constexpr int kPixelSize = 16;

// A font as the listing gets it, from the font database; invalid when the family is missing.
QRawFont databaseFont(const QString &family, int pixelSize = kPixelSize, bool bold = false)
{
    QFont font(family);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    font.setHintingPreference(QFont::PreferNoHinting);
    const QRawFont raw = QRawFont::fromFont(font);
    return raw.familyName() == family ? raw : QRawFont();
}

QPageLayout a4(QPageLayout::Orientation orientation = QPageLayout::Portrait)
{
    return QPageLayout(QPageSize(QPageSize::A4), orientation, QMarginsF(20, 30, 20, 30), QPageLayout::Millimeter);
}

// The glyphs of a text from the font's character map, placed by the font's own advances and
// then moved apart by extra pixels each, as a caller drawing a listing maps them.
struct MappedText
{
    MappedText(const QRawFont &font, const QString &text, double extra = 0) : font(font), text(text)
    {
        indexes = font.glyphIndexesForString(text);
        const QList<QPointF> advances
            = font.advancesForGlyphIndexes(indexes, QRawFont::SeparateAdvances | QRawFont::UseDesignMetrics);
        double x = 0;
        for (const QPointF &advance : advances) {
            positions << QPointF(x, 0);
            x += advance.x() + extra;
        }
        width = x - extra;
    }
    PageCanvas::Glyphs glyphs() const
    {
        PageCanvas::Glyphs glyphs;
        glyphs.font = &font;
        glyphs.indexes = indexes.constData();
        glyphs.positions = positions.constData();
        glyphs.count = int(indexes.size());
        glyphs.text = text;
        return glyphs;
    }

    QRawFont font;
    QString text;
    QList<quint32> indexes;
    QList<QPointF> positions;
    double width = 0;
};

// The paper's top left corner to the canvas's origin, in points.
QPointF insideOrigin(const QPageLayout &layout)
{
    const QRectF paper = layout.fullRect(QPageLayout::Point);
    return layout.paintRect(QPageLayout::Point).topLeft() - paper.topLeft();
}

// Pages drawn by a function, for the whole-file entry point.
class DrawnDocument : public PagedDocument
{
public:
    DrawnDocument(int pages, std::function<void(PageCanvas &, int)> draw) : m_pages(pages), m_draw(std::move(draw)) { }

    QString title() const override { return QStringLiteral("Swarm jobs (2026)"); }
    QPageLayout pageLayout() const override { return a4(); }
    int pagesLaidOut() const override { return m_pages; }
    bool complete() const override { return true; }
    bool layOutNextPage() override { return false; }
    void paintPage(PageCanvas &canvas, int index) override { m_draw(canvas, index); }
    void print(PageOutput &output, const Progress &progress) override
    {
        for (int page = 0; page < m_pages; ++page) {
            m_draw(output.beginPage(), page);
            if (progress && !progress(page + 1))
                break;
        }
        output.finish();
    }

private:
    int m_pages;
    std::function<void(PageCanvas &, int)> m_draw;
};

QImage renderPage(const QString &pdf, int page = 1)
{
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("pdftoppm"));
    if (tool.isEmpty())
        return QImage();
    const QString stem = pdf + QStringLiteral("-page");
    QProcess process;
    process.start(tool,
                  {QStringLiteral("-r"), QStringLiteral("96"), QStringLiteral("-f"), QString::number(page),
                   QStringLiteral("-l"), QString::number(page), QStringLiteral("-png"), QStringLiteral("-singlefile"),
                   pdf, stem});
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return QImage();
    return QImage(stem + QStringLiteral(".png"));
}

// Columns of the rectangle with a pixel that is not white: a thin bar marks all of them, the
// stems of letters only some.
int columnsMarked(const QImage &image, const QRect &rect)
{
    int marked = 0;
    const QRect inside = rect.intersected(image.rect());
    for (int x = inside.left(); x <= inside.right(); ++x) {
        for (int y = inside.top(); y <= inside.bottom(); ++y) {
            if (qGray(image.pixel(x, y)) < 200) {
                ++marked;
                break;
            }
        }
    }
    return marked;
}

int darkIn(const QImage &image, const QRect &rect)
{
    int dark = 0;
    const QRect inside = rect.intersected(image.rect());
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        for (int x = inside.left(); x <= inside.right(); ++x) {
            if (qGray(image.pixel(x, y)) < 128)
                ++dark;
        }
    }
    return dark;
}

// Whether no installed font has a glyph for some character of the text, so that it shows as a
// box whatever the font asked for.
bool noFontCovers(const QString &text, const QFont &font)
{
    QTextLayout layout(text, font);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    for (const QGlyphRun &run : layout.glyphRuns()) {
        if (run.rawFont().fontTable("head").isEmpty() || run.glyphIndexes().contains(0u))
            return true;
    }
    return false;
}

QFont dejaVu()
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(kPixelSize);
    return font;
}

// A small file system for a disk that fills up, mounted where asked in a mount namespace of
// the test's own, so that it goes with the test whatever happens. Only root may make one.
class SmallDisk
{
public:
    SmallDisk(const QString &path, int kilobytes) : m_path(QFile::encodeName(path))
    {
        static const bool ownNamespace
            = unshare(CLONE_NEWNS) == 0 && mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
        const QByteArray options = "size=" + QByteArray::number(kilobytes) + "k";
        m_mounted = ownNamespace && mount("tmpfs", m_path.constData(), "tmpfs", 0, options.constData()) == 0;
    }
    ~SmallDisk()
    {
        if (m_mounted)
            umount2(m_path.constData(), MNT_DETACH);
    }
    bool mounted() const { return m_mounted; }

private:
    QByteArray m_path;
    bool m_mounted = false;
};

// Files of this process may not grow beyond a size while it lives; a write past it fails with
// EFBIG instead of ending the process.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_previous);
        m_previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_previous;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_previous);
        std::signal(SIGXFSZ, m_previousHandler);
    }

private:
    rlimit m_previous{};
    void (*m_previousHandler)(int) = nullptr;
};

}  // namespace

class tst_PdfWriter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void textReadsBackWhereItWasDrawn_data();
    void textReadsBackWhereItWasDrawn();
    void glyphsKeepThePlacesTheyWereGiven();
    void cutsRulesAndDecorationsShowAsDrawn();
    void everyObjectIsWhereTheTableSays();
    void fontsAreEmbeddedOnceAsSubsets();
    void fontWithoutTrueTypeOutlinesFallsBackToTheToolkit();
    void madeUpFacesAreLeftToTheToolkit();
    void writeFailuresReachTheCaller_data();
    void writeFailuresReachTheCaller();
    void textNoFontHasShowsAsBoxes_data();
    void textNoFontHasShowsAsBoxes();
    void missingGlyphsCopyAsWhatTheyStandFor_data();
    void missingGlyphsCopyAsWhatTheyStandFor();
    void unfinishedFileLeavesTheOldOne_data();
    void unfinishedFileLeavesTheOldOne();

private:
    QRawFont m_regular;
    QRawFont m_bold;
};

void tst_PdfWriter::initTestCase()
{
    m_regular = databaseFont(QStringLiteral("DejaVu Sans"));
    m_bold = databaseFont(QStringLiteral("DejaVu Sans"), kPixelSize, true);
    if (!m_regular.isValid() || !m_bold.isValid() || m_bold.weight() < QFont::Bold)
        QSKIP("the DejaVu fonts (fonts-dejavu-core) are not installed");
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        QSKIP(pdfToolMissing());
}

void tst_PdfWriter::textReadsBackWhereItWasDrawn_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("shaped");
    QTest::addColumn<QPointF>("origin");

    QTest::newRow("plain") << "Swarm" << false << QPointF(0, 20);
    QTest::newRow("letters beyond ASCII") << QStringLiteral("Ærøskøbing") << false << QPointF(100, 200);
    QTest::newRow("PDF's own delimiters") << "(hive)\\[box]" << false << QPointF(40, 300);
    // Characters whose glyph numbers hold the bytes a PDF string must escape.
    QString escaped;
    const QRawFont font = databaseFont(QStringLiteral("DejaVu Sans"));
    for (char16_t c = 0x21; c < 0x250 && escaped.size() < 12; ++c) {
        const QList<quint32> glyph = font.glyphIndexesForString(QString(QChar(c)));
        if (glyph.size() != 1 || glyph.first() == 0)
            continue;
        for (const quint32 byte : {glyph.first() >> 8, glyph.first() & 0xFF}) {
            if (byte == '(' || byte == ')' || byte == '\\' || byte == '\r') {
                escaped += QChar(c);
                break;
            }
        }
    }
    QTest::newRow("glyph numbers holding escaped bytes") << escaped << false << QPointF(10, 400);
    QTest::newRow("shaped") << QStringLiteral("Bjørn") << true << QPointF(300, 500);
}

void tst_PdfWriter::textReadsBackWhereItWasDrawn()
{
    QFETCH(QString, text);
    QFETCH(bool, shaped);
    QFETCH(QPointF, origin);
    QVERIFY(!text.isEmpty());
    TestWorkspace workspace;
    const QString file = workspace.filePath(QStringLiteral("text.pdf"));
    const MappedText mapped(m_regular, text);
    {
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        PdfFileOutput output(out, a4(), QStringLiteral("t"), QStringLiteral("c"));
        PageCanvas &canvas = output.beginPage();
        if (shaped) {
            QFont font(QStringLiteral("DejaVu Sans"));
            font.setPixelSize(kPixelSize);
            canvas.drawText(origin, text, font, Qt::black, QRectF());
        } else {
            canvas.drawGlyphs(origin, mapped.glyphs(), Qt::black, QRectF());
        }
        output.finish();
    }
    const QList<PdfPage> pages = readPdf(file).value();
    QCOMPARE(pages.size(), 1);
    QCOMPARE(pages.first().text(), text);
    const QRectF box = pages.first().words.first().box;
    const QPointF inside = insideOrigin(a4());
    QVERIFY2(qAbs(box.left() - (inside.x() + points(origin.x()))) < 0.5, qPrintable(QString::number(box.left())));
    QVERIFY2(qAbs(box.width() - points(mapped.width)) < 1.0, qPrintable(QString::number(box.width())));
    // The box spans the font's height around the baseline.
    const double baseline = inside.y() + points(origin.y());
    QVERIFY(box.top() < baseline && box.bottom() > baseline);
    QVERIFY(baseline - box.top() < points(kPixelSize * 1.2));
}

void tst_PdfWriter::glyphsKeepThePlacesTheyWereGiven()
{
    // Glyphs spread a pixel beyond their advances, as a hinted layout may place them.
    TestWorkspace workspace;
    const QString file = workspace.filePath(QStringLiteral("spread.pdf"));
    const MappedText tight(m_regular, QStringLiteral("Beeswax"));
    const MappedText spread(m_regular, QStringLiteral("Beeswax"), 1.0);
    {
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        PdfFileOutput output(out, a4(), QString(), QString());
        PageCanvas &canvas = output.beginPage();
        canvas.drawGlyphs(QPointF(0, 50), tight.glyphs(), Qt::black, QRectF());
        canvas.drawGlyphs(QPointF(0, 100), spread.glyphs(), Qt::black, QRectF());
        output.finish();
    }
    const QList<PdfWord> words = readPdf(file).value().first().find(QStringLiteral("Beeswax"));
    QCOMPARE(words.size(), 2);
    const double difference = words[1].box.width() - words[0].box.width();
    QVERIFY2(qAbs(difference - points(6.0)) < 0.5, qPrintable(QString::number(difference)));
}

void tst_PdfWriter::cutsRulesAndDecorationsShowAsDrawn()
{
    TestWorkspace workspace;
    const QString file = workspace.filePath(QStringLiteral("drawn.pdf"));
    const MappedText wide(m_bold, QStringLiteral("MMMMMMMMMMMMMMMMMMMM"));
    MappedText underlined(m_regular, QStringLiteral("nnnnnnnn"));
    {
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        PdfFileOutput output(out, a4(), QString(), QString());
        PageCanvas &canvas = output.beginPage();
        canvas.drawGlyphs(QPointF(0, 40), wide.glyphs(), Qt::black, QRectF(0, 20, 60, 30));
        // What follows the cut is not cut.
        canvas.drawLine(QPointF(0, 100), QPointF(400, 100), Qt::black, 2.0);
        PageCanvas::Glyphs glyphs = underlined.glyphs();
        glyphs.underline = true;
        canvas.drawGlyphs(QPointF(0, 160), glyphs, Qt::black, QRectF());
        canvas.fillRect(QRectF(100, 200, 50, 80), Qt::black);
        // A fill leaves the colour of the texts drawn after it alone.
        canvas.drawGlyphs(QPointF(300, 240), wide.glyphs(), Qt::black, QRectF());
        output.finish();
    }
    const QImage page = renderPage(file);
    if (page.isNull())
        QSKIP("pdftoppm (poppler-utils) is not installed: the page cannot be looked at");
    const QPoint inside = (insideOrigin(a4()) * 96.0 / 72.0).toPoint();
    const auto at = [&](int x, int y, int w, int h) { return QRect(inside + QPoint(x, y), QSize(w, h)); };
    QVERIFY(darkIn(page, at(2, 25, 54, 18)) > 100);  // the cut text's first letters
    QCOMPARE(darkIn(page, at(64, 20, 300, 30)), 0);  // nothing beyond the cut
    QVERIFY(darkIn(page, at(0, 98, 400, 4)) > 600);  // the rule, all along
    QCOMPARE(darkIn(page, at(420, 95, 100, 10)), 0);
    // The underline lies just below the baseline, under the whole text and no further.
    const int underline = columnsMarked(page, at(1, 160, int(underlined.width) - 2, 3));
    QVERIFY2(underline == int(underlined.width) - 2, qPrintable(QString::number(underline)));
    QVERIFY(columnsMarked(page, at(1, 155, int(underlined.width) - 2, 3)) < underlined.width * 0.7);
    QCOMPARE(darkIn(page, at(int(underlined.width) + 3, 158, 40, 8)), 0);
    // The filled rectangle covers its place and nothing around it.
    QVERIFY(darkIn(page, at(102, 202, 46, 76)) >= 46 * 76 * 9 / 10);
    QCOMPARE(darkIn(page, at(100, 284, 50, 10)), 0);
    QCOMPARE(darkIn(page, at(154, 200, 10, 80)), 0);
    QVERIFY(darkIn(page, at(302, 225, 60, 18)) > 100);
}

void tst_PdfWriter::everyObjectIsWhereTheTableSays()
{
    // Readers rebuild a broken cross-reference table silently, so reading the text back does
    // not show one: the offsets are checked here.
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    buffer.write("bytes before");
    const MappedText text(m_regular, QStringLiteral("Hive 1"));
    PdfFileOutput output(buffer, a4(QPageLayout::Landscape), QStringLiteral("Title"), QStringLiteral("Kelvara"));
    for (int page = 0; page < 3; ++page) {
        output.beginPage().drawGlyphs(QPointF(10, 10 + page), text.glyphs(), Qt::darkRed, QRectF());
    }
    output.finish();
    const QByteArray pdf = buffer.data().mid(12);
    QVERIFY(pdf.startsWith("%PDF-1.4\n"));
    QVERIFY(pdf.endsWith("%%EOF\n"));
    const qsizetype startxref = pdf.lastIndexOf("startxref\n");
    const qsizetype xref = pdf.mid(startxref + 10).split('\n').first().toLongLong();
    QVERIFY(pdf.mid(xref).startsWith("xref\n0 "));
    const QList<QByteArray> lines = pdf.mid(xref).split('\n');
    const int count = lines[1].split(' ')[1].toInt();
    QVERIFY(count > 10);
    QCOMPARE(lines[2], QByteArray("0000000000 65535 f "));
    for (int object = 1; object < count; ++object) {
        const QByteArray &entry = lines[object + 2];
        QCOMPARE(entry.size(), 19);
        QVERIFY(entry.endsWith(" 00000 n "));
        const qsizetype offset = entry.left(10).toLongLong();
        QVERIFY2(pdf.mid(offset).startsWith(QByteArray::number(object) + " 0 obj\n"), entry.constData());
    }
    const QRegularExpression trailer(QStringLiteral("trailer\n<</Size (\\d+)/Root 1 0 R/Info (\\d+) 0 R>>"));
    const QRegularExpressionMatch match = trailer.match(QString::fromLatin1(pdf));
    QVERIFY(match.hasMatch());
    QCOMPARE(match.captured(1).toInt(), count);
    // Three pages in the tree, each as wide as landscape A4.
    QVERIFY(pdf.contains("<</Type/Pages/Count 3/Kids["));
    QCOMPARE(pdf.count("/Type/Page/"), 3);
    const QSizeF paper = a4(QPageLayout::Landscape).fullRect(QPageLayout::Point).size();
    QVERIFY(paper.width() > paper.height());
    QVERIFY(pdf.contains(QStringLiteral("/MediaBox[0 0 %1 %2]").arg(paper.width()).arg(paper.height()).toLatin1()));
}

void tst_PdfWriter::fontsAreEmbeddedOnceAsSubsets()
{
    TestWorkspace workspace;
    const QString file = workspace.filePath(QStringLiteral("fonts.pdf"));
    const QRawFont small = databaseFont(QStringLiteral("DejaVu Sans"), 10);
    {
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        PdfFileOutput output(out, a4(), QString(), QString());
        for (int page = 0; page < 2; ++page) {
            PageCanvas &canvas = output.beginPage();
            canvas.drawGlyphs(QPointF(0, 20), MappedText(m_regular, QStringLiteral("Queen")).glyphs(), Qt::black,
                              QRectF());
            canvas.drawGlyphs(QPointF(0, 40), MappedText(small, QStringLiteral("Drone")).glyphs(), Qt::black, QRectF());
            canvas.drawGlyphs(QPointF(0, 60), MappedText(m_bold, QStringLiteral("Worker")).glyphs(), Qt::blue,
                              QRectF());
        }
        output.finish();
    }
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("pdffonts"));
    if (tool.isEmpty())
        QSKIP("pdffonts (poppler-utils) is not installed");
    QProcess process;
    process.start(tool, {file});
    QVERIFY(process.waitForFinished(60000));
    const QStringList fonts
        = QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts).mid(2);
    // Both sizes of the regular face share one font; each is a subset, embedded, with its text.
    QCOMPARE(fonts.size(), 2);
    for (const QString &font : fonts) {
        const QStringList columns = font.simplified().split(QLatin1Char(' '));
        QVERIFY2(QRegularExpression(QStringLiteral("^[A-Z]{6}\\+DejaVuSans")).match(columns.first()).hasMatch(),
                 qPrintable(font));
        QVERIFY2(font.contains(QLatin1String("CID TrueType")) && font.contains(QLatin1String("yes yes yes")),
                 qPrintable(font));
    }
    QVERIFY(QFileInfo(file).size() < 60000);
    const QList<PdfPage> pages = readPdf(file).value();
    QCOMPARE(pages.size(), 2);
    QCOMPARE(pages.last().text(), QStringLiteral("Queen Drone Worker"));
}

void tst_PdfWriter::fontWithoutTrueTypeOutlinesFallsBackToTheToolkit()
{
    // Nimbus Sans comes as CFF-flavoured OpenType or as Type 1.
    const QRawFont raw = databaseFont(QStringLiteral("Nimbus Sans"));
    if (!raw.isValid())
        QSKIP("no font without TrueType outlines is installed");
    {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        PdfFileOutput output(buffer, a4(), QString(), QString());
        PageCanvas &canvas = output.beginPage();
        QVERIFY_THROWS_EXCEPTION(
            PdfFileOutput::UnsupportedFont,
            canvas.drawGlyphs(QPointF(0, 20), MappedText(raw, QStringLiteral("Nimbus")).glyphs(), Qt::black, QRectF()));
    }
    // Met half-way through a file, the whole document is drawn again by the toolkit's engine.
    TestWorkspace workspace;
    const QString file = workspace.filePath(QStringLiteral("fallback.pdf"));
    DrawnDocument document(2, [&](PageCanvas &canvas, int page) {
        canvas.drawGlyphs(QPointF(0, 20), MappedText(m_regular, QStringLiteral("Page%1").arg(page + 1)).glyphs(),
                          Qt::black, QRectF());
        if (page == 1)
            canvas.drawGlyphs(QPointF(0, 60), MappedText(raw, QStringLiteral("Nimbus")).glyphs(), Qt::black, QRectF());
    });
    writePdfFile(document, file);
    const QList<PdfPage> pages = readPdf(file).value();
    QCOMPARE(pages.size(), 2);
    QCOMPARE(pages[0].text(), QStringLiteral("Page1"));
    QCOMPARE(pages[1].text(), QStringLiteral("Page2 Nimbus"));
}

void tst_PdfWriter::madeUpFacesAreLeftToTheToolkit()
{
    // A family with no italic face of its own: the font system slants its upright one.
    QString upright;
    for (const QString &family : QFontDatabase::families()) {
        const QStringList styles = QFontDatabase::styles(family);
        const bool slanted = std::any_of(styles.cbegin(), styles.cend(), [](const QString &style) {
            return style.contains(QLatin1String("Italic"), Qt::CaseInsensitive)
                || style.contains(QLatin1String("Oblique"), Qt::CaseInsensitive);
        });
        if (!slanted && databaseFont(family).isValid() && TrueTypeFont(databaseFont(family)).isValid()) {
            upright = family;
            break;
        }
    }
    if (upright.isEmpty())
        QSKIP("every installed family has an italic face");
    QFont italic(upright);
    italic.setPixelSize(kPixelSize);
    italic.setItalic(true);
    QFont bold(QStringLiteral("DejaVu Sans"));
    bold.setPixelSize(kPixelSize);
    bold.setBold(true);
    QVERIFY(isMadeUpFace(italic, QRawFont::fromFont(italic)));
    QVERIFY(!isMadeUpFace(bold, QRawFont::fromFont(bold)));

    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    PdfFileOutput output(buffer, a4(), QString(), QString());
    PageCanvas &canvas = output.beginPage();
    canvas.drawText(QPointF(0, 20), QStringLiteral("Bold"), bold, Qt::black, QRectF());
    QVERIFY_THROWS_EXCEPTION(PdfFileOutput::UnsupportedFont,
                             canvas.drawText(QPointF(0, 40), QStringLiteral("Slanted"), italic, Qt::black, QRectF()));
}

void tst_PdfWriter::writeFailuresReachTheCaller_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("message");
    QTest::newRow("a full disk") << "/dev/full"
                                 << "Cannot write file /dev/full. ";
    QTest::newRow("no such folder") << "/nonexistent-folder/listing.pdf"
                                    << "Cannot create file /nonexistent-folder/listing.pdf. ";
}

void tst_PdfWriter::writeFailuresReachTheCaller()
{
    QFETCH(QString, path);
    QFETCH(QString, message);
    if (path == QLatin1String("/dev/full") && !QFile::exists(path))
        QSKIP("this system has no /dev/full");
    // Enough pages that the writer hands pieces to the file before the end.
    DrawnDocument document(400, [&](PageCanvas &canvas, int) {
        for (int line = 0; line < 60; ++line)
            canvas.drawGlyphs(QPointF(0, 10 + line * 12),
                              MappedText(m_regular, QStringLiteral("Swarm removal %1").arg(line)).glyphs(), Qt::black,
                              QRectF());
    });
    try {
        writePdfFile(document, path);
        QFAIL("the file was written");
    } catch (const Error &error) {
        QVERIFY2(error.message().startsWith(message), qPrintable(error.message()));
    }
}

void tst_PdfWriter::textNoFontHasShowsAsBoxes_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("Devanagari") << QStringLiteral("नमस्ते");
    QTest::newRow("Tamil") << QStringLiteral("வணக்கம்");
    QTest::newRow("Bengali") << QStringLiteral("নমস্কার");
    QTest::newRow("Sinhala") << QStringLiteral("ආයුබෝවන්");
    QTest::newRow("Gujarati") << QStringLiteral("નમસ્તે");
    QTest::newRow("Kannada") << QStringLiteral("ನಮಸ್ಕಾರ");
}

void tst_PdfWriter::textNoFontHasShowsAsBoxes()
{
    QFETCH(QString, text);
    const QFont font = dejaVu();
    if (!noFontCovers(text, font))
        QSKIP("a font for this script is installed");
    TestWorkspace workspace;
    const QString file = workspace.filePath(QStringLiteral("boxes.pdf"));
    {
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        PdfFileOutput output(out, a4(), QString(), QString());
        PageCanvas &canvas = output.beginPage();
        canvas.drawText(QPointF(0, 40), text, font, Qt::black, QRectF());
        canvas.drawText(QPointF(0, 80), QStringLiteral("Hive"), font, Qt::black, QRectF());
        output.finish();
    }
    const QList<PdfPage> pages = readPdf(file).value();
    QCOMPARE(pages.size(), 1);
    QVERIFY2(pages.first().text().endsWith(QLatin1String("Hive")), qPrintable(pages.first().text()));
    const QImage page = renderPage(file);
    if (page.isNull())
        QSKIP("pdftoppm (poppler-utils) is not installed: the page cannot be looked at");
    // The boxes stand on the baseline, where the text was drawn.
    const QPoint inside = (insideOrigin(a4()) * 96.0 / 72.0).toPoint();
    QVERIFY(darkIn(page, QRect(inside + QPoint(0, 40 - kPixelSize), QSize(200, kPixelSize))) > 20);
}

void tst_PdfWriter::missingGlyphsCopyAsWhatTheyStandFor_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("Korean") << QStringLiteral("꿀벌");
    QTest::newRow("Thai") << QStringLiteral("ผึ้ง");
    QTest::newRow("an emoji") << QStringLiteral("🐝");
    QTest::newRow("Devanagari") << QStringLiteral("नमस्ते");
    QTest::newRow("among letters the font has") << QStringLiteral("Queen 꿀벌 hive");
}

void tst_PdfWriter::missingGlyphsCopyAsWhatTheyStandFor()
{
    QFETCH(QString, text);
    const QFont font = dejaVu();
    // Another text that shows as a box, first on the page.
    const QString before = QStringLiteral("꽃");
    if (!noFontCovers(text, font) || !noFontCovers(before, font))
        QSKIP("a font for these characters is installed");
    TestWorkspace workspace;
    const QString file = workspace.filePath(QStringLiteral("missing.pdf"));
    {
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        PdfFileOutput output(out, a4(), QString(), QString());
        PageCanvas &canvas = output.beginPage();
        canvas.drawText(QPointF(0, 40), before, font, Qt::black, QRectF());
        canvas.drawText(QPointF(0, 80), text, font, Qt::black, QRectF());
        output.finish();
    }
    const QList<PdfPage> pages = readPdf(file).value();
    QCOMPARE(pages.size(), 1);
    QCOMPARE(pages.first().text(), before + QLatin1Char(' ') + text);
}

void tst_PdfWriter::unfinishedFileLeavesTheOldOne_data()
{
    QTest::addColumn<QString>("stop");
    QTest::addColumn<QString>("cause");
    QTest::newRow("a full disk") << "full disk"
                                 << "The disk is full.";
    QTest::newRow("a file size limit") << "size limit" << QString::fromLocal8Bit(std::strerror(EFBIG));
    QTest::newRow("the user stops the job") << "user" << QString();
}

void tst_PdfWriter::unfinishedFileLeavesTheOldOne()
{
    QFETCH(QString, stop);
    QFETCH(QString, cause);
    TestWorkspace workspace;
    const QString folder = workspace.filePath(QStringLiteral("out"));
    QVERIFY(QDir().mkpath(folder));
    std::unique_ptr<SmallDisk> disk;
    if (stop == QLatin1String("full disk")) {
        disk = std::make_unique<SmallDisk>(folder, 64);
        if (!disk->mounted())
            QSKIP("a small file system cannot be made here (root may)");
    }
    const QString file = folder + QStringLiteral("/listing.pdf");
    const QByteArray old = "%PDF-1.4\n% the listing of last week\n";
    {
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        QCOMPARE(out.write(old), old.size());
    }
    // Enough pages that the writer hands pieces to the file before the end.
    DrawnDocument document(400, [&](PageCanvas &canvas, int) {
        for (int line = 0; line < 60; ++line)
            canvas.drawGlyphs(QPointF(0, 10 + line * 12),
                              MappedText(m_regular, QStringLiteral("Swarm removal %1").arg(line)).glyphs(), Qt::black,
                              QRectF());
    });
    QString message;
    {
        std::unique_ptr<FileSizeLimit> limit;
        if (stop == QLatin1String("size limit"))
            limit = std::make_unique<FileSizeLimit>(64 * 1024);
        try {
            writePdfFile(document, file, [&](int page) { return stop != QLatin1String("user") || page < 2; });
        } catch (const Error &error) {
            message = error.message();
        }
    }
    if (cause.isEmpty())
        QCOMPARE(message, QString());
    else
        QCOMPARE(message, QStringLiteral("Cannot write file %1. %2").arg(QDir::toNativeSeparators(file), cause));
    QFile kept(file);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), old);
    // Nothing of the new file is left beside it.
    QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
             QStringList(QStringLiteral("listing.pdf")));
}

QTEST_MAIN(tst_PdfWriter)
#include "tst_pdfwriter.moc"
