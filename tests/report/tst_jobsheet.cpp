#include "pdfpages.h"
#include "picturefixtures.h"
#include "platform/jpegcodec.h"
#include "report/jobsheet.h"
#include "report/pagecanvas.h"
#include "report/printpreview.h"
#include "testworkspace.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QLocale>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

#include <QPainter>
#include <QRandomGenerator>
#include <QRawFont>

#include <algorithm>
#include <climits>
#include <optional>

using namespace kelvara;
using namespace kelvara::test;

// A job on paper, read back from the PDF file with poppler: its fields, its notes whole over
// two pages, its photos embedded as the very bytes stored and standing upright, and photos that
// cannot be read standing framed in words in their place.
namespace {

// A tool's output; null when the tool is not installed or fails.
std::optional<QByteArray> run(const QString &tool, const QStringList &arguments)
{
    const QString program = QStandardPaths::findExecutable(tool);
    if (program.isEmpty())
        return std::nullopt;
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(120000) || process.exitCode() != 0)
        return std::nullopt;
    return process.readAllStandardOutput();
}

struct ListedImage
{
    int page = 0;
    QSize size;
    QString encoding;
};

// What pdfimages -list says of each image, in the order of the file.
std::optional<QList<ListedImage>> listImages(const QString &pdf)
{
    const std::optional<QByteArray> out = run(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf});
    if (!out)
        return std::nullopt;
    QList<ListedImage> images;
    const QList<QByteArray> lines = out->split('\n');
    for (qsizetype i = 2; i < lines.size(); ++i) {
        const QList<QByteArray> columns = lines[i].simplified().split(' ');
        if (columns.size() < 10)
            continue;
        images << ListedImage{columns[0].toInt(), QSize(columns[3].toInt(), columns[4].toInt()),
                              QString::fromLatin1(columns[8])};
    }
    return images;
}

QImage renderPage(const QString &pdf, int page = 1)
{
    const QString stem = pdf + QStringLiteral("-page");
    if (!run(QStringLiteral("pdftoppm"),
             {QStringLiteral("-r"), QStringLiteral("96"), QStringLiteral("-f"), QString::number(page),
              QStringLiteral("-l"), QString::number(page), QStringLiteral("-png"), QStringLiteral("-singlefile"), pdf,
              stem}))
        return QImage();
    return QImage(stem + QStringLiteral(".png"));
}

// A photo of a camera's size class, as a grainy picture is stored: not one colour, so that its
// bytes are many and every one of them counts.
QByteArray grainyJpeg(const QSize &size, int seed, bool progressive = false, bool grey = false)
{
    QImage image(size, grey ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
    QRandomGenerator random{quint32(seed)};
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            const int noise = int(random.bounded(40u));
            const QColor color(qBound(0, x * 255 / size.width() + noise - 20, 255), (seed * 50 + noise) % 256,
                               qBound(0, y * 255 / size.height() + noise - 20, 255));
            image.setPixelColor(x, y, color);
        }
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(85);
    writer.setProgressiveScanWrite(progressive);
    if (!writer.write(image))
        qFatal("cannot write a JPEG fixture");
    return bytes;
}

JobSheet::Job smallJob()
{
    JobSheet::Job job;
    job.title = QStringLiteral("Job Sheet 12/05/2026 Åse Ødegård");
    job.groups = {
        {QString(),
         {{QStringLiteral("Date"), QStringLiteral("12/05/2026")},
          {QStringLiteral("First Name"), QStringLiteral("Åse")},
          {QStringLiteral("Last name"), QStringLiteral("Ødegård")},
          {QStringLiteral("E-Mail"), QStringLiteral("ase@example.no")},
          {QStringLiteral("City"), QStringLiteral("Bergen")}}},
        {QStringLiteral("Where to pick up"),
         {{QStringLiteral("Street 1"), QStringLiteral("Bryggen 7")}, {QStringLiteral("State"), QStringLiteral("VL")}}},
        {QString(),
         {{QStringLiteral("Came from"), QStringLiteral("Apple tree")},
          {QStringLiteral("Time Used"), QStringLiteral("1 Hr 30 Min")}}},
    };
    job.notesLabel = QStringLiteral("Notes");
    job.notes = QStringLiteral("Swarm on a low branch.");
    job.photosLabel = QStringLiteral("Photos");
    return job;
}

QString writeSheet(const TestWorkspace &workspace, const JobSheet::Job &job, const QString &name)
{
    const QString file = workspace.filePath(name);
    JobSheet sheet(job, QStringLiteral("DejaVu Sans"));
    writePdfFile(sheet, file);
    return file;
}

