#include "colordistance.h"
#include "picturefixtures.h"
#include "platform/jpegcodec.h"
#include "store/error.h"
#include "testworkspace.h"

#include <QBuffer>
#include <QPainter>
#include <QRandomGenerator>
#include <QtTest>

#include <cstdio>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

using namespace kelvara;
using namespace kelvara::test;

namespace {

// Both at full size and scaled to cover, the decode must fail with message.
void expectRefused(const QByteArray &bytes, const QString &message, const QSize &cover)
{
    for (const QSize &size : {QSize(), cover}) {
        try {
            jpeg::decode(bytes, size);
            QFAIL("decoded");
        } catch (const Error &error) {
            QCOMPARE(error.message(), message);
        }
    }
}

// Left half red, right half blue: easy to check after a decode at any scale.
QImage twoColours(const QSize &size)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.fillRect(QRect(0, 0, size.width() / 2, size.height()), Qt::red);
    painter.fillRect(QRect(size.width() / 2, 0, size.width() - size.width() / 2, size.height()), Qt::blue);
    return image;
}

// Qt cannot write CMYK JPEGs; libjpeg can. The pixels are given the Adobe way (inverted), as
// the Adobe marker that libjpeg writes for these colour spaces announces.
QByteArray cmykJpeg(const QSize &size, J_COLOR_SPACE stored)
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char *out = nullptr;
    unsigned long outSize = 0;
    jpeg_mem_dest(&cinfo, &out, &outSize);
    cinfo.image_width = JDIMENSION(size.width());
    cinfo.image_height = JDIMENSION(size.height());
    cinfo.input_components = 4;
    cinfo.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&cinfo);
    jpeg_set_colorspace(&cinfo, stored);
    jpeg_set_quality(&cinfo, 95, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<unsigned char> row(size_t(size.width()) * 4);
    for (int x = 0; x < size.width(); ++x) {
        // Red (no cyan, full magenta and yellow) on the left, blue (full cyan and magenta) on the right.
        const bool left = x < size.width() / 2;
        const unsigned char c = left ? 0 : 255, m = 255, y = left ? 255 : 0, k = 0;
        row[size_t(x) * 4 + 0] = 255 - c;
        row[size_t(x) * 4 + 1] = 255 - m;
        row[size_t(x) * 4 + 2] = 255 - y;
        row[size_t(x) * 4 + 3] = 255 - k;
    }
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    QByteArray bytes(reinterpret_cast<const char *>(out), qsizetype(outSize));
    free(out);
    return bytes;
}

// How libjpeg is asked to write a fixture that Qt cannot make.
enum Coding { Huffman = 0, Arithmetic = 1, Progressive = 2, OptimisedHuffman = 4 };

// Grey pictures are written with one component, all others as YCbCr 4:2:0, at quality 75.
// Progressive uses libjpeg's own script (10 scans for colour) unless scans gives another.
QByteArray libjpegFile(const QImage &picture, int coding, std::vector<jpeg_scan_info> scans = {})
{
    const bool grey = picture.format() == QImage::Format_Grayscale8;
    const QImage image = grey ? picture : picture.convertToFormat(QImage::Format_RGB888);
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char *out = nullptr;
    unsigned long outSize = 0;
    jpeg_mem_dest(&cinfo, &out, &outSize);
    cinfo.image_width = JDIMENSION(image.width());
    cinfo.image_height = JDIMENSION(image.height());
    cinfo.input_components = grey ? 1 : 3;
    cinfo.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 75, TRUE);
    cinfo.arith_code = (coding & Arithmetic) != 0;
    cinfo.optimize_coding = (coding & OptimisedHuffman) != 0;
    if (coding & Progressive)
        jpeg_simple_progression(&cinfo);
    if (!scans.empty()) {
        cinfo.scan_info = scans.data();
        cinfo.num_scans = int(scans.size());
    }
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW rows[1] = {const_cast<JSAMPROW>(image.constScanLine(int(cinfo.next_scanline)))};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    QByteArray bytes(reinterpret_cast<const char *>(out), qsizetype(outSize));
    free(out);
    return bytes;
}

