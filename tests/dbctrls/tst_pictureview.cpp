#include "colordistance.h"
#include "dbctrls/pictureview.h"
#include "picturefixtures.h"
#include "platform/jpegcodec.h"
#include "store/datasource.h"
#include "store/error.h"
#include "store/field.h"
#include "store/kelvaratable.h"
#include "store/table.h"
#include "testworkspace.h"

#include <QBuffer>
#include <QPainter>
#include <QtTest>

using namespace kelvara;
using kelvara::test::near;

namespace {

// Left half red, right half blue.
QByteArray twoColourJpeg(const QSize &size)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.fillRect(QRect(0, 0, size.width() / 2, size.height()), Qt::red);
    painter.fillRect(QRect(size.width() / 2, 0, size.width() - size.width() / 2, size.height()), Qt::blue);
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", 90);
    return bytes;
}

// A JPEG stretched to the view stays this near its colour.
constexpr int kStretchedTolerance = 39;

// The colours at the four corners of a picture, a few pixels in from the edges where the
// JPEG's blocks and the stretch's smoothing do not reach.
struct Corners
{
    QColor topLeft, topRight, bottomLeft, bottomRight;
};

Corners cornersOf(const QImage &image, const QSize &size)
{
    const int in = 3;
    const int right = size.width() - 1 - in;
    const int bottom = size.height() - 1 - in;
    return {image.pixelColor(in, in), image.pixelColor(right, in), image.pixelColor(in, bottom),
            image.pixelColor(right, bottom)};
}

void compareCorners(const Corners &actual, const Corners &expected, const char *what)
{
    const auto check = [what](const QColor &a, const QColor &e, const char *corner) {
        QVERIFY2(near(a.rgb(), e.rgb(), kStretchedTolerance),
                 qPrintable(QStringLiteral("%1, %2 corner: %3 instead of %4")
                                .arg(QLatin1String(what), QLatin1String(corner), a.name(), e.name())));
    };
    check(actual.topLeft, expected.topLeft, "top-left");
    check(actual.topRight, expected.topRight, "top-right");
    check(actual.bottomLeft, expected.bottomLeft, "bottom-left");
    check(actual.bottomRight, expected.bottomRight, "bottom-right");
}

// Stored 512 x 256: red, green, blue and yellow quarters. Large enough that the stretched view
// below decodes it scaled down, so that the copy is decoded anew at full size.
const QSize quadrantsSize(512, 256);
QByteArray quadrantsJpeg()
{
    return test::encoded(test::quadrants(quadrantsSize), "JPG", 95);
}

// Shows bytes on a view and checks that the view draws, stretched and at natural size, and
// that picture() (which Copy and Cut put on the clipboard) gives, the picture upright at
// uprightSize with the corners expected.
void checkShownUpright(const QByteArray &bytes, const QSize &uprightSize, const Corners &expected)
{
    PictureView view;
    view.resize(100, 100);
    view.showPicture(PictureKey{1, 1, {}}, [&] { return bytes; });
    QCOMPARE(view.pictureSize(), uprightSize);
    QVERIFY(view.decodedImage().width() < uprightSize.width());

    compareCorners(cornersOf(view.grab().toImage(), view.size()), expected, "stretched");
    if (QTest::currentTestFailed())
        return;
    const QImage copied = view.picture();
    QCOMPARE(copied.size(), uprightSize);
    compareCorners(cornersOf(copied, uprightSize), expected, "copied");
    if (QTest::currentTestFailed())
        return;
    view.setStretch(false);
    view.resize(uprightSize.expandedTo(uprightSize.transposed()) + QSize(8, 8));
    compareCorners(cornersOf(view.grab().toImage(), uprightSize), expected, "natural size");
}

// A byte source that counts how often the view reads it.
struct CountingSource
{
    QByteArray bytes;
    int reads = 0;
    PictureView::ByteSource source()
    {
        return [this] {
            ++reads;
            return bytes;
        };
    }
};

}  // namespace

class PictureViewTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decodesNoLargerThanTheStretchedViewNeeds_data();
    void decodesNoLargerThanTheStretchedViewNeeds();
    void showsAndCopiesUpright_data();
    void showsAndCopiesUpright();
    void badExifShowsAsStored_data();
    void badExifShowsAsStored();
    void stretchDrawsWholeOrCut_data();
    void stretchDrawsWholeOrCut();
    void readsBytesOnlyForANewPicture_data();
    void readsBytesOnlyForANewPicture();
    void failedDecodeKeepsThePicture_data();
    void failedDecodeKeepsThePicture();
    void clearEmptiesTheView();
    void fieldPictureIsNotDecodedAgainAfterADataChange();

private:
    test::TestWorkspace m_workspace;
};

void PictureViewTest::decodesNoLargerThanTheStretchedViewNeeds_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QSize>("viewSize");
    QTest::addColumn<QSize>("decoded");
    QTest::addColumn<QSize>("uprightSize");
    QTest::addColumn<QSize>("largerView");
    QTest::addColumn<QSize>("decodedForLarger");
    QTest::newRow("landscape 800 x 600 on 100 x 75 -> 1/8")
        << twoColourJpeg(QSize(800, 600)) << QSize(100, 75) << QSize(100, 75) << QSize(800, 600) << QSize(300, 200)
        << QSize(300, 225);
    // Turned upright it is 1200 x 1600: 5/8 covers 640 wide. Decoded for the sheet unturned,
    // it would come out 600 wide and be stretched up.
    QTest::newRow("portrait stored sideways 1600 x 1200 on the 640 x 480 sheet -> 5/8")
        << test::withOrientation(twoColourJpeg(QSize(1600, 1200)), 6) << QSize(640, 480) << QSize(750, 1000)
        << QSize(1200, 1600) << QSize(1280, 960) << QSize(1200, 1600);
}

void PictureViewTest::decodesNoLargerThanTheStretchedViewNeeds()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QSize, viewSize);
    QFETCH(QSize, decoded);
    QFETCH(QSize, uprightSize);
    QFETCH(QSize, largerView);
    QFETCH(QSize, decodedForLarger);
    PictureView view;
    view.resize(viewSize);
    QVERIFY(view.stretch());
    view.showPicture(PictureKey{1, 1, {}}, [&] { return bytes; });
    QVERIFY(view.hasPicture());
    QCOMPARE(view.decodedImage().size(), decoded);
    QCOMPARE(view.pictureSize(), uprightSize);
    // Drawing at this size needs no other decode.
    view.grab();
    QCOMPARE(view.decodedImage().size(), decoded);
    // The clipboard gets the picture at full size.
    QCOMPARE(view.picture().size(), uprightSize);
    // A larger view decodes again from the kept bytes when it draws.
    view.resize(largerView);
    view.grab();
    QCOMPARE(view.decodedImage().size(), decodedForLarger);
}

void PictureViewTest::showsAndCopiesUpright_data()
{
    const QColor red(Qt::red), green(Qt::green), blue(Qt::blue), yellow(Qt::yellow);
    const QSize wide = quadrantsSize;
    const QSize tall = quadrantsSize.transposed();
    QTest::addColumn<int>("orientation");
    QTest::addColumn<QSize>("uprightSize");
    QTest::addColumn<QColor>("topLeft");
    QTest::addColumn<QColor>("topRight");
    QTest::addColumn<QColor>("bottomLeft");
    QTest::addColumn<QColor>("bottomRight");
    QTest::newRow("1 as stored") << 1 << wide << red << green << blue << yellow;
    QTest::newRow("2 mirrored left-right") << 2 << wide << green << red << yellow << blue;
    QTest::newRow("3 turned 180") << 3 << wide << yellow << blue << green << red;
    QTest::newRow("4 mirrored top-bottom") << 4 << wide << blue << yellow << red << green;
    QTest::newRow("5 transposed") << 5 << tall << red << blue << green << yellow;
    QTest::newRow("6 turned 90 clockwise") << 6 << tall << blue << red << yellow << green;
    QTest::newRow("7 transversed") << 7 << tall << yellow << green << blue << red;
    QTest::newRow("8 turned 90 counter-clockwise") << 8 << tall << green << yellow << red << blue;
}

void PictureViewTest::showsAndCopiesUpright()
{
    QFETCH(int, orientation);
    QFETCH(QSize, uprightSize);
    QFETCH(QColor, topLeft);
    QFETCH(QColor, topRight);
    QFETCH(QColor, bottomLeft);
    QFETCH(QColor, bottomRight);
    const QByteArray bytes = test::withOrientation(quadrantsJpeg(), orientation);
    QCOMPARE(jpeg::orientation(bytes), orientation);
    checkShownUpright(bytes, uprightSize, {topLeft, topRight, bottomLeft, bottomRight});
}