// The colour a rendered pixel is nearest of the four quadrants'.
QColor nearestQuadrantColor(QRgb pixel)
{
    const QColor colors[] = {Qt::red, Qt::green, Qt::blue, Qt::yellow};
    QColor best;
    int bestDistance = INT_MAX;
    for (const QColor &color : colors) {
        const int d = std::abs(qRed(pixel) - color.red()) + std::abs(qGreen(pixel) - color.green())
            + std::abs(qBlue(pixel) - color.blue());
        if (d < bestDistance) {
            bestDistance = d;
            best = color;
        }
    }
    return best;
}

// The part of a page that is painted in strong colours: the photo.
QRect colouredArea(const QImage &page)
{
    QRect area;
    for (int y = 0; y < page.height(); ++y) {
        for (int x = 0; x < page.width(); ++x) {
            const QColor c = page.pixelColor(x, y);
            if (c.saturation() > 150 && c.value() > 150)
                area |= QRect(x, y, 1, 1);
        }
    }
    return area;
}

// A canvas on a painter that remembers the texts drawn, as the preview and a printer draw.
class RecordingCanvas : public PainterCanvas
{
public:
    using PainterCanvas::PainterCanvas;
    void drawText(const QPointF &origin, const QString &text, const QFont &font, const QColor &color,
                  const QRectF &clip) override
    {
        texts << text;
        PainterCanvas::drawText(origin, text, font, color, clip);
    }
    QStringList texts;
};

QImage paintPage(JobSheet &sheet, int index, QStringList *texts = nullptr)
{
    QImage image(QSize(800, 1130), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    RecordingCanvas canvas(painter);
    sheet.paintPage(canvas, index);
    if (texts)
        *texts = canvas.texts;
    return image;
}

}  // namespace

class tst_JobSheet : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void fieldsNotesAndPhotosReadBack();
    void photosStandUpright_data();
    void photosStandUpright();
    void unreadablePhotosAreFramedInWords_data();
    void unreadablePhotosAreFramedInWords();
    void paperFollowsTheLocale_data();
    void paperFollowsTheLocale();
};

