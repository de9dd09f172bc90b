#include "error.h"
#include "jpegcodec.h"
#include "picturefixtures.h"
#include "testworkspace.h"

#include <QBuffer>
#include <QPainter>
#include <QtTest>

#include <cstdio>

#include <jpeglib.h>
#include <jerror.h>

using namespace kelvara;
using namespace kelvara::test;

namespace {

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

QString jpegError(int code)
{
    return QStringLiteral("JPEG error #%1").arg(code);
}

bool near(QRgb a, QRgb b, int tolerance = 24)
{
    return qAbs(qRed(a) - qRed(b)) <= tolerance && qAbs(qGreen(a) - qGreen(b)) <= tolerance
        && qAbs(qBlue(a) - qBlue(b)) <= tolerance;
}

} // namespace

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
    for (const QSize &cover : {QSize(), QSize(40, 30)}) {
        try {
            jpeg::decode(bytes, cover);
            QFAIL("decoded");
        } catch (const Error &error) {
            QCOMPARE(error.message(), message);
        }
    }
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
            QCOMPARE(error.message(), QStringLiteral("The picture is too large to show: %1 x %2 pixels "
                                                     "(the limit is 100 megapixels)")
                                          .arg(declared.width())
                                          .arg(declared.height()));
        }
    }
}

QTEST_MAIN(JpegCodecTest)
#include "tst_jpegcodec.moc"