jpeg_scan_info scan(int component, int first, int last, int high, int low)
{
    jpeg_scan_info info{};
    info.comps_in_scan = 1;
    info.component_index[0] = component;
    info.Ss = first;
    info.Se = last;
    info.Ah = high;
    info.Al = low;
    return info;
}

// A valid progressive script for a grey picture with count scans (64 to 127): the DC, each AC
// coefficient alone at half precision, then as many of them as needed refined.
std::vector<jpeg_scan_info> greyScans(int count)
{
    std::vector<jpeg_scan_info> scans{scan(0, 0, 0, 0, 0)};
    for (int k = 1; k < 64; ++k)
        scans.push_back(scan(0, k, k, 0, 1));
    for (int k = 1; int(scans.size()) < count; ++k)
        scans.push_back(scan(0, k, k, 1, 0));
    return scans;
}

// A grey script whose data cannot shrink below one bit per block, however blank the picture:
// the DC at half precision, its last bit refined (a bit per block, not compressed), then each
// of the first acScans AC coefficients alone.
std::vector<jpeg_scan_info> refinedDcScans(int acScans)
{
    std::vector<jpeg_scan_info> scans{scan(0, 0, 0, 0, 1), scan(0, 0, 0, 1, 0)};
    for (int k = 1; k <= acScans; ++k)
        scans.push_back(scan(0, k, k, 0, 0));
    return scans;
}

// The most scans a valid colour file can have: each bit of each coefficient of each component
// in a scan of its own, 3 + 3 x 63 x 11 = 2082. At a few bytes a scan, the shape of the
// slowest bombs.
std::vector<jpeg_scan_info> everyBitAlone()
{
    std::vector<jpeg_scan_info> scans;
    for (int c = 0; c < 3; ++c)
        scans.push_back(scan(c, 0, 0, 0, 0));
    for (int c = 0; c < 3; ++c) {
        for (int k = 1; k < 64; ++k) {
            for (int low = 10; low >= 0; --low)
                scans.push_back(scan(c, k, k, low == 10 ? 0 : low + 1, low));
        }
    }
    return scans;
}

// Gradients and noise, compressed as a camera's picture is.
QImage photoLike(const QSize &size)
{
    QImage image(size, QImage::Format_RGB32);
    QLinearGradient sky(0, 0, 0, size.height());
    sky.setColorAt(0, QColor(120, 170, 230));
    sky.setColorAt(1, QColor(70, 110, 40));
    QPainter(&image).fillRect(image.rect(), sky);
    QRandomGenerator random(17);
    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const int n = int(random.bounded(9u)) - 4;
            const QRgb p = line[x];
            line[x] = qRgb(qBound(0, qRed(p) + n, 255), qBound(0, qGreen(p) + n, 255), qBound(0, qBlue(p) + n, 255));
        }
    }
    return image;
}

QImage blank(const QSize &size, QImage::Format format = QImage::Format_RGB32)
{
    QImage image(size, format);
    image.fill(Qt::white);
    return image;
}

// The bytes that follow the first scan header: the compressed data and what comes after it.
qsizetype bytesAfterFirstScanHeader(const QByteArray &jpeg)
{
    const qsizetype sos = jpeg.indexOf("\xff\xda");
    const qsizetype length = (uchar(jpeg.at(sos + 2)) << 8) | uchar(jpeg.at(sos + 3));
    return jpeg.size() - (sos + 2 + length);
}

QString tooManyScans()
{
    return QStringLiteral("The picture is stored in too many scans to show: more than 100 (a photograph has about 10)");
}