void PictureViewTest::badExifShowsAsStored_data()
{
    // Each is made from a good block for orientation 6, so a reader that took the tag anyway
    // would show the picture turned.
    const QByteArray good = test::exifOrientationBlock(6);
    const auto with32 = [](QByteArray block, int at, quint32 value) {
        for (int i = 0; i < 4; ++i)
            block[at + i] = char(value >> (24 - 8 * i));
        return block;
    };
    const auto with16 = [](QByteArray block, int at, quint16 value) {
        block[at] = char(value >> 8);
        block[at + 1] = char(value & 0xff);
        return block;
    };
    const QByteArray otherTag = with16(good, test::exifFirstEntryAt, 0x010f);  // Make
    const int nextDirectoryAt = test::exifFirstEntryAt + 12;

    QTest::addColumn<QByteArray>("exif");
    QTest::newRow("only the Exif name") << QByteArray("Exif\0\0", 6);
    QTest::newRow("cut off in the TIFF header") << good.left(test::exifTiffStart + 5);
    QTest::newRow("cut off before the orientation's value") << good.left(test::exifFirstEntryAt + 8);
    QTest::newRow("garbage after the Exif name")
        << QByteArray("Exif\0\0", 6) + QByteArray::fromHex("4d4d2a00ffff12017e00c3030001000600d9ffd8ffe1");
    QTest::newRow("directory offset far outside the block") << with32(good, test::exifIfdOffsetAt, 0xfffffff0u);
    QTest::newRow("directory offset just past the block")
        << with32(good, test::exifIfdOffsetAt, quint32(good.size() - test::exifTiffStart));
    QTest::newRow("65535 entries claimed, one there") << with16(otherTag, test::exifEntryCountAt, 0xffff);
    QTest::newRow("directory chain looping on itself") << with32(otherTag, nextDirectoryAt, 8);
    QTest::newRow("orientation 0") << with16(good, test::exifFirstEntryAt + 8, 0);
    QTest::newRow("orientation 9") << with16(good, test::exifFirstEntryAt + 8, 9);
}

void PictureViewTest::badExifShowsAsStored()
{
    QFETCH(QByteArray, exif);
    const QByteArray bytes = test::withApp1(quadrantsJpeg(), exif);
    QCOMPARE(jpeg::orientation(bytes), 1);
    PictureView view;
    view.showPicture(PictureKey{1, 1, {}}, [&] { return bytes; });
    QCOMPARE(view.orientation(), 1);
    checkShownUpright(bytes, quadrantsSize, {Qt::red, Qt::green, Qt::blue, Qt::yellow});
}

void PictureViewTest::stretchDrawsWholeOrCut_data()
{
    QTest::addColumn<bool>("stretch");
    QTest::addColumn<QRgb>("rightSide");
    QTest::newRow("stretched: whole picture, blue half on the right") << true << qRgb(0, 0, 255);
    QTest::newRow("natural size: top-left corner, all red") << false << qRgb(255, 0, 0);
}

void PictureViewTest::stretchDrawsWholeOrCut()
{
    QFETCH(bool, stretch);
    QFETCH(QRgb, rightSide);
    PictureView view;
    view.resize(100, 75);
    view.showPicture(PictureKey{1, 1, {}}, [] { return twoColourJpeg(QSize(800, 600)); });
    view.setProperty("Stretch", !stretch);
    view.setProperty("Stretch", stretch);
    QCOMPARE(view.property("Stretch").toBool(), stretch);
    const QImage shown = view.grab().toImage();
    QVERIFY(near(shown.pixel(10, 37), qRgb(255, 0, 0), kStretchedTolerance));
    QVERIFY(near(shown.pixel(90, 37), rightSide, kStretchedTolerance));
    if (!stretch)
        QCOMPARE(view.decodedImage().size(), QSize(800, 600));
}