void tst_JobSheet::initTestCase()
{
    if (QRawFont::fromFont(QFont(QStringLiteral("DejaVu Sans"))).familyName() != QStringLiteral("DejaVu Sans"))
        QSKIP("the DejaVu fonts (fonts-dejavu-core) are not installed");
    for (const char *tool : {"pdftotext", "pdfimages", "pdftoppm"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            QSKIP("poppler-utils (pdftotext, pdfimages, pdftoppm) are not installed: the sheet cannot be read back");
    }
}

void tst_JobSheet::fieldsNotesAndPhotosReadBack()
{
    TestWorkspace workspace;
    JobSheet::Job job = smallJob();
    // Notes of numbered words, long enough to go on over the next page.
    QStringList noteWords;
    for (int i = 1; i <= 900; ++i)
        noteWords << QStringLiteral("n%1").arg(i, 4, 10, QLatin1Char('0'));
    job.notes = noteWords.mid(0, 450).join(QLatin1Char(' ')) + QStringLiteral("\r\n\r\n")
        + noteWords.mid(450).join(QLatin1Char(' '));
    // Five photos of several kinds: large and small, progressive, grey, turned.
    job.photos = {
        {grainyJpeg(QSize(1200, 900), 1), QStringLiteral("Swarm on the branch")},
        {grainyJpeg(QSize(640, 480), 2, true), QStringLiteral("Progressive scan")},
        {grainyJpeg(QSize(500, 500), 3, false, true), QStringLiteral("Grey picture")},
        {withOrientation(grainyJpeg(QSize(800, 600), 4), 6), QStringLiteral("Taken upright")},
        {grainyJpeg(QSize(300, 200), 5), QString()},
    };
    const QString file = writeSheet(workspace, job, QStringLiteral("sheet.pdf"));

    const std::optional<QList<PdfPage>> pages = readPdf(file);
    QVERIFY(pages);
    QCOMPARE(pages->size(), 2);
    const PdfPage &first = pages->at(0);
    QCOMPARE(first.size.toSize(), QSize(595, 842));  // A4 in this locale
    const QString firstText = first.text();
    for (const JobSheet::Group &group : job.groups) {
        if (!group.heading.isEmpty())
            QVERIFY2(firstText.contains(group.heading), qPrintable(group.heading));
        for (const JobSheet::Entry &entry : group.entries) {
            // The value stands under its label.
            const QList<PdfWord> label = first.find(entry.label.section(QLatin1Char(' '), 0, 0));
            const QList<PdfWord> value = first.find(entry.value.section(QLatin1Char(' '), 0, 0));
            QVERIFY2(!label.isEmpty() && !value.isEmpty(), qPrintable(entry.label));
            const bool under = std::any_of(label.begin(), label.end(), [&](const PdfWord &l) {
                return std::any_of(value.begin(), value.end(), [&](const PdfWord &v) {
                    return std::abs(v.box.left() - l.box.left()) < 1 && v.box.top() > l.box.bottom() - 1
                        && v.box.top() < l.box.bottom() + 20;
                });
            });
            QVERIFY2(under, qPrintable(entry.label + QStringLiteral(" / ") + entry.value));
            QVERIFY2(firstText.contains(entry.label + QLatin1Char(' ')) || firstText.contains(entry.label),
                     qPrintable(entry.label));
            QVERIFY2(firstText.contains(entry.value), qPrintable(entry.value));
        }
    }
    // The notes whole and in order, going on over the second page, which says so.
    QStringList readNotes;
    for (const PdfPage &page : *pages) {
        for (const PdfWord &word : page.words) {
            if (word.text.size() == 5 && word.text.startsWith(QLatin1Char('n')) && word.text.mid(1).toInt() > 0)
                readNotes << word.text;
        }
    }
    QCOMPARE(readNotes, noteWords);
    QVERIFY(!pages->at(1).startingWith(QStringLiteral("n0")).isEmpty());
    QVERIFY(pages->at(1).text().startsWith(QStringLiteral("Notes (continued)")));
    for (const JobSheet::Photo &photo : job.photos) {
        if (!photo.comment.isEmpty())
            QVERIFY2(pages->at(1).text().contains(photo.comment), qPrintable(photo.comment));
    }

    // The five photos are embedded as JPEG, each the very bytes stored.
    const std::optional<QList<ListedImage>> images = listImages(file);
    QVERIFY(images);
    QCOMPARE(images->size(), 5);
    for (qsizetype i = 0; i < images->size(); ++i) {
        QCOMPARE(images->at(i).encoding, QStringLiteral("jpeg"));
        QCOMPARE(images->at(i).size, jpeg::imageSize(job.photos[size_t(i)].bytes));
    }
    const QString stem = workspace.filePath(QStringLiteral("extracted"));
    QVERIFY(run(QStringLiteral("pdfimages"), {QStringLiteral("-all"), file, stem}));
    const QStringList extracted
        = QDir(workspace.path()).entryList({QStringLiteral("extracted-*")}, QDir::Files, QDir::Name);
    QCOMPARE(extracted.size(), 5);
    for (qsizetype i = 0; i < extracted.size(); ++i) {
        QVERIFY2(extracted[i].endsWith(QLatin1String(".jpg")), qPrintable(extracted[i]));
        QFile image(workspace.filePath(extracted[i]));
        QVERIFY(image.open(QIODevice::ReadOnly));
        QVERIFY2(image.readAll() == job.photos[size_t(i)].bytes, qPrintable(extracted[i]));
    }
}

void tst_JobSheet::photosStandUpright_data()
{
    QTest::addColumn<QByteArray>("photo");
    QTest::addColumn<int>("orientation");
    QTest::addColumn<QString>("encoding");
    const QImage picture = quadrants(QSize(160, 120));
    const QByteArray jpeg = encoded(picture, "JPG", 95);
    for (int orientation = 1; orientation <= 8; ++orientation) {
        QTest::addRow("JPEG, orientation %d", orientation)
            << (orientation == 1 ? jpeg : withOrientation(jpeg, orientation)) << orientation << QStringLiteral("jpeg");
    }
    // Not a JPEG: encoded once, as JPEG.
    QTest::newRow("PNG") << encoded(picture, "PNG") << 1 << QStringLiteral("jpeg");
}

void tst_JobSheet::photosStandUpright()
{
    QFETCH(QByteArray, photo);
    QFETCH(int, orientation);
    QFETCH(QString, encoding);
    TestWorkspace workspace;
    JobSheet::Job job = smallJob();
    job.photos = {{photo, QStringLiteral("Hive entrance")}};
    const QString file = writeSheet(workspace, job, QStringLiteral("upright.pdf"));
    const std::optional<QList<ListedImage>> images = listImages(file);
    QVERIFY(images);
    QCOMPARE(images->size(), 1);
    QCOMPARE(images->at(0).encoding, encoding);

    const QImage upright = jpeg::upright(quadrants(QSize(160, 120)), orientation);
    const auto check = [&](const QImage &page, const char *where) {
        const QRect area = colouredArea(page);
        QVERIFY2(!area.isEmpty(), where);
        // As wide and high as the upright picture is, give or take the edge pixels.
        const double aspect = double(area.width()) / area.height();
        const double expected = double(upright.width()) / upright.height();
        QVERIFY2(std::abs(aspect - expected) < 0.05, qPrintable(QStringLiteral("%1: %2").arg(where).arg(aspect)));
        for (const QPointF quarter :
             {QPointF(0.25, 0.25), QPointF(0.75, 0.25), QPointF(0.25, 0.75), QPointF(0.75, 0.75)}) {
            const QPoint shown(area.left() + int(quarter.x() * area.width()),
                               area.top() + int(quarter.y() * area.height()));
            const QPoint stored(int(quarter.x() * upright.width()), int(quarter.y() * upright.height()));
            QCOMPARE(nearestQuadrantColor(page.pixel(shown)), QColor(upright.pixel(stored)));
        }
    };
    const QImage page = renderPage(file);
    QVERIFY(!page.isNull());
    check(page, "in the PDF file");
    JobSheet sheet(job, QStringLiteral("DejaVu Sans"));
    check(paintPage(sheet, 0), "in the preview");
}

void tst_JobSheet::unreadablePhotosAreFramedInWords_data()
{
    QTest::addColumn<QByteArray>("photo");
    const QByteArray jpeg = grainyJpeg(QSize(320, 240), 7);
    QTest::newRow("cut off") << jpeg.left(jpeg.size() / 2);
    QTest::newRow("frame header damaged") << jpeg.left(2) + QByteArray(200, '\x55') + jpeg.mid(202);
    QTest::newRow("decode bomb: 900 megapixels declared") << withDeclaredSize(jpeg, 30000, 30000);
    QTest::newRow("decode bomb: 64 megapixels in a few kilobytes")
        << withDeclaredSize(jpegBytes(QSize(64, 64), Qt::white), 8000, 8000);
    QTest::newRow("no picture at all") << QByteArray("Swarm collected, see notes.");
    QTest::newRow("empty GIF header") << gifBytes().left(10);
}

void tst_JobSheet::unreadablePhotosAreFramedInWords()
{
    QFETCH(QByteArray, photo);
    TestWorkspace workspace;
    JobSheet::Job job = smallJob();
    const QByteArray good = grainyJpeg(QSize(320, 240), 8);
    job.photos = {{good, QStringLiteral("Readable")}, {photo, QStringLiteral("Unreadable")}};
    const QString file = writeSheet(workspace, job, QStringLiteral("bad.pdf"));

    const std::optional<QString> text = readPdfText(file);
    QVERIFY(text);
    QCOMPARE(text->count(JobSheet::photoCannotBeShown()), 1);
    QVERIFY(text->contains(QStringLiteral("Unreadable")));
    const std::optional<QList<ListedImage>> images = listImages(file);
    QVERIFY(images);
    QCOMPARE(images->size(), 1);
    // The frame: grey lines around the place of the photo, right of the readable one.
    const QImage page = renderPage(file);
    const QRect readable = colouredArea(page);
    QVERIFY(!readable.isEmpty());
    int framed = 0;
    for (int x = readable.right() + 20; x < page.width() - 40; ++x) {
        for (int y = readable.top() - 2; y <= readable.top() + 2; ++y) {
            const QColor c = page.pixelColor(x, y);
            if (c.value() < 230 && c.saturation() < 30) {
                ++framed;
                break;
            }
        }
    }
    QVERIFY2(framed > 200, qPrintable(QString::number(framed)));

    // The preview and a printer draw the same words in the same place, and nothing else.
    JobSheet sheet(job, QStringLiteral("DejaVu Sans"));
    QStringList texts;
    paintPage(sheet, 0, &texts);
    QCOMPARE(texts.count(JobSheet::photoCannotBeShown()), 1);
}

void tst_JobSheet::paperFollowsTheLocale_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QSizeF>("points");
    QTest::newRow("United States: Letter") << QLocale(QLocale::English, QLocale::UnitedStates) << QSizeF(612, 792);
    QTest::newRow("Norway: A4") << QLocale(QLocale::NorwegianBokmal, QLocale::Norway) << QSizeF(595, 842);
    QTest::newRow("United Kingdom: A4") << QLocale(QLocale::English, QLocale::UnitedKingdom) << QSizeF(595, 842);
}

void tst_JobSheet::paperFollowsTheLocale()
{
    QFETCH(QLocale, locale);
    QFETCH(QSizeF, points);
    const QLocale before;
    QLocale::setDefault(locale);
    const QPageLayout layout = JobSheet(smallJob(), QStringLiteral("DejaVu Sans")).pageLayout();
    QLocale::setDefault(before);
    QCOMPARE(layout.fullRect(QPageLayout::Point).size().toSize(), points.toSize());
}

QTEST_MAIN(tst_JobSheet)
#include "tst_jobsheet.moc"