// For a grey picture whose scans each cover all its blocks: the codec decodes at most 16 blocks
// per bit of data, and stops at the first scan that would go beyond.
QString tooShortForScans(const QByteArray &jpeg, const QSize &size)
{
    const qint64 blocks = qint64((size.width() + 7) / 8) * ((size.height() + 7) / 8);
    const qint64 stopAt = bytesAfterFirstScanHeader(jpeg) * 8 * 16 / blocks + 1;
    return QStringLiteral(
               "The picture's data is too short for its scans: %1 bytes for %2 x %3 pixels in %4 scans or more")
        .arg(bytesAfterFirstScanHeader(jpeg))
        .arg(size.width())
        .arg(size.height())
        .arg(stopAt);
}

QString tooShort(const QByteArray &jpeg, const QSize &declared, int leastBytes)
{
    return QStringLiteral(
               "The picture's data is too short for its size: %1 bytes for %2 x %3 pixels (at least %4 needed)")
        .arg(bytesAfterFirstScanHeader(jpeg))
        .arg(declared.width())
        .arg(declared.height())
        .arg(leastBytes);
}

QString jpegError(int code)
{
    return QStringLiteral("JPEG error #%1").arg(code);
}

}  // namespace

class JpegCodecTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decodesColourAndGrey();
    void decodesCmyk_data();
    void decodesCmyk();
    void scalesDownToCoverTheAskedSize_data();
    void scalesDownToCoverTheAskedSize();
    void refusesDataThatIsNoWholeJpeg_data();
    void refusesDataThatIsNoWholeJpeg();
    void readsTheHeaderOfACutOffFile();
    void refusesPicturesAboveTheCap_data();
    void refusesPicturesAboveTheCap();
    void refusesDecodeBombs_data();
    void refusesDecodeBombs();
    void decodesPicturesWithinTheBounds_data();
    void decodesPicturesWithinTheBounds();
    void refusesKeptCopiesThatAreNotSmall_data();
    void refusesKeptCopiesThatAreNotSmall();
    void decodesKeptCopiesWithinTheirBounds_data();
    void decodesKeptCopiesWithinTheirBounds();
    void readsTheExifOrientation_data();
    void readsTheExifOrientation();
    void encodesWhatItDecodes_data();
    void encodesWhatItDecodes();

private:
    test::TestWorkspace m_workspace;
};

void JpegCodecTest::decodesColourAndGrey()
{
    const QByteArray colour = encoded(twoColours(QSize(64, 48)));
    QCOMPARE(jpeg::imageSize(colour), QSize(64, 48));
    const QImage image = jpeg::decode(colour);
    QCOMPARE(image.size(), QSize(64, 48));
    QCOMPARE(image.format(), QImage::Format_RGB32);
    QVERIFY(near(image.pixel(10, 24), qRgb(255, 0, 0)));
    QVERIFY(near(image.pixel(54, 24), qRgb(0, 0, 255)));
    QCOMPARE(qAlpha(image.pixel(54, 24)), 255);

    QImage grey(40, 30, QImage::Format_Grayscale8);
    grey.fill(200);
    const QImage decodedGrey = jpeg::decode(encoded(grey));
    QCOMPARE(decodedGrey.format(), QImage::Format_Grayscale8);
    QCOMPARE(decodedGrey.size(), QSize(40, 30));
    QVERIFY(qAbs(qGray(decodedGrey.pixel(20, 15)) - 200) <= 2);
}

void JpegCodecTest::decodesCmyk_data()
{
    QTest::addColumn<int>("stored");
    QTest::newRow("CMYK with Adobe marker") << int(JCS_CMYK);
    QTest::newRow("YCCK with Adobe marker") << int(JCS_YCCK);
}

void JpegCodecTest::decodesCmyk()
{
    QFETCH(int, stored);
    const QImage image = jpeg::decode(cmykJpeg(QSize(32, 16), J_COLOR_SPACE(stored)));
    QCOMPARE(image.size(), QSize(32, 16));
    QVERIFY2(near(image.pixel(4, 8), qRgb(255, 0, 0)), qPrintable(QString::number(image.pixel(4, 8), 16)));
    QVERIFY2(near(image.pixel(28, 8), qRgb(0, 0, 255)), qPrintable(QString::number(image.pixel(28, 8), 16)));
}

