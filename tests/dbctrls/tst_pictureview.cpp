#include "datasource.h"
#include "error.h"
#include "field.h"
#include "kelvaratable.h"
#include "pictureview.h"
#include "table.h"
#include "testworkspace.h"

#include <QBuffer>
#include <QPainter>
#include <QtTest>

using namespace kelvara;

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

bool near(QRgb a, QRgb b)
{
    return qAbs(qRed(a) - qRed(b)) < 40 && qAbs(qGreen(a) - qGreen(b)) < 40 && qAbs(qBlue(a) - qBlue(b)) < 40;
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

} // namespace

class PictureViewTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decodesNoLargerThanTheStretchedViewNeeds();
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

void PictureViewTest::decodesNoLargerThanTheStretchedViewNeeds()
{
    PictureView view;
    view.resize(100, 75);
    QVERIFY(view.stretch());
    view.showPicture(PictureKey{1, 1}, [] { return twoColourJpeg(QSize(800, 600)); });
    QVERIFY(view.hasPicture());
    QCOMPARE(view.decodedImage().size(), QSize(100, 75));
    QCOMPARE(view.pictureSize(), QSize(800, 600));
    // The clipboard gets the picture at full size.
    QCOMPARE(view.picture().size(), QSize(800, 600));
    // A larger view decodes again from the kept bytes when it draws.
    view.resize(300, 200);
    view.grab();
    QCOMPARE(view.decodedImage().size(), QSize(300, 225));
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
    view.showPicture(PictureKey{1, 1}, [] { return twoColourJpeg(QSize(800, 600)); });
    view.setProperty("Stretch", !stretch);
    view.setProperty("Stretch", stretch);
    QCOMPARE(view.property("Stretch").toBool(), stretch);
    const QImage shown = view.grab().toImage();
    QVERIFY(near(shown.pixel(10, 37), qRgb(255, 0, 0)));
    QVERIFY(near(shown.pixel(90, 37), rightSide));
    if (!stretch)
        QCOMPARE(view.decodedImage().size(), QSize(800, 600));
}

void PictureViewTest::readsBytesOnlyForANewPicture_data()
{
    QTest::addColumn<PictureKey>("second");
    QTest::addColumn<int>("reads");
    QTest::newRow("same record, same revision") << PictureKey{1, 7} << 1;
    QTest::newRow("new revision") << PictureKey{1, 8} << 2;
    QTest::newRow("other record") << PictureKey{2, 7} << 2;
    QTest::newRow("bytes not yet saved") << PictureKey{1, -1} << 2;
}

void PictureViewTest::readsBytesOnlyForANewPicture()
{
    QFETCH(PictureKey, second);
    QFETCH(int, reads);
    CountingSource source{twoColourJpeg(QSize(64, 48))};
    PictureView view;
    view.showPicture(PictureKey{1, 7}, source.source());
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
    view.showPicture(PictureKey{1, 1}, [] { return twoColourJpeg(QSize(64, 48)); });
    const QImage before = view.decodedImage();
    try {
        view.showPicture(PictureKey{1, 2}, [&] { return bytes; });
        QFAIL("decoded");
    } catch (const Error &error) {
        QVERIFY2(error.message().startsWith(QStringLiteral("JPEG error #")), qPrintable(error.message()));
    }
    QVERIFY(view.hasPicture());
    QCOMPARE(view.key(), (PictureKey{1, 1}));
    QCOMPARE(view.decodedImage(), before);
}

void PictureViewTest::clearEmptiesTheView()
{
    PictureView view;
    view.showPicture(PictureKey{1, 1}, [] { return twoColourJpeg(QSize(64, 48)); });
    view.clear();
    QVERIFY(!view.hasPicture());
    QVERIFY(view.picture().isNull());
    QCOMPARE(view.key(), PictureKey());
    // The same picture shown again after a clear is decoded again.
    CountingSource source{twoColourJpeg(QSize(64, 48))};
    view.showPicture(PictureKey{1, 1}, source.source());
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
    auto show = [&] { view.showPicture(PictureView::keyOf(pic1), [&] { ++reads; return pic1.asBytes(); }); };
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