void PictureViewTest::readsBytesOnlyForANewPicture_data()
{
    QTest::addColumn<PictureKey>("second");
    QTest::addColumn<int>("reads");
    QTest::newRow("same record, same revision") << PictureKey{1, 7, {}} << 1;
    QTest::newRow("new revision") << PictureKey{1, 8, {}} << 2;
    QTest::newRow("other record") << PictureKey{2, 7, {}} << 2;
    QTest::newRow("bytes not yet saved") << PictureKey{1, -1, {}} << 2;
}

void PictureViewTest::readsBytesOnlyForANewPicture()
{
    QFETCH(PictureKey, second);
    QFETCH(int, reads);
    CountingSource source{twoColourJpeg(QSize(64, 48))};
    PictureView view;
    view.showPicture(PictureKey{1, 7, {}}, source.source());
    view.showPicture(second, source.source());
    QCOMPARE(source.reads, reads);
    QCOMPARE(view.key(), second);
}

void PictureViewTest::failedDecodeKeepsThePicture_data()
{
    const QByteArray jpeg = twoColourJpeg(QSize(64, 48));
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("GIF") << QByteArray("GIF89a\x01\x00\x01\x00\x80\x00\x00", 13);
    QTest::newRow("cut off") << jpeg.left(jpeg.size() / 2);
    QTest::newRow("empty") << QByteArray();
}

void PictureViewTest::failedDecodeKeepsThePicture()
{
    QFETCH(QByteArray, bytes);
    PictureView view;
    view.resize(64, 48);
    view.showPicture(PictureKey{1, 1, {}}, [] { return twoColourJpeg(QSize(64, 48)); });
    const QImage before = view.decodedImage();
    try {
        view.showPicture(PictureKey{1, 2, {}}, [&] { return bytes; });
        QFAIL("decoded");
    } catch (const Error &error) {
        QVERIFY2(error.message().startsWith(QStringLiteral("JPEG error #")), qPrintable(error.message()));
    }
    QVERIFY(view.hasPicture());
    QCOMPARE(view.key(), (PictureKey{1, 1, {}}));
    QCOMPARE(view.decodedImage(), before);
}

void PictureViewTest::clearEmptiesTheView()
{
    PictureView view;
    view.showPicture(PictureKey{1, 1, {}}, [] { return twoColourJpeg(QSize(64, 48)); });
    view.clear();
    QVERIFY(!view.hasPicture());
    QVERIFY(view.picture().isNull());
    QCOMPARE(view.key(), PictureKey());
    // The same picture shown again after a clear is decoded again.
    CountingSource source{twoColourJpeg(QSize(64, 48))};
    view.showPicture(PictureKey{1, 1, {}}, source.source());
    QCOMPARE(source.reads, 1);
}

void PictureViewTest::fieldPictureIsNotDecodedAgainAfterADataChange()
{
    test::TestWorkspace workspace;
    Table table;
    table.setTableName(QStringLiteral("kelvara"));
    createKelvaraTable(table);
    table.open();
    table.append();
    table.fieldByName(QStringLiteral("pic1"))->setAsBytes(twoColourJpeg(QSize(64, 48)));
    table.post();
    table.append();
    table.fieldByName(QStringLiteral("pic1"))->setAsBytes(twoColourJpeg(QSize(32, 24)));
    table.post();
    table.first();
    table.edit();
    const Field &pic1 = *table.fieldByName(QStringLiteral("pic1"));

    PictureView view;
    int reads = 0;
    auto show = [&] {
        view.showPicture(PictureView::keyOf(pic1), [&] {
            ++reads;
            return pic1.asBytes();
        });
    };
    show();
    QCOMPARE(reads, 1);
    table.fieldByName(QStringLiteral("comment1"))->setText(QStringLiteral("On the roof"));
    show();
    table.post();
    table.edit();
    show();
    QCOMPARE(reads, 1);
    // Another record, or new bytes, are read again.
    table.next();
    show();
    QCOMPARE(reads, 2);
    QCOMPARE(view.pictureSize(), QSize(32, 24));
    table.edit();
    table.fieldByName(QStringLiteral("pic1"))->setAsBytes(twoColourJpeg(QSize(48, 36)));
    show();
    QCOMPARE(reads, 3);
    table.post();
    show();
    QCOMPARE(reads, 4);
    show();
    QCOMPARE(reads, 4);
    QCOMPARE(view.pictureSize(), QSize(48, 36));
}

QTEST_MAIN(PictureViewTest)
#include "tst_pictureview.moc"