void JpegCodecTest::scalesDownToCoverTheAskedSize_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QSize>("cover");
    QTest::addColumn<QSize>("expected");
    QTest::newRow("no cover: full size") << QSize(800, 600) << QSize() << QSize(800, 600);
    QTest::newRow("exactly 1/8") << QSize(800, 600) << QSize(100, 75) << QSize(100, 75);
    QTest::newRow("one pixel wider than 1/8 -> 2/8") << QSize(800, 600) << QSize(101, 75) << QSize(200, 150);
    QTest::newRow("one pixel taller than 1/8 -> 2/8") << QSize(800, 600) << QSize(100, 76) << QSize(200, 150);
    QTest::newRow("640x480 sheet -> 7/8") << QSize(800, 600) << QSize(640, 480) << QSize(700, 525);
    QTest::newRow("cover larger than the picture: full size") << QSize(800, 600) << QSize(1000, 700) << QSize(800, 600);
    QTest::newRow("odd size rounds up") << QSize(1001, 751) << QSize(120, 90) << QSize(126, 94);
    QTest::newRow("stretched to a different aspect") << QSize(800, 600) << QSize(640, 100) << QSize(700, 525);
}

void JpegCodecTest::scalesDownToCoverTheAskedSize()
{
    QFETCH(QSize, picture);
    QFETCH(QSize, cover);
    QFETCH(QSize, expected);
    QCOMPARE(jpeg::scaledSize(picture, cover), expected);
    const QImage image = jpeg::decode(encoded(twoColours(picture)), cover);
    QCOMPARE(image.size(), expected);
    QVERIFY(near(image.pixel(expected.width() / 4, expected.height() / 2), qRgb(255, 0, 0)));
    QVERIFY(near(image.pixel(expected.width() * 3 / 4, expected.height() / 2), qRgb(0, 0, 255)));
}

void JpegCodecTest::refusesDataThatIsNoWholeJpeg_data()
{
    const QByteArray jpeg = encoded(twoColours(QSize(320, 240)));
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");
    QTest::newRow("empty") << QByteArray() << jpegError(JERR_INPUT_EMPTY);
    QTest::newRow("GIF") << gifBytes() << jpegError(JERR_NO_SOI);
    QTest::newRow("PNG") << encoded(twoColours(QSize(8, 8)), "PNG") << jpegError(JERR_NO_SOI);
    QTest::newRow("text") << QByteArray("Not a picture at all\r\n") << jpegError(JERR_NO_SOI);
    // libjpeg only warns about these and fills the rest with grey.
    QTest::newRow("cut off after two thirds") << jpeg.left(jpeg.size() * 2 / 3) << jpegError(JWRN_JPEG_EOF);
    QTest::newRow("cut off before the end marker") << jpeg.left(jpeg.size() - 2) << jpegError(JWRN_JPEG_EOF);
}

void JpegCodecTest::refusesDataThatIsNoWholeJpeg()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    expectRefused(bytes, message, QSize(40, 30));
}

void JpegCodecTest::readsTheHeaderOfACutOffFile()
{
    // The header reads; the damage shows only when the pixels are decoded.
    const QByteArray jpeg = encoded(twoColours(QSize(320, 240)));
    QCOMPARE(jpeg::imageSize(jpeg.left(jpeg.size() / 2)), QSize(320, 240));
    QVERIFY_THROWS_EXCEPTION(Error, jpeg::imageSize(gifBytes()));
}

void JpegCodecTest::refusesPicturesAboveTheCap_data()
{
    QTest::addColumn<QSize>("declared");
    QTest::newRow("just above 100 megapixels") << QSize(10000, 10001);
    QTest::newRow("largest a JPEG can declare") << QSize(65500, 65500);
}

void JpegCodecTest::refusesPicturesAboveTheCap()
{
    QFETCH(QSize, declared);
    const QByteArray bytes = withDeclaredSize(encoded(twoColours(QSize(16, 16))), declared.width(), declared.height());
    QCOMPARE(jpeg::imageSize(bytes), declared);
    for (const QSize &cover : {QSize(), QSize(640, 480)}) {
        try {
            jpeg::decode(bytes, cover);
            QFAIL("decoded");
        } catch (const Error &error) {
            QCOMPARE(error.message(),
                     QStringLiteral("The picture is too large to show: %1 x %2 pixels "
                                    "(the limit is 100 megapixels)")
                         .arg(declared.width())
                         .arg(declared.height()));
        }
    }
}

void JpegCodecTest::refusesDecodeBombs_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");

    QTest::newRow("101 scans") << libjpegFile(blank(QSize(64, 64), QImage::Format_Grayscale8), Huffman, greyScans(101))
                               << tooManyScans();
    QTest::newRow("2082 scans, arithmetic-coded")
        << libjpegFile(blank(QSize(16, 16)), Arithmetic, everyBitAlone()) << tooManyScans();

    const QImage blankGrey = blank(QSize(1024, 1024), QImage::Format_Grayscale8);
    const QByteArray passes = libjpegFile(blankGrey, Arithmetic, refinedDcScans(63));
    QTest::newRow("65 arithmetic-coded scans on one bit per block")
        << passes << tooShortForScans(passes, blankGrey.size());

    // Colour 10000 x 10000 at 4:2:0 has 1250 x 1250 + 2 x 625 x 625 blocks; grey the first term.
    const QSize huge(10000, 10000);
    const QByteArray arithmetic
        = withDeclaredSize(libjpegFile(blank(QSize(16, 16)), Arithmetic), huge.width(), huge.height());
    QTest::newRow("arithmetic-coded, some bytes claiming 100 megapixels")
        << arithmetic << tooShort(arithmetic, huge, 292969);
    const QByteArray manyScans
        = withDeclaredSize(libjpegFile(blank(QSize(16, 16)), Arithmetic, everyBitAlone()), huge.width(), huge.height());
    QTest::newRow("2082 arithmetic-coded scans claiming 100 megapixels")
        << manyScans << tooShort(manyScans, huge, 292969);
    const QByteArray progressive = withDeclaredSize(
        libjpegFile(blank(QSize(64, 64), QImage::Format_Grayscale8), Progressive), huge.width(), huge.height());
    QTest::newRow("progressive grey claiming 100 megapixels") << progressive << tooShort(progressive, huge, 195313);
    QByteArray cutOff = withDeclaredSize(encoded(photoLike(QSize(64, 64))), huge.width(), huge.height());
    cutOff.chop(20);
    QTest::newRow("cut off, claiming 100 megapixels") << cutOff << tooShort(cutOff, huge, 292969);
}

void JpegCodecTest::refusesDecodeBombs()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    expectRefused(bytes, message, QSize(640, 480));
}

void JpegCodecTest::decodesPicturesWithinTheBounds_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QColor>("centre");

    const QImage photo = photoLike(QSize(640, 480));
    const QColor photoCentre = photo.pixelColor(320, 240);
    QTest::newRow("progressive photograph, 10 scans") << libjpegFile(photo, Progressive) << photo.size() << photoCentre;
    QTest::newRow("arithmetic-coded photograph") << libjpegFile(photo, Arithmetic) << photo.size() << photoCentre;
    QTest::newRow("arithmetic-coded progressive photograph")
        << libjpegFile(photo, Arithmetic | Progressive) << photo.size() << photoCentre;
    QTest::newRow("100 scans") << libjpegFile(blank(QSize(64, 64), QImage::Format_Grayscale8), Huffman, greyScans(100))
                               << QSize(64, 64) << QColor(Qt::white);
    // The least data that real pictures have: nothing to code but one flat colour.
    const QSize camera(4000, 3000);
    QTest::newRow("blank 12 megapixels, Qt at quality 75")
        << encoded(blank(camera), "JPG", 75) << camera << QColor(Qt::white);
    QTest::newRow("blank, optimised Huffman tables, progressive")
        << libjpegFile(blank(QSize(1600, 1200)), Progressive | OptimisedHuffman) << QSize(1600, 1200)
        << QColor(Qt::white);
    QTest::newRow("blank grey, optimised Huffman tables")
        << libjpegFile(blank(QSize(1600, 1200), QImage::Format_Grayscale8), OptimisedHuffman) << QSize(1600, 1200)
        << QColor(Qt::white);
}

void JpegCodecTest::decodesPicturesWithinTheBounds()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QSize, size);
    QFETCH(QColor, centre);
    const QImage full = jpeg::decode(bytes);
    QCOMPARE(full.size(), size);
    QVERIFY(near(full.pixel(size.width() / 2, size.height() / 2), centre.rgb()));
    const QImage scaled = jpeg::decode(bytes, size / 4);
    QCOMPARE(scaled.size(), jpeg::scaledSize(size, size / 4));
    QVERIFY(near(scaled.pixel(scaled.width() / 2, scaled.height() / 2), centre.rgb()));
}

void JpegCodecTest::refusesKeptCopiesThatAreNotSmall_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QString>("message");

    QTest::newRow("declares another size than kept for it")
        << jpeg::encode(photoLike(QSize(640, 480)), 85) << QSize(1280, 960)
        << QStringLiteral("The kept copy declares 640 x 480 pixels instead of 1280 x 960");
    const QByteArray padded = withApp1(jpeg::encode(blank(QSize(32, 32)), 85), QByteArray(20000, 'x'));
    QTest::newRow("more bytes than its pixels uncompressed")
        << padded << QSize(32, 32)
        << QStringLiteral("The kept copy of 32 x 32 pixels takes %1 bytes, more than the 7168 its pixels and "
                          "tables may take")
               .arg(padded.size());
    // Each of these scans passes over all blocks of the one component.
    QTest::newRow("grey, a pass for each coefficient")
        << libjpegFile(blank(QSize(64, 64), QImage::Format_Grayscale8), Huffman, greyScans(64)) << QSize(64, 64)
        << QStringLiteral("The kept copy of 64 x 64 pixels is stored in more than 8 passes over its blocks (scan 9)");
    // 4:2:0 colour of 640 x 480: 4800 blocks of luma and 1200 of each chroma. The three DC
    // scans pass over all 7200 once; each luma AC scan over 4800, and the 11th goes beyond
    // 8 x 7200.
    QTest::newRow("colour photo, every bit in a scan of its own")
        << libjpegFile(photoLike(QSize(640, 480)), Huffman, everyBitAlone()) << QSize(640, 480)
        << QStringLiteral(
               "The kept copy of 640 x 480 pixels is stored in more than 8 passes over its blocks (scan 14)");
}

void JpegCodecTest::refusesKeptCopiesThatAreNotSmall()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QSize, size);
    QFETCH(QString, message);
    for (const QSize &cover : {QSize(), size / 2}) {
        try {
            jpeg::decodeRendition(bytes, size, cover);
            QFAIL("decoded");
        } catch (const Error &error) {
            QCOMPARE(error.message(), message);
        }
    }
}

void JpegCodecTest::decodesKeptCopiesWithinTheirBounds_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QSize>("size");

    const QImage photo = photoLike(QSize(1280, 960));
    QTest::newRow("preview as this program writes it") << jpeg::encode(photo, 85) << photo.size();
    QTest::newRow("thumbnail as this program writes it")
        << jpeg::encode(photoLike(QSize(192, 144)), 80) << QSize(192, 144);
    QTest::newRow("a few pixels, mostly tables") << jpeg::encode(photoLike(QSize(3, 2)), 80) << QSize(3, 2);
    QImage noise(320, 240, QImage::Format_RGB32);
    QRandomGenerator random(5);
    for (int y = 0; y < noise.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(noise.scanLine(y));
        for (int x = 0; x < noise.width(); ++x)
            line[x] = 0xff000000u | (random.generate() & 0xffffffu);
    }
    QTest::newRow("pure noise at quality 100") << jpeg::encode(noise, 100) << noise.size();
    QTest::newRow("progressive colour, libjpeg's script") << libjpegFile(photo, Progressive) << photo.size();
    QTest::newRow("progressive grey, libjpeg's script")
        << libjpegFile(photoLike(QSize(640, 480)).convertToFormat(QImage::Format_Grayscale8), Progressive)
        << QSize(640, 480);
}

void JpegCodecTest::decodesKeptCopiesWithinTheirBounds()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QSize, size);
    QCOMPARE(jpeg::decodeRendition(bytes, size).size(), size);
    const QSize half = size / 2;
    QCOMPARE(jpeg::decodeRendition(bytes, size, half).size(), jpeg::scaledSize(size, half));
}

void JpegCodecTest::readsTheExifOrientation_data()
{
    const QByteArray jpeg = encoded(twoColours(QSize(320, 240)));
    const qsizetype scan = jpeg.indexOf("\xff\xda");
    QVERIFY(scan > 0);
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("orientation");
    QTest::newRow("no Exif block, as Qt writes") << jpeg << 1;
    for (int orientation = 1; orientation <= 8; ++orientation)
        QTest::addRow("%d, Motorola byte order", orientation) << withOrientation(jpeg, orientation) << orientation;
    for (int orientation : {3, 6, 8}) {
        QTest::addRow("%d, Intel byte order", orientation)
            << withApp1(jpeg, exifOrientationBlock(orientation, QDataStream::LittleEndian)) << orientation;
    }
    // Only the header is read: scan data that is cut off or far too large to decode costs nothing.
    QTest::newRow("cut off in the first scan") << withOrientation(jpeg.left(scan + 40), 6) << 6;
    QTest::newRow("declaring 65500 x 65500") << withOrientation(withDeclaredSize(jpeg, 65500, 65500), 8) << 8;
    QTest::newRow("GIF") << gifBytes() << 1;
    QTest::newRow("PNG") << encoded(twoColours(QSize(8, 8)), "PNG") << 1;
    QTest::newRow("empty") << QByteArray() << 1;
}

void JpegCodecTest::readsTheExifOrientation()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, orientation);
    QCOMPARE(jpeg::orientation(bytes), orientation);
}

void JpegCodecTest::encodesWhatItDecodes_data()
{
    QTest::addColumn<QImage>("picture");
    QTest::addColumn<QImage::Format>("decodedAs");
    QImage grey(40, 30, QImage::Format_Grayscale8);
    grey.fill(200);
    QImage withAlpha = twoColours(QSize(64, 48)).convertToFormat(QImage::Format_ARGB32);
    QTest::newRow("colour") << twoColours(QSize(64, 48)) << QImage::Format_RGB32;
    QTest::newRow("odd size, not a whole block") << twoColours(QSize(67, 45)) << QImage::Format_RGB32;
    QTest::newRow("grey stays one channel") << grey << QImage::Format_Grayscale8;
    QTest::newRow("alpha is dropped") << withAlpha << QImage::Format_RGB32;
}

void JpegCodecTest::encodesWhatItDecodes()
{
    QFETCH(QImage, picture);
    QFETCH(QImage::Format, decodedAs);
    const QByteArray bytes = jpeg::encode(picture, 90);
    QVERIFY(bytes.startsWith("\xff\xd8"));
    const QImage decoded = jpeg::decode(bytes);
    QCOMPARE(decoded.size(), picture.size());
    QCOMPARE(decoded.format(), decodedAs);
    for (const QPoint &p : {QPoint(5, 5), QPoint(picture.width() - 6, picture.height() - 6)})
        QVERIFY2(near(decoded.pixel(p), picture.pixel(p)), qPrintable(QString::number(decoded.pixel(p), 16)));
    QVERIFY(jpeg::encode(picture, 30).size() < bytes.size());
    QVERIFY_THROWS_EXCEPTION(Error, jpeg::encode(QImage()));
}

QTEST_MAIN(JpegCodecTest)
#include "tst_jpegcodec.moc"
